#include "notes/api/render/HtmlRichText.h"

#include "notes/api/mime/HeaderList.h"
#include "notes/api/mime/HtmlTokenizer.h"
#include "notes/api/mime/TransferDecoding.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace qb::render {

namespace {

using mime::HtmlToken;
using mime::ToLower;
using mime::Trim;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

bool IsBlock(const std::string& tag) {
    static constexpr std::array<const char*, 22> kBlocks = {
        "p",  "div", "h1", "h2", "h3", "h4", "h5", "h6", "blockquote", "pre", "table",
        "tr", "ul",  "ol", "li", "dl", "dt", "dd", "center", "address", "hr", "body"};
    for (const char* b : kBlocks)
        if (tag == b) return true;
    return false;
}

bool IsVoid(const std::string& tag) {
    return tag == "br" || tag == "img" || tag == "hr" || tag == "meta" || tag == "link" || tag == "input" ||
           tag == "col" || tag == "area" || tag == "base" || tag == "wbr";
}

std::optional<Alignment> AlignmentOf(std::string_view value) {
    std::string v = ToLower(Trim(value));
    if (v == "center" || v == "middle") return Alignment::Center;
    if (v == "right") return Alignment::Right;
    if (v == "justify") return Alignment::Justify;
    if (v == "left") return Alignment::Left;
    return std::nullopt;
}

// A CSS length in points ("12pt", "16px", "1.5em" of the current size).
std::optional<unsigned> PointsOf(std::string_view value, unsigned current) {
    std::string v = ToLower(Trim(value));
    char* end = nullptr;
    double number = std::strtod(v.c_str(), &end);
    if (end == v.c_str() || !(number > 0) || number > 1000) return std::nullopt;
    std::string unit(Trim(std::string_view(end)));
    double points = unit == "px" ? number * 0.75 : unit == "em" || unit == "rem" ? number * current
                  : unit == "%" ? number * current / 100 : number;
    unsigned rounded = static_cast<unsigned>(points + 0.5);
    return std::clamp(rounded, 1u, 400u);
}

// <font size=1..7> in points.
unsigned FontSizePoints(std::string_view value, unsigned current) {
    static constexpr std::array<unsigned, 7> kSizes = {8, 10, 12, 14, 18, 24, 36};
    std::string v(Trim(value));
    if (v.empty()) return current;
    int n = std::atoi(v.c_str() + ((v[0] == '+' || v[0] == '-') ? 1 : 0));
    if (v[0] == '+') n = 3 + n;
    else if (v[0] == '-') n = 3 - n;
    n = std::clamp(n, 1, 7);
    return kSizes[static_cast<size_t>(n - 1)];
}

std::string FirstFamily(std::string_view families) {
    std::string_view first = families.substr(0, families.find(','));
    std::string name(Trim(first));
    name.erase(std::remove(name.begin(), name.end(), '"'), name.end());
    name.erase(std::remove(name.begin(), name.end(), '\''), name.end());
    return name;
}

struct BlockStyle {
    std::optional<Alignment> alignment;
};

// Applies an inline CSS declaration list to a text style (and alignment).
void ApplyCss(std::string_view css, TextStyle& style, BlockStyle& block) {
    size_t pos = 0;
    while (pos < css.size()) {
        size_t semi = css.find(';', pos);
        if (semi == std::string_view::npos) semi = css.size();
        std::string_view declaration = css.substr(pos, semi - pos);
        pos = semi + 1;
        size_t colon = declaration.find(':');
        if (colon == std::string_view::npos) continue;
        std::string property = ToLower(Trim(declaration.substr(0, colon)));
        std::string value = ToLower(Trim(declaration.substr(colon + 1)));
        if (size_t bang = value.find('!'); bang != std::string::npos) value = std::string(Trim(value.substr(0, bang)));
        if (property == "font-weight") {
            style.bold = value == "bold" || value == "bolder" || std::atoi(value.c_str()) >= 600;
        } else if (property == "font-style") {
            style.italic = value == "italic" || value == "oblique";
        } else if (property == "text-decoration" || property == "text-decoration-line") {
            if (value.find("none") != std::string::npos) style.underline = style.strike = false;
            if (value.find("underline") != std::string::npos) style.underline = true;
            if (value.find("line-through") != std::string::npos) style.strike = true;
        } else if (property == "color") {
            if (auto colour = ParseHtmlColour(value)) style.colour = *colour;
        } else if (property == "font-family") {
            std::string family = FirstFamily(Trim(declaration.substr(colon + 1)));
            if (!family.empty()) style.fontFace = family;
        } else if (property == "font-size") {
            if (auto points = PointsOf(value, style.pointSize)) style.pointSize = *points;
        } else if (property == "text-align") {
            block.alignment = AlignmentOf(value);
        } else if (property == "vertical-align") {
            style.superscript = value == "super";
            style.subscript = value == "sub";
        }
    }
}

class RichTextBuilder {
public:
    RichTextBuilder(const ContentIdResolver& resolve, const TextStyle& base) : resolve_(resolve) {
        stack_.push_back(Element{"", base, {}, ""});
    }

