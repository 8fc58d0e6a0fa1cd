#include "notes/api/formula/NotesCollation.h"

#include <cstdint>

#include "text/Utf8.h"

namespace qb::notes {
namespace {

constexpr char32_t kInvalidByteBase = 0x110000;  // invalid bytes sort after all code points

// Decodes one UTF-8 sequence at `pos`; an invalid byte decodes as
// kInvalidByteBase + byte and advances by one.
char32_t DecodeAt(std::string_view text, std::size_t& pos) {
    const auto byte = static_cast<unsigned char>(text[pos]);
    bool valid = true;
    const char32_t cp = text::NextCodePoint(text, pos, &valid);
    return valid ? cp : kInvalidByteBase + byte;
}

void Encode(char32_t cp, std::string& out) {
    if (cp >= kInvalidByteBase) out += static_cast<char>(cp - kInvalidByteBase);  // kept as it was
    else text::AppendUtf8(out, cp);
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
