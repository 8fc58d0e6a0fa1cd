#pragma once
// A DXL file open for reading at any offset: held by the reader of a
// database and by the file objects (attachments) of the notes it parsed, so
// that attachment data is read from the descriptor already open instead of
// opening the file again per attachment. Reads use pread and never move a
// shared file position, so one DxlFile serves any number of threads.
// Stamp tells whether the open file may have changed between two moments:
// what was read or decoded from it before is used later only under an
// unchanged stamp (NotePrefetcher).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct stat;

namespace qb::notes {

// The state of an open file: equal stamps mean it was neither truncated,
// extended nor written in between (as far as its times tell: a write within
// the file system's time granularity of the earlier stamp that keeps the
// size is not seen).
struct DxlFileStamp {
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t modifiedSeconds = 0, modifiedNanoseconds = 0;
    std::int64_t changedSeconds = 0, changedNanoseconds = 0;

    bool operator==(const DxlFileStamp&) const = default;
};

// The stamp of the file `status` describes.
DxlFileStamp StampOfStatus(const struct stat& status);

class DxlFile {
public:
    // nullptr when the file cannot be opened; *error is then errno.
    static std::shared_ptr<const DxlFile> Open(const std::string& path, int* error);
    ~DxlFile();
    DxlFile(const DxlFile&) = delete;
    DxlFile& operator=(const DxlFile&) = delete;

    const std::string& Path() const { return path_; }
    // Reads exactly `length` bytes at `offset`; false at the end of the file or on an error.
    bool ReadAt(std::uint64_t offset, char* into, std::size_t length) const;
    // The file's state now; false when it cannot be had.
    bool Stamp(DxlFileStamp* stamp) const;

    // Takes over an open descriptor.
    DxlFile(std::string path, int descriptor) : path_(std::move(path)), descriptor_(descriptor) {}

private:
    std::string path_;
    int descriptor_ = -1;
};

}  // namespace qb::notes
