// The RTF writer: escaping, tables, styles and pictures in the text, and a
// real RTF reader (LibreOffice) opening the result.
#include "notes/api/render/Image.h"
#include "notes/api/render/RtfWriter.h"

#include "TestImages.h"
#include "support/OutsideTools.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace qb::render {
namespace {

TEST(RtfText, EscapesSpecialsAndWritesUnicodeWithFallbacks) {
    EXPECT_EQ(EscapeRtfText("a\\b{c}"), "a\\\\b\\{c\\}");
    EXPECT_EQ(EscapeRtfText("line\nnext\ttab\r\x01"), "line\\line next\\tab tab");
    // ä has a 1252 byte, € one in the 0x80 range, Ω none, and an emoji
    // needs a surrogate pair.
    EXPECT_EQ(EscapeRtfText("\xC3\xA4\xE2\x82\xAC\xCE\xA9\xF0\x9F\x98\x80"),
              "\\u228\\'e4\\u8364\\'80\\u937?\\u-10179?\\u-8704?");
    EXPECT_EQ(EscapeRtfText("\xFF"), "\\u-3?");  // invalid UTF-8 becomes U+FFFD
}

RichTextDocument SampleDocument() {
    RichTextDocument doc;
    TextStyle plain;
    TextStyle bold = plain;
    bold.bold = true;
    bold.fontFace = "Times New Roman";
    bold.pointSize = 14;
    TextStyle italicRed = plain;
    italicRed.italic = true;
    italicRed.colour = {200, 0, 0};
    TextStyle underlined = plain;
    underlined.underline = true;
    TextStyle struck = plain;
    struck.strike = true;
    struck.fontFace = "Courier New";

    Paragraph title;
    title.alignment = Alignment::Center;
    title.inlines = {TextRun{bold, "Quarterly {report}"}};
    doc.paragraphs.push_back(title);
    Paragraph body;
    body.inlines = {TextRun{plain, "Plain, "}, TextRun{italicRed, "italic red"}, TextRun{plain, ", "},
                    TextRun{underlined, "underlined"}, TextRun{plain, " and "}, TextRun{struck, "struck"},
                    LineBreak{}, TextRun{plain, "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC 5 \xCE\xA9 back\\slash"}};
    doc.paragraphs.push_back(body);
    Paragraph links;
    links.alignment = Alignment::Right;
    links.inlines = {LinkRun{underlined, "", "notes://server/db.nsf/0/ABC"}};
    doc.paragraphs.push_back(links);
    Paragraph pictures;
    Bitmap bitmap;
    bitmap.Allocate(4, 2);
    std::string png;
    EncodePng(bitmap, png);
    pictures.inlines = {PictureRun{test::MakeGif(8, 4, false, false)}, TextRun{plain, " "},
                        PictureRun{test::MakeJpeg(6, 6, false, false), 12, 12}, PictureRun{png},
                        PictureRun{"GIF89a broken"}};
    doc.paragraphs.push_back(pictures);
    return doc;
}

TEST(RtfDocument, TablesStylesParagraphsAndPictures) {
    RtfReport report;
    std::string rtf = RenderRtf(SampleDocument(), &report);
    for (unsigned char c : rtf) ASSERT_LT(c, 0x80) << "RTF must be 7-bit";
    EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1", 0), 0u);
    EXPECT_NE(rtf.find("{\\fonttbl{\\f0\\froman\\fcharset0 Times New Roman;}{\\f1\\fswiss\\fcharset0 Arial;}"
                       "{\\f2\\fmodern\\fcharset0 Courier New;}}"),
              std::string::npos);
    EXPECT_NE(rtf.find("{\\colortbl;\\red0\\green0\\blue0;\\red200\\green0\\blue0;}"), std::string::npos);
    EXPECT_NE(rtf.find("\\pard\\plain\\qc {\\f0\\fs28\\b\\cf1 Quarterly \\{report\\}}\\par"), std::string::npos);
    EXPECT_NE(rtf.find("{\\f1\\fs20\\i\\cf2 italic red}"), std::string::npos);
    EXPECT_NE(rtf.find("{\\f1\\fs20\\ul\\cf1 underlined}"), std::string::npos);
    EXPECT_NE(rtf.find("{\\f2\\fs20\\strike\\cf1 struck}\\line"), std::string::npos);
    EXPECT_NE(rtf.find("HYPERLINK \"notes://server/db.nsf/0/ABC\""), std::string::npos);
    EXPECT_NE(rtf.find("\\pngblip\\picw8\\pich4\\picwgoal120\\pichgoal60"), std::string::npos);
    EXPECT_NE(rtf.find("\\jpegblip\\picw6\\pich6\\picwgoal180\\pichgoal180"), std::string::npos);
    EXPECT_NE(rtf.find("\\pngblip\\picw4\\pich2"), std::string::npos);
    EXPECT_EQ(report.pictures, 3);
    ASSERT_EQ(report.warnings.size(), 1u);
    EXPECT_NE(rtf.find("[picture]"), std::string::npos);
    // Balanced groups.
    int depth = 0;
    for (size_t i = 0; i < rtf.size(); ++i) {
        if (rtf[i] == '\\') {
            ++i;
        } else if (rtf[i] == '{') {
            ++depth;
        } else if (rtf[i] == '}') {
            ASSERT_GT(depth--, 0);
        }
    }
    EXPECT_EQ(depth, 0);
}

TEST(RtfDocument, EmptyDocumentAndUnwritablePath) {
    std::string rtf = RenderRtf({});
    EXPECT_EQ(rtf.rfind("{\\rtf1", 0), 0u);
    EXPECT_NE(rtf.find("{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}"), std::string::npos);
    EXPECT_EQ(rtf.back(), '\n');
    std::string error;
    EXPECT_FALSE(WriteRtfFile({}, "/nonexistent-folder/x.rtf", &error));
    EXPECT_NE(error.find("/nonexistent-folder/x.rtf"), std::string::npos);
}

// LibreOffice reads the file and keeps its text, styles and pictures: its
// PDF export works, and its flat OpenDocument export of our RTF shows them.
TEST(RtfDocument, LibreOfficeOpensTheDocument) {
    QB_REQUIRE_TOOL("soffice");
    test::TempDir dir;
    std::string path = dir.File("RTF1.rtf");
    std::string error;
    ASSERT_TRUE(WriteRtfFile(SampleDocument(), path, &error)) << error;
    std::string soffice = "timeout 120 soffice -env:UserInstallation=file://" + dir.path() + "/profile --headless";
    const test::ProgramResult converted =
        test::RunCommand("cd " + test::ShellQuote(dir.path()) + " && " + soffice +
                         " --convert-to pdf --outdir out RTF1.rtf && " + soffice + " --convert-to fodt --outdir out RTF1.rtf");
    const std::string& output = converted.output;
    ASSERT_EQ(converted.status, 0) << output;
    std::string pdf = test::ReadFile(dir.File("out/RTF1.pdf"));
    EXPECT_EQ(pdf.rfind("%PDF-", 0), 0u) << output;
    EXPECT_GT(pdf.size(), 1000u);
    std::string odt = test::ReadFile(dir.File("out/RTF1.fodt"));
    ASSERT_FALSE(odt.empty()) << output;
    EXPECT_NE(odt.find("Quarterly {report}"), std::string::npos);
    EXPECT_NE(odt.find("Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC 5 \xCE\xA9 back\\slash"), std::string::npos);
    EXPECT_NE(odt.find("xlink:href=\"notes://server/db.nsf/0/ABC\""), std::string::npos);
    EXPECT_NE(odt.find("fo:font-weight=\"bold\""), std::string::npos);
    EXPECT_NE(odt.find("fo:font-style=\"italic\""), std::string::npos);
    EXPECT_NE(odt.find("style:text-underline-style=\"solid\""), std::string::npos);
    EXPECT_NE(odt.find("style:text-line-through-style=\"solid\""), std::string::npos);
    EXPECT_NE(odt.find("fo:text-align=\"center\""), std::string::npos);
    EXPECT_NE(odt.find("fo:text-align=\"end\""), std::string::npos);
    EXPECT_NE(odt.find("fo:color=\"#c80000\""), std::string::npos);
    EXPECT_NE(odt.find("fo:font-size=\"14pt\""), std::string::npos);
    EXPECT_NE(odt.find("<text:line-break/>"), std::string::npos);
    size_t images = 0;
    for (size_t pos = 0; (pos = odt.find("<draw:image", pos)) != std::string::npos; ++pos) ++images;
    EXPECT_EQ(images, 3u);
}

}  // namespace
}  // namespace qb::render
