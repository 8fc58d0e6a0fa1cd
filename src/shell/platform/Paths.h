#pragma once
// Where the program lives and where it may keep temporary files.

#include <string>
#include <string_view>

namespace qb::platform {

inline constexpr char kPathSeparator = '/';

// Full path of the running executable, and its folder (no trailing separator).
std::string ProgramPath();
std::string ProgramFolder();

// Joins two path pieces with exactly one separator between them.
std::string JoinPath(std::string_view folder, std::string_view name);

// The per-user private temporary folder, $TMPDIR/quillbox-<uid> (or /tmp/...),
// created with mode 0700 on first use. The conversion writes files with fixed
// names there, so a folder that another user owns, that others can write, or
// that is a symbolic link is refused: the call then gives an empty text and
// sets `error` when one is passed.
std::string TempFolder(std::string* error = nullptr);

}  // namespace qb::platform
