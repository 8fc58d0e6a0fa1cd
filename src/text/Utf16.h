#pragma once
// UTF-16 to and from UTF-8, as code units and as little-endian bytes (the
// form stores and entry identifiers keep). A surrogate pair is one code point
// both ways; a lone surrogate and invalid UTF-8 become U+FFFD.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qb::text {

inline bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
inline char32_t CombineSurrogates(char32_t high, char32_t low) {
    return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// Appends the UTF-16LE bytes of the text.
void AppendUtf16Le(std::vector<std::uint8_t>& out, std::string_view utf8);
// UTF-16LE bytes to UTF-8; an odd last byte is ignored.
std::string Utf16LeToUtf8(const std::uint8_t* data, std::size_t size);

}  // namespace qb::text
