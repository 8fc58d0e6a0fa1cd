// Export of rich text ranges: RTF documents read back by a real word
// processor, pictures as TIFF files checked with tiffinfo, and the statuses
// of ranges and files that cannot be exported.

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "NotesTestSupport.h"
#include "TestImages.h"
#include "notes/api/NotesFormat.h"
#include "notes/api/render/Image.h"
#include "support/OutsideTools.h"

namespace qb::test {
namespace {

std::string Base64(const std::string& bytes) { return notes::EncodeBase64(bytes); }

// Standard output of a command (stderr dropped), empty when it cannot run.
std::string CommandOutput(const std::string& command) {
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>/dev/null").c_str(), "r"), pclose);
    if (!pipe) return out;
    std::array<char, 4096> buffer{};
    std::size_t got;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0) out.append(buffer.data(), got);
    return out;
}

// "Image Width: 3 Image Length: 2" from tiffinfo.
std::pair<int, int> TiffSize(const std::string& path) {
    std::string info = CommandOutput("tiffinfo '" + path + "'");
    std::size_t width = info.find("Image Width: ");
    std::size_t length = info.find("Image Length: ");
    if (width == std::string::npos || length == std::string::npos) return {-1, -1};
    return {std::atoi(info.c_str() + width + 13), std::atoi(info.c_str() + length + 14)};
}

std::string Picture(const char* element, const std::string& bytes, int width, int height) {
    return "<picture width='" + std::to_string(width) + "px' height='" + std::to_string(height) + "px'><" + element +
           ">" + Base64(bytes) + "</" + element + "></picture>";
}

std::string Memo(const std::string& richText, const std::string& extraItems = "") {
    return "<?xml version='1.0'?>\n<database xmlns='http://www.lotus.com/dxl' title='t' replicaid='85257EF7006D0765'>\n"
           "<document form='Memo'><noteinfo noteid='10' unid='00000000000000000000000000000010'/>\n" +
           extraItems + "<item name='Body'><richtext>" + richText + "</richtext></item></document></database>\n";
}

class RichTextExportTest : public NotesDatabaseTest {
protected:
    LNRichText Body(const std::string& dxl) {
        EXPECT_EQ(OpenText("memo.dxl", dxl), LNNOERROR);
        LNNoteArray notes;
        EXPECT_EQ(database.Search("@All", &notes), LNNOERROR);
        document_ = notes[0];
        EXPECT_EQ(document_.Open(), LNNOERROR);
        LNRichText body;
        EXPECT_EQ(document_.GetItem("Body", &body), LNNOERROR);
        return body;
    }
    LNSTATUS ExportAll(const LNRichText& body, const std::string& path) {
        LNRTCursor start, end;
        EXPECT_EQ(body.GetCursor(&start), LNNOERROR);
        EXPECT_EQ(body.GetEndCursor(&end), LNNOERROR);
        return body.Export(path, start, end, "");
    }
    LNDocument document_;
};

const char* kStyledBody =
    "<pardef id='1' align='center'/><pardef id='2'/>"
    "<par def='1'><run><font style='bold'/>Quarterly</run> <run><font style='italic' size='14pt' "
    "color='red'/>figures</run></par>"
    "<par def='2'><run><font style='underline strikethrough'/>Old</run> line<break/>second line</par>"
    "<par def='2'>See <doclink database='85257EF7006D0765' view='00000000000000010000000000000002' "
    "document='0000000A0000000B0000000C0000000D' description='Earlier message' server='CN=Mail1/O=Acme'/></par>";

TEST_F(RichTextExportTest, RtfHasTheStylesParagraphsAndLinks) {
    LNRichText body = Body(Memo(kStyledBody));
    const std::string path = dir.File("body.rtf");
    ASSERT_EQ(ExportAll(body, path), LNNOERROR);
    const std::string rtf = ReadFile(path);
    EXPECT_EQ(rtf.rfind("{\\rtf1", 0), 0u);
    for (const char* expected : {"\\fs20\\b\\cf", "\\fs28\\i\\cf", "\\ul\\strike\\cf", "\\qc", "\\line", "\\red255\\green0\\blue0",
                                 "Quarterly", "figures", "second line", "Earlier message",
                                 "NOTES://Mail1/85257EF7006D0765/0000000000000001000000000000000"})
        EXPECT_NE(rtf.find(expected), std::string::npos) << expected << "\n" << rtf;

    // A reused file with longer stale bytes (RecycledFiles) holds the body only.
    const std::string reused = dir.Write("RTF1.rtf", std::string(rtf.size() * 3, '}'));
    ASSERT_EQ(ExportAll(body, reused), LNNOERROR);
    EXPECT_EQ(ReadFile(reused), rtf);
}

TEST_F(RichTextExportTest, RangeExportCoversOnlyTheRange) {
    LNRichText body = Body(Memo(kStyledBody));
    LNRTCursor start, end;
    ASSERT_EQ(body.GetCursor(&start), LNNOERROR);
    ASSERT_EQ(start.GotoFirst(LNRTTYPE_DOCLINK), LNNOERROR);
    end = start;
    end += 1;
    const std::string path = dir.File("link.rtf");
    ASSERT_EQ(body.Export(path, start, end), LNNOERROR);
    const std::string rtf = ReadFile(path);
    EXPECT_NE(rtf.find("Earlier message"), std::string::npos);
    EXPECT_EQ(rtf.find("Quarterly"), std::string::npos);
}

// A real word processor opens the export and shows its styled text and its
// picture (LibreOffice's HTML export keeps both visible to a test).
TEST_F(RichTextExportTest, LibreOfficeReadsTheRtf) {
    QB_REQUIRE_TOOL("soffice");
    LNRichText body = Body(Memo(std::string(kStyledBody) + "<par>" + Picture("gif", MakeGif(6, 4, false, false), 6, 4) +
                                "</par>"));
    const std::string path = dir.File("body.rtf");
    ASSERT_EQ(ExportAll(body, path), LNNOERROR);
    const std::string command = "cd '" + dir.path() + "' && timeout 120 soffice -env:UserInstallation=file://" +
                                dir.path() + "/lo --headless --convert-to html --outdir '" + dir.path() +
                                "/out' body.rtf";
    CommandOutput(command);
    std::string html = ReadFile(dir.path() + "/out/body.html");
    if (html.empty()) QB_TOOL_UNUSABLE("soffice did not convert (no usable office installation)");
    for (char& c : html) c = c == '\n' ? ' ' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* expected : {"<b>quarterly</b>", "<i>figures</i>", "<u>old</u>", "second line", "<strike>",
                                 "earlier message</a>", "<p align=\"center\"", "href=\"notes://mail1/"})
        EXPECT_NE(html.find(expected), std::string::npos) << expected << "\n" << html;
    EXPECT_NE(html.find("width=\"6\" height=\"4\""), std::string::npos) << "the picture at its size\n" << html;
}

