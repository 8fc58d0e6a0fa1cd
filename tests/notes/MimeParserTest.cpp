// Whole messages: nesting, boundaries, preamble and epilogue, decoded parts,
// the body a reader shows, and damaged input.
#include "notes/api/mime/MessageContent.h"
#include "notes/api/mime/MimeParser.h"

#include <gtest/gtest.h>

namespace qb::mime {
namespace {

const char* const kNestedMessage =
    "From: =?utf-8?Q?J=C3=B6rg?= <joerg@example.org>\r\n"
    "Subject: =?iso-8859-1?Q?Gr=FC=DFe?=\r\n"
    "Date: Tue, 1 Sep 2020 08:00:00 +0200\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=\"outer\"\r\n"
    "\r\n"
    "This is the preamble.\r\n"
    "--outer\r\n"
    "Content-Type: multipart/alternative;\r\n"
    "\tboundary=inner\r\n"
    "\r\n"
    "--inner\r\n"
    "Content-Type: text/plain; charset=iso-8859-1\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n"
    "\r\n"
    "Gr=FC=DFe aus K=F6ln\r\n"
    "--inner\r\n"
    "Content-Type: multipart/related; boundary=rel\r\n"
    "\r\n"
    "--rel\r\n"
    "Content-Type: text/html; charset=utf-8\r\n"
    "\r\n"
    "<p>Gr\xC3\xBC\xC3\x9F" "e <img src=\"cid:pic1\"></p>\r\n"
    "--rel\r\n"
    "Content-Type: image/gif\r\n"
    "Content-ID: <pic1>\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "\r\n"
    "R0lGODlhAQABAAAAACw=\r\n"
    "--rel--\r\n"
    "--inner--\r\n"
    "--outer\r\n"
    "Content-Type: application/octet-stream; name=\"ignored.bin\"\r\n"
    "Content-Disposition: attachment; filename=\"..\\\\evil/report.pdf\"\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "\r\n"
    "AAECAw==\r\n"
    "--outer\r\n"
    "Content-Type: message/rfc822\r\n"
    "\r\n"
    "Subject: inner mail\r\n"
    "\r\n"
    "inner body\r\n"
    "--outer--\r\n"
    "epilogue text\r\n";

TEST(MimeParser, ParsesNestedMultipartsAndDecodesEveryPart) {
    MimeMessage message = ParseMimeMessage(kNestedMessage);
    EXPECT_TRUE(message.warnings.empty()) << message.warnings.front();
    EXPECT_EQ(message.Subject(), "Gr\xC3\xBC\xC3\x9F" "e");
    EXPECT_EQ(message.From(), "J\xC3\xB6rg <joerg@example.org>");
    ASSERT_TRUE(message.Date());
    EXPECT_EQ(message.Date()->utcSeconds, 1598940000);
    const MimeEntity& root = message.root;
    EXPECT_EQ(root.preamble, "This is the preamble.");
    EXPECT_EQ(root.epilogue, "epilogue text\r\n");
    ASSERT_EQ(root.children.size(), 3u);
    const MimeEntity& alternative = root.children[0];
    ASSERT_EQ(alternative.children.size(), 2u);
    EXPECT_EQ(alternative.children[0].text, "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln");
    const MimeEntity& related = alternative.children[1];
    ASSERT_EQ(related.children.size(), 2u);
    EXPECT_EQ(related.children[1].contentId, "pic1");
    EXPECT_EQ(related.children[1].body.substr(0, 6), "GIF89a");
    const MimeEntity& file = root.children[1];
    EXPECT_EQ(file.disposition, Disposition::Attachment);
    EXPECT_EQ(file.fileName, "report.pdf");
    EXPECT_EQ(file.body, std::string("\0\1\2\3", 4));
    const MimeEntity& enclosed = root.children[2];
    ASSERT_EQ(enclosed.children.size(), 1u);
    EXPECT_EQ(enclosed.children[0].headers.Value("Subject"), "inner mail");
    EXPECT_EQ(enclosed.children[0].text, "inner body");
}

TEST(MimeParser, ContentShowsPlainTextPicturesAndFiles) {
    MimeMessage message = ParseMimeMessage(kNestedMessage);
    MessageContent content = ExtractContent(message.root);
    EXPECT_EQ(content.plainText, "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln");
    EXPECT_FALSE(content.textFromHtml);
    EXPECT_NE(content.html.find("<img src=\"cid:pic1\">"), std::string::npos);
    ASSERT_EQ(content.inlineImages.size(), 1u);
    EXPECT_EQ(content.inlineImages[0]->contentId, "pic1");
    ASSERT_EQ(content.attachments.size(), 2u);
    EXPECT_EQ(content.attachments[0]->fileName, "report.pdf");
    EXPECT_TRUE(content.attachments[1]->IsMessage());
}

TEST(MimeParser, HtmlOnlyMailGetsTextFromHtml) {
    MimeMessage message = ParseMimeMessage(
        "Content-Type: text/html; charset=windows-1252\r\n\r\n<html><body><p>Price: 5&euro; \x96 now</p></body></html>");
    MessageContent content = ExtractContent(message.root);
    EXPECT_TRUE(content.textFromHtml);
    EXPECT_EQ(content.plainText, "Price: 5\xE2\x82\xAC \xE2\x80\x93 now");
}

TEST(MimeParser, SinglePartWithoutMimeHeadersIsPlainText) {
    MimeMessage message = ParseMimeMessage("Subject: hi\n\nline1\nline2\n");
    EXPECT_EQ(message.root.contentType.MimeType(), "text/plain");
    EXPECT_EQ(ExtractContent(message.root).plainText, "line1\r\nline2\r\n");
}

TEST(MimeParser, BoundaryPrefixesAndLinearWhiteSpaceAfterDelimiter) {
    MimeMessage message = ParseMimeMessage(
        "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
        "--b  \r\n\r\none\r\n--bx not a delimiter\r\n--b\r\n\r\ntwo\r\n--b--  \r\n");
    EXPECT_TRUE(message.warnings.empty());
    ASSERT_EQ(message.root.children.size(), 2u);
    EXPECT_EQ(message.root.children[0].text, "one\r\n--bx not a delimiter");
    EXPECT_EQ(message.root.children[1].text, "two");
}

TEST(MimeParser, DamagedMessagesGiveWarningsAndKeepTheirText) {
    MimeMessage noClose = ParseMimeMessage(
        "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\nlast part");
    ASSERT_EQ(noClose.root.children.size(), 1u);
    EXPECT_EQ(noClose.root.children[0].text, "last part");
    ASSERT_EQ(noClose.warnings.size(), 1u);
    EXPECT_NE(noClose.warnings[0].find("closing boundary"), std::string::npos);

    MimeMessage noBoundary = ParseMimeMessage("Content-Type: multipart/mixed\r\n\r\nsome text");
    EXPECT_EQ(noBoundary.root.text, "some text");
    EXPECT_FALSE(noBoundary.warnings.empty());

    MimeMessage missingDelimiters = ParseMimeMessage("Content-Type: multipart/mixed; boundary=zz\r\n\r\nplain");
    EXPECT_EQ(missingDelimiters.root.text, "plain");
    EXPECT_FALSE(missingDelimiters.warnings.empty());

    MimeMessage badBase64 = ParseMimeMessage(
        "Content-Type: text/plain; charset=x-klingon\r\nContent-Transfer-Encoding: base64\r\n\r\naGk*\r\n");
    EXPECT_EQ(badBase64.root.text, "hi");
    EXPECT_EQ(badBase64.warnings.size(), 0u + 1u);  // base64; the charset is ASCII-safe here
}

TEST(MimeParser, DeepNestingIsCutWithAWarning) {
    std::string raw;
    for (int i = 0; i < 200; ++i) raw += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\r\n\r\n--b" + std::to_string(i) + "\r\n";
    raw += "\r\ninnermost";
    MimeMessage message = ParseMimeMessage(raw);
    EXPECT_FALSE(message.warnings.empty());
    const MimeEntity* e = &message.root;
    int depth = 0;
    while (!e->children.empty()) e = &e->children[0], ++depth;
    EXPECT_LE(depth, 32);
}

}  // namespace
}  // namespace qb::mime