    void Add(const HtmlToken& token) {
        switch (token.kind) {
            case HtmlToken::Kind::Text: Text(token.text); break;
            case HtmlToken::Kind::StartTag: Start(token); break;
            case HtmlToken::Kind::EndTag: End(token.name); break;
        }
    }

    RichTextDocument Finish() {
        FinishParagraph();
        return std::move(document_);
    }

private:
    struct Element {
        std::string tag;
        TextStyle style;
        BlockStyle block;
        std::string link;
    };

    const TextStyle& Style() const { return stack_.back().style; }

    void Text(const std::string& text) {
        if (preDepth_ > 0) {
            for (char c : text) {
                if (c == '\r') continue;
                if (c == '\n') {
                    Append(LineBreak{});
                    continue;
                }
                AppendChar(c);
            }
            return;
        }
        for (char c : text) {
            if (IsSpace(c)) {
                // The space takes the style of where it stands, not of the
                // text after it (an underline must not start with it).
                if (!pendingSpace_) pendingSpaceIn_ = stack_.back();
                pendingSpace_ = true;
                continue;
            }
            FlushSpace();
            AppendChar(c);
        }
    }

    void FlushSpace() {
        if (pendingSpace_ && !AtParagraphStart()) AppendChar(' ', pendingSpaceIn_.style, pendingSpaceIn_.link);
        pendingSpace_ = false;
    }

    void AppendChar(char c) { AppendChar(c, stack_.back().style, stack_.back().link); }

    void AppendChar(char c, const TextStyle& style, const std::string& url) {
        auto& inlines = current_.inlines;
        if (!url.empty()) {
            if (!inlines.empty())
                if (auto* link = std::get_if<LinkRun>(&inlines.back()); link && link->url == url && link->style == style) {
                    link->text.push_back(c);
                    return;
                }
            inlines.push_back(LinkRun{style, std::string(1, c), url});
            return;
        }
        if (!inlines.empty())
            if (auto* run = std::get_if<TextRun>(&inlines.back()); run && run->style == style) {
                run->text.push_back(c);
                return;
            }
        inlines.push_back(TextRun{style, std::string(1, c)});
    }

    void Append(Inline item) {
        // Space before a picture is kept; before a line break it is not shown.
        if (std::holds_alternative<PictureRun>(item)) FlushSpace();
        pendingSpace_ = false;
        current_.inlines.push_back(std::move(item));
    }

    bool AtParagraphStart() const {
        if (current_.inlines.empty()) return true;
        return std::holds_alternative<LineBreak>(current_.inlines.back());
    }

    Alignment CurrentAlignment() const {
        for (auto it = stack_.rbegin(); it != stack_.rend(); ++it)
            if (it->block.alignment) return *it->block.alignment;
        return Alignment::Left;
    }

    // Spacer cells and &nbsp; rows of layout tables show nothing.
    static bool OnlyBlank(const Paragraph& paragraph) {
        for (const Inline& item : paragraph.inlines) {
            const auto* run = std::get_if<TextRun>(&item);
            if (!run) return false;
            for (size_t i = 0; i < run->text.size(); ++i) {
                char c = run->text[i];
                if (c == ' ' || c == '\t') continue;
                if (run->text.compare(i, 2, "\xC2\xA0") == 0) {
                    ++i;
                    continue;
                }
                return false;
            }
        }
        return true;
    }

    void FinishParagraph() {
        pendingSpace_ = false;
        if (OnlyBlank(current_)) current_.inlines.clear();
        if (current_.inlines.empty()) return;
        // Trailing spaces of the last run are not shown.
        if (auto* run = std::get_if<TextRun>(&current_.inlines.back()))
            while (!run->text.empty() && run->text.back() == ' ') run->text.pop_back();
        document_.paragraphs.push_back(std::move(current_));
        current_ = Paragraph{};
        current_.alignment = CurrentAlignment();
    }

    void StartParagraph() {
        FinishParagraph();
        current_.alignment = CurrentAlignment();
    }