struct PictureCase {
    const char* element;
    std::string bytes;
    int width, height;
};

// The picture walk of the body conversion: each graphic, one position long,
// exported to its own TIFF file.
TEST_F(RichTextExportTest, EachPictureExportsToATiffOfItsSize) {
    std::vector<PictureCase> cases = {{"gif", MakeGif(7, 5, false, true), 7, 5},
                                      {"jpeg", MakeJpeg(9, 4, false, false), 9, 4},
                                      {"bmp", MakeBmp24(3, 8), 3, 8}};
    render::Bitmap bitmap;
    bitmap.Allocate(11, 2);
    std::string png;
    ASSERT_EQ(render::EncodePng(bitmap, png), render::ImageStatus::Ok);
    cases.push_back({"png", png, 11, 2});
    std::string rich = "<par>Pictures:</par>";
    for (const PictureCase& c : cases) rich += "<par>" + Picture(c.element, c.bytes, c.width, c.height) + "</par>";
    LNRichText body = Body(Memo(rich));

    LNRTCursor cursor;
    ASSERT_EQ(body.GetCursor(&cursor), LNNOERROR);
    LNGraphic graphic;
    std::size_t n = 0;
    for (LNSTATUS found = cursor.GotoFirst(LNRTTYPE_GRAPHIC, &graphic); found == LNNOERROR;
         found = cursor.GotoNext(LNRTTYPE_GRAPHIC, &graphic)) {
        ASSERT_LT(n, cases.size());
        EXPECT_EQ(graphic.GetImageData(), cases[n].bytes);
        LNRTCursor end = cursor;
        end += 1;
        const std::string path = dir.File("_IMAGE" + std::to_string(n + 1) + ".tif");
        ASSERT_EQ(body.Export(path, cursor, end), LNNOERROR) << cases[n].element << ": " << LNGetErrorMessageText(LNERR_BAD_IMAGE);
        if (test::ToolForCheck("tiffinfo")) {
            EXPECT_EQ(TiffSize(path), std::make_pair(cases[n].width, cases[n].height)) << cases[n].element;
        }
        // Over a reused file with longer stale bytes: the same picture, nothing after it.
        const std::string picture = ReadFile(path);
        const std::string reused = dir.Write("reused.tif", std::string(picture.size() * 2 + 4096, 'x'));
        ASSERT_EQ(body.Export(reused, cursor, end), LNNOERROR) << cases[n].element;
        EXPECT_EQ(ReadFile(reused), picture) << cases[n].element;
        ++n;
    }
    EXPECT_EQ(n, cases.size());
}

