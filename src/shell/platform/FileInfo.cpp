#include "shell/platform/FileInfo.h"

#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <cerrno>
#include <cstdio>

#include "shell/platform/WrittenFiles.h"

namespace qb::platform {

std::optional<FileStatus> GetFileStatus(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    FileStatus status;
    status.size = static_cast<std::uint64_t>(st.st_size);
    status.modified = st.st_mtime;
    status.isDirectory = S_ISDIR(st.st_mode);
    status.isWritable = ::access(path.c_str(), W_OK) == 0;
    return status;
}

bool FileExists(const std::string& path) { return GetFileStatus(path).has_value(); }

bool IsReadOnlyFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    return (st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0;
}

bool DeleteFile(const std::string& path) {
    WrittenFiles::Shared().Forget(path);
    return std::remove(path.c_str()) == 0 || errno == ENOENT;
}

bool SetFileModified(const std::string& path, std::time_t when) {
    struct utimbuf times {};
    times.actime = when;
    times.modtime = when;
    return ::utime(path.c_str(), &times) == 0;
}

}  // namespace qb::platform
