#include "notes/api/mime/HtmlTokenizer.h"

#include "notes/api/mime/Charset.h"
#include "notes/api/mime/HeaderList.h"

#include <array>
#include <cctype>
#include <cstdlib>

namespace qb::mime {

namespace {

struct NamedEntity {
    const char* name;
    char32_t codePoint;
};

// The references mail writers use; the full HTML table is 2000 names.
constexpr std::array<NamedEntity, 60> kEntities = {{
    {"amp", '&'},        {"lt", '<'},          {"gt", '>'},          {"quot", '"'},        {"apos", '\''},
    {"nbsp", 0xA0},      {"copy", 0xA9},       {"reg", 0xAE},        {"trade", 0x2122},    {"hellip", 0x2026},
    {"mdash", 0x2014},   {"ndash", 0x2013},    {"lsquo", 0x2018},    {"rsquo", 0x2019},    {"ldquo", 0x201C},
    {"rdquo", 0x201D},   {"bull", 0x2022},     {"middot", 0xB7},     {"euro", 0x20AC},     {"pound", 0xA3},
    {"yen", 0xA5},       {"cent", 0xA2},       {"sect", 0xA7},       {"deg", 0xB0},        {"plusmn", 0xB1},
    {"times", 0xD7},     {"divide", 0xF7},     {"laquo", 0xAB},      {"raquo", 0xBB},      {"iexcl", 0xA1},
    {"iquest", 0xBF},    {"shy", 0xAD},        {"auml", 0xE4},       {"ouml", 0xF6},       {"uuml", 0xFC},
    {"Auml", 0xC4},      {"Ouml", 0xD6},       {"Uuml", 0xDC},       {"szlig", 0xDF},      {"eacute", 0xE9},
    {"egrave", 0xE8},    {"ecirc", 0xEA},      {"Eacute", 0xC9},     {"aacute", 0xE1},     {"agrave", 0xE0},
    {"acirc", 0xE2},     {"ccedil", 0xE7},     {"iacute", 0xED},     {"oacute", 0xF3},     {"uacute", 0xFA},
    {"ntilde", 0xF1},    {"Ntilde", 0xD1},     {"aring", 0xE5},      {"Aring", 0xC5},      {"oslash", 0xF8},
    {"Oslash", 0xD8},    {"aelig", 0xE6},      {"AElig", 0xC6},      {"zwnj", 0x200C},     {"ensp", 0x2002},
}};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

// The reference at pos ('&'): its code point and length, or 0 when it is
// no reference.
char32_t ReadReference(std::string_view html, size_t pos, size_t& length) {
    size_t end = pos + 1;
    while (end < html.size() && end - pos < 34 && (std::isalnum(static_cast<unsigned char>(html[end])) || html[end] == '#'))
        ++end;
    std::string_view name = html.substr(pos + 1, end - pos - 1);
    length = end - pos + (end < html.size() && html[end] == ';' ? 1 : 0);
    if (name.size() > 1 && name[0] == '#') {
        bool hex = name[1] == 'x' || name[1] == 'X';
        std::string digits(name.substr(hex ? 2 : 1));
        if (digits.empty() || digits.size() > 8) return 0;
        char* stop = nullptr;
        unsigned long value = std::strtoul(digits.c_str(), &stop, hex ? 16 : 10);
        if (*stop != '\0') return 0;
        if (value == 0 || value > 0x10FFFF) return 0xFFFD;
        return static_cast<char32_t>(value);
    }
    for (const NamedEntity& e : kEntities)
        if (name == e.name) return e.codePoint;
    return 0;
}

bool IsRawTextElement(const std::string& name) {
    return name == "script" || name == "style" || name == "head" || name == "title" || name == "xml";
}

}  // namespace

std::string DecodeHtmlReferences(std::string_view text) {
    std::string out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t amp = text.find('&', pos);
        if (amp == std::string_view::npos) amp = text.size();
        out.append(text.substr(pos, amp - pos));
        if (amp == text.size()) break;
        size_t length = 0;
        char32_t cp = ReadReference(text, amp, length);
        if (cp != 0) {
            AppendUtf8(out, cp);
            pos = amp + length;
        } else {
            out.push_back('&');
            pos = amp + 1;
        }
    }
    return out;
}

std::string HtmlToken::Attribute(std::string_view attributeName) const {
    for (const auto& [n, v] : attributes)
        if (n == attributeName) return v;
    return std::string();
}

