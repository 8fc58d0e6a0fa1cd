// The pieces of mail conversion on single DXL documents: the plain text
// reader, the attachment extractor and the time readers.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "../notes/MailboxFixture.h"
#include "MailTestSupport.h"
#include "convert/AttachmentExtractor.h"
#include "convert/FieldText.h"
#include "convert/TimeReaders.h"
#include "notes/NotesErrorText.h"
#include "notes/api/LNNotesSession.h"
#include "support/ScopedEnv.h"

namespace qb {
namespace {

using test::MemoDxl;
using test::TextItem;
using test::TextListItem;
using test::TimeItem;

class BodyPartsTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir.Write("notes.ini", "[Notes]\nDirectory=" + dir.path() + "\n");
        ASSERT_EQ(session.Initialize(dir.File("notes.ini")), LNNOERROR);
        std::filesystem::create_directory(dir.File("tmp"));
    }
    void Load(const std::string& documents) {
        dir.Write("mail.dxl", test::MailboxDxl(documents));
        ASSERT_EQ(session.GetDatabase("mail.dxl", &database), LNNOERROR);
        ASSERT_EQ(database.Open(), LNNOERROR);
    }
    LNDocument Open(const std::string& unid) {
        LNDocument document;
        EXPECT_EQ(database.GetDocumentByUNID(unid, &document), LNNOERROR) << unid;
        EXPECT_EQ(document.Open(), LNNOERROR);
        return document;
    }
    LNDocument Memo(int number) { return Open(test::MemoUnid(number)); }

    test::TempDir dir;
    LNNotesSession session;
    LNDatabase database;
};

TEST_F(BodyPartsTest, FieldTextOfTextsListsSignaturesAndReferences) {
    Load(MemoDxl(1, TextListItem("Names", {"a", "b", "c"}) + TextItem("$Signer", "CN=Signer/O=Org") +
                        "<item name='$Signature'><rawitemdata type='8'>AAAA</rawitemdata></item>" +
                        "<item name='Count'><number>42.5</number></item>"));
    const LNDocument memo = Memo(1);
    const NOTEHANDLE note = memo.GetNoteHandle();
    EXPECT_EQ(GetFieldText(note, "Names", ';', {}), "a;b;c");
    EXPECT_EQ(GetFieldText(note, "Names", ',', {}), "a,b,c");
    EXPECT_EQ(GetFieldText(note, "Count", ';', {}), "42.5");
    EXPECT_EQ(GetFieldText(note, "Missing", ';', {}), "");
    const std::string signature = GetFieldText(note, "$Signature", ';', {});
    EXPECT_EQ(signature.rfind("Signed by CN=Signer/O=Org", 0), 0u) << signature;

    // A response's reference to its parent reads as the parent's UNID.
    const LNDocument reply = Open("AAAAAAAA11111111852500000000B005");
    EXPECT_EQ(GetFieldText(reply.GetNoteHandle(), "$REF", ';', {}), test::kMemo1Unid);
}

TEST_F(BodyPartsTest, FieldTextCutsLongValuesAtItsLimits) {
    const std::string longText(70000, 'x');
    Load(MemoDxl(1, TextItem("Long", longText) + "<item name='Body'><richtext><par>" + longText + "</par></richtext></item>"));
    const LNDocument memo = Memo(1);
    EXPECT_EQ(GetFieldText(memo.GetNoteHandle(), "Long", ';', {}).size(), kTextValueLimit - 1);
    const std::string body = GetFieldText(memo.GetNoteHandle(), "Body", ';', {});
    EXPECT_LE(body.size(), kRichTextTextLimit);
    EXPECT_GT(body.size(), 60000u);
}

TEST_F(BodyPartsTest, RichTextLinksBecomeUrlsOnlyWhenAsked) {
    Load(MemoDxl(1, "<item name='Body'><richtext><par>See <doclink database='85257A1B0046C1A2' "
                    "view='0F0F0F0F0F0F0F0F852500000000A010' document='AAAAAAAA11111111852500000000B001' "
                    "description='the memo'/> here</par><par>Next</par></richtext></item>"));
    const LNDocument memo = Memo(1);
    const std::string plain = GetFieldText(memo.GetNoteHandle(), "Body", ';', {false, {}});
    EXPECT_EQ(plain.find("NOTES://"), std::string::npos) << plain;
    EXPECT_NE(plain.find("Next"), std::string::npos) << plain;
    const std::string linked = GetFieldText(memo.GetNoteHandle(), "Body", ';', {true, {}});
    EXPECT_NE(linked.find(" NOTES:///85257A1B0046C1A2/0F0F0F0F0F0F0F0F852500000000A010/"
                          "AAAAAAAA11111111852500000000B001 "),
              std::string::npos)
        << linked;
    // Nothing but the link differs.
    std::string without = linked;
    without.erase(without.find(" NOTES://"), linked.find("B001 ") + 5 - linked.find(" NOTES://"));
    EXPECT_EQ(without, plain);
}

