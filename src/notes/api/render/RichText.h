#pragma once
// A small model of styled text with pictures: what the rich text of a body
// holds once it is read, and what the RTF writer renders. Built by the
// reader from its composite records or from a MIME body.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace qb::render {

struct Colour {
    uint8_t red = 0, green = 0, blue = 0;
    bool operator==(const Colour&) const = default;
};

struct TextStyle {
    std::string fontFace = "Arial";
    unsigned pointSize = 10;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool superscript = false;
    bool subscript = false;
    Colour colour;
    bool operator==(const TextStyle&) const = default;
};

// UTF-8 text in one style; '\n' is a line break inside the paragraph and
// '\t' a tab.
struct TextRun {
    TextStyle style;
    std::string text;
};

struct LineBreak {};

// A link shown as its text (the URL when text is empty), e.g. a Notes
// document link as its NOTES:// address.
struct LinkRun {
    TextStyle style;
    std::string text;
    std::string url;
};

// Encoded picture bytes (GIF, JPEG, PNG or BMP) with an optional display
// size in pixels (0: the picture's own size).
struct PictureRun {
    std::string data;
    uint32_t displayWidth = 0;
    uint32_t displayHeight = 0;
};

using Inline = std::variant<TextRun, LineBreak, LinkRun, PictureRun>;

enum class Alignment { Left, Right, Center, Justify };

struct Paragraph {
    Alignment alignment = Alignment::Left;
    int leftIndentTwips = 0;
    int firstLineIndentTwips = 0;
    int spaceBeforeTwips = 0;
    int spaceAfterTwips = 0;
    std::vector<Inline> inlines;
};

struct RichTextDocument {
    std::vector<Paragraph> paragraphs;
};

// Plain text as paragraphs: each line (CRLF, LF or CR) one paragraph.
void AppendTextParagraphs(RichTextDocument& document, std::string_view text, const TextStyle& style = {});

// The text of the document: paragraphs end with "\n", pictures give
// nothing, links their shown text.
std::string PlainText(const RichTextDocument& document);

}  // namespace qb::render
