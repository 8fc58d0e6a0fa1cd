#pragma once
// Private-profile ("INI") files as the desktop platform reads and writes them:
// sections in brackets, key=value lines, names compared without regard to
// case, a missing file or key answering with the caller's default.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/TextCase.h"

namespace qb::platform {

// The parsed lines of one profile file. Unknown lines (comments, blank lines,
// text without '=') are kept so that rewriting a file changes only the key
// that was written.
class ProfileDocument {
public:
    static ProfileDocument Parse(std::string_view text);

    // The first value of the key within the first section of that name that
    // holds it; surrounding blanks and one pair of matching quotes removed.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;

    // Replaces the key's value in place, or appends the key to its section,
    // or appends the section. A value of nullopt removes the key.
    void Set(std::string_view section, std::string_view key, std::optional<std::string_view> value);

    std::vector<std::string> SectionNames() const;
    std::string Serialize() const;

private:
    struct Line {
        std::string raw;
        std::string section;  // set on a section header line
        std::string key;      // set on a key line
        bool isSection = false;
        bool isKey = false;
    };
    static Line Classify(std::string raw);
    std::vector<Line> lines_;
    std::string newline_ = "\n";
};

// GetPrivateProfileString: at most maxChars characters of the value, or of the
// default when the file, section or key is missing.
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, std::size_t maxChars,
                                    const std::string& path);

// WritePrivateProfileString: creates the file when needed; false when the file
// cannot be read or replaced. The file is replaced atomically so a crash never
// leaves half a settings file behind.
bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::optional<std::string_view> value, const std::string& path);

using text::EqualsIgnoreCase;

// Why the file cannot be a profile file ("does not exist", "is a folder",
// "cannot be read: ...", "is not a settings file: ..."), or nullopt when it
// can: a readable text file with at least one [section].
std::optional<std::string> ProfileFileProblem(const std::string& path);

}  // namespace qb::platform
