#pragma once
// The file under a store: positioned reads and writes that throw PstError
// with the system's reason (a full disk included).

#include <cstdint>
#include <string>

#include "outlook/pst/PstTypes.h"

namespace qb::pst {

class PstFile {
public:
    enum class Mode { Read, ReadWrite, Create };
    PstFile(const std::string& path, Mode mode);
    ~PstFile();
    PstFile(const PstFile&) = delete;
    PstFile& operator=(const PstFile&) = delete;

    void Read(std::uint64_t offset, void* buffer, std::size_t size) const;
    Bytes Read(std::uint64_t offset, std::size_t size) const;
    void Write(std::uint64_t offset, const void* buffer, std::size_t size);
    void Sync();
    // Grows the file (sparse) to at least `size` bytes.
    void Extend(std::uint64_t size);
    std::uint64_t Size() const;
    bool writable() const { return writable_; }
    const std::string& path() const { return path_; }

    // Test hook: writes fail with "No space left on device" once the file
    // would grow beyond this size (0 = no limit).
    void SetSizeLimitForTest(std::uint64_t limit) { sizeLimit_ = limit; }

private:
    std::string path_;
    int fd_ = -1;
    bool writable_ = false;
    std::uint64_t sizeLimit_ = 0;
};

}  // namespace qb::pst
