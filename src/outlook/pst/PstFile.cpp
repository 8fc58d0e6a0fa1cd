#include "outlook/pst/PstFile.h"

#include <cerrno>
#include <cstring>
#include <system_error>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "outlook/pst/PstFaultInjection.h"

namespace qb::pst {
namespace {
[[noreturn]] void Fail(const std::string& what, const std::string& path, int error) {
    throw PstError(what + " '" + path + "': " + std::strerror(error), PstErrorKind::Io);
}

constexpr std::size_t kGatherSize = 1 << 20;

PstErrorKind KindOfOpenError(int error) {
    return error == EACCES || error == EPERM || error == EROFS ? PstErrorKind::NoAccess : PstErrorKind::General;
}

// Locks the whole file; false when another open holds a conflicting lock.
bool LockWholeFile(int fd, bool exclusive) {
    struct flock lock {};
    lock.l_type = short(exclusive ? F_WRLCK : F_RDLCK);
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
#ifdef F_OFD_SETLK
    if (::fcntl(fd, F_OFD_SETLK, &lock) == 0) return true;
    if (errno != EINVAL) return false;
    lock.l_pid = 0;
#endif
    // Without open-file-description locks: process-wide record locks.
    return ::fcntl(fd, F_SETLK, &lock) == 0;
}
}  // namespace

PstFile::PstFile(const std::string& path, Mode mode) : path_(path) {
    int flags = O_CLOEXEC;
    if (mode == Mode::Read) flags |= O_RDONLY;
    else if (mode == Mode::ReadWrite) flags |= O_RDWR;
    else flags |= O_RDWR | O_CREAT;  // truncated only once the lock is ours
    if (mode == Mode::Create) {
        if (int error = fault_detail::Tick(PstFaultOp::Create))
            throw PstError("The personal folders file '" + path + "' cannot be created: " + std::strerror(error),
                           KindOfOpenError(error));
    }
    fd_ = ::open(path.c_str(), flags, kCreateMode);
    if (fd_ < 0) {
        const int error = errno;
        const char* what = mode == Mode::Read ? "cannot be opened" : mode == Mode::Create ? "cannot be created"
                                                                                          : "cannot be opened for writing";
        throw PstError("The personal folders file '" + path + "' " + what + ": " + std::strerror(error),
                       KindOfOpenError(error));
    }
    writable_ = mode != Mode::Read;
    struct stat st {};
    if (writable_ && ::fstat(fd_, &st) == 0 && (st.st_mode & 0222) == 0) {
        ::close(fd_);
        fd_ = -1;
        throw PstError("The personal folders file '" + path + "' is read-only and is not written into.",
                       PstErrorKind::NoAccess);
    }
    if (!LockWholeFile(fd_, writable_)) {
        const int error = errno;
        ::close(fd_);
        fd_ = -1;
        if (error == EAGAIN || error == EACCES)
            throw PstError("The personal folders file '" + path + "' is in use by another program.",
                           PstErrorKind::InUse);
        Fail("cannot lock", path, error);
    }
    if (mode == Mode::Create && ::ftruncate(fd_, 0) != 0) {
        const int error = errno;
        ::close(fd_);
        fd_ = -1;
        Fail("cannot create", path, error);
    }
}

PstFile::~PstFile() {
    try {
        Flush();
    } catch (const PstError&) {
        // Committed data is flushed at its commit; what is left here was never published.
    }
    if (fd_ >= 0) ::close(fd_);
}

void PstFile::FlushFor(std::uint64_t offset, std::size_t size) const {
    if (pending_.empty()) return;
    if (offset < pendingOffset_ + pending_.size() && pendingOffset_ < offset + size) {
        WriteThrough(pendingOffset_, pending_.data(), pending_.size());
        pending_.clear();
    }
}

void PstFile::Read(std::uint64_t offset, void* buffer, std::size_t size) const {
    if (int error = fault_detail::Tick(PstFaultOp::Read)) Fail("cannot read", path_, error);
    FlushFor(offset, size);
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::pread(fd_, out + done, size - done, off_t(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("cannot read", path_, errno);
        }
        if (n == 0) throw PstError("unexpected end of file in '" + path_ + "' at offset " + HexId(offset + done));
        done += std::size_t(n);
    }
}

Bytes PstFile::Read(std::uint64_t offset, std::size_t size) const {
    Bytes bytes(size);
    Read(offset, bytes.data(), size);
    return bytes;
}

void PstFile::Write(std::uint64_t offset, const void* buffer, std::size_t size) {
    if (sizeLimit_ != 0 && offset + size > sizeLimit_) Fail("cannot write", path_, ENOSPC);
    if (int error = fault_detail::Tick(PstFaultOp::Write)) Fail("cannot write", path_, error);
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    const bool continues = !pending_.empty() && offset == pendingOffset_ + pending_.size();
    if (continues && pending_.size() + size <= kGatherSize) {
        pending_.insert(pending_.end(), in, in + size);
        return;
    }
    Flush();
    if (size >= kGatherSize) {
        WriteThrough(offset, in, size);
        return;
    }
    if (pending_.capacity() < kGatherSize) pending_.reserve(kGatherSize);
    pendingOffset_ = offset;
    pending_.assign(in, in + size);
}

void PstFile::Flush() {
    if (pending_.empty()) return;
    WriteThrough(pendingOffset_, pending_.data(), pending_.size());
    pending_.clear();
}

void PstFile::WriteThrough(std::uint64_t offset, const std::uint8_t* in, std::size_t size) const {
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = ::pwrite(fd_, in + done, size - done, off_t(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("cannot write", path_, errno);
        }
        done += std::size_t(n);
    }
}

void PstFile::Sync() {
    Flush();
    if (int error = fault_detail::Tick(PstFaultOp::Sync)) Fail("cannot flush", path_, error);
    if (::fdatasync(fd_) != 0) Fail("cannot flush", path_, errno);
}

std::future<void> PstFile::SyncThenWriteBehind(std::uint64_t offset, Bytes bytes) {
    Flush();
    if (sizeLimit_ != 0 && offset + bytes.size() > sizeLimit_) Fail("cannot write", path_, ENOSPC);
    const int syncFault = fault_detail::Tick(PstFaultOp::Sync);
    const int writeFault = syncFault ? 0 : fault_detail::Tick(PstFaultOp::Write);
    const auto work = [this, offset, bytes = std::move(bytes), syncFault, writeFault] {
        if (syncFault) Fail("cannot flush", path_, syncFault);
        if (::fdatasync(fd_) != 0) Fail("cannot flush", path_, errno);
        if (writeFault) Fail("cannot write", path_, writeFault);
        WriteThrough(offset, bytes.data(), bytes.size());
    };
    try {
        return std::async(std::launch::async, work);
    } catch (const std::system_error&) {
        // No thread to be had: the same work, here and now.
        std::promise<void> done;
        try {
            work();
            done.set_value();
        } catch (...) {
            done.set_exception(std::current_exception());
        }
        return done.get_future();
    }
}

void PstFile::Extend(std::uint64_t size) {
    Flush();
    if (Size() >= size) return;
    if (sizeLimit_ != 0 && size > sizeLimit_) Fail("cannot grow", path_, ENOSPC);
    if (int error = fault_detail::Tick(PstFaultOp::Write)) Fail("cannot grow", path_, error);
    if (::ftruncate(fd_, off_t(size)) != 0) Fail("cannot grow", path_, errno);
}

std::uint64_t PstFile::Size() const {
    FlushFor(0, ~std::uint64_t(0) >> 1);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) Fail("cannot stat", path_, errno);
    return std::uint64_t(st.st_size);
}

}  // namespace qb::pst
