// The rich text model: MIME bodies as paragraphs and pictures, and Notes
// style values as model styles.
#include "notes/api/mime/MimeParser.h"
#include "notes/api/render/MimeRichText.h"
#include "notes/api/render/NotesStyles.h"
#include "notes/api/render/RtfWriter.h"

#include "TestImages.h"

#include <gtest/gtest.h>

namespace qb::render {
namespace {

TEST(MimeRichText, TextBecomesParagraphsAndInlinePicturesFollow) {
    std::string gif = test::MakeGif(2, 2, false, false);
    std::string raw =
        "Content-Type: multipart/related; boundary=r\r\n\r\n--r\r\nContent-Type: text/plain\r\n\r\n"
        "first line\r\nsecond line\r\n\r\nafter a gap\r\n--r\r\nContent-Type: image/gif\r\nContent-ID: <a>\r\n\r\n" +
        gif + "\r\n--r\r\nContent-Type: image/x-unknown\r\n\r\nxyz\r\n--r--\r\n";
    mime::MimeMessage message = mime::ParseMimeMessage(raw);
    RichTextDocument document = RichTextFromMime(mime::ExtractContent(message.root));
    ASSERT_EQ(document.paragraphs.size(), 5u);
    EXPECT_EQ(PlainText(document), "first line\nsecond line\n\nafter a gap\n\n");
    ASSERT_EQ(document.paragraphs[4].inlines.size(), 1u);
    EXPECT_EQ(std::get<PictureRun>(document.paragraphs[4].inlines[0]).data, gif);
    RtfReport report;
    RenderRtf(document, &report);
    EXPECT_EQ(report.pictures, 1);
}


// The font ids of the real raw rich text sample: plain Swiss 10 pt,
// monospace, and bold italic.
TEST(NotesStyles, FontIdsOfTheRawRichTextSample) {
    TextStyle normal = StyleFromFontId(std::string("\x01\x00\x00\x0a", 4));
    EXPECT_EQ(normal.fontFace, "Arial");
    EXPECT_EQ(normal.pointSize, 10u);
    EXPECT_FALSE(normal.bold || normal.italic || normal.underline || normal.strike);
    EXPECT_EQ(StyleFromFontId(std::string("\x04\x00\x00\x0a", 4)).fontFace, "Courier New");
    TextStyle boldItalic = StyleFromFontId(std::string("\x01\x03\x00\x0a", 4));
    EXPECT_TRUE(boldItalic.bold);
    EXPECT_TRUE(boldItalic.italic);
    TextStyle custom = StyleFromFontId(std::string("\x05\x0C\x02\x12", 4), {{5, "Verdana"}});
    EXPECT_EQ(custom.fontFace, "Verdana");
    EXPECT_TRUE(custom.underline && custom.strike);
    EXPECT_EQ(custom.colour, (Colour{255, 0, 0}));
    EXPECT_EQ(custom.pointSize, 18u);
    EXPECT_EQ(StyleFromFontId("").fontFace, "Arial");
    EXPECT_EQ(NotesColour(200), Colour{});
    EXPECT_EQ(AlignmentFromJustify(3), Alignment::Center);
    EXPECT_EQ(AlignmentFromJustify(4), Alignment::Left);
}

}  // namespace
}  // namespace qb::render