bool HtmlTokenizer::Next(HtmlToken& token) {
    token = HtmlToken{};
    while (pos_ < html_.size()) {
        if (html_[pos_] == '<') {
            if (ReadTag(token)) return true;
            continue;
        }
        // Text up to the next tag start ('<' followed by what a tag can start with).
        size_t end = pos_;
        while (end < html_.size()) {
            end = html_.find('<', end);
            if (end == std::string_view::npos) {
                end = html_.size();
                break;
            }
            char next = end + 1 < html_.size() ? html_[end + 1] : '\0';
            if (std::isalpha(static_cast<unsigned char>(next)) || next == '/' || next == '!' || next == '?') break;
            ++end;
        }
        token.kind = HtmlToken::Kind::Text;
        token.text = DecodeHtmlReferences(html_.substr(pos_, end - pos_));
        pos_ = end;
        if (!token.text.empty()) return true;
    }
    return false;
}

// Reads the tag at pos_ ('<'); false when it produced no token (a comment,
// a skipped element, or a '<' that starts no tag, which is then text).
bool HtmlTokenizer::ReadTag(HtmlToken& token) {
    if (html_.substr(pos_).starts_with("<!--")) {
        size_t end = html_.find("-->", pos_ + 4);
        pos_ = end == std::string_view::npos ? html_.size() : end + 3;
        return false;
    }
    size_t nameStart = pos_ + 1;
    bool closing = nameStart < html_.size() && html_[nameStart] == '/';
    if (closing) ++nameStart;
    size_t nameEnd = nameStart;
    while (nameEnd < html_.size() &&
           (std::isalnum(static_cast<unsigned char>(html_[nameEnd])) || html_[nameEnd] == '!' || html_[nameEnd] == '?'))
        ++nameEnd;
    if (nameEnd == nameStart) {
        token.kind = HtmlToken::Kind::Text;
        token.text = "<";
        ++pos_;
        return true;
    }
    // The end of the tag: '>' outside quoted attribute values.
    size_t end = nameEnd;
    char quote = 0;
    while (end < html_.size() && (quote || html_[end] != '>')) {
        if (quote && html_[end] == quote) quote = 0;
        else if (!quote && (html_[end] == '"' || html_[end] == '\'') && (html_[end - 1] == '=' || IsSpace(html_[end - 1])))
            quote = html_[end];
        ++end;
    }
    token.kind = closing ? HtmlToken::Kind::EndTag : HtmlToken::Kind::StartTag;
    token.name = ToLower(html_.substr(nameStart, nameEnd - nameStart));
    if (!closing) ReadAttributes(nameEnd, end, token);
    pos_ = end < html_.size() ? end + 1 : html_.size();
    if (!closing && IsRawTextElement(token.name)) {
        SkipRawText(token.name);
        return false;
    }
    return true;
}

void HtmlTokenizer::ReadAttributes(size_t from, size_t end, HtmlToken& token) const {
    size_t pos = from;
    while (pos < end) {
        while (pos < end && (IsSpace(html_[pos]) || html_[pos] == '/')) ++pos;
        size_t nameStart = pos;
        while (pos < end && !IsSpace(html_[pos]) && html_[pos] != '=' && html_[pos] != '/') ++pos;
        if (pos == nameStart) break;
        std::string name = ToLower(html_.substr(nameStart, pos - nameStart));
        while (pos < end && IsSpace(html_[pos])) ++pos;
        std::string value;
        if (pos < end && html_[pos] == '=') {
            ++pos;
            while (pos < end && IsSpace(html_[pos])) ++pos;
            if (pos < end && (html_[pos] == '"' || html_[pos] == '\'')) {
                char quote = html_[pos++];
                size_t valueEnd = html_.substr(0, end).find(quote, pos);
                if (valueEnd == std::string_view::npos) valueEnd = end;
                value = DecodeHtmlReferences(html_.substr(pos, valueEnd - pos));
                pos = valueEnd < end ? valueEnd + 1 : end;
            } else {
                size_t valueStart = pos;
                while (pos < end && !IsSpace(html_[pos])) ++pos;
                value = DecodeHtmlReferences(html_.substr(valueStart, pos - valueStart));
            }
        }
        if (token.attributes.size() < 64) token.attributes.emplace_back(std::move(name), std::move(value));
    }
}

// Moves past the end tag of a raw text element (or to the end).
void HtmlTokenizer::SkipRawText(const std::string& element) {
    std::string close = "</" + element;
    size_t found = pos_;
    while ((found = html_.find("</", found)) != std::string_view::npos) {
        if (EqualsIgnoreCase(html_.substr(found, close.size()), close)) break;
        found += 2;
    }
    if (found == std::string_view::npos) {
        pos_ = html_.size();
        return;
    }
    size_t gt = html_.find('>', found);
    pos_ = gt == std::string_view::npos ? html_.size() : gt + 1;
}

}  // namespace qb::mime
