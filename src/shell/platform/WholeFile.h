#pragma once
// Whole small files that must never be seen half-written or read without
// bound: a replacement is written to a temporary file beside the target,
// flushed to the disk and renamed over it, so a crash at any moment leaves
// either the old or the new content; a read refuses a file larger than the
// caller's limit before reading any of it.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qb::platform {

// Replaces (or creates) `path` with `data`. A new file gets `newFileMode`
// (less the umask), an existing one keeps its mode. False: `error` (when
// given) says why, with the path and the system's reason, and the old file is
// untouched.
bool ReplaceWholeFile(const std::string& path, std::string_view data, unsigned newFileMode = 0600,
                      std::string* error = nullptr);

struct BoundedRead {
    enum class Status { Read, Missing, TooLarge, Failed } status = Status::Failed;
    std::string data;
    std::string error;  // "<path>: <reason>" unless Read
};

// Reads all of `path` when it holds at most maxBytes.
BoundedRead ReadBoundedFile(const std::string& path, std::size_t maxBytes);

}  // namespace qb::platform
