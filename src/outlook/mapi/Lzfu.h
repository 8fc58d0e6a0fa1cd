#pragma once
// Compressed RTF as PR_RTF_COMPRESSED holds it: a 16-byte header (size of
// the rest, raw size, type "LZFu" or "MELA", CRC) followed by LZ77 data over a
// 4096-byte dictionary that starts filled with common RTF text, or by the raw
// bytes in the uncompressed form.

#include <cstdint>
#include <span>
#include <vector>

#include "outlook/mapi/MapiTypes.h"

namespace qb::mapi::lzfu {

constexpr std::uint32_t kCompressedType = 0x75465A4C;    // "LZFu"
constexpr std::uint32_t kUncompressedType = 0x414C454D;  // "MELA"
constexpr std::size_t kHeaderSize = 16;

// The CRC of the format: the text layer's CRC-32 (start value as given, 0
// for a whole buffer).
std::uint32_t Crc32(std::span<const BYTE> data, std::uint32_t crc = 0);

std::vector<BYTE> Compress(std::span<const BYTE> raw);
std::vector<BYTE> StoreUncompressed(std::span<const BYTE> raw);

// Decodes either form. MAPI_E_CORRUPT_DATA for a short or inconsistent
// header, an unknown type, a CRC that does not match, or data that ends
// before the raw size is reached; MAPI_E_INVALID_PARAMETER never.
HRESULT Decompress(std::span<const BYTE> stored, std::vector<BYTE>& raw);

}  // namespace qb::mapi::lzfu
