// HTML mail bodies as styled rich text.
#include "notes/api/mime/MessageContent.h"
#include "notes/api/mime/MimeParser.h"
#include "notes/api/mime/NotesMimeItems.h"
#include "notes/api/mime/TransferDecoding.h"
#include "notes/api/render/HtmlRichText.h"
#include "notes/api/render/MimeRichText.h"
#include "notes/api/render/RtfWriter.h"

#include "DxlRawItems.h"
#include "TestImages.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace qb::render {
namespace {

const TextRun& RunAt(const RichTextDocument& doc, size_t paragraph, size_t index) {
    return std::get<TextRun>(doc.paragraphs.at(paragraph).inlines.at(index));
}

TEST(HtmlRichText, InlineStylesFontsAndCss) {
    RichTextDocument doc = RichTextFromHtml(
        "<p>plain <b>bold <i>both</i></b> <u>under</u> <s>gone</s></p>"
        "<p><font face=\"Verdana, sans-serif\" color=\"#00f\" size=\"5\">font</font> "
        "<span style=\"font-weight:700; font-style:italic; color: rgb(1, 2, 3); font-size:16px; "
        "text-decoration:underline line-through; font-family:'Georgia'\">css</span>"
        "x<sup>2</sup></p>");
    ASSERT_EQ(doc.paragraphs.size(), 2u);
    EXPECT_EQ(PlainText(doc), "plain bold both under gone\nfont cssx2\n");
    EXPECT_FALSE(RunAt(doc, 0, 0).style.bold);
    EXPECT_EQ(RunAt(doc, 0, 1).text, "bold ");
    EXPECT_TRUE(RunAt(doc, 0, 1).style.bold);
    EXPECT_TRUE(RunAt(doc, 0, 2).style.bold && RunAt(doc, 0, 2).style.italic);
    EXPECT_TRUE(RunAt(doc, 0, 4).style.underline);
    EXPECT_TRUE(RunAt(doc, 0, 6).style.strike);
    const TextStyle& font = RunAt(doc, 1, 0).style;
    EXPECT_EQ(font.fontFace, "Verdana");
    EXPECT_EQ(font.colour, (Colour{0, 0, 255}));
    EXPECT_EQ(font.pointSize, 18u);
    const TextStyle& css = RunAt(doc, 1, 2).style;
    EXPECT_TRUE(css.bold && css.italic && css.underline && css.strike);
    EXPECT_EQ(css.colour, (Colour{1, 2, 3}));
    EXPECT_EQ(css.pointSize, 12u);
    EXPECT_EQ(css.fontFace, "Georgia");
    EXPECT_TRUE(RunAt(doc, 1, 4).style.superscript);
}

TEST(HtmlRichText, BlocksAlignmentListsTablesAndBreaks) {
    RichTextDocument doc = RichTextFromHtml(
        "<html><head><title>x</title><style>p{}</style></head><body>"
        "<h1 align=center>Title</h1><div style=\"text-align:right\">right<br>next</div>"
        "<ul><li>one<li>two</ul><table><tr><td>a</td><td>b</td></tr></table>"
        "<pre>  keep\n  lines</pre>text &amp; more&nbsp;</body></html>");
    EXPECT_EQ(PlainText(doc),
              "Title\nright\nnext\n\xE2\x80\xA2 one\n\xE2\x80\xA2 two\na\tb\n  keep\n  lines\ntext & more\xC2\xA0\n");
    EXPECT_EQ(doc.paragraphs[0].alignment, Alignment::Center);
    EXPECT_TRUE(RunAt(doc, 0, 0).style.bold);
    EXPECT_EQ(RunAt(doc, 0, 0).style.pointSize, 24u);
    EXPECT_EQ(doc.paragraphs[1].alignment, Alignment::Right);
    EXPECT_EQ(doc.paragraphs[6].alignment, Alignment::Left);
    EXPECT_EQ(RunAt(doc, 5, 0).style.fontFace, "Courier New");
}

TEST(HtmlRichText, LinksAndPictures) {
    std::string gif = test::MakeGif(3, 3, false, false);
    std::string png = test::MakeJpeg(2, 2, false, false);
    std::string dataUrl = "data:image/jpeg;base64,";
    {
        // base64 of the JPEG, built with the decoder's inverse
        static const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (size_t i = 0; i < png.size(); i += 3) {
            unsigned v = static_cast<unsigned char>(png[i]) << 16;
            if (i + 1 < png.size()) v |= static_cast<unsigned char>(png[i + 1]) << 8;
            if (i + 2 < png.size()) v |= static_cast<unsigned char>(png[i + 2]);
            dataUrl += kAlphabet[(v >> 18) & 63];
            dataUrl += kAlphabet[(v >> 12) & 63];
            dataUrl += i + 1 < png.size() ? kAlphabet[(v >> 6) & 63] : '=';
            dataUrl += i + 2 < png.size() ? kAlphabet[v & 63] : '=';
        }
    }
    RichTextDocument doc = RichTextFromHtml(
        "See <a href=\"http://example.org/x?a=1&amp;b=2\">the <b>site</b></a>. "
        "<img src=\"cid:logo@x\" width=30 height=20> <img src=\"" + dataUrl + "\">"
        "<img src=\"http://tracker/pixel.gif\" alt=\"[tracker]\"><img src=\"cid:missing\">",
        [&](std::string_view id) -> std::optional<std::string> {
            if (id == "logo@x") return gif;
            return std::nullopt;
        });
    ASSERT_EQ(doc.paragraphs.size(), 1u);
    const auto& inlines = doc.paragraphs[0].inlines;
    const auto& link = std::get<LinkRun>(inlines.at(1));
    EXPECT_EQ(link.url, "http://example.org/x?a=1&b=2");
    EXPECT_EQ(link.text, "the ");
    EXPECT_TRUE(std::get<LinkRun>(inlines.at(2)).style.bold);
    size_t pictures = 0;
    for (const auto& item : inlines)
        if (const auto* picture = std::get_if<PictureRun>(&item)) {
            ++pictures;
            if (pictures == 1) {
                EXPECT_EQ(picture->data, gif);
                EXPECT_EQ(picture->displayWidth, 30u);
            } else {
                EXPECT_EQ(picture->data, png);
            }
        }
    EXPECT_EQ(pictures, 2u);
    EXPECT_EQ(PlainText(doc), "See the site.  [tracker]\n");  // a space between the pictures
    RtfReport report;
    RenderRtf(doc, &report);
    EXPECT_EQ(report.pictures, 2);
}

TEST(HtmlRichText, ColoursAndBrokenMarkup) {
    EXPECT_EQ(ParseHtmlColour("#A0b1C2"), (Colour{0xA0, 0xB1, 0xC2}));
    EXPECT_EQ(ParseHtmlColour("navy"), (Colour{0, 0, 128}));
    EXPECT_EQ(ParseHtmlColour("rgb(300, -1, 5)"), (Colour{255, 0, 5}));
    EXPECT_FALSE(ParseHtmlColour("#12"));
    EXPECT_FALSE(ParseHtmlColour("chartreuse-ish"));
    // Unbalanced and stray tags, unterminated input: text survives.
    EXPECT_EQ(PlainText(RichTextFromHtml("</b>a<i>b</u>c</i></p>d<p")), "abc\nd\n");
    std::string deep;
    for (int i = 0; i < 5000; ++i) deep += "<span>";
    deep += "deep";
    EXPECT_EQ(PlainText(RichTextFromHtml(deep)), "deep\n");
}

TEST(HtmlRichText, AlternativeBodiesShowTheHtmlOne) {
    mime::MimeMessage message = mime::ParseMimeMessage(
        "Content-Type: multipart/alternative; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\nplain version\r\n"
        "--b\r\nContent-Type: text/html\r\n\r\n<p style=\"color:#ff0000\">html <b>version</b></p>\r\n--b--\r\n");
    RichTextDocument doc = RichTextFromMime(mime::ExtractContent(message.root));
    EXPECT_EQ(PlainText(doc), "html version\n");
    EXPECT_EQ(RunAt(doc, 0, 0).style.colour, (Colour{255, 0, 0}));
}

// The real MIME memo (HTML only): its rich text starts with the centred
// "View in your browser" link in 8 pt Verdana and holds the sale text;
// layout-table spacer rows leave no blank paragraphs.
TEST(HtmlRichText, RealMimeMemoBody) {
    std::string dxl = test::ReadFile(test::TestDataDir() + "/dxl/jnx-memo-mime-spam.xml");
    mime::MimeMessage message = mime::ParseNotesMime(test::RawItemsOf(dxl));
    RichTextDocument doc = RichTextFromMime(mime::ExtractContent(message.root));
    ASSERT_FALSE(doc.paragraphs.empty());
    EXPECT_EQ(doc.paragraphs[0].alignment, Alignment::Center);
    const auto& link = std::get<LinkRun>(doc.paragraphs[0].inlines.at(0));
    EXPECT_EQ(link.text, "View in your browser");
    EXPECT_EQ(link.style.fontFace, "Verdana");
    EXPECT_EQ(link.style.pointSize, 8u);
    EXPECT_EQ(link.style.colour, (Colour{0x6a, 0xa0, 0xc6}));
    std::string text = PlainText(doc);
    EXPECT_NE(text.find("\nWow Sale valid through auguest 10, 2014."), std::string::npos);
    EXPECT_NE(text.find("Copyright \xC2\xA9" "1998 - 2014 lvbagsforyou.com."), std::string::npos);
    EXPECT_EQ(text.find("\n\n"), std::string::npos);
    std::string rtf = RenderRtf(doc);
    EXPECT_NE(rtf.find("{\\fldrslt{\\f0\\fs16\\cf1 View in your browser}}"), std::string::npos);
}

}  // namespace
}  // namespace qb::render
