// MIME mail as Notes stores it: RFC 822 header items and MIME part items,
// checked on a real received memo exported as DXL.
#include "notes/api/mime/MessageContent.h"
#include "notes/api/mime/NotesMimeItems.h"
#include "notes/api/mime/TransferDecoding.h"

#include "DxlRawItems.h"
#include "support/TempDir.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace qb::mime {
namespace {

std::string Le16(unsigned v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }

std::string PartItem(uint32_t flags, uint8_t type, const std::string& boundary, const std::string& headers,
                     const std::string& content) {
    std::string v = Le16(2) + Le16(flags & 0xFFFF) + Le16(flags >> 16);
    v += static_cast<char>(type);
    v += '\0';
    v += Le16(static_cast<unsigned>(boundary.size() + headers.size() + content.size()));
    v += Le16(static_cast<unsigned>(boundary.size())) + Le16(static_cast<unsigned>(headers.size()));
    v += std::string(6, '\0');
    return v + boundary + headers + content;
}

std::string HeaderItem(const std::string& name, const std::string& body) {
    std::string native = body;
    std::string v = Le16(14) + Le16(2) + Le16(0) + Le16(static_cast<unsigned>(native.size())) +
                    Le16(static_cast<unsigned>(name.size())) + Le16(2) + Le16(static_cast<unsigned>(body.size()));
    return v + native + name + ": " + body;
}

TEST(NotesMimeItems, RealMimeMemoGivesSubjectSenderDateAndBody) {
    std::string dxl = test::ReadFile(test::TestDataDir() + "/dxl/jnx-memo-mime-spam.xml");
    std::vector<NotesRawItem> items = test::RawItemsOf(dxl);
    ASSERT_GT(items.size(), 20u);

    Rfc822Item subject;
    auto it = std::find_if(items.begin(), items.end(), [](auto& i) { return i.name == "Subject"; });
    ASSERT_NE(it, items.end());
    ASSERT_EQ(DecodeRfc822Item(it->value, subject), NotesMimeStatus::Ok);
    EXPECT_EQ(subject.headerName, "Subject");
    EXPECT_EQ(subject.format(), Rfc822Format::Text);
    EXPECT_EQ(subject.nativeValue, "Extra 60% 0ff EVERYTHING + Lots More Summer Savings.");
    EXPECT_EQ(subject.Text(), subject.nativeValue);
    Rfc822Item posted;
    it = std::find_if(items.begin(), items.end(), [](auto& i) { return i.name == "PostedDate"; });
    ASSERT_EQ(DecodeRfc822Item(it->value, posted), NotesMimeStatus::Ok);
    EXPECT_EQ(posted.format(), Rfc822Format::Date);
    EXPECT_EQ(posted.headerName, "Date");
    EXPECT_EQ(posted.nativeValue.size(), 8u);  // a TIMEDATE
    ASSERT_TRUE(posted.Date());
    EXPECT_EQ(posted.Date()->utcSeconds, 1407518313);
    Rfc822Item rules;
    it = std::find_if(items.begin(), items.end(), [](auto& i) { return i.name == "X_MXTHUNDER_Rules"; });
    ASSERT_EQ(DecodeRfc822Item(it->value, rules), NotesMimeStatus::Ok);
    EXPECT_EQ(rules.Text(), "100-5953858-488-518-m \t100-5946975-601-620-m \t100-5953858-0-13495-f");

    MimeMessage message = ParseNotesMime(items);
    EXPECT_TRUE(message.warnings.empty()) << message.warnings.front();
    EXPECT_EQ(message.Subject(), "Extra 60% 0ff EVERYTHING + Lots More Summer Savings.");
    EXPECT_EQ(message.From(), "\"Louis Vuitton\" <newsletter@lvbagsforyou.com>");
    EXPECT_EQ(message.HeaderText("To"), "jesse@secondfoundation.org");
    EXPECT_EQ(message.root.headers.All("Received").size(), 4u);
    EXPECT_EQ(message.root.headers.Value("X-MXTHUNDER-Rules"),
              "100-5953858-488-518-m \t100-5946975-601-620-m \t100-5953858-0-13495-f");
    ASSERT_TRUE(message.Date());
    EXPECT_EQ(message.Date()->utcSeconds, 1407518313);  // 2014-08-08 17:18:33 UTC
    EXPECT_EQ(message.Date()->zoneMinutes, -240);

    EXPECT_EQ(message.root.contentType.MimeType(), "text/html");
    MessageContent content = ExtractContent(message.root);
    EXPECT_TRUE(content.textFromHtml);
    EXPECT_NE(content.html.find("<title>extra 60% 0ff,women's apparel, bags,& sunglasses</title>"), std::string::npos);
    EXPECT_EQ(content.plainText.rfind("View in your browser", 0), 0u) << content.plainText.substr(0, 200);
    EXPECT_NE(content.plainText.find("Wow Sale valid through auguest 10, 2014."), std::string::npos);
    EXPECT_EQ(content.plainText.find("<"), std::string::npos);
    EXPECT_EQ(content.plainText.find("=3D"), std::string::npos);
    EXPECT_EQ(content.plainText.find("mso-margin"), std::string::npos);  // style skipped
}

TEST(NotesMimeItems, MultipartBodyAcrossItemsWithFileObject) {
    std::vector<NotesRawItem> items;
    items.push_back({"Subject", kItemTypeRfc822Text, HeaderItem("Subject", "=?utf-8?B?w6Q=?=\r\n")});
    items.push_back({"Content_Type", kItemTypeRfc822Text, HeaderItem("Content-Type", "text/plain\r\n")});
    items.push_back({"Body", kItemTypeMimePart,
                     PartItem(kMimePartHasHeaders, 2, "", "Content-Type: multipart/mixed; boundary=\"B\"\r\n\r\n",
                              "preamble")});
    // This writer keeps no line break before the boundary.
    items.push_back({"Body", kItemTypeMimePart,
                     PartItem(kMimePartHasBoundary | kMimePartHasHeaders, 2, "--B\r\n",
                              "Content-Type: text/plain; charset=iso-8859-1\r\n", "K\xF6ln")});
    items.push_back({"Body", kItemTypeMimePart,
                     PartItem(kMimePartHasBoundary | kMimePartHasHeaders | kMimePartBodyInDbObject, 2, "\r\n--B\r\n",
                              "Content-Type: application/pdf\r\nContent-Disposition: attachment; filename=a.pdf\r\n\r\n",
                              "$FILE1")});
    items.push_back({"Body", kItemTypeMimePart, PartItem(kMimePartHasBoundary, 3, "\r\n--B--\r\n", "", "")});
    items.push_back({"Other", kItemTypeMimePart, PartItem(0, 2, "", "", "not this body")});

    MimeMessage message = ParseNotesMime(items, "Body", [](std::string_view name) -> std::optional<std::string> {
        if (name == "$FILE1") return std::string("%PDF-1.4");
        return std::nullopt;
    });
    EXPECT_TRUE(message.warnings.empty()) << message.warnings.front();
    EXPECT_EQ(message.Subject(), "\xC3\xA4");
    ASSERT_TRUE(message.root.IsMultipart());
    EXPECT_EQ(message.root.preamble, "preamble");
    ASSERT_EQ(message.root.children.size(), 2u);
    EXPECT_EQ(message.root.children[0].text, "K\xC3\xB6ln");
    EXPECT_EQ(message.root.children[1].fileName, "a.pdf");
    EXPECT_EQ(message.root.children[1].body, "%PDF-1.4");

    MimeMessage missing = ParseNotesMime(items);
    ASSERT_EQ(missing.warnings.size(), 1u);
    EXPECT_NE(missing.warnings[0].find("$FILE1"), std::string::npos);
}

TEST(NotesMimeItems, DamagedItemsAreReportedNotTrusted) {
    Rfc822Item header;
    EXPECT_EQ(DecodeRfc822Item("short", header), NotesMimeStatus::TooShort);
    std::string tooLong = HeaderItem("Subject", "x");
    tooLong[12] = '\x7F';
    EXPECT_EQ(DecodeRfc822Item(tooLong, header), NotesMimeStatus::LengthsPastEnd);
    MimePartItem part;
    std::string cut = PartItem(kMimePartHasHeaders, 2, "", "A: b\r\n\r\n", "content").substr(0, 26);
    EXPECT_EQ(DecodeMimePartItem(cut, part), NotesMimeStatus::LengthsPastEnd);
    EXPECT_EQ(part.headers, "A: b\r\n");

    std::vector<NotesRawItem> items = {{"Subject", kItemTypeRfc822Text, tooLong},
                                       {"Body", kItemTypeMimePart, "xx"},
                                       {"Body", kItemTypeMimePart, cut}};
    MimeMessage message = ParseNotesMime(items);
    EXPECT_EQ(message.warnings.size(), 3u);
}

}  // namespace
}  // namespace qb::mime
