#pragma once
// A strict checker of personal folders files: every page and block (type,
// signature, CRC, id), B-tree order, block reference counts, allocation-map
// bits against the space in use, and the folder tables against the folders
// and messages they describe. Readers of the format check little of this,
// so files written by the engine are held to it.

#include <cstdint>
#include <string>
#include <vector>

namespace qb::pst {

struct CheckReport {
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
    std::size_t pages = 0;
    std::size_t blocks = 0;
    std::size_t nodes = 0;
    std::size_t folders = 0;
    std::size_t messages = 0;
    std::size_t attachments = 0;
    std::uint64_t fileSize = 0;
    std::string format;
    bool ok() const { return errors.empty(); }
};

CheckReport CheckPstFile(const std::string& path);

}  // namespace qb::pst
