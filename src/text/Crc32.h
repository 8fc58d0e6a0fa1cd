#pragma once
// The CRC-32 that the store format and compressed RTF both use: reflected
// polynomial 0xEDB88320, start value as given (0 for a whole buffer), no
// final inversion. Feeding a buffer in pieces, each with the previous
// result, gives the same value as feeding it whole.

#include <cstddef>
#include <cstdint>

namespace qb::text {

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);

}  // namespace qb::text
