#pragma once
// Compressed RTF as PR_RTF_COMPRESSED holds it: a 16-byte header (size of
// the rest, raw size, type "LZFu" or "MELA", CRC) followed by LZ77 data over a
// 4096-byte dictionary that starts filled with common RTF text, or by the raw
// bytes in the uncompressed form. Pure functions, safe from any thread.

#include <cstdint>
#include <span>
#include <vector>

namespace qb::text::lzfu {

constexpr std::uint32_t kCompressedType = 0x75465A4C;    // "LZFu"
constexpr std::uint32_t kUncompressedType = 0x414C454D;  // "MELA"
constexpr std::size_t kHeaderSize = 16;

// The CRC of the format: CRC-32 (start value as given, 0 for a whole buffer).
std::uint32_t Crc32(std::span<const std::uint8_t> data, std::uint32_t crc = 0);

std::vector<std::uint8_t> Compress(std::span<const std::uint8_t> raw);
std::vector<std::uint8_t> StoreUncompressed(std::span<const std::uint8_t> raw);

// Decodes either form. False for a short or inconsistent header, an unknown
// type, a CRC that does not match, or data that ends before the raw size is
// reached.
bool Decompress(std::span<const std::uint8_t> stored, std::vector<std::uint8_t>& raw);

}  // namespace qb::text::lzfu
