#include "notes/api/mime/ContentType.h"

#include "notes/api/mime/Charset.h"
#include "notes/api/mime/EncodedWords.h"
#include "notes/api/mime/HeaderList.h"

#include <cstdlib>
#include <vector>

namespace qb::mime {

namespace {

struct RawParameter {
    std::string name;  // lower case, without the "*" and section number
    int section = -1;  // -1: not continued
    bool extended = false;
    std::string value;
};

// Removes RFC 822 comments "( ... )" outside quoted strings.
std::string StripComments(std::string_view text) {
    std::string out;
    int depth = 0;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quoted) {
            out.push_back(c);
            if (c == '\\' && i + 1 < text.size()) out.push_back(text[++i]);
            else if (c == '"') quoted = false;
        } else if (c == '"' && depth == 0) {
            quoted = true;
            out.push_back(c);
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && depth > 0) {
            --depth;
        } else if (depth == 0) {
            out.push_back(c);
        }
    }
    return out;
}

// Splits at ';' outside quotes.
std::vector<std::string_view> SplitParameters(std::string_view text) {
    std::vector<std::string_view> pieces;
    bool quoted = false;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (quoted && c == '\\') {
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ';' && !quoted) {
            pieces.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

std::string Unquote(std::string_view value) {
    value = Trim(value);
    if (value.size() < 1 || value.front() != '"') return std::string(value);
    std::string out;
    for (size_t i = 1; i < value.size(); ++i) {
        char c = value[i];
        if (c == '\\' && i + 1 < value.size()) {
            out.push_back(value[++i]);
        } else if (c == '"') {
            break;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string PercentDecode(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            char hex[3] = {text[i + 1], text[i + 2], 0};
            char* end = nullptr;
            long v = std::strtol(hex, &end, 16);
            if (end == hex + 2) {
                out.push_back(static_cast<char>(v));
                i += 2;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

RawParameter ReadParameter(std::string_view piece) {
    RawParameter p;
    size_t eq = piece.find('=');
    std::string_view name = Trim(piece.substr(0, eq));
    p.value = eq == std::string_view::npos ? std::string() : Unquote(piece.substr(eq + 1));
    if (!name.empty() && name.back() == '*') {
        p.extended = true;
        name.remove_suffix(1);
    }
    if (size_t star = name.find('*'); star != std::string_view::npos) {
        std::string_view number = name.substr(star + 1);
        int section = 0;
        bool digits = !number.empty() && number.size() < 4;
        for (size_t i = 0; digits && i < number.size(); ++i) {
            if (number[i] < '0' || number[i] > '9') digits = false;
            else section = section * 10 + (number[i] - '0');
        }
        if (digits) {
            p.section = section;
            name = name.substr(0, star);
        }
    }
    p.name = ToLower(name);
    return p;
}

// Joins the sections of one RFC 2231 parameter and converts it.
std::string JoinSections(std::vector<const RawParameter*> sections) {
    std::string charset;
    std::string bytes;
    bool first = true;
    for (const RawParameter* p : sections) {
        std::string_view value = p->value;
        if (p->extended) {
            if (first) {
                size_t q1 = value.find('\'');
                size_t q2 = q1 == std::string_view::npos ? q1 : value.find('\'', q1 + 1);
                if (q2 != std::string_view::npos) {
                    charset = std::string(value.substr(0, q1));
                    value = value.substr(q2 + 1);
                }
            }
            bytes += PercentDecode(value);
        } else {
            bytes += value;
        }
        first = false;
    }
    return ToUtf8(bytes, charset);
}

}  // namespace

ParameterMap ParseParameters(std::string_view text) {
    std::string clean = StripComments(text);
    std::vector<std::string_view> pieces = SplitParameters(clean);
    std::vector<RawParameter> raw;
    for (size_t i = 1; i < pieces.size(); ++i) {
        if (Trim(pieces[i]).empty()) continue;
        RawParameter p = ReadParameter(pieces[i]);
        if (!p.name.empty()) raw.push_back(std::move(p));
    }
    ParameterMap map;
    // Continued parameters first, in section order; a plain value of the same
    // name is only a fallback for readers without RFC 2231.
    std::map<std::string, std::map<int, const RawParameter*>> continued;
    for (const auto& p : raw)
        if (p.section >= 0 || p.extended) continued[p.name].emplace(p.section < 0 ? 0 : p.section, &p);
    for (auto& [name, sections] : continued) {
        std::vector<const RawParameter*> ordered;
        int expected = 0;
        for (auto& [number, p] : sections) {
            if (number != expected) break;  // a gap ends the value
            ordered.push_back(p);
            ++expected;
        }
        if (!ordered.empty()) map[name] = JoinSections(ordered);
    }
    for (const auto& p : raw) {
        if (p.section >= 0 || p.extended || map.count(p.name)) continue;
        map[p.name] = DecodeHeaderText(p.value);
    }
    return map;
}

std::string ContentType::Parameter(std::string_view name) const {
    auto it = parameters.find(ToLower(name));
    return it == parameters.end() ? std::string() : it->second;
}

ContentType ParseContentType(std::string_view value) {
    ContentType result;
    std::string clean = StripComments(value);
    std::string_view head = clean;
    head = head.substr(0, head.find(';'));
    size_t slash = head.find('/');
    std::string type = ToLower(Trim(head.substr(0, slash)));
    std::string subtype = slash == std::string_view::npos ? std::string() : ToLower(Trim(head.substr(slash + 1)));
    result.parameters = ParseParameters(value);
    if (!type.empty() && !subtype.empty() && type.find_first_of(" \t\"") == std::string::npos) {
        result.type = type;
        result.subtype = subtype;
    } else if (type == "text") {
        // "text" alone, as some old mailers write it
    } else if (!type.empty()) {
        // An unreadable type: the RFC default, keeping any charset given.
        result.parameters.erase("boundary");
    }
    return result;
}

ContentDisposition ParseContentDisposition(std::string_view value) {
    ContentDisposition result;
    std::string clean = StripComments(value);
    std::string_view head = clean;
    result.kind = ToLower(Trim(head.substr(0, head.find(';'))));
    result.parameters = ParseParameters(value);
    return result;
}

}  // namespace qb::mime
