#include "shell/platform/PrivateProfile.h"

#include "shell/platform/FileInfo.h"
#include "shell/platform/WholeFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace qb::platform {
namespace {

std::string_view Trim(std::string_view s) {
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view StripQuotes(std::string_view s) {
    if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front())
        return s.substr(1, s.size() - 2);
    return s;
}

// Values are single lines: a line break inside one would split the key.
std::string SingleLine(std::string_view value) {
    std::string out(value);
    std::replace_if(out.begin(), out.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return out;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return buffer.str();
}

}  // namespace

ProfileDocument::Line ProfileDocument::Classify(std::string raw) {
    Line line;
    line.raw = std::move(raw);
    std::string_view text = Trim(line.raw);
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        line.isSection = true;
        line.section = std::string(Trim(text.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
        return line;
    }
    if (!text.empty() && text.front() == ';') return line;
    const auto eq = text.find('=');
    if (eq != std::string_view::npos) {
        line.isKey = true;
        line.key = std::string(Trim(text.substr(0, eq)));
    }
    return line;
}

ProfileDocument ProfileDocument::Parse(std::string_view text) {
    ProfileDocument doc;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    if (text.find("\r\n") != std::string_view::npos) doc.newline_ = "\r\n";
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view raw = text.substr(start, end - start);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        doc.lines_.push_back(Classify(std::string(raw)));
        start = end + 1;
    }
    return doc;
}

std::optional<std::string> ProfileDocument::Get(std::string_view section, std::string_view key) const {
    bool inSection = false;
    for (const Line& line : lines_) {
        if (line.isSection) {
            inSection = EqualsIgnoreCase(line.section, section);
        } else if (inSection && line.isKey && EqualsIgnoreCase(line.key, key)) {
            std::string_view text = Trim(line.raw);
            return std::string(StripQuotes(Trim(text.substr(text.find('=') + 1))));
        }
    }
    return std::nullopt;
}

void ProfileDocument::Set(std::string_view section, std::string_view key, std::optional<std::string_view> value) {
    std::optional<std::size_t> sectionHeader;  // first header of the section
    std::optional<std::size_t> insertAt;        // after the last key of that section
    bool inSection = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        Line& line = lines_[i];
        if (line.isSection) {
            inSection = EqualsIgnoreCase(line.section, section);
            if (inSection && !sectionHeader) {
                sectionHeader = i;
                insertAt = i + 1;
            }
            continue;
        }
        if (!inSection) continue;
        if (line.isKey && EqualsIgnoreCase(line.key, key)) {
            if (value) {
                line.raw = std::string(key) + "=" + SingleLine(*value);
            } else {
                lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
            }
            return;
        }
        if (line.isKey && sectionHeader) insertAt = i + 1;
    }
    if (!value) return;
    Line keyLine = Classify(std::string(key) + "=" + SingleLine(*value));
    if (insertAt) {
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(*insertAt), std::move(keyLine));
        return;
    }
    lines_.push_back(Classify("[" + std::string(section) + "]"));
    lines_.push_back(std::move(keyLine));
}

std::vector<std::string> ProfileDocument::SectionNames() const {
    std::vector<std::string> names;
    for (const Line& line : lines_)
        if (line.isSection) names.push_back(line.section);
    return names;
}

std::string ProfileDocument::Serialize() const {
    std::string out;
    for (const Line& line : lines_) {
        out += line.raw;
        out += newline_;
    }
    return out;
}

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, std::size_t maxChars,
                                    const std::string& path) {
    std::string value(defaultValue);
    if (auto text = ReadWholeFile(path)) {
        if (auto found = ProfileDocument::Parse(*text).Get(section, key)) value = std::move(*found);
    }
    if (value.size() > maxChars) value.resize(maxChars);
    return value;
}

bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::optional<std::string_view> value, const std::string& path) {
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && IsReadOnlyFile(path)) return false;
    std::string text;
    if (exists) {
        auto content = ReadWholeFile(path);
        if (!content) return false;
        text = std::move(*content);
    }
    ProfileDocument doc = ProfileDocument::Parse(text);
    doc.Set(section, key, value);
    const std::string data = doc.Serialize();

    return ReplaceWholeFile(path, data, 0666);
}

std::optional<std::string> ProfileFileProblem(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? "does not exist" : "cannot be read: " + std::string(std::strerror(errno));
    if (S_ISDIR(st.st_mode)) return "is a folder";
    if (!S_ISREG(st.st_mode)) return "is not a regular file";
    const auto text = ReadWholeFile(path);
    if (!text) return "cannot be read: " + std::string(std::strerror(errno));
    if (text->find('\0') != std::string::npos) return "is not a settings file: it holds binary data";
    if (ProfileDocument::Parse(*text).SectionNames().empty()) return "is not a settings file: it has no [section]";
    return std::nullopt;
}

}  // namespace qb::platform
