// Character references: a binary search in the generated table of HTML5
// names (HtmlEntities.inc, written by scripts/gen-html-entities). Each
// reference is read in time bounded by the longest name; digit runs of any
// length are read once and saturate instead of overflowing.

#include "notes/api/mime/HtmlReferences.h"

#include "text/Utf8.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace qb::mime {

namespace {

struct NamedEntity {
    std::string_view name;  // without ';'
    char32_t first;
    char32_t second;  // 0 for names of one code point
    bool legacy;      // valid also without ';'
};

constexpr NamedEntity kNamedEntities[] = {
#define QB_HTML_NAMED_ENTITY(name, first, second, legacy) {name, first, second, legacy},
#include "notes/api/mime/HtmlEntities.inc"
#undef QB_HTML_NAMED_ENTITY
};

struct C1Reference {
    std::uint8_t number;
    char32_t codePoint;
};

constexpr C1Reference kC1References[] = {
#define QB_HTML_C1_REFERENCE(number, codePoint) {number, codePoint},
#include "notes/api/mime/HtmlEntities.inc"
#undef QB_HTML_C1_REFERENCE
};

static_assert(std::size(kC1References) == 0x20);
static_assert(std::is_sorted(std::begin(kNamedEntities), std::end(kNamedEntities),
                             [](const NamedEntity& a, const NamedEntity& b) { return a.name < b.name; }));

constexpr size_t LongestName(bool legacyOnly) {
    size_t longest = 0;
    for (const NamedEntity& e : kNamedEntities)
        if (!legacyOnly || e.legacy) longest = std::max(longest, e.name.size());
    return longest;
}

constexpr size_t kLongestName = LongestName(false);
constexpr size_t kLongestLegacyName = LongestName(true);

const NamedEntity* FindNamed(std::string_view name) {
    const auto* found = std::lower_bound(std::begin(kNamedEntities), std::end(kNamedEntities), name,
                                         [](const NamedEntity& e, std::string_view n) { return e.name < n; });
    return found != std::end(kNamedEntities) && found->name == name ? found : nullptr;
}

bool IsAsciiAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

int DigitValue(char c, bool hex) {
    if (c >= '0' && c <= '9') return c - '0';
    if (hex && c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A decoded reference: its code points and how many input bytes it took;
// length 0 when the '&' starts no reference.
struct Reference {
    char32_t first = 0;
    char32_t second = 0;
    size_t length = 0;
};

char32_t NumericCodePoint(std::uint32_t value) {
    if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return text::kReplacementCharacter;
    if (value >= 0x80 && value < 0xA0) return kC1References[value - 0x80].codePoint;
    return value;
}

// The numeric reference at pos ("&#"); the ';' is optional.
Reference ReadNumeric(std::string_view text, size_t pos) {
    size_t p = pos + 2;
    const bool hex = p < text.size() && (text[p] == 'x' || text[p] == 'X');
    if (hex) ++p;
    const size_t digitsStart = p;
    std::uint32_t value = 0;
    for (int digit; p < text.size() && (digit = DigitValue(text[p], hex)) >= 0; ++p)
        value = std::min<std::uint32_t>(value * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit), 0x110000);
    if (p == digitsStart) return {};
    if (p < text.size() && text[p] == ';') ++p;
    return {NumericCodePoint(value), 0, p - pos};
}

// The named reference at pos ('&'): the whole name with ';', else the
// longest legacy name it starts with.
Reference ReadNamed(std::string_view text, size_t pos, HtmlReferenceContext context) {
    size_t end = pos + 1;
    while (end < text.size() && end - pos - 1 <= kLongestName && IsAsciiAlnum(text[end])) ++end;
    const std::string_view name = text.substr(pos + 1, end - pos - 1);
    if (end < text.size() && text[end] == ';')
        if (const NamedEntity* entity = FindNamed(name)) return {entity->first, entity->second, name.size() + 2};
    for (size_t n = std::min(name.size(), kLongestLegacyName); n > 0; --n) {
        const NamedEntity* entity = FindNamed(name.substr(0, n));
        if (!entity || !entity->legacy) continue;
        const size_t next = pos + 1 + n;
        if (context == HtmlReferenceContext::Attribute && next < text.size() &&
            (IsAsciiAlnum(text[next]) || text[next] == '='))
            return {};
        return {entity->first, entity->second, n + 1};
    }
    return {};
}

Reference ReadReference(std::string_view text, size_t pos, HtmlReferenceContext context) {
    if (pos + 1 < text.size() && text[pos + 1] == '#') return ReadNumeric(text, pos);
    return ReadNamed(text, pos, context);
}

}  // namespace

std::string DecodeHtmlReferences(std::string_view text, HtmlReferenceContext context) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        size_t amp = text.find('&', pos);
        if (amp == std::string_view::npos) amp = text.size();
        out.append(text.substr(pos, amp - pos));
        if (amp == text.size()) break;
        const Reference reference = ReadReference(text, amp, context);
        if (reference.length == 0) {
            out.push_back('&');
            pos = amp + 1;
            continue;
        }
        text::AppendUtf8(out, reference.first);
        if (reference.second != 0) text::AppendUtf8(out, reference.second);
        pos = amp + reference.length;
    }
    return out;
}

}  // namespace qb::mime