    void Start(const HtmlToken& token) {
        const std::string& tag = token.name;
        if (tag == "br") {
            Append(LineBreak{});
            return;
        }
        if (tag == "img") {
            Image(token);
            return;
        }
        if (tag == "hr") {
            StartParagraph();
            return;
        }
        if ((tag == "td" || tag == "th") && cellInRow_) {
            pendingSpace_ = false;
            if (!AtParagraphStart()) AppendChar('\t');
        }
        if (tag == "td" || tag == "th") cellInRow_ = true;
        if (tag == "tr") cellInRow_ = false;
        if (IsVoid(tag) || tag.starts_with("!") || tag.starts_with("?")) return;
        // A new <p> or <li> closes an open one, as browsers do.
        if (tag == "p" || tag == "li") CloseOpen(tag);
        if (stack_.size() > 256) return;  // nesting beyond this is read flat
        Element element{tag, Style(), {}, stack_.back().link};
        ApplyTag(token, element);
        stack_.push_back(std::move(element));
        if (tag == "pre") ++preDepth_;
        if (IsBlock(tag)) StartParagraph();
        if (tag == "li") {
            AppendText("\xE2\x80\xA2 ");
        }
    }

    void AppendText(std::string_view text) {
        for (char c : text) AppendChar(c);
        pendingSpace_ = false;
    }

    void CloseOpen(const std::string& tag) {
        for (size_t i = stack_.size(); i-- > 1;) {
            if (stack_[i].tag == tag) {
                End(tag);
                return;
            }
            if (IsBlock(stack_[i].tag) && stack_[i].tag != "p") return;  // only within the same block
        }
    }

    void ApplyTag(const HtmlToken& token, Element& element) {
        const std::string& tag = token.name;
        TextStyle& style = element.style;
        if (tag == "b" || tag == "strong") style.bold = true;
        else if (tag == "i" || tag == "em" || tag == "cite" || tag == "var") style.italic = true;
        else if (tag == "u" || tag == "ins") style.underline = true;
        else if (tag == "s" || tag == "strike" || tag == "del") style.strike = true;
        else if (tag == "sup") style.superscript = true, style.subscript = false;
        else if (tag == "sub") style.subscript = true, style.superscript = false;
        else if (tag == "code" || tag == "tt" || tag == "pre" || tag == "kbd" || tag == "samp") style.fontFace = "Courier New";
        else if (tag == "center") element.block.alignment = Alignment::Center;
        else if (tag.size() == 2 && tag[0] == 'h' && tag[1] >= '1' && tag[1] <= '6') {
            static constexpr std::array<unsigned, 6> kHeadingSizes = {24, 18, 14, 12, 10, 8};
            style.bold = true;
            style.pointSize = kHeadingSizes[static_cast<size_t>(tag[1] - '1')];
        } else if (tag == "a") {
            std::string href = token.Attribute("href");
            if (!href.empty() && !href.starts_with("#") && !ToLower(href).starts_with("javascript:")) element.link = href;
        } else if (tag == "font") {
            std::string face = token.Attribute("face");
            if (!face.empty()) style.fontFace = FirstFamily(face);
            if (auto colour = ParseHtmlColour(token.Attribute("color"))) style.colour = *colour;
            std::string size = token.Attribute("size");
            if (!size.empty()) style.pointSize = FontSizePoints(size, style.pointSize);
        }
        if (std::string align = token.Attribute("align"); !align.empty() && IsBlock(tag)) element.block.alignment = AlignmentOf(align);
        if (std::string css = token.Attribute("style"); !css.empty()) ApplyCss(css, style, element.block);
        if (!IsBlock(tag)) element.block.alignment.reset();
    }

    void End(const std::string& tag) {
        // Close the innermost open element of that name and all inside it;
        // an end tag with no open element is ignored.
        for (size_t i = stack_.size(); i-- > 1;) {
            if (stack_[i].tag != tag) continue;
            bool block = false;
            while (stack_.size() > i) {
                if (IsBlock(stack_.back().tag)) block = true;
                if (stack_.back().tag == "pre") --preDepth_;
                stack_.pop_back();
            }
            if (block) StartParagraph();
            return;
        }
        if (tag == "p") StartParagraph();  // a stray </p> still ends a paragraph
    }

