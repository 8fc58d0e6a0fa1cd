// Case folding and case-blind comparison of UTF-8; see TextCase.h.

#include "text/TextCase.h"

#include "text/Utf8.h"

#include <cstdint>

namespace qb::text {

char32_t LowerCodePoint(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c < 0x80) return c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;
    if (c >= 0x100 && c <= 0x17F) {
        // Latin Extended-A pairs upper/lower as even/odd, except the run
        // U+0139..U+0148 and U+0179..U+017E, which pair odd/even.
        const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (c == 0x178) return 0xFF;  // Ÿ pairs with ÿ of Latin-1
        if (c == 0x130 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        if (oddUpper) return (c % 2 == 1) ? c + 1 : c;
        return (c % 2 == 0) ? c + 1 : c;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    return c;
}

std::string ToLower(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b0 = static_cast<unsigned char>(utf8[i]);
        // Only two-byte sequences hold letters we fold; everything else is
        // copied byte for byte, so invalid UTF-8 passes through untouched.
        if (b0 < 0x80) {
            out += static_cast<char>(LowerCodePoint(b0));
            ++i;
        } else if ((b0 & 0xE0) == 0xC0 && i + 1 < utf8.size() &&
                   (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) {
            const char32_t c = ((b0 & 0x1F) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F);
            if (c < 0x80) out.append(utf8.substr(i, 2));  // overlong form: keep as found
            else AppendUtf8(out, LowerCodePoint(c));
            i += 2;
        } else {
            out += utf8[i];
            ++i;
        }
    }
    return out;
}

namespace {

// The next character of text folded, or its byte (as a value no code point
// has) when it is not valid UTF-8.
char32_t NextFolded(std::string_view text, std::size_t& pos) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte < 0x80) {
        ++pos;
        return LowerCodePoint(byte);
    }
    bool valid = true;
    const char32_t cp = NextCodePoint(text, pos, &valid);
    return valid ? LowerCodePoint(cp) : 0x110000 + byte;
}

}  // namespace

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size())
        if (NextFolded(a, i) != NextFolded(b, j)) return false;
    return i == a.size() && j == b.size();
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
    std::size_t i = 0, j = 0;
    while (i < text.size() && j < prefix.size())
        if (NextFolded(text, i) != NextFolded(prefix, j)) return false;
    return j == prefix.size();
}

int CompareIgnoreCase(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const char32_t x = NextFolded(a, i), y = NextFolded(b, j);
        if (x != y) return x < y ? -1 : 1;
    }
    return (i < a.size()) - (j < b.size());
}

}  // namespace qb::text
