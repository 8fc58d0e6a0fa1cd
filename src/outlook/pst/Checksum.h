#pragma once
// CRC, block/page signatures and the data block encodings of the format.

#include <cstddef>
#include <cstdint>

#include "outlook/pst/PstTypes.h"
#include "text/Crc32.h"

namespace qb::pst {

// The format's CRC-32 (reflected, start value 0, no final inversion).
using text::Crc32;

// Signature of a block or B-tree page stored at `ib` with id `bid`.
std::uint16_t ComputeSig(std::uint64_t ib, std::uint64_t bid);

// Whether a stored CRC or signature differs from the computed one. The fuzz
// build accepts every value, so that mutated files reach the code behind the
// check (a crafted file can always carry the right value).
constexpr bool CheckFails(std::uint32_t computed, std::uint32_t stored) {
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    return (void)computed, (void)stored, false;
#else
    return computed != stored;
#endif
}

enum CryptMethod : std::uint8_t { kCryptNone = 0, kCryptPermute = 1, kCryptCyclic = 2 };

// Encodes / decodes the bytes of an external data block in place.
void EncodeData(std::uint8_t method, Bid bid, std::uint8_t* data, std::size_t size);
// Copies `size` bytes from `in` to `out`, encoded (one pass instead of copy then encode).
void EncodeDataInto(std::uint8_t method, Bid bid, const std::uint8_t* in, std::uint8_t* out, std::size_t size);
void DecodeData(std::uint8_t method, Bid bid, std::uint8_t* data, std::size_t size);

}  // namespace qb::pst
