#include "notes/api/mime/HtmlToText.h"

#include "notes/api/mime/HtmlTokenizer.h"

#include <algorithm>

namespace qb::mime {

namespace {

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
    void NonBreakingSpace() {
        Flush();
        out_.push_back(' ');
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
    HtmlTokenizer tokens(html);
    HtmlToken token;
    int preDepth = 0;
    bool cellOpenInRow = false;
    while (tokens.Next(token)) {
        if (token.kind == HtmlToken::Kind::Text) {
            // A non-breaking space is text, not collapsible space.
            size_t pos = 0;
            for (size_t nbsp; (nbsp = token.text.find("\xC2\xA0", pos)) != std::string::npos; pos = nbsp + 2) {
                out.Text(std::string_view(token.text).substr(pos, nbsp - pos), preDepth > 0);
                out.NonBreakingSpace();
            }
            out.Text(std::string_view(token.text).substr(pos), preDepth > 0);
            continue;
        }
        const std::string& tag = token.name;
        bool closing = token.kind == HtmlToken::Kind::EndTag;
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
