#include "shell/log/KeptLogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "shell/log/LogFileAccess.h"

namespace qb {
namespace {

std::atomic<std::chrono::milliseconds::rep> recheckMilliseconds{KeptLogFile::kDefaultRecheckInterval.count()};

}  // namespace

void KeptLogFile::SetRecheckInterval(std::chrono::milliseconds interval) { recheckMilliseconds = interval.count(); }

KeptLogFile& KeptLogFile::operator=(const KeptLogFile& other) {
    if (this != &other) Close();
    return *this;
}

KeptLogFile::~KeptLogFile() { CloseLocked(); }

void KeptLogFile::Close() {
    std::lock_guard lock(mutex_);
    CloseLocked();
}

void KeptLogFile::CloseLocked() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    path_.clear();
}

bool KeptLogFile::StillTheFileAtPath() const {
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0 || st.st_dev != device_ || st.st_ino != inode_) return false;
    return !log_detail::MayWriteReadOnlyFiles() || (st.st_mode & 0222) != 0;
}

bool KeptLogFile::Open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || (log_detail::MayWriteReadOnlyFiles() && (st.st_mode & 0222) == 0)) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    path_ = path;
    device_ = st.st_dev;
    inode_ = st.st_ino;
    checked_ = Clock::now();
    return true;
}

void KeptLogFile::Append(const std::string& path, std::string_view text) {
    if (path.empty()) return;
    std::lock_guard lock(mutex_);
    if (fd_ >= 0 && path != path_) CloseLocked();
    if (fd_ >= 0) {
        const Clock::time_point now = Clock::now();
        if (now - checked_ >= std::chrono::milliseconds(recheckMilliseconds.load())) {
            if (StillTheFileAtPath())
                checked_ = now;
            else
                CloseLocked();
        }
    }
    if (fd_ < 0 && !Open(path)) return;
    log_detail::WriteAll(fd_, text);
}

}  // namespace qb
