#pragma once
// File status, deletion and times.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace qb::platform {

struct FileStatus {
    std::uint64_t size = 0;
    std::time_t modified = 0;
    bool isDirectory = false;
    bool isWritable = false;
};

std::optional<FileStatus> GetFileStatus(const std::string& path);
bool FileExists(const std::string& path);
// True for an existing file that may not be written: one whose write
// permission bits are all clear (the user marked it read-only, which holds even
// for the administrator) or that this process cannot write.
bool IsReadOnlyFile(const std::string& path);
// True when the file is gone afterwards (a missing file counts as deleted).
bool DeleteFile(const std::string& path);
bool SetFileModified(const std::string& path, std::time_t when);

}  // namespace qb::platform
