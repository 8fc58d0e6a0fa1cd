// UTF-16 conversions; see Utf16.h.

#include "text/Utf16.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <cstring>

#include "text/Utf8.h"

namespace qb::text {
namespace {

template <class PutUnit>
void PutCodePoint(char32_t cp, PutUnit& put) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        put(static_cast<char16_t>(0xD800 + (cp >> 10)));
        put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        put(static_cast<char16_t>(cp));
    }
}

template <class UnitAt>
std::string DecodeUtf16(std::size_t units, UnitAt unitAt) {
    std::string out;
    out.reserve(units);
    for (std::size_t i = 0; i < units; ++i) {
        char32_t cp = unitAt(i);
        if (IsHighSurrogate(cp) && i + 1 < units && IsLowSurrogate(unitAt(i + 1))) {
            cp = CombineSurrogates(cp, unitAt(i + 1));
            ++i;
        }
        AppendUtf8(out, cp);  // a lone surrogate becomes U+FFFD there
    }
    return out;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    auto put = [&out](char16_t unit) { out.push_back(unit); };
    for (std::size_t i = 0; i < utf8.size();) PutCodePoint(NextCodePoint(utf8, i), put);
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    return DecodeUtf16(utf16.size(), [utf16](std::size_t i) { return char32_t(utf16[i]); });
}

void AppendUtf16Le(std::vector<std::uint8_t>& out, std::string_view utf8) {
    // Every UTF-8 byte gives at most one UTF-16 unit (a 4-byte sequence gives two).
    const std::size_t start = out.size();
    out.resize(start + utf8.size() * 2);
    std::uint8_t* p = out.data() + start;
    auto put = [&p](char16_t unit) {
        p[0] = static_cast<std::uint8_t>(unit);
        p[1] = static_cast<std::uint8_t>(unit >> 8);
        p += 2;
    };
    for (std::size_t i = 0; i < utf8.size();) {
        // Mail text is mostly ASCII: widen runs of it eight bytes at a time.
        std::size_t run = i;
#ifdef __SSE2__
        while (run + 16 <= utf8.size()) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(utf8.data() + run));
            if (_mm_movemask_epi8(bytes) != 0) break;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_unpacklo_epi8(bytes, _mm_setzero_si128()));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16), _mm_unpackhi_epi8(bytes, _mm_setzero_si128()));
            p += 32;
            run += 16;
        }
#endif
        while (run + 8 <= utf8.size()) {
            std::uint64_t word;
            std::memcpy(&word, utf8.data() + run, 8);
            if (word & 0x8080808080808080ull) break;
            for (int k = 0; k < 8; ++k) put(static_cast<std::uint8_t>(word >> (8 * k)));
            run += 8;
        }
        i = run;
        if (i >= utf8.size()) break;
        // Near other text, ASCII and well-formed two- and three-byte
        // sequences go without the decoder; anything else takes it.
        const auto byte = [&utf8](std::size_t at) { return static_cast<unsigned char>(utf8[at]); };
        const auto follows = [&](std::size_t at) { return at < utf8.size() && (byte(at) & 0xC0) == 0x80; };
        const unsigned char lead = byte(i);
        if (lead < 0x80) {
            put(lead);
            ++i;
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF && follows(i + 1)) {
            put(static_cast<char16_t>((lead & 0x1F) << 6 | (byte(i + 1) & 0x3F)));
            i += 2;
            continue;
        }
        if (lead >= 0xE0 && lead <= 0xEF && follows(i + 1) && follows(i + 2)) {
            const char32_t cp = char32_t(lead & 0x0F) << 12 | char32_t(byte(i + 1) & 0x3F) << 6 | (byte(i + 2) & 0x3F);
            if (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF)) {
                put(static_cast<char16_t>(cp));
                i += 3;
                continue;
            }
        }
        PutCodePoint(NextCodePoint(utf8, i), put);
    }
    out.resize(static_cast<std::size_t>(p - out.data()));
}

std::string Utf16LeToUtf8(const std::uint8_t* data, std::size_t size) {
    return DecodeUtf16(size / 2, [data](std::size_t i) { return char32_t(data[2 * i] | data[2 * i + 1] << 8); });
}

}  // namespace qb::text