TEST_F(RichTextExportTest, FailuresGiveAStatusAndLeaveNoFile) {
    LNRichText body = Body(Memo("<par>No pictures here</par><par>" + Picture("gif", "GIF89a broken", 4, 4) + "</par>"));
    LNRTCursor start, end, picture;
    ASSERT_EQ(body.GetCursor(&start), LNNOERROR);
    end = start;
    end += 2;

    const std::string none = dir.File("none.tif");
    const LNSTATUS noGraphic = body.Export(none, start, end);
    EXPECT_EQ(noGraphic, LNERR_NO_GRAPHIC);
    char text[512];
    EXPECT_GT(LNGetErrorMessageText(noGraphic, text, sizeof text, 0), 0u);
    EXPECT_NE(std::string(text).find("no picture"), std::string::npos) << text;
    EXPECT_FALSE(std::filesystem::exists(none));

    const std::string broken = dir.File("broken.tif");
    EXPECT_EQ(ExportAll(body, broken), LNERR_BAD_IMAGE);
    EXPECT_FALSE(std::filesystem::exists(broken));

    EXPECT_EQ(ExportAll(body, dir.File("body.doc")), LNERR_EXPORT_FORMAT);
    EXPECT_EQ(ExportAll(body, dir.File("noextension")), LNERR_EXPORT_FORMAT);
    EXPECT_EQ(ExportAll(body, dir.File("missing/folder/body.rtf")), LNERR_EXPORT_WRITE);
    EXPECT_NE(LNGetErrorMessageText(LNERR_EXPORT_WRITE).find("missing/folder"), std::string::npos);

    // A link planted where the export writes is never written through, and
    // is left as it is (it is not the export's to remove).
    if (std::filesystem::exists("/dev/full")) {
        const std::string planted = dir.File("planted.rtf");
        std::filesystem::create_symlink("/dev/full", planted);
        EXPECT_EQ(ExportAll(body, planted), LNERR_EXPORT_WRITE);
        EXPECT_TRUE(std::filesystem::is_symlink(planted));
    }

    LNRTCursor foreign;
    LNRichText::Empty("Other").GetCursor(&foreign);
    EXPECT_EQ(body.Export(dir.File("x.rtf"), foreign, end), LNERR_INVALID_PARAMETER);
}

TEST_F(RichTextExportTest, FailuresAreRaisedWhileThrowingIsOn) {
    LNRichText body = Body(Memo("<par>text only</par>"));
    LNSetThrowAllErrorsGlobal(true);
    try {
        ExportAll(body, dir.File("none.tif"));
        FAIL() << "no exception";
    } catch (const LNStatusError& error) {
        EXPECT_EQ(error.GetStatus(), LNERR_NO_GRAPHIC);
    }
    LNSetThrowAllErrorsGlobal(false);
}

// Fonts other than the standard faces are numbered in the note's $Fonts
// table and exported by name.
TEST_F(RichTextExportTest, NamedFontsGoThroughTheFontTable) {
    LNRichText body = Body(Memo("<par><run><font name='Verdana'/>wide</run> <run><font name='Garamond'/>old</run> "
                                "<run><font name='Verdana' style='bold'/>again</run></par>"));
    EXPECT_TRUE(document_.HasItem("$Fonts"));
    const std::string path = dir.File("fonts.rtf");
    ASSERT_EQ(ExportAll(body, path), LNNOERROR);
    const std::string rtf = ReadFile(path);
    EXPECT_NE(rtf.find("Verdana;"), std::string::npos) << rtf;
    EXPECT_NE(rtf.find("Garamond;"), std::string::npos) << rtf;
    EXPECT_EQ(rtf.find("Verdana;", rtf.find("Verdana;") + 1), std::string::npos) << "one table entry per font";
}

TEST_F(RichTextExportTest, RawRichTextSampleExportsItsStyledText) {
    LNRichText body = Body(ReadFile(TestDataDir() + "/dxl/jnx-note-rawrichtext-styledtext.xml"));
    const std::string path = dir.File("raw.rtf");
    ASSERT_EQ(ExportAll(body, path), LNNOERROR);
    const std::string rtf = ReadFile(path);
    for (const char* expected : {"This is normal text.", "This is monospace text", "Courier New", "\\b\\i\\cf"})
        EXPECT_NE(rtf.find(expected), std::string::npos) << expected << "\n" << rtf;
}

}  // namespace
}  // namespace qb::test
