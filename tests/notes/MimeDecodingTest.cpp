// Header text, parameters, transfer encodings, charsets and dates.
#include "notes/api/mime/Charset.h"
#include "notes/api/mime/ContentType.h"
#include "notes/api/mime/EncodedWords.h"
#include "notes/api/mime/HeaderList.h"
#include "notes/api/mime/MailDate.h"
#include "notes/api/mime/TransferDecoding.h"

#include <gtest/gtest.h>

namespace qb::mime {
namespace {

TEST(HeaderBlock, UnfoldsContinuationLinesAndFindsBody) {
    HeaderBlock block = ParseHeaderBlock(
        "Subject: first\r\n  second\r\nX-Empty:\r\nsubject: again\nReceived: a\r\n\tb\r\n\r\nbody\r\n");
    EXPECT_EQ(block.headers.Value("SUBJECT"), "first  second");
    EXPECT_EQ(block.headers.All("subject").size(), 2u);
    EXPECT_EQ(block.headers.Value("x-empty"), "");
    EXPECT_EQ(block.headers.Value("Received"), "a\tb");
    EXPECT_EQ(block.bodyOffset, std::string_view("Subject: first\r\n  second\r\nX-Empty:\r\nsubject: again\nReceived: a\r\n\tb\r\n\r\n").size());
}

TEST(HeaderBlock, TextWithoutSeparatorLineStartsBody) {
    HeaderBlock block = ParseHeaderBlock("To: a@b\r\nthis is body text\r\n");
    EXPECT_EQ(block.headers.fields().size(), 1u);
    EXPECT_EQ(block.malformedLines, 1);
    EXPECT_EQ(block.bodyOffset, 9u);
    EXPECT_EQ(ParseHeaderBlock("A: b").bodyOffset, 4u);
}

TEST(EncodedWords, BothFormsAdjacentWordsAndCharsets) {
    EXPECT_EQ(DecodeHeaderText("=?UTF-8?B?w6TDtsO8?="), "\xC3\xA4\xC3\xB6\xC3\xBC");
    EXPECT_EQ(DecodeHeaderText("=?iso-8859-1?q?caf=E9_au_lait?="), "caf\xC3\xA9 au lait");
    // White space between two encoded words vanishes, around text it stays.
    EXPECT_EQ(DecodeHeaderText("=?utf-8?q?a?= \r\n =?utf-8?q?b?= c =?utf-8?q?d?="), "ab c d");
    // A multibyte character split across two words.
    EXPECT_EQ(DecodeHeaderText("=?utf-8?B?4oK=?= =?utf-8?B?rA==?="), "\xE2\x82\xAC");
    EXPECT_EQ(DecodeHeaderText("=?windows-1251?B?z/Do4uXy?="), "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
    EXPECT_EQ(DecodeHeaderText("=?utf-8*en?Q?x?="), "x");
    // Malformed words and raw 8-bit text.
    EXPECT_EQ(DecodeHeaderText("=?utf-8?X?abc?= =?broken"), "=?utf-8?X?abc?= =?broken");
    EXPECT_EQ(DecodeHeaderText("M\xFCller"), "M\xC3\xBCller");
    // Text full of word starts without ends is read in linear time.
    std::string starts;
    for (int i = 0; i < 200000; ++i) starts += "=?a?B?x";
    EXPECT_EQ(DecodeHeaderText(starts), starts);
    EXPECT_EQ(DecodeHeaderText("M\xC3\xBCller"), "M\xC3\xBCller");
}

TEST(ContentTypeParsing, ParametersQuotesCommentsAndDefaults) {
    ContentType ct = ParseContentType("Multipart/Mixed; (comment) boundary=\"a;b \\\"c\\\"\"; CHARSET=us-ascii");
    EXPECT_EQ(ct.MimeType(), "multipart/mixed");
    EXPECT_EQ(ct.Parameter("boundary"), "a;b \"c\"");
    EXPECT_EQ(ct.Parameter("charset"), "us-ascii");
    EXPECT_EQ(ParseContentType("").MimeType(), "text/plain");
    EXPECT_EQ(ParseContentType("garbage").MimeType(), "text/plain");
    EXPECT_EQ(ParseContentType("text/html;charset=\"utf-8\"").Parameter("charset"), "utf-8");
}

TEST(ContentTypeParsing, Rfc2231ContinuationsAndEncodedFileNames) {
    ContentDisposition d = ParseContentDisposition(
        "attachment; filename*0*=utf-8''Gr%C3%BC; filename*1=\"sse.txt\"; filename=\"fallback.txt\"");
    EXPECT_EQ(d.kind, "attachment");
    EXPECT_EQ(d.parameters["filename"], "Gr\xC3\xBCsse.txt");
    ContentDisposition single = ParseContentDisposition("inline; filename*=iso-8859-1'de'%E4.doc");
    EXPECT_EQ(single.parameters["filename"], "\xC3\xA4.doc");
    ContentType ct = ParseContentType("application/pdf; name=\"=?utf-8?Q?R=C3=A9sum=C3=A9.pdf?=\"");
    EXPECT_EQ(ct.Parameter("name"), "R\xC3\xA9sum\xC3\xA9.pdf");
    // A gap in the section numbers ends the value.
    EXPECT_EQ(ParseParameters("x; a*0=one; a*2=three")["a"], "one");
    // A section number too long to be one is part of the name (found by fuzzing:
    // it overflowed an int).
    EXPECT_EQ(ParseParameters("x; a*99999999999999=v")["a*99999999999999"], "v");
}

TEST(TransferDecoding, Base64ToleratesLineBreaksAndReportsBadCharacters) {
    std::string out;
    EXPECT_EQ(DecodeBase64("SGVs\r\nbG8g\n d29y bGQ=\r\n", out), DecodeStatus::Ok);
    EXPECT_EQ(out, "Hello world");
    out.clear();
    EXPECT_EQ(DecodeBase64("SGVs*bG8", out), DecodeStatus::BadCharacters);
    EXPECT_EQ(out, "Hello");
    out.clear();
    EXPECT_EQ(DecodeBase64("SGVsbG8gd", out), DecodeStatus::Truncated);
    EXPECT_EQ(out, "Hello ");
    out.clear();
    EXPECT_EQ(DecodeBase64("SGk", out), DecodeStatus::Ok);  // padding left out
    EXPECT_EQ(out, "Hi");
}

TEST(TransferDecoding, QuotedPrintableSoftBreaksEscapesAndTrailingSpace) {
    std::string out;
    EXPECT_EQ(DecodeQuotedPrintable("caf=C3=A9 =\r\nau lait   \r\nline=3D2\r\n", out), DecodeStatus::Ok);
    EXPECT_EQ(out, "caf\xC3\xA9 au lait\r\nline=2\r\n");
    out.clear();
    EXPECT_EQ(DecodeQuotedPrintable("a=ZZb=", out), DecodeStatus::BadCharacters);
    EXPECT_EQ(out, "a=ZZb");
    out.clear();
    EXPECT_EQ(DecodeTransferEncoding("8BIT", "raw\xFF", out), DecodeStatus::Ok);
    EXPECT_EQ(out, "raw\xFF");
    out.clear();
    EXPECT_EQ(DecodeTransferEncoding("x-weird", "raw", out), DecodeStatus::UnknownEncoding);
    EXPECT_EQ(out, "raw");
    out.clear();
    EXPECT_EQ(DecodeTransferEncoding("x-uuencode", "begin 644 a.txt\n#86)C\n`\nend\n", out), DecodeStatus::Ok);
    EXPECT_EQ(out, "abc");
}

TEST(Charsets, ConvertsTheCommonMailCharsets) {
    EXPECT_EQ(ToUtf8("\xE4", "ISO-8859-1"), "\xC3\xA4");
    EXPECT_EQ(ToUtf8("\x80", "iso-8859-1"), "\xE2\x82\xAC");  // read as Windows-1252
    EXPECT_EQ(ToUtf8("\xA4", "iso-8859-15"), "\xE2\x82\xAC");
    EXPECT_EQ(ToUtf8("\xB1", "iso-8859-2"), "\xC4\x85");
    EXPECT_EQ(ToUtf8("\x9A", "windows-1250"), "\xC5\xA1");
    EXPECT_EQ(ToUtf8("\xE0", "cp1251"), "\xD0\xB0");
    EXPECT_EQ(ToUtf8("\xE0", "windows-1255"), "\xD7\x90");
    EXPECT_EQ(ToUtf8("\xC7", "windows-1256"), "\xD8\xA7");
    EXPECT_EQ(ToUtf8("\xF0", "windows-1258"), "\xC4\x91");
    EXPECT_EQ(ToUtf8("\xE4", "us-ascii"), "\xC3\xA4");           // undeclared 8-bit
    EXPECT_EQ(ToUtf8("\xC3\xA4", "us-ascii"), "\xC3\xA4");
    EXPECT_EQ(ToUtf8("\x1B$B$3\x1B(B", "ISO-2022-JP"), "\xE3\x81\x93");
    EXPECT_EQ(ToUtf8("\x8A", "x-mac-roman"), "\xC3\xA4");
    EXPECT_EQ(ToUtf8("\xE0", "iso-8859-8-i"), "\xD7\x90");
    EXPECT_EQ(ToUtf8("\xA1", "windows-874"), "\xE0\xB8\x81");
}

TEST(Charsets, BadBytesAndUnknownCharsetsAreReported) {
    std::string out;
    EXPECT_EQ(ConvertToUtf8("a\xFF" "b", "utf-8", out), CharsetStatus::InvalidBytes);
    EXPECT_EQ(out, "a\xEF\xBF\xBD" "b");
    out.clear();
    EXPECT_EQ(ConvertToUtf8("\xE9t\xE9", "x-no-such-charset", out), CharsetStatus::UnknownCharset);
    EXPECT_EQ(out, "\xC3\xA9t\xC3\xA9");
    out.clear();
    EXPECT_EQ(ConvertToUtf8("\x81", "shift_jis", out), CharsetStatus::InvalidBytes);
    EXPECT_EQ(out, "\xEF\xBF\xBD");
    EXPECT_FALSE(text::IsValidUtf8("\xC0\x80"));  // overlong
    EXPECT_FALSE(text::IsValidUtf8("\xED\xA0\x80"));  // surrogate
}

TEST(MailDates, ModernObsoleteAndBrokenForms) {
    auto d = ParseMailDate("Fri, 8 Aug 2014 13:18:33 -0400 (EDT)");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->utcSeconds, 1407518313);
    EXPECT_EQ(d->zoneMinutes, -240);
    EXPECT_TRUE(d->zoneKnown);
    EXPECT_EQ(ParseMailDate("Fri,  8 Aug 2014 10:18:38 -0700")->utcSeconds, 1407518318);
    EXPECT_EQ(ParseMailDate("8 Aug 14 17:18 GMT")->utcSeconds, 1407518280);
    EXPECT_EQ(ParseMailDate("Friday, 08-Aug-2014 13:18:33 EDT")->utcSeconds, 1407518313);
    EXPECT_EQ(ParseMailDate("Fri Aug  8 17:18:33 2014")->utcSeconds, 1407518313);  // asctime, no zone
    EXPECT_FALSE(ParseMailDate("Fri Aug  8 17:18:33 2014")->zoneKnown);
    EXPECT_EQ(ParseMailDate("1 Jan 1970 00:00:00 +0000")->utcSeconds, 0);
    EXPECT_EQ(ParseMailDate("29 Feb 2024 23:59:60+0130")->utcSeconds, 1709251199 - 5400);
    EXPECT_FALSE(ParseMailDate("Thu, 2 Jan 2020 00:00:00 -0000")->zoneKnown);
    EXPECT_FALSE(ParseMailDate(""));
    EXPECT_FALSE(ParseMailDate("yesterday"));
    EXPECT_FALSE(ParseMailDate("32 Jan 2020 10:00"));
    EXPECT_FALSE(ParseMailDate("1 Jan 2020 25:00"));
}

}  // namespace
}  // namespace qb::mime
