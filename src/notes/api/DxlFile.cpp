// A DXL file shared by a database's reader and its attachments (DxlFile.h).

#include "notes/api/DxlFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace qb::notes {

std::shared_ptr<const DxlFile> DxlFile::Open(const std::string& path, int* error) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        *error = errno;
        return nullptr;
    }
    return std::make_shared<const DxlFile>(path, descriptor);
}

DxlFile::~DxlFile() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

bool DxlFile::ReadAt(std::uint64_t offset, char* into, std::size_t length) const {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got = ::pread(descriptor_, into + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

DxlFileStamp StampOfStatus(const struct stat& status) {
    DxlFileStamp stamp;
    stamp.device = static_cast<std::uint64_t>(status.st_dev);
    stamp.inode = static_cast<std::uint64_t>(status.st_ino);
    stamp.size = static_cast<std::uint64_t>(status.st_size);
    stamp.modifiedSeconds = status.st_mtim.tv_sec;
    stamp.modifiedNanoseconds = status.st_mtim.tv_nsec;
    stamp.changedSeconds = status.st_ctim.tv_sec;
    stamp.changedNanoseconds = status.st_ctim.tv_nsec;
    return stamp;
}

bool DxlFile::Stamp(DxlFileStamp* stamp) const {
    struct stat status {};
    if (::fstat(descriptor_, &status) != 0) return false;
    *stamp = StampOfStatus(status);
    return true;
}

}  // namespace qb::notes
