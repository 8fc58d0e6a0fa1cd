#include "notes/api/mime/HtmlToText.h"

#include "notes/api/mime/Charset.h"
#include "notes/api/mime/HeaderList.h"

#include <algorithm>
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

class TextBuilder {
public:
    void Text(std::string_view text, bool preformatted) {
        for (char c : text) {
            if (!preformatted && IsSpace(c)) {
                pendingSpace_ = true;
                continue;
            }
            if (preformatted && c == '\r') continue;
            if (preformatted && c == '\n') {
                LineBreak();
                continue;
            }
            if (pendingSpace_ && !AtLineStart()) out_.push_back(' ');
            pendingSpace_ = false;
            out_.push_back(c);
        }
    }
    void CodePoint(char32_t cp, bool preformatted) {
        if (cp == 0xA0) {  // a non-breaking space is text, not collapsible space
            Flush();
            out_.push_back(' ');
            return;
        }
        std::string utf8;
        AppendUtf8(utf8, cp);
        Text(utf8, preformatted);
    }
    void LineBreak() {
        pendingSpace_ = false;
        TrimTrailingSpace();
        out_.append("\r\n");
    }
    // A block boundary: at most one empty line in a row.
    void Block() {
        pendingSpace_ = false;
        TrimTrailingSpace();
        if (out_.empty()) return;
        if (!AtLineStart()) out_.append("\r\n");
    }
    void Paragraph() {
        Block();
        if (out_.empty()) return;
        if (!out_.ends_with("\r\n\r\n")) out_.append("\r\n");
    }
    // Between two table cells; nothing before the first text of a line.
    void Cell() {
        pendingSpace_ = false;
        TrimTrailingSpace();
        if (!AtLineStart()) out_.push_back('\t');
    }
    void Separator(std::string_view text) {
        Flush();
        out_.append(text);
    }
    std::string Finish() {
        TrimTrailingSpace();
        while (out_.ends_with("\r\n")) out_.resize(out_.size() - 2);
        return std::move(out_);
    }

private:
    bool AtLineStart() const { return out_.empty() || out_.back() == '\n'; }
    void Flush() {
        if (pendingSpace_ && !AtLineStart()) out_.push_back(' ');
        pendingSpace_ = false;
    }
    void TrimTrailingSpace() {
        while (!out_.empty() && (out_.back() == ' ' || out_.back() == '\t')) out_.pop_back();
    }
    std::string out_;
    bool pendingSpace_ = false;
};

// Decodes the reference at pos ('&'); returns the code point and sets the
// length taken, or 0 when it is no reference.
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

enum class TagEffect { None, LineBreak, Block, Paragraph, Cell, ListItem, Rule };

TagEffect EffectOf(const std::string& tag, bool closing) {
    if (tag == "br") return TagEffect::LineBreak;
    if (tag == "p" || tag == "h1" || tag == "h2" || tag == "h3" || tag == "h4" || tag == "h5" || tag == "h6" ||
        tag == "blockquote" || tag == "pre" || tag == "table" || tag == "ul" || tag == "ol")
        return TagEffect::Paragraph;
    if (tag == "div" || tag == "tr" || tag == "dt" || tag == "dd" || tag == "address" || tag == "center" ||
        tag == "section" || tag == "article" || tag == "header" || tag == "footer" || tag == "form" || tag == "title")
        return TagEffect::Block;
    if ((tag == "td" || tag == "th") && !closing) return TagEffect::Cell;
    if (tag == "li" && !closing) return TagEffect::ListItem;
    if (tag == "li") return TagEffect::Block;
    if (tag == "hr") return TagEffect::Rule;
    return TagEffect::None;
}

}  // namespace

std::string HtmlToText(std::string_view html) {
    TextBuilder out;
    size_t pos = 0;
    int preDepth = 0;
    bool cellOpenInRow = false;
    while (pos < html.size()) {
        char c = html[pos];
        if (c == '&') {
            size_t length = 0;
            char32_t cp = ReadReference(html, pos, length);
            if (cp != 0) {
                out.CodePoint(cp, preDepth > 0);
                pos += length;
            } else {
                out.Text("&", preDepth > 0);
                ++pos;
            }
            continue;
        }
        if (c != '<') {
            size_t next = html.find_first_of("<&", pos);
            if (next == std::string_view::npos) next = html.size();
            out.Text(html.substr(pos, next - pos), preDepth > 0);
            pos = next;
            continue;
        }
        if (html.substr(pos).starts_with("<!--")) {
            size_t end = html.find("-->", pos + 4);
            pos = end == std::string_view::npos ? html.size() : end + 3;
            continue;
        }
        size_t nameStart = pos + 1;
        bool closing = nameStart < html.size() && html[nameStart] == '/';
        if (closing) ++nameStart;
        size_t nameEnd = nameStart;
        while (nameEnd < html.size() && (std::isalnum(static_cast<unsigned char>(html[nameEnd])) || html[nameEnd] == '!' || html[nameEnd] == '?'))
            ++nameEnd;
        if (nameEnd == nameStart) {  // a lone '<' is text
            out.Text("<", preDepth > 0);
            ++pos;
            continue;
        }
        std::string tag = ToLower(html.substr(nameStart, nameEnd - nameStart));
        // End of the tag: '>' outside quoted attribute values.
        size_t end = nameEnd;
        char quote = 0;
        while (end < html.size() && (quote || html[end] != '>')) {
            if (quote && html[end] == quote) quote = 0;
            else if (!quote && (html[end] == '"' || html[end] == '\'') && (html[end - 1] == '=' || IsSpace(html[end - 1])))
                quote = html[end];
            ++end;
        }
        pos = end < html.size() ? end + 1 : html.size();
        if (!closing && (tag == "script" || tag == "style" || tag == "head" || tag == "title" || tag == "xml")) {
            std::string close = "</" + tag;
            size_t found = pos;
            // case-insensitive search for the closing tag
            while (found < html.size()) {
                found = html.find("</", found);
                if (found == std::string_view::npos) break;
                if (EqualsIgnoreCase(html.substr(found, close.size()), close)) break;
                found += 2;
            }
            if (found == std::string_view::npos || found >= html.size()) {
                pos = html.size();
            } else {
                size_t gt = html.find('>', found);
                pos = gt == std::string_view::npos ? html.size() : gt + 1;
            }
            continue;
        }
        if (tag == "pre") preDepth = closing ? std::max(0, preDepth - 1) : preDepth + 1;
        if (tag == "tr") cellOpenInRow = false;
        switch (EffectOf(tag, closing)) {
            case TagEffect::LineBreak: out.LineBreak(); break;
            case TagEffect::Block: out.Block(); break;
            case TagEffect::Paragraph: out.Paragraph(); break;
            case TagEffect::Cell:
                if (cellOpenInRow) out.Cell();
                cellOpenInRow = true;
                break;
            case TagEffect::ListItem:
                out.Block();
                out.Separator("* ");
                break;
            case TagEffect::Rule:
                out.Block();
                out.Separator("----------");
                out.Block();
                break;
            case TagEffect::None: break;
        }
    }
    return out.Finish();
}

}  // namespace qb::mime
