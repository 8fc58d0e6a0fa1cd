#pragma once
// A DXL file open for reading at any offset: held by the reader of a
// database and by the file objects (attachments) of the notes it parsed, so
// that attachment data is read from the descriptor already open instead of
// opening the file again per attachment. Reads use pread and never move a
// shared file position, so one DxlFile serves any number of threads.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qb::notes {

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

    // Takes over an open descriptor.
    DxlFile(std::string path, int descriptor) : path_(std::move(path)), descriptor_(descriptor) {}

private:
    std::string path_;
    int descriptor_ = -1;
};

}  // namespace qb::notes
