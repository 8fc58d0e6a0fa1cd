#pragma once
// UTF-8: appending a code point, decoding one sequence, checking and
// repairing text. Every decoder of the program goes through NextCodePoint,
// so all layers agree on what is valid: overlong forms, surrogates, values
// beyond U+10FFFF and truncated sequences are invalid, and each invalid byte
// decodes as one U+FFFD.

#include <cstddef>
#include <string>
#include <string_view>

namespace qb::text {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Surrogates and values beyond U+10FFFF become U+FFFD.
inline void AppendUtf8(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacementCharacter;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// The sequence at text[pos] (pos < text.size()); pos moves past it. An
// invalid byte gives U+FFFD and moves pos by one; `valid`, when given, tells
// a decoded U+FFFD apart from an invalid byte.
char32_t NextCodePoint(std::string_view text, std::size_t& pos, bool* valid = nullptr);

bool IsValidUtf8(std::string_view text);

// The text with every invalid byte replaced by U+FFFD; valid text unchanged.
std::string RepairUtf8(std::string_view text);
// Same, appending to out; returns false when something was replaced.
bool AppendRepairedUtf8(std::string& out, std::string_view text);

}  // namespace qb::text
