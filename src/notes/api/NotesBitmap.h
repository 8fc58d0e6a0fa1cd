#pragma once
// Notes' own bitmaps: the CD records after a CDGRAPHIC that start with a
// CDBITMAPHEADER instead of an image header (and a DXL <notesbitmap>).
//
//   0x95 CDBITMAPHEADER     LSIG; RECTSIZE Dest, RECTSIZE Crop, WORD flags,
//                           WORD and DWORD reserved, WORD width, WORD height,
//                           WORD bits per pixel (1, 8 or 16), WORD samples per
//                           pixel, WORD bits per sample, WORD segment count,
//                           WORD colour count, WORD pattern count
//   0x97 CDCOLORTABLE       LSIG; 3-byte RGB entries (8-bit bitmaps)
//   0x98 CDPATTERNTABLE     LSIG; 24-byte entries: 8 picture elements (8-bit:
//                           the first 8 bytes; 16-bit: 8 RGB triples)
//   0xC5 CDTRANSPARENTTABLE LSIG (not used here)
//   0x96 CDBITMAPSEGMENT    LSIG; DWORD reserved[2], WORD scanline count,
//                           WORD data size, then run-length encoded lines
//
// Each line is encoded on its own, in picture elements (PELs: one byte of 8
// pixels at 1 bit, one colour index at 8 bits, one 0RRRRRGGGGGBBBBB word at
// 16 bits). A flag byte's two high bits: 11 the next PEL repeated (6-bit
// count), 10 the same with a 14-bit count, 01 a pattern repeated (14-bit
// count, then the pattern's index), 00 raw PELs follow (6-bit count).

#include <string_view>

#include "notes/api/render/Image.h"

namespace qb::notes {

inline constexpr std::uint8_t SIG_CD_BITMAPHEADER = 0x95;
inline constexpr std::uint8_t SIG_CD_BITMAPSEGMENT = 0x96;
inline constexpr std::uint8_t SIG_CD_COLORTABLE = 0x97;
inline constexpr std::uint8_t SIG_CD_PATTERNTABLE = 0x98;
inline constexpr std::uint8_t SIG_CD_TRANSPARENTTABLE = 0xC5;

bool IsNotesBitmapRecord(std::uint8_t signature);

// Decodes the records (from the CDBITMAPHEADER on). Lines missing at the end
// stay black and give Truncated.
render::ImageStatus DecodeNotesBitmap(std::string_view records, render::Bitmap& bitmap, std::string* detail = nullptr);

}  // namespace qb::notes
