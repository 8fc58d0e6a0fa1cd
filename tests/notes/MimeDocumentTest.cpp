// Documents stored as MIME, read through the Notes classes: header items as
// their native values, the body as rich text with its pictures, attached
// parts as file objects.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "NotesTestSupport.h"
#include "TestImages.h"
#include "notes/api/NoteData.h"
#include "notes/api/NotesCore.h"
#include "notes/api/NotesFormat.h"
#include "support/ScopedEnv.h"

namespace qb::test {
namespace {

using notes::Bytes;
using notes::PutDword;
using notes::PutWord;

// RFC822ITEMDESC and its four texts; format 0 address, 1 date, 2 text.
std::string Rfc822Value(int format, const std::string& native, const std::string& name, const std::string& body) {
    Bytes value;
    PutWord(value, 14);
    PutDword(value, static_cast<std::uint32_t>(0x08 | format));
    PutWord(value, static_cast<std::uint16_t>(native.size()));
    PutWord(value, static_cast<std::uint16_t>(name.size()));
    PutWord(value, 2);
    PutWord(value, static_cast<std::uint16_t>(body.size()));
    return value + native + name + ": " + body;
}

// MIME_PART: 20-byte header, then boundary, headers and content.
std::string MimePartValue(int partType, const std::string& boundary, const std::string& headers,
                          const std::string& content, std::uint32_t extraFlags = 0) {
    Bytes value;
    PutWord(value, 2);
    std::uint32_t flags = (boundary.empty() ? 0 : 0x01) | (headers.empty() ? 0 : 0x02) | extraFlags;
    PutDword(value, flags);
    value.push_back(static_cast<char>(partType));
    value.push_back('\0');
    PutWord(value, static_cast<std::uint16_t>(boundary.size() + headers.size() + content.size()));
    PutWord(value, static_cast<std::uint16_t>(boundary.size()));
    PutWord(value, static_cast<std::uint16_t>(headers.size()));
    PutWord(value, 0);
    PutDword(value, 0);
    return value + boundary + headers + content;
}

std::string RawItem(const std::string& name, const char* type, const std::string& value) {
    return "<item name='" + name + "'><rawitemdata type='" + type + "'>" + notes::EncodeBase64(value) +
           "</rawitemdata></item>\n";
}

std::string MimeMemo(const std::string& items) {
    return "<?xml version='1.0'?>\n<database xmlns='http://www.lotus.com/dxl' title='t' replicaid='85257EF7006D0765'>\n"
           "<document form='Memo'><noteinfo noteid='10' unid='00000000000000000000000000000010'/>\n"
           "<item name='$NoteHasNativeMIME'><text>1</text></item>\n" +
           items + "</document></database>\n";
}

const std::string kBoundary = "==b1==";

std::string MixedMessage(const std::string& pdf, const std::string& gif) {
    std::string items = RawItem("Subject", "502", Rfc822Value(2, "Gruesse", "Subject", "=?UTF-8?Q?Gr=C3=BC=C3=9Fe?=\r\n"));
    items += RawItem("From", "502", Rfc822Value(0, "Anna <anna@example.com>", "From", "Anna <anna@example.com>\r\n"));
    items += RawItem("MIME_Version", "502", Rfc822Value(2, "1.0", "MIME-Version", "1.0\r\n"));
    items += RawItem("Body", "19",
                     MimePartValue(1, "", "Content-Type: multipart/mixed; boundary=\"" + kBoundary + "\"\r\n\r\n",
                                   "preamble\r\n"));
    items += RawItem("Body", "19",
                     MimePartValue(2, "--" + kBoundary + "\r\n",
                                   "Content-Type: text/plain; charset=ISO-8859-1\r\n"
                                   "Content-Transfer-Encoding: quoted-printable\r\n\r\n",
                                   "Sch=F6ne Gr=FC=DFe\r\nzweite Zeile\r\n"));
    items += RawItem("Body", "19",
                     MimePartValue(2, "--" + kBoundary + "\r\n",
                                   "Content-Type: image/gif\r\nContent-Disposition: inline; filename=\"logo.gif\"\r\n"
                                   "Content-Transfer-Encoding: base64\r\n\r\n",
                                   notes::EncodeBase64(gif) + "\r\n"));
    items += RawItem("Body", "19",
                     MimePartValue(2, "--" + kBoundary + "\r\n",
                                   "Content-Type: application/pdf; name=\"report.pdf\"\r\n"
                                   "Content-Disposition: attachment; filename=\"report.pdf\"\r\n"
                                   "Content-Transfer-Encoding: base64\r\n\r\n",
                                   notes::EncodeBase64(pdf) + "\r\n"));
    items += RawItem("Body", "19", MimePartValue(3, "--" + kBoundary + "--\r\n", "", ""));
    return MimeMemo(items);
}

class MimeDocumentTest : public NotesDatabaseTest {
protected:
    LNDocument Open(const std::string& dxl) {
        EXPECT_EQ(OpenText("mime.dxl", dxl), LNNOERROR);
        LNNoteArray notes;
        EXPECT_EQ(database.Search("@All", &notes), LNNOERROR);
        LNDocument document = notes[0];
        EXPECT_EQ(document.Open(), LNNOERROR);
        return document;
    }
    static LNString BodyText(const LNDocument& document) {
        LNRichText body;
        EXPECT_EQ(document.GetItem("Body", &body), LNNOERROR);
        LNString text;
        EXPECT_EQ(body.GetText(&text), LNNOERROR);
        return text;
    }
};

TEST_F(MimeDocumentTest, RealMimeMemoGivesSubjectSenderDateAndBody) {
    const ScopedEnv utc("TZ", "UTC");  // local fields in UTC
    LNDocument memo = Open(ReadFile(TestDataDir() + "/dxl/jnx-memo-mime-spam.xml"));
    LNText subject, from, sendTo;
    ASSERT_EQ(memo.GetItem("Subject", &subject), LNNOERROR);
    EXPECT_EQ(subject[0], "Extra 60% 0ff EVERYTHING + Lots More Summer Savings.");
    ASSERT_EQ(memo.GetItem("From", &from), LNNOERROR);
    EXPECT_EQ(from[0], "\"Louis Vuitton\" <newsletter@lvbagsforyou.com>");
    ASSERT_EQ(memo.GetItem("SendTo", &sendTo), LNNOERROR);
    EXPECT_EQ(sendTo[0], "jesse@secondfoundation.org");

    LNDatetimes posted;
    ASSERT_EQ(memo.GetItem("PostedDate", &posted), LNNOERROR);
    ASSERT_EQ(posted.GetCount(), 1);
    LNDatetimeParts parts = posted[0].GetParts();
    EXPECT_EQ(parts.year, 2014);
    EXPECT_EQ(parts.month, 8);
    EXPECT_EQ(parts.day, 8);
    EXPECT_EQ(parts.hour, 17);  // 13:18:33 -0400
    EXPECT_EQ(parts.minute, 18);

    LNITEMTYPE type = 0;
    ASSERT_EQ(memo.GetItemType("Body", &type), LNNOERROR);
    EXPECT_EQ(type, TYPE_COMPOSITE);
    const LNString text = BodyText(memo);
    EXPECT_NE(text.find("Wow Sale valid through auguest 10, 2014."), LNString::npos) << text;
    EXPECT_NE(text.find("This email was sent to jesse@secondfoundation.org"), LNString::npos);
    EXPECT_EQ(text.find("<td"), LNString::npos) << "markup is not text";

    LNRichText body;
    ASSERT_EQ(memo.GetItem("Body", &body), LNNOERROR);
    LNRTCursor start, end;
    body.GetCursor(&start);
    body.GetEndCursor(&end);
    ASSERT_EQ(body.Export(dir.File("spam.rtf"), start, end), LNNOERROR);
    EXPECT_NE(ReadFile(dir.File("spam.rtf")).find("Wow Sale"), std::string::npos);
}

TEST_F(MimeDocumentTest, PartsBecomeParagraphsPicturesAndFileObjects) {
    const std::string pdf = "%PDF-1.4\n" + std::string(3000, 'x') + "\n%%EOF\n";
    const std::string gif = MakeGif(5, 3, false, false);
    LNDocument memo = Open(MixedMessage(pdf, gif));

    LNText subject;
    ASSERT_EQ(memo.GetItem("Subject", &subject), LNNOERROR);
    EXPECT_EQ(subject[0], "Grüße") << "encoded words decoded to UTF-8";

    const LNString text = BodyText(memo);
    EXPECT_NE(text.find("Schöne Grüße\nzweite Zeile"), LNString::npos) << text;
    EXPECT_EQ(text.find("preamble"), LNString::npos);

    LNRichText body;
    ASSERT_EQ(memo.GetItem("Body", &body), LNNOERROR);
    LNRTCursor cursor;
    body.GetCursor(&cursor);
    LNGraphic graphic;
    ASSERT_EQ(cursor.GotoFirst(LNRTTYPE_GRAPHIC, &graphic), LNNOERROR);
    EXPECT_EQ(graphic.GetImageType(), 1);
    EXPECT_EQ(graphic.GetWidth(), 5);
    EXPECT_EQ(graphic.GetHeight(), 3);
    EXPECT_EQ(graphic.GetImageData(), gif);
    EXPECT_EQ(cursor.GotoNext(LNRTTYPE_GRAPHIC, &graphic), LNWARN_NOT_FOUND);

    LNAttachmentArray files;
    ASSERT_EQ(memo.GetAttachments(&files), LNNOERROR);
    ASSERT_EQ(files.GetCount(), 1) << "the inline picture is part of the body, not a file";
    EXPECT_EQ(files[0].GetAttachmentName(), "report.pdf");
    EXPECT_EQ(files[0].GetItemName(), "$FILE");
    EXPECT_EQ(files[0].GetSize(), pdf.size());
    ASSERT_EQ(files[0].Detach(dir.File("report.pdf")), LNNOERROR);
    EXPECT_EQ(ReadFile(dir.File("report.pdf")), pdf);

    // The file hotspot of the body names the same $FILE object.
    LNRTCursor attachment;
    body.GetCursor(&attachment);
    ASSERT_EQ(attachment.GotoFirst(LNRTTYPE_ATTACHMENT), LNNOERROR);
    LNRTCursor after = attachment;
    after += 1;
    ASSERT_EQ(body.Export(dir.File("ref.rtf"), attachment, after), LNNOERROR);
    EXPECT_NE(ReadFile(dir.File("ref.rtf")).find("report.pdf"), std::string::npos);
    EXPECT_FALSE(memo.HasOLEObjects());
}

TEST_F(MimeDocumentTest, HtmlBodyKeepsItsStyles) {
    std::string items = RawItem("Subject", "502", Rfc822Value(2, "Hi", "Subject", "Hi\r\n"));
    items += RawItem("Body", "19",
                     MimePartValue(2, "",
                                   "Content-Type: text/html; charset=windows-1252\r\n"
                                   "Content-Transfer-Encoding: 8bit\r\n\r\n",
                                   "<html><body><p>Plain <b>strong</b> \x80 5</p><p align=center>middle</p>"
                                   "<p><font face=\"Georgia\">serif words</font></p></body></html>"));
    LNDocument memo = Open(MimeMemo(items));
    const LNString text = BodyText(memo);
    EXPECT_NE(text.find("Plain strong \xE2\x82\xAC 5\nmiddle"), LNString::npos) << text;
    LNRichText body;
    ASSERT_EQ(memo.GetItem("Body", &body), LNNOERROR);
    LNRTCursor start, end;
    body.GetCursor(&start);
    body.GetEndCursor(&end);
    ASSERT_EQ(body.Export(dir.File("html.rtf"), start, end), LNNOERROR);
    const std::string rtf = ReadFile(dir.File("html.rtf"));
    EXPECT_NE(rtf.find("\\b\\cf"), std::string::npos) << rtf;
    EXPECT_NE(rtf.find("\\qc"), std::string::npos) << rtf;
    EXPECT_NE(rtf.find("Georgia;"), std::string::npos) << "named fonts keep their names: " << rtf;
}

TEST_F(MimeDocumentTest, DamagedMimeIsReadBestEffortWithWarnings) {
    std::string items = RawItem("Subject", "502", Rfc822Value(2, "Broken", "Subject", "Broken\r\n"));
    // A multipart whose boundary never comes, and a charset nobody knows.
    items += RawItem("Body", "19",
                     MimePartValue(1, "", "Content-Type: multipart/mixed; boundary=\"never\"\r\n\r\n", ""));
    items += RawItem("Body", "19",
                     MimePartValue(2, "", "Content-Type: text/plain; charset=x-unknown-42\r\n\r\n",
                                   "still readable text\r\n"));
    items += RawItem("Body", "19", std::string("\x02\x00", 2));  // a part item cut short
    LNDocument memo = Open(MimeMemo(items));
    EXPECT_NE(BodyText(memo).find("still readable text"), LNString::npos);
    NOTEHANDLE note = memo.GetNoteHandle();
    ASSERT_NE(note, nullptr);
    EXPECT_FALSE(note->readWarnings.empty());
}

// A part whose content Notes kept in a file object: the object is read for
// the part and is no longer a file of its own.
TEST_F(MimeDocumentTest, PartContentKeptInAnObject) {
    const std::string pdf = "%PDF-1.4 object held\n";
    std::string items = RawItem("Subject", "502", Rfc822Value(2, "Obj", "Subject", "Obj\r\n"));
    items += RawItem("Body", "19",
                     MimePartValue(1, "", "Content-Type: multipart/mixed; boundary=\"" + kBoundary + "\"\r\n\r\n", ""));
    items += RawItem("Body", "19",
                     MimePartValue(2, "--" + kBoundary + "\r\n", "Content-Type: text/plain\r\n\r\n", "see file\r\n"));
    items += RawItem("Body", "19",
                     MimePartValue(2, "--" + kBoundary + "\r\n",
                                   "Content-Type: application/pdf\r\nContent-Disposition: attachment; "
                                   "filename=\"doc.pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\n",
                                   "ATTOBJ1", 0x04));
    items += RawItem("Body", "19", MimePartValue(3, "--" + kBoundary + "--\r\n", "", ""));
    items += "<item name='$FILE'><object><file name='ATTOBJ1'><filedata>" +
             notes::EncodeBase64(notes::EncodeBase64(pdf)) + "</filedata></file></object></item>\n";
    LNDocument memo = Open(MimeMemo(items));
    EXPECT_NE(BodyText(memo).find("see file"), LNString::npos);
    LNAttachmentArray files;
    ASSERT_EQ(memo.GetAttachments(&files), LNNOERROR);
    ASSERT_EQ(files.GetCount(), 1);
    EXPECT_EQ(files[0].GetAttachmentName(), "doc.pdf");
    ASSERT_EQ(files[0].Detach(dir.File("doc.pdf")), LNNOERROR);
    EXPECT_EQ(ReadFile(dir.File("doc.pdf")), pdf);
}

// The C-level calls of the conversion see the same values.
TEST_F(MimeDocumentTest, CoreCallsReadTheHeaderItems) {
    LNDocument memo = Open(ReadFile(TestDataDir() + "/dxl/jnx-memo-mime-spam.xml"));
    NOTEHANDLE note = memo.GetNoteHandle();
    char text[256];
    NSFItemGetText(note, "Subject", text, sizeof text);
    EXPECT_STREQ(text, "Extra 60% 0ff EVERYTHING + Lots More Summer Savings.");
    TIMEDATE posted, delivered;
    ASSERT_TRUE(NSFItemGetTime(note, "PostedDate", &posted));
    ASSERT_TRUE(NSFItemGetTime(note, "DeliveredDate", &delivered));
    EXPECT_EQ(LNDatetime::FromTimedate(posted).GetParts().year, 2014);
    ITEMHANDLE body;
    WORD type = 0;
    ASSERT_EQ(NSFItemInfo(note, "Body", &body, &type, nullptr), LNNOERROR);
    EXPECT_EQ(type, TYPE_COMPOSITE);
    ITEMHANDLE next;
    EXPECT_NE(NSFItemInfoNext(note, body, "Body", &next, &type, nullptr), LNNOERROR) << "one Body item";
}

}  // namespace
}  // namespace qb::test
