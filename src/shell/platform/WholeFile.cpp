#include "shell/platform/WholeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace qb::platform {
namespace {

// Closes the descriptor on every way out.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool Fail(const std::string& path, int error, std::string* text) {
    if (text) *text = path + ": " + std::strerror(error);
    return false;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

bool ReplaceWholeFile(const std::string& path, std::string_view data, unsigned newFileMode, std::string* error) {
    struct stat existing {};
    const bool exists = ::stat(path.c_str(), &existing) == 0;
    const std::string temp = path + ".new";
    // A temporary file left by an earlier crash is replaced, never appended to.
    std::remove(temp.c_str());
    Descriptor out(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, static_cast<mode_t>(newFileMode)));
    if (out.get() < 0) return Fail(temp, errno, error);
    if (!WriteAll(out.get(), data) || ::fdatasync(out.get()) != 0 ||
        (exists && ::fchmod(out.get(), existing.st_mode & 07777) != 0)) {
        const int reason = errno;
        std::remove(temp.c_str());
        return Fail(temp, reason, error);
    }
    if (!out.Close()) {
        const int reason = errno;
        std::remove(temp.c_str());
        return Fail(temp, reason, error);
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const int reason = errno;
        std::remove(temp.c_str());
        return Fail(path, reason, error);
    }
    return true;
}

BoundedRead ReadBoundedFile(const std::string& path, std::size_t maxBytes) {
    BoundedRead result;
    Descriptor in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) {
        result.status = errno == ENOENT ? BoundedRead::Status::Missing : BoundedRead::Status::Failed;
        result.error = path + ": " + std::strerror(errno);
        return result;
    }
    struct stat st {};
    if (::fstat(in.get(), &st) != 0) {
        result.error = path + ": " + std::strerror(errno);
        return result;
    }
    if (!S_ISREG(st.st_mode)) {
        result.error = path + ": not a regular file";
        return result;
    }
    if (static_cast<std::size_t>(st.st_size) > maxBytes) {
        result.status = BoundedRead::Status::TooLarge;
        result.error = path + ": " + std::to_string(st.st_size) + " bytes, more than the " +
                       std::to_string(maxBytes) + " allowed";
        return result;
    }
    // Never more than the size seen, even when the file grows meanwhile.
    result.data.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < result.data.size()) {
        const ssize_t n = ::read(in.get(), result.data.data() + got, result.data.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            result.error = path + ": " + std::strerror(errno);
            return result;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    result.data.resize(got);
    result.status = BoundedRead::Status::Read;
    return result;
}

}  // namespace qb::platform