TEST_F(BodyPartsTest, ExtractorReportsOleObjectsAndRestartsFallbackNumbers) {
    Load(MemoDxl(1, "<item name='$OLEOBJINFO'><text>x</text></item>") +
         MemoDxl(2, test::FileItem("*", test::kAttachmentBase64, 13) + test::FileItem("?", "T3RoZXI=", 5)) +
         MemoDxl(3, test::FileItem("|", "T3RoZXI=", 5)));
    const std::string temp = dir.File("tmp");
    std::vector<std::string> files;
    {
        AttachmentExtractor extractor(false, files);
        EXPECT_FALSE(extractor.Extract(temp, Memo(1)));
        EXPECT_EQ(extractor.messages(),
                  (std::vector<std::string>{"....Error Warning. This Document has OLE embbeded objects that will not "
                                            "be extracted correctly. See Limitations"}));
    }
    {
        AttachmentExtractor extractor(false, files);
        EXPECT_TRUE(extractor.Extract(temp, Memo(2)));
        EXPECT_EQ(files, (std::vector<std::string>{temp + "/FILE1.", temp + "/FILE2."}));
        EXPECT_EQ(extractor.messages().front(), "....Extracting attachment, * to " + temp + "/FILE1.");
        EXPECT_EQ(test::ReadFile(files[0]), "Hello, world!");
        extractor.RemoveFiles();
        EXPECT_FALSE(std::filesystem::exists(files[0]));
    }
    files.clear();
    {
        AttachmentExtractor extractor(false, files);
        EXPECT_TRUE(extractor.Extract(temp, Memo(3)));
        EXPECT_EQ(files, (std::vector<std::string>{temp + "/FILE1."}));
        extractor.RemoveFiles();
    }
}

TEST_F(BodyPartsTest, ExtractorWithoutAPrivateFolderWritesNothing) {
    Load(MemoDxl(1, test::FileItem("a.txt", test::kAttachmentBase64, 13)));
    std::vector<std::string> files;
    AttachmentExtractor extractor(false, files);
    EXPECT_FALSE(extractor.Extract("", Memo(1)));
    EXPECT_TRUE(files.empty());
    EXPECT_FALSE(std::filesystem::exists("a.txt"));
}

TEST_F(BodyPartsTest, MailTimesAreLocalFieldsOfTheStoredMoment) {
    const test::ScopedEnv berlinZone("TZ", "Europe/Berlin");
    Load(MemoDxl(1, TimeItem("PostedDate", "20090512T101530,12+02") + TextItem("Text", "x")) +
         MemoDxl(2, TimeItem("$Created", "20080101T000000,00Z")));
    const LNDocument memo = Memo(1);
    const auto posted = ReadMailTime(memo.GetNoteHandle(), "PostedDate");
    ASSERT_TRUE(posted);
    EXPECT_EQ(posted->local, (platform::SystemTime{2009, 5, 2, 12, 10, 15, 30, 120}));
    EXPECT_EQ(posted->Utc(), (platform::SystemTime{2009, 5, 2, 12, 8, 15, 30, 120}));
    EXPECT_FALSE(ReadMailTime(memo.GetNoteHandle(), "Text"));
    EXPECT_FALSE(ReadMailTime(memo.GetNoteHandle(), "Missing"));
    // @Created: the creation time of the note, unless a $Created item says otherwise.
    EXPECT_EQ(ReadMailTime(memo.GetNoteHandle(), kCreatedItemName)->local,
              (platform::SystemTime{2009, 5, 2, 12, 10, 15, 30, 120}));
    EXPECT_EQ(ReadMailTime(Memo(2).GetNoteHandle(), kCreatedItemName)->Utc(),
              (platform::SystemTime{2008, 1, 2, 1, 0, 0, 0, 0}));
}

TEST_F(BodyPartsTest, ReadTimeItemAppliesTheRunOffsets) {
    const test::ScopedEnv berlinZone("TZ", "Europe/Berlin");
    Load(MemoDxl(1, TimeItem("Summer", "20090512T101530,00+02") + TimeItem("Winter", "20090112T101530,00+01") +
                        TimeItem("DateOnly", "20090512")));
    const LNDocument memo = Memo(1);
    // Berlin as the system gives it: one hour east, one hour of daylight saving.
    const TimeZoneOffsets berlin{-3600, 0, -3600};
    std::int32_t daylight = 99;
    EXPECT_EQ(ReadTimeItem(memo, TimeFallback::Created, "Summer", berlin, daylight), 1242116130);
    EXPECT_EQ(daylight, -3600);
    EXPECT_EQ(ReadTimeItem(memo, TimeFallback::Created, "Winter", berlin, daylight), 1231751730);
    EXPECT_EQ(daylight, 0);
    // No time of day, or no item: the creation time stands in.
    daylight = 99;
    EXPECT_EQ(ReadTimeItem(memo, TimeFallback::Created, "DateOnly", berlin, daylight), 1242116130);
    EXPECT_EQ(ReadTimeItem(memo, TimeFallback::Created, "", berlin, daylight), 1242116130);
}

}  // namespace
}  // namespace qb
