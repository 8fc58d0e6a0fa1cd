#pragma once
// Conversion of mail text in a declared character set into UTF-8.
//
// The conversion uses iconv from the C library: glibc ships converters for
// every character set mail uses (the ISO-8859 family, the Windows code pages,
// KOI8, the CJK sets), so no extra library is linked and the tables are the
// system's own, maintained ones. A few mail-specific rules sit on top of it,
// see ConvertToUtf8.

#include <string>
#include <string_view>

namespace qb::mime {

enum class CharsetStatus {
    Ok,
    // The charset is unknown to the converter; the text was read as Windows-1252.
    UnknownCharset,
    // Some bytes were not valid in the charset; each was replaced by U+FFFD.
    InvalidBytes,
};

// The canonical name of a charset label as mail writes it ("latin1",
// "UTF8", "cp1252", "x-unknown" ...), lower case, or "" for an empty label.
std::string NormaliseCharsetName(std::string_view label);

// Converts bytes in the given charset to UTF-8 and appends them to out.
// - An empty or "us-ascii" label with 8-bit bytes is read as UTF-8 when the
//   bytes are valid UTF-8, else as Windows-1252: undeclared 8-bit text is one
//   of the two in practice.
// - "iso-8859-1" is read as Windows-1252, as mail readers do: the C1 control
//   range it would otherwise give is never meant and Windows writers label
//   their text Latin-1.
// - Invalid UTF-8 in a text declared as UTF-8 is replaced byte by byte.
CharsetStatus ConvertToUtf8(std::string_view bytes, std::string_view charset, std::string& out);

// Convenience: the converted text (status dropped).
std::string ToUtf8(std::string_view bytes, std::string_view charset);

bool IsValidUtf8(std::string_view bytes);

// Appends the UTF-8 encoding of a code point (invalid ones become U+FFFD).
void AppendUtf8(std::string& out, char32_t codePoint);

// The Windows-1252 byte of a code point from U+0080 on, 0 when it has none.
unsigned char UnicodeToCp1252(char32_t codePoint);

// Decodes one UTF-8 sequence at pos, advancing pos; invalid bytes give
// U+FFFD and advance by one.
char32_t NextCodePoint(std::string_view text, size_t& pos);

}  // namespace qb::mime
