#include "notes/api/mime/HtmlTokenizer.h"

#include "notes/api/mime/HeaderList.h"
#include "notes/api/mime/HtmlReferences.h"

#include <cctype>

namespace qb::mime {

namespace {

constexpr HtmlReferenceContext kInAttribute = HtmlReferenceContext::Attribute;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

bool IsRawTextElement(const std::string& name) {
    return name == "script" || name == "style" || name == "head" || name == "title" || name == "xml";
}

}  // namespace

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
        // assign(count, char): g++ 12 warns falsely (-Wrestrict) on a one-character literal here.
        token.text.assign(1, '<');
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
                value = DecodeHtmlReferences(html_.substr(pos, valueEnd - pos), kInAttribute);
                pos = valueEnd < end ? valueEnd + 1 : end;
            } else {
                size_t valueStart = pos;
                while (pos < end && !IsSpace(html_[pos])) ++pos;
                value = DecodeHtmlReferences(html_.substr(valueStart, pos - valueStart), kInAttribute);
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
