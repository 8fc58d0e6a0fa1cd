#pragma once
// Text conversions between our UTF-8 strings and the character forms MAPI
// structures carry: wide strings (WCHAR), UTF-16LE bytes in entry
// identifiers, and Windows-1252 for 8-bit ("ANSI") data.

#include <string>
#include <string_view>

#include "outlook/mapi/MapiTypes.h"

namespace qb::mapi {

std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);
// Characters that Windows-1252 lacks become '?'.
std::string Utf8ToCp1252(std::string_view utf8);
std::string Cp1252ToUtf8(std::string_view cp1252);

// Simple case folding (ASCII and Latin-1) for comparisons of names.
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace qb::mapi
