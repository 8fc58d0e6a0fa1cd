#pragma once
// Text conversions between our UTF-8 strings and the character forms MAPI
// structures carry: wide strings (WCHAR), UTF-16LE bytes in entry
// identifiers, and Windows-1252 for 8-bit ("ANSI") data. The conversions
// themselves are the text layer's; this adds the wide-string form.

#include <string>
#include <string_view>

#include "outlook/mapi/MapiTypes.h"
#include "text/Cp1252.h"
#include "text/Utf16.h"

namespace qb::mapi {

std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);
using text::Utf16ToUtf8;
using text::Utf8ToUtf16;
// Characters that Windows-1252 lacks become '?'; every byte reads back as
// itself (the unassigned ones as C1 controls).
using text::Cp1252ToUtf8;
using text::Utf8ToCp1252;

// Case folding for comparisons of names.
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace qb::mapi