    void Image(const HtmlToken& token) {
        std::string src = token.Attribute("src");
        std::optional<std::string> bytes;
        if (ToLower(src.substr(0, 4)) == "cid:") {
            std::string id = src.substr(4);
            if (id.size() >= 2 && id.front() == '<' && id.back() == '>') id = id.substr(1, id.size() - 2);
            if (resolve_) bytes = resolve_(id);
        } else if (ToLower(src.substr(0, 5)) == "data:") {
            size_t comma = src.find(',');
            if (comma != std::string::npos && ToLower(src.substr(0, comma)).find(";base64") != std::string::npos) {
                std::string decoded;
                mime::DecodeBase64(std::string_view(src).substr(comma + 1), decoded);
                bytes = std::move(decoded);
            }
        }
        if (!bytes || bytes->empty()) {
            // Remote or missing pictures: their alternative text, if any.
            std::string alt = token.Attribute("alt");
            if (!alt.empty()) Text(alt);
            return;
        }
        PictureRun picture{std::move(*bytes)};
        picture.displayWidth = static_cast<uint32_t>(std::clamp(std::atoi(token.Attribute("width").c_str()), 0, 10000));
        picture.displayHeight = static_cast<uint32_t>(std::clamp(std::atoi(token.Attribute("height").c_str()), 0, 10000));
        if (!picture.displayWidth || !picture.displayHeight) picture.displayWidth = picture.displayHeight = 0;
        Append(std::move(picture));
    }

    const ContentIdResolver& resolve_;
    std::vector<Element> stack_;
    RichTextDocument document_;
    Paragraph current_;
    bool pendingSpace_ = false;
    Element pendingSpaceIn_;
    bool cellInRow_ = false;
    int preDepth_ = 0;
};

}  // namespace

std::optional<Colour> ParseHtmlColour(std::string_view text) {
    std::string v = ToLower(Trim(text));
    if (v.empty()) return std::nullopt;
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    std::string digits = v[0] == '#' ? v.substr(1) : v;
    bool allHex = !digits.empty() && std::all_of(digits.begin(), digits.end(), [&](char c) { return hex(c) >= 0; });
    if (allHex && digits.size() == 6 && (v[0] == '#' || v.size() == 6)) {
        return Colour{static_cast<uint8_t>(hex(digits[0]) * 16 + hex(digits[1])),
                      static_cast<uint8_t>(hex(digits[2]) * 16 + hex(digits[3])),
                      static_cast<uint8_t>(hex(digits[4]) * 16 + hex(digits[5]))};
    }
    if (allHex && digits.size() == 3 && v[0] == '#') {
        return Colour{static_cast<uint8_t>(hex(digits[0]) * 17), static_cast<uint8_t>(hex(digits[1]) * 17),
                      static_cast<uint8_t>(hex(digits[2]) * 17)};
    }
    if (v.starts_with("rgb(")) {
        int r = 0, g = 0, b = 0;
        if (std::sscanf(v.c_str(), "rgb(%d ,%d ,%d", &r, &g, &b) == 3 || std::sscanf(v.c_str(), "rgb(%d,%d,%d", &r, &g, &b) == 3)
            return Colour{static_cast<uint8_t>(std::clamp(r, 0, 255)), static_cast<uint8_t>(std::clamp(g, 0, 255)),
                          static_cast<uint8_t>(std::clamp(b, 0, 255))};
        return std::nullopt;
    }
    struct Named {
        const char* name;
        Colour colour;
    };
    static constexpr std::array<Named, 16> kNames = {{{"black", {0, 0, 0}},
                                                      {"silver", {192, 192, 192}},
                                                      {"gray", {128, 128, 128}},
                                                      {"white", {255, 255, 255}},
                                                      {"maroon", {128, 0, 0}},
                                                      {"red", {255, 0, 0}},
                                                      {"purple", {128, 0, 128}},
                                                      {"fuchsia", {255, 0, 255}},
                                                      {"green", {0, 128, 0}},
                                                      {"lime", {0, 255, 0}},
                                                      {"olive", {128, 128, 0}},
                                                      {"yellow", {255, 255, 0}},
                                                      {"navy", {0, 0, 128}},
                                                      {"blue", {0, 0, 255}},
                                                      {"teal", {0, 128, 128}},
                                                      {"aqua", {0, 255, 255}}}};
    for (const Named& n : kNames)
        if (v == n.name) return n.colour;
    return std::nullopt;
}

RichTextDocument RichTextFromHtml(std::string_view html, const ContentIdResolver& resolveContentId,
                                  const TextStyle& baseStyle) {
    RichTextBuilder builder(resolveContentId, baseStyle);
    mime::HtmlTokenizer tokens(html);
    HtmlToken token;
    while (tokens.Next(token)) builder.Add(token);
    return builder.Finish();
}

}  // namespace qb::render
