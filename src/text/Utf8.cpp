// UTF-8 decoding shared by every layer; see Utf8.h for what counts as valid.

#include "text/Utf8.h"

namespace qb::text {

char32_t NextCodePoint(std::string_view text, std::size_t& pos, bool* valid) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    auto invalid = [&] {
        ++pos;
        if (valid) *valid = false;
        return kReplacementCharacter;
    };
    if (valid) *valid = true;
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
        return invalid();
    }
    if (length > text.size() - pos) return invalid();
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0) != 0x80) return invalid();
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return invalid();
    pos += length;
    return cp;
}

bool IsValidUtf8(std::string_view text) {
    std::size_t pos = 0;
    bool valid = true;
    while (pos < text.size()) {
        if (static_cast<unsigned char>(text[pos]) < 0x80) {
            ++pos;
            continue;
        }
        NextCodePoint(text, pos, &valid);
        if (!valid) return false;
    }
    return true;
}

bool AppendRepairedUtf8(std::string& out, std::string_view text) {
    bool clean = true;
    std::size_t pos = 0;
    while (pos < text.size()) {
        // Copy the valid run up to the next invalid byte in one piece.
        const std::size_t start = pos;
        bool valid = true;
        std::size_t end = pos;
        while (end < text.size()) {
            std::size_t next = end;
            NextCodePoint(text, next, &valid);
            if (!valid) break;
            end = next;
        }
        out.append(text.substr(start, end - start));
        pos = end;
        if (pos < text.size()) {
            AppendUtf8(out, kReplacementCharacter);
            clean = false;
            ++pos;
        }
    }
    return clean;
}

std::string RepairUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendRepairedUtf8(out, text);
    return out;
}

}  // namespace qb::text
