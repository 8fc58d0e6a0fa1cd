#pragma once
// Compressed RTF (text/Lzfu.h) with the results MAPI gives: a stored form
// that cannot be decoded is MAPI_E_CORRUPT_DATA.

#include <span>
#include <vector>

#include "outlook/mapi/MapiTypes.h"
#include "text/Lzfu.h"

namespace qb::mapi::lzfu {

using text::lzfu::kCompressedType;
using text::lzfu::kHeaderSize;
using text::lzfu::kUncompressedType;

using text::lzfu::Compress;
using text::lzfu::Crc32;
using text::lzfu::StoreUncompressed;

inline HRESULT Decompress(std::span<const BYTE> stored, std::vector<BYTE>& raw) {
    return text::lzfu::Decompress(stored, raw) ? S_OK : MAPI_E_CORRUPT_DATA;
}

}  // namespace qb::mapi::lzfu
