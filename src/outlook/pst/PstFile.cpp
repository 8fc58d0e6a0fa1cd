#include "outlook/pst/PstFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qb::pst {
namespace {
[[noreturn]] void Fail(const std::string& what, const std::string& path, int error) {
    throw PstError(what + " '" + path + "': " + std::strerror(error));
}

constexpr std::size_t kGatherSize = 1 << 20;
}  // namespace

PstFile::PstFile(const std::string& path, Mode mode) : path_(path) {
    int flags = O_CLOEXEC;
    if (mode == Mode::Read) flags |= O_RDONLY;
    else if (mode == Mode::ReadWrite) flags |= O_RDWR;
    else flags |= O_RDWR | O_CREAT | O_TRUNC;
    fd_ = ::open(path.c_str(), flags, 0644);
    if (fd_ < 0) Fail("cannot open", path, errno);
    writable_ = mode != Mode::Read;
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
    if (::fdatasync(fd_) != 0) Fail("cannot flush", path_, errno);
}

void PstFile::Extend(std::uint64_t size) {
    Flush();
    if (Size() >= size) return;
    if (sizeLimit_ != 0 && size > sizeLimit_) Fail("cannot grow", path_, ENOSPC);
    if (::ftruncate(fd_, off_t(size)) != 0) Fail("cannot grow", path_, errno);
}

std::uint64_t PstFile::Size() const {
    FlushFor(0, ~std::uint64_t(0) >> 1);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) Fail("cannot stat", path_, errno);
    return std::uint64_t(st.st_size);
}

}  // namespace qb::pst
