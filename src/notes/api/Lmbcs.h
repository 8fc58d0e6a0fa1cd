#pragma once
// LMBCS, the character set of Notes text as stored (raw item values and the
// text of CD records), decoded to UTF-8, the character set of text in this
// layer's values.
//
// LMBCS is ASCII plus groups: a group byte names a code page for the
// character that follows. 0x01 CP850 (also the group of an unprefixed byte
// from 0x80), 0x02 CP852, 0x03 CP1255, 0x04 CP1256, 0x05 CP1251, 0x06
// CP1253, 0x08 CP1254, 0x0B CP874: one byte follows. 0x10 CP932, 0x11
// CP949, 0x12 CP950, 0x13 CP936: one or two bytes follow (a lead byte
// takes two). 0x14: a UTF-16 code unit, high byte first (a surrogate pair
// in two such groups is one character). 0x0F: the control
// character that follows. Other bytes below 0x80 stand for themselves.

#include <string>
#include <string_view>

namespace qb::notes {

// True when the bytes need decoding: they are not valid UTF-8, or they hold
// LMBCS group bytes (which UTF-8 text from DXL never does).
bool LooksLikeLmbcs(std::string_view bytes);

std::string LmbcsToUtf8(std::string_view bytes);

// LmbcsToUtf8 when LooksLikeLmbcs, else the bytes as they are.
std::string NotesTextToUtf8(std::string_view bytes);

// The text of every CDTEXT record of a rich text value, through
// NotesTextToUtf8; other records (and a damaged tail) kept as they are.
std::string RichTextToUtf8(std::string_view value);

}  // namespace qb::notes
