#include <gtest/gtest.h>

#include <filesystem>

#include "MailboxFixture.h"
#include "NotesTestSupport.h"

namespace qb::test {
namespace {

class DxlDatabaseTest : public NotesDatabaseTest {
protected:
    void SetUp() override {
        NotesDatabaseTest::SetUp();
        ASSERT_EQ(OpenText("mail.dxl", MailboxDxl()), LNNOERROR);
    }
    LNDocument OpenDocument(NOTEID id) {
        LNDocument document;
        EXPECT_EQ(database.GetDocument(id, &document), LNNOERROR);
        EXPECT_EQ(document.Open(), LNNOERROR);
        return document;
    }
    std::vector<NOTEID> Entries(const std::string& name) {
        LNViewFolder view;
        EXPECT_EQ(database.GetViewFolder(name, &view), LNNOERROR);
        EXPECT_EQ(view.Open(), LNNOERROR);
        std::vector<NOTEID> ids;
        for (LNINT i = 0; i < view.GetEntryCount(); ++i) ids.push_back(view[i].GetNoteID());
        return ids;
    }
    std::vector<NOTEID> SearchIds(const std::string& formula, LNSTATUS expected = LNNOERROR) {
        LNNoteArray notes;
        EXPECT_EQ(database.Search(formula, &notes), expected) << formula;
        std::vector<NOTEID> ids;
        for (LNINT i = 0; i < notes.GetCount(); ++i) ids.push_back(notes.GetNoteID(i));
        return ids;
    }
};

TEST_F(DxlDatabaseTest, DatabaseProperties) {
    EXPECT_EQ(database.GetTitle(), "Mail of User One");
    EXPECT_EQ(database.GetReplicaID(), "85257A1B0046C1A2");
    EXPECT_EQ(database.GetFilepath(), "mail.dxl");
    EXPECT_EQ(database.GetNoteCount(), 11);
}

TEST_F(DxlDatabaseTest, ItemsKeepNotesTypesAndValues) {
    LNDocument memo = OpenDocument(0x100);
    EXPECT_EQ(memo.GetUniversalID(), kMemo1Unid);
    EXPECT_EQ(memo.GetForm(), "Memo");
    LNITEMTYPE type = 0;
    ASSERT_EQ(memo.GetItemType("Subject", &type), LNNOERROR);
    EXPECT_EQ(type, TYPE_TEXT);
    ASSERT_EQ(memo.GetItemType("sendto", &type), LNNOERROR) << "item names ignore case";
    EXPECT_EQ(type, TYPE_TEXT_LIST);
    ASSERT_EQ(memo.GetItemType("Body", &type), LNNOERROR);
    EXPECT_EQ(type, TYPE_COMPOSITE);
    ASSERT_EQ(memo.GetItemType("$FILE", &type), LNNOERROR);
    EXPECT_EQ(type, TYPE_OBJECT);
    LNText sendTo;
    ASSERT_EQ(memo.GetItem("SendTo", &sendTo), LNNOERROR);
    ASSERT_EQ(sendTo.GetCount(), 2);
    EXPECT_EQ(sendTo[1], "someone@example.com");
    EXPECT_TRUE(sendTo.GetFlags() & LNITEMFLAGS_NAMES);
    LNNumbers wrong;
    EXPECT_EQ(memo.GetItem("Subject", &wrong), LNERR_WRONG_ITEM_TYPE);
    EXPECT_EQ(memo.GetItem("NoSuchItem", &sendTo), LNERR_ITEM_NOT_FOUND);

    LNDocument values = OpenDocument(0x114);
    LNNumbers one, many;
    ASSERT_EQ(values.GetItem("One", &one), LNNOERROR);
    EXPECT_EQ(one.GetType(), TYPE_NUMBER);
    EXPECT_DOUBLE_EQ(one[0], 42.5);
    ASSERT_EQ(values.GetItem("Many", &many), LNNOERROR);
    EXPECT_EQ(many.GetType(), TYPE_NUMBER_RANGE);
    EXPECT_EQ(many.GetCount(), 3);
    LNDatetimes range;
    ASSERT_EQ(values.GetItem("Range", &range), LNNOERROR);
    EXPECT_EQ(range.GetType(), TYPE_TIME_RANGE);
    ASSERT_EQ(range.GetRangeCount(), 1);
    EXPECT_EQ(range.GetRange(0).second.GetDay(), 5);
    LNText multi;
    ASSERT_EQ(values.GetItem("Multi", &multi), LNNOERROR);
    EXPECT_EQ(multi[0], "line one\nline two");
    LNItem calc;
    ASSERT_EQ(values.GetItem("Calc", &calc), LNNOERROR);
    EXPECT_EQ(calc.GetType(), TYPE_FORMULA);
    EXPECT_EQ(calc.GetValueText(), "Form = \"Memo\"");
    LNItem readers;
    ASSERT_EQ(values.GetItem("Readers", &readers), LNNOERROR);
    EXPECT_TRUE(readers.GetFlags() & LNITEMFLAGS_READERS);
}

TEST_F(DxlDatabaseTest, ItemsAreReadOnlyWhileOpen) {
    LNDocument memo;
    ASSERT_EQ(database.GetDocument(0x100, &memo), LNNOERROR);
    LNItem item;
    EXPECT_EQ(memo.GetItem("Subject", &item), LNERR_NOTE_NOT_OPEN);
    EXPECT_EQ(database.GetDocument(0x999, &memo), LNERR_NOTE_NOT_FOUND);
}

TEST_F(DxlDatabaseTest, NoteTimesAndResponses) {
    LNDocument memo = OpenDocument(0x100);
    LNDatetimeParts created = memo.GetCreated().GetZoneParts();
    EXPECT_EQ(created.year, 2009);
    EXPECT_EQ(created.hour, 10);
    EXPECT_EQ(created.hundredth, 12);
    EXPECT_EQ(memo.GetCreated().GetZoneOffsetMinutes(), 120);
    EXPECT_TRUE(memo.GetLastModified().GetStoredDSTFlag());
    EXPECT_FALSE(memo.IsResponse());
    LNDocument reply = OpenDocument(0x110);
    EXPECT_TRUE(reply.IsResponse());
    LNItem ref;
    ASSERT_EQ(reply.GetItem("$REF", &ref), LNNOERROR);
    EXPECT_EQ(ref.GetType(), TYPE_NOTEREF_LIST);
    EXPECT_EQ(ref.GetValueText(), kMemo1Unid);
}

TEST_F(DxlDatabaseTest, RichTextParagraphsRunsAndRecords) {
    LNDocument memo = OpenDocument(0x100);
    LNRichText body;
    ASSERT_EQ(memo.GetItem("Body", &body), LNNOERROR);
    LNString text;
    ASSERT_EQ(body.GetText(&text), LNNOERROR);
    EXPECT_EQ(text, "Hello plain\nnext line\nSecond paragraph");
    // The run's font is carried by its text record.
    qb::notes::CdRecordReader reader(body.GetRecords());
    bool sawBold = false, sawHotspot = false;
    for (qb::notes::CdRecord record; reader.Next(&record);) {
        if (record.signature == qb::notes::SIG_CD_TEXT && record.body.substr(4) == "Hello")
            sawBold = (static_cast<unsigned char>(record.body[1]) & qb::notes::FONT_BOLD) && record.body[3] == 12;
        sawHotspot |= record.signature == qb::notes::SIG_CD_HOTSPOTBEGIN;
    }
    EXPECT_FALSE(reader.Damaged());
    EXPECT_TRUE(sawBold);
    EXPECT_TRUE(sawHotspot);
    LNRTCursor cursor;
    ASSERT_EQ(body.GetCursor(&cursor), LNNOERROR);
    EXPECT_EQ(cursor.GotoFirst(LNRTTYPE_ATTACHMENT), LNNOERROR);
    EXPECT_EQ(cursor.GotoNext(LNRTTYPE_ATTACHMENT), LNWARN_NOT_FOUND);
}

TEST_F(DxlDatabaseTest, LongRichTextComesInPieces) {
    std::string longText(70000, 'x');
    std::string extra = "<document form='Memo'><noteinfo noteid='200'/><item name='Body'><richtext><par>" + longText +
                        "</par><par>end</par></richtext></item></document>";
    ASSERT_EQ(OpenText("long.dxl", MailboxDxl(extra)), LNNOERROR);
    LNDocument memo = OpenDocument(0x200);
    LNRichText body;
    ASSERT_EQ(memo.GetItem("Body", &body), LNNOERROR);
    LNRTCursor start, end;
    body.GetCursor(&start);
    body.GetEndCursor(&end);
    std::string whole, piece;
    LNSTATUS status;
    int calls = 0;
    while ((status = body.GetText(&start, end, &piece)) == LNWARN_TOO_MUCH_TEXT) {
        EXPECT_LE(piece.size(), 0xFFFFu);
        whole += piece;
        ++calls;
    }
    EXPECT_EQ(status, LNNOERROR);
    whole += piece;
    EXPECT_GE(calls, 1);
    EXPECT_EQ(whole, longText + "\nend");
}

TEST_F(DxlDatabaseTest, AttachmentsDetachDecoded) {
    LNDocument memo = OpenDocument(0x100);
    LNAttachmentArray attachments;
    ASSERT_EQ(memo.GetAttachments(&attachments), LNNOERROR);
    ASSERT_EQ(attachments.GetCount(), 1);
    EXPECT_EQ(attachments[0].GetAttachmentName(), "note.txt");
    EXPECT_EQ(attachments[0].GetSize(), 13u);
    EXPECT_FALSE(memo.HasOLEObjects());
    std::string target = dir.File("out.txt");
    ASSERT_EQ(attachments[0].Detach(target), LNNOERROR);
    EXPECT_EQ(ReadFile(target), kAttachmentText);

    // A reused file with longer stale bytes (RecycledFiles) ends with the attachment's only.
    const std::string reused = dir.Write("reused.txt", std::string(70000, 'x'));
    ASSERT_EQ(attachments[0].Detach(reused), LNNOERROR);
    EXPECT_EQ(ReadFile(reused), kAttachmentText);
}

TEST_F(DxlDatabaseTest, EmptyAttachmentBesideAnother) {
    std::string extra =
        "<document form='Memo'><noteinfo noteid='208'/><item name='$FILE'><object><file name='e.txt'><filedata/>"
        "</file></object></item><item name='$FILE'><object><file name='f.txt'><filedata>SGk=</filedata></file>"
        "</object></item></document>";
    ASSERT_EQ(OpenText("empty.dxl", MailboxDxl(extra)), LNNOERROR);
    LNDocument document = OpenDocument(0x208);
    LNAttachmentArray attachments;
    ASSERT_EQ(document.GetAttachments(&attachments), LNNOERROR);
    ASSERT_EQ(attachments.GetCount(), 2);
    dir.Write("e.txt", "stale bytes of a reused file");
    ASSERT_EQ(attachments[0].Detach(dir.File("e.txt")), LNNOERROR);
    ASSERT_EQ(attachments[1].Detach(dir.File("f.txt")), LNNOERROR);
    EXPECT_EQ(ReadFile(dir.File("e.txt")), "");
    EXPECT_EQ(ReadFile(dir.File("f.txt")), "Hi");
}

TEST_F(DxlDatabaseTest, BadAttachmentDataFailsAndLeavesNoFile) {
    std::string extra =
        "<document form='Memo'><noteinfo noteid='204'/><item name='$FILE'><object><file name='x.bin'>"
        "<filedata>SGVsbG8*</filedata></file></object></item></document>";
    ASSERT_EQ(OpenText("bad64.dxl", MailboxDxl(extra)), LNNOERROR);
    LNDocument document = OpenDocument(0x204);
    LNAttachmentArray attachments;
    ASSERT_EQ(document.GetAttachments(&attachments), LNNOERROR);
    ASSERT_EQ(attachments.GetCount(), 1);
    std::string target = dir.File("x.bin");
    EXPECT_EQ(attachments[0].Detach(target), LNERR_BAD_BASE64);
    EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(DxlDatabaseTest, ViewsFollowSelectionAndSortColumn) {
    // ($All): every document, newest PostedDate first, documents without one last.
    std::vector<NOTEID> all = Entries("($All)");
    ASSERT_EQ(all.size(), 6u);
    EXPECT_EQ(all[0], 0x104u);
    EXPECT_EQ(all[1], 0x100u);
    EXPECT_EQ(all[2], 0x108u);
    EXPECT_EQ(Entries("($Calendar)"), std::vector<NOTEID>{0x108});
    EXPECT_EQ(Entries("meetings"), std::vector<NOTEID>{0x108}) << "names and aliases answer, case ignored";
    LNViewFolder calendar;
    ASSERT_EQ(database.GetViewFolder("Meetings", &calendar), LNNOERROR);
    EXPECT_EQ(calendar.GetName(), "Meetings");
    EXPECT_TRUE(calendar.IsCalendar());
    EXPECT_FALSE(calendar.IsFolder());
}

TEST_F(DxlDatabaseTest, FoldersHoldDocumentsThatReferToThem) {
    EXPECT_EQ(Entries("($Inbox)"), (std::vector<NOTEID>{0x100, 0x104}));
    EXPECT_EQ(Entries("Projects\\Alpha"), std::vector<NOTEID>{0x100});
    LNViewFolder alpha;
    ASSERT_EQ(database.GetViewFolder("Projects\\Alpha", &alpha), LNNOERROR);
    EXPECT_TRUE(alpha.IsFolder());
    EXPECT_EQ(alpha.GetUniversalID(), kAlphaUnid);
    LNVFEntry entry;
    ASSERT_EQ(alpha.Open(), LNNOERROR);
    ASSERT_EQ(alpha.GetEntry(0, &entry), LNNOERROR);
    LNDocument document;
    ASSERT_EQ(entry.GetDocument(&document), LNNOERROR);
    ASSERT_EQ(document.Open(), LNNOERROR);
    EXPECT_EQ(document.GetNoteID(), 0x100u);
    EXPECT_EQ(alpha.GetEntry(1, &entry), LNERR_INDEX_OUT_OF_RANGE);
}

TEST_F(DxlDatabaseTest, ViewWithUnsupportedFormulaReportsIt) {
    LNViewFolder broken;
    ASSERT_EQ(database.GetViewFolder("Broken", &broken), LNNOERROR);
    EXPECT_EQ(broken.Open(), LNERR_FORMULA_COMPILE);
    EXPECT_NE(LNGetErrorMessageText(LNERR_FORMULA_COMPILE).find("@Now"), std::string::npos);
    EXPECT_EQ(database.GetViewFolder("No such view", &broken), LNERR_VIEW_NOT_FOUND);
}

TEST_F(DxlDatabaseTest, ComponentFormulasSelectTheirDocuments) {
    EXPECT_EQ(SearchIds("Form = \"Appointment\" & @IsAvailable(CalendarDateTime)"), std::vector<NOTEID>{0x108});
    EXPECT_EQ(SearchIds("Form = \"Task\" & !(ExcludeFromView = \"T\") & !(@IsAvailable(OrgRepeat) & !@IsResponseDoc)"),
              std::vector<NOTEID>{0x10C});
    SearchIds("Form = \"Contact\":\"Person\"", LNWARN_NOT_FOUND);
    SearchIds("Form = \"Group\"", LNWARN_NOT_FOUND);
    EXPECT_EQ(SearchIds("@All").size(), 6u);
    EXPECT_EQ(SearchIds("@IsResponseDoc"), std::vector<NOTEID>{0x110});
}

TEST_F(DxlDatabaseTest, SearchSeesSummaryItemsOnly) {
    // Rich text is not a summary item, as in Notes.
    SearchIds("@IsAvailable(Body) & Form = \"Memo\" & Subject = \"First memo\"", LNWARN_NOT_FOUND);
}

TEST_F(DxlDatabaseTest, SearchNothingFoundIsNotThrown) {
    LNSetThrowAllErrorsGlobal(true);
    LNNoteArray notes;
    EXPECT_EQ(database.Search("Form = \"Nothing\"", &notes), LNWARN_NOT_FOUND);
    EXPECT_EQ(notes.GetCount(), 0);
}

TEST_F(DxlDatabaseTest, UnknownFunctionIsACompileError) {
    LNFormula formula;
    LNSTATUS status = formula.SetText("@Unknown(Form)");
    EXPECT_NE(status, LNNOERROR);
    char text[512];
    LNGetErrorMessageText(status, text, sizeof text, 0);
    EXPECT_NE(std::string(text).find("@Unknown"), std::string::npos) << text;
    LNNoteArray notes;
    EXPECT_EQ(database.Search(formula, &notes), status);
}

TEST_F(DxlDatabaseTest, DesignSearchesReturnEveryViewAndFolderOnce) {
    std::vector<std::string> titles;
    for (DWORD type : {LNSEARCH_SHARED_VIEWS, LNSEARCH_FOLDERS, LNSEARCH_PRIVATE_VIEWS}) {
        LNSearchOptions options;
        options.SetNoteType(type);
        LNNoteArray notes;
        LNSTATUS status = database.Search("@All", &notes, &options);
        ASSERT_TRUE(status == LNNOERROR || status == LNWARN_NOT_FOUND);
        for (LNINT i = 0; i < notes.GetCount(); ++i) {
            LNDocument note = notes[i];
            ASSERT_EQ(note.Open(), LNNOERROR);
            LNText title, flags;
            ASSERT_EQ(note.GetItem("$TITLE", &title), LNNOERROR);
            ASSERT_EQ(note.GetItem("$Flags", &flags), LNNOERROR);
            titles.push_back(title[0]);
        }
    }
    std::sort(titles.begin(), titles.end());
    EXPECT_EQ(titles, (std::vector<std::string>{"($All)", "($Inbox)", "Broken", "Meetings|($Calendar)",
                                                "Projects\\Alpha"}));
}

TEST_F(DxlDatabaseTest, CoreCallsReadItemsOfAnOpenNote) {
    LNDocument memo = OpenDocument(0x100);
    NOTEHANDLE note = memo.GetNoteHandle();
    ASSERT_NE(note, nullptr);
    ITEMHANDLE item;
    WORD type = 0;
    DWORD length = 0;
    ASSERT_EQ(NSFItemInfo(note, "SendTo", &item, &type, &length), LNNOERROR);
    EXPECT_EQ(type, TYPE_TEXT_LIST);
    EXPECT_EQ(NSFItemGetTextListEntries(note, "SendTo"), 2);
    char buffer[64];
    NSFItemGetTextListEntry(note, "SendTo", 0, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "CN=User One/O=Org");
    NSFItemConvertToText(note, "SendTo", buffer, sizeof buffer, ';');
    EXPECT_STREQ(buffer, "CN=User One/O=Org;someone@example.com");
    EXPECT_EQ(NSFItemInfoNext(note, item, "SendTo", &item, &type, &length), LNERR_ITEM_NOT_FOUND);
    char raw[4];
    ASSERT_EQ(NSFItemGetValueBytes(item, raw, 4), 4u);
    EXPECT_EQ(raw[0], 0x01) << "the stored value starts with the type word";
    EXPECT_EQ(raw[1], 0x05);
    TIMEDATE posted;
    ASSERT_TRUE(NSFItemGetTime(note, "PostedDate", &posted));
    TIME local;
    local.GM = posted;
    ASSERT_EQ(TimeGMToLocal(&local), LNNOERROR);
    EXPECT_EQ(local.year, 2009);
    EXPECT_EQ(local.hundredth, 12);
}

TEST_F(DxlDatabaseTest, ThrowingModeRaisesTheStatus) {
    LNSetThrowAllErrorsGlobal(true);
    LNDocument memo;
    try {
        database.GetDocument(0x999, &memo);
        FAIL() << "no exception";
    } catch (const LNStatusError& error) {
        EXPECT_EQ(error.GetStatus(), LNERR_NOTE_NOT_FOUND);
    }
    LNSetThrowAllErrorsGlobal(false);
    EXPECT_EQ(database.GetDocument(0x999, &memo), LNERR_NOTE_NOT_FOUND);
}

}  // namespace
}  // namespace qb::test
