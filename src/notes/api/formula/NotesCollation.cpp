#include "notes/api/formula/NotesCollation.h"

#include <cstdint>

namespace qb::notes {
namespace {

constexpr char32_t kInvalidByteBase = 0x110000;  // invalid bytes sort after all code points

// Decodes one UTF-8 sequence at `pos`; an invalid byte decodes as
// kInvalidByteBase + byte and advances by one.
char32_t DecodeAt(std::string_view text, std::size_t& pos) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    auto invalid = [&] { ++pos; return kInvalidByteBase + byte; };
    if (byte < 0x80) { ++pos; return byte; }
    int length = 0;
    char32_t cp = 0;
    if ((byte & 0xE0) == 0xC0) { length = 2; cp = byte & 0x1F; }
    else if ((byte & 0xF0) == 0xE0) { length = 3; cp = byte & 0x0F; }
    else if ((byte & 0xF8) == 0xF0) { length = 4; cp = byte & 0x07; }
    else return invalid();
    if (pos + length > text.size()) return invalid();
    for (int i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0) != 0x80) return invalid();
        cp = (cp << 6) | (next & 0x3F);
    }
    static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return invalid();
    pos += length;
    return cp;
}

void Encode(char32_t cp, std::string& out) {
    if (cp >= kInvalidByteBase) { out += static_cast<char>(cp - kInvalidByteBase); return; }
    if (cp < 0x80) { out += static_cast<char>(cp); return; }
    if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    }
    out += static_cast<char>(0x80 | (cp & 0x3F));
}

// Case mapping for ASCII, Latin-1 and Latin Extended-A, the letters of the
// languages whose mail Notes commonly carries.
char32_t ToLower(char32_t cp) {
    if (cp >= 'A' && cp <= 'Z') return cp + 32;
    if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) return cp + 32;
    if (cp >= 0x100 && cp <= 0x137 && cp % 2 == 0) return cp + 1;
    if (cp >= 0x139 && cp <= 0x148 && cp % 2 == 1) return cp + 1;
    if (cp >= 0x14A && cp <= 0x177 && cp % 2 == 0) return cp + 1;
    if (cp == 0x178) return 0xFF;
    if ((cp == 0x179 || cp == 0x17B || cp == 0x17D)) return cp + 1;
    return cp;
}

char32_t ToUpper(char32_t cp) {
    if (cp >= 'a' && cp <= 'z') return cp - 32;
    if (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7) return cp - 32;
    if (cp == 0xFF) return 0x178;
    if (cp >= 0x101 && cp <= 0x137 && cp % 2 == 1) return cp - 1;
    if (cp >= 0x13A && cp <= 0x148 && cp % 2 == 0) return cp - 1;
    if (cp >= 0x14B && cp <= 0x177 && cp % 2 == 1) return cp - 1;
    if ((cp == 0x17A || cp == 0x17C || cp == 0x17E)) return cp - 1;
    return cp;
}

std::uint64_t SortWeight(char32_t cp) {
    const char32_t lower = ToLower(cp);
    if (lower <= 0x20) return lower;
    if (lower == '\'') return 0x40;
    if (lower == '-') return 0x41;
    if (lower >= '0' && lower <= '9') return 0x50 + (lower - '0');
    if (lower >= 'a' && lower <= 'z') return 0x100 + (lower - 'a');
    if (lower != ToUpper(cp) || lower != cp) return 0x1000 + lower;  // a cased non-ASCII letter
    return 0x200000 + lower;
}

template <typename Map>
std::string MapCase(std::string_view text, Map map) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) Encode(map(DecodeAt(text, pos)), out);
    return out;
}

}  // namespace

int CompareNotesText(std::string_view left, std::string_view right) {
    std::size_t l = 0, r = 0;
    while (l < left.size() && r < right.size()) {
        const std::uint64_t a = SortWeight(DecodeAt(left, l));
        const std::uint64_t b = SortWeight(DecodeAt(right, r));
        if (a != b) return a < b ? -1 : 1;
    }
    if (l < left.size()) return 1;
    if (r < right.size()) return -1;
    return 0;
}

std::string NotesLowerCase(std::string_view text) { return MapCase(text, ToLower); }
std::string NotesUpperCase(std::string_view text) { return MapCase(text, ToUpper); }

}  // namespace qb::notes
