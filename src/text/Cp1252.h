#pragma once
// Windows-1252, the 8-bit ("ANSI") character set of stores and of mail that
// declares no or a Latin-1 charset. The mapping is lossless as Windows and
// the WHATWG index define it: the five bytes the code page leaves unassigned
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the C1 controls of the same
// value, so any byte string survives decoding and encoding again.

#include <string>
#include <string_view>

namespace qb::text {

char32_t Cp1252ToCodePoint(unsigned char byte);
// The byte of a code point, or -1 when Windows-1252 has none.
int CodePointToCp1252(char32_t cp);

std::string Cp1252ToUtf8(std::string_view cp1252);
void AppendCp1252AsUtf8(std::string& out, std::string_view cp1252);
// Characters that Windows-1252 lacks (and invalid UTF-8) become '?'.
std::string Utf8ToCp1252(std::string_view utf8);

}  // namespace qb::text
