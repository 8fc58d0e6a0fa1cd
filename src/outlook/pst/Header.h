#pragma once
// The file header: version, id counters, the ROOT with both B-tree roots and
// the allocation state, and the data block encoding. Both formats.

#include <array>
#include <cstdint>

#include "outlook/pst/PstTypes.h"

namespace qb::pst {

struct Header {
    PstFormat format = PstFormat::Unicode;
    std::uint16_t wVer = 23;
    std::uint16_t wVerClient = 19;
    std::uint8_t platformCreate = 1;
    std::uint8_t platformAccess = 1;
    std::uint32_t reserved1 = 0;
    std::uint32_t reserved2 = 0;
    Bid bidUnused = 0;
    Bid bidNextP = 0;
    Bid bidNextB = 0;
    std::uint32_t dwUnique = 0;
    std::array<Nid, 32> rgnid{};
    // ROOT
    std::uint64_t ibFileEof = 0;
    std::uint64_t ibAMapLast = 0;
    std::uint64_t cbAMapFree = 0;
    std::uint64_t cbPMapFree = 0;
    Bref nbt;
    Bref bbt;
    std::uint8_t fAMapValid = 0;
    std::array<std::uint8_t, 128> rgbFM{};
    std::array<std::uint8_t, 128> rgbFP{};
    std::uint8_t cryptMethod = 1;

    // Parses and checks magic, version and CRCs; throws PstError.
    static Header Parse(const Bytes& raw);
    Bytes Serialize() const;
    std::size_t Size() const { return format == PstFormat::Unicode ? 564 : 512; }
};

// Number of leading header bytes to read before the format is known.
inline constexpr std::size_t kHeaderReadSize = 564;

}  // namespace qb::pst
