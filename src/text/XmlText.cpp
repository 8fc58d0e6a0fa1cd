// XML escaping; see XmlText.h.

#include "text/XmlText.h"

#include "text/Utf8.h"

namespace qb::text {

std::string XmlEscape(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        const char c = utf8[pos];
        if (static_cast<unsigned char>(c) >= 0x80) {
            AppendUtf8(out, NextCodePoint(utf8, pos));
            continue;
        }
        ++pos;
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '\'': out += "&apos;"; break;
        case '"': out += "&quot;"; break;
        case '\n': out += "&#xa;"; break;
        case '\r': out += "&#xd;"; break;
        case '\t': out += "&#x9;"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) AppendUtf8(out, kReplacementCharacter);
            else out.push_back(c);
        }
    }
    return out;
}

}  // namespace qb::text
