#pragma once
// The file under a store: positioned reads and writes that throw PstError
// with the system's reason (a full disk included).
//
// Writes that continue one another are gathered in a buffer and go to the
// system in large pieces (a store writes mostly at the end of its file, one
// small block at a time). Flush() hands them over; Sync() and every read,
// size query and growth do so first, so the file is never seen without them.
// A write error can therefore surface at a later call.
//
// A file open for writing holds an exclusive lock on the whole file (an
// open-file-description lock, so that two opens inside one process exclude
// each other as two processes do), a file open for reading a shared one,
// for as long as it is open: a second writer, or a reader while a writer
// works, is refused with PstErrorKind::InUse instead of interleaving its
// writes. New files are created with mode 0600; a file whose mode allows
// nobody to write (0444) is refused for writing even to root, whose writes
// the mode would not stop.

#include <cstdint>
#include <future>
#include <string>

#include "outlook/pst/PstTypes.h"

namespace qb::pst {

class PstFile {
public:
    enum class Mode { Read, ReadWrite, Create };
    // Mode of files this class creates.
    static constexpr unsigned kCreateMode = 0600;
    PstFile(const std::string& path, Mode mode);
    ~PstFile();
    PstFile(const PstFile&) = delete;
    PstFile& operator=(const PstFile&) = delete;

    void Read(std::uint64_t offset, void* buffer, std::size_t size) const;
    Bytes Read(std::uint64_t offset, std::size_t size) const;
    void Write(std::uint64_t offset, const void* buffer, std::size_t size);
    // Hands gathered writes to the system.
    void Flush();
    // Flushes and waits until the data is on the disk.
    void Sync();
    // Flushes, then on a second thread waits until the data is on the disk
    // and only then writes `bytes` at `offset` (a commit's header, which must
    // never reach the disk before what it points to). The caller goes on
    // writing elsewhere meanwhile, never within [offset, offset + size), and
    // keeps the file open until the future is ready. The future carries the
    // system's failure; the fault hook is consulted now, in call order.
    std::future<void> SyncThenWriteBehind(std::uint64_t offset, Bytes bytes);
    // Grows the file (sparse) to at least `size` bytes.
    void Extend(std::uint64_t size);
    std::uint64_t Size() const;
    bool writable() const { return writable_; }
    const std::string& path() const { return path_; }

    // Test hook: writes fail with "No space left on device" once the file
    // would grow beyond this size (0 = no limit).
    void SetSizeLimitForTest(std::uint64_t limit) { sizeLimit_ = limit; }

private:
    void WriteThrough(std::uint64_t offset, const std::uint8_t* data, std::size_t size) const;
    void FlushFor(std::uint64_t offset, std::size_t size) const;

    std::string path_;
    int fd_ = -1;
    bool writable_ = false;
    std::uint64_t sizeLimit_ = 0;
    // Gathered writes: bytes for [pendingOffset_, pendingOffset_ + pending_.size()).
    // Reads flush them, so they are mutable.
    mutable Bytes pending_;
    mutable std::uint64_t pendingOffset_ = 0;
};

}  // namespace qb::pst
