// The sample data directory opened through the Notes stand-in, as the
// export opens a user's data: every view and folder must hold the entries
// and every component search must select the documents the manifest names.

#include <gtest/gtest.h>

#include "notes/api/LNNotes.h"
#include "notes/sample/SampleGenerator.h"
#include "support/TempDir.h"

using namespace qb::notes::sample;

namespace {

class SampleThroughNotesApi : public ::testing::Test {
protected:
    void SetUp() override {
        options_.outDir = dir_.File("sample");
        options_.messages = 150;
        options_.seed = 11;
        summary_ = GenerateSample(options_);
        ASSERT_EQ(session_.Initialize(options_.outDir + "/notes.ini"), 0u);
    }
    void TearDown() override { session_.Term(); }

    qb::test::TempDir dir_;
    SampleOptions options_;
    SampleSummary summary_;
    LNNotesSession session_;
};

// A view whose formula asks for $FILE: Notes keeps file objects as summary
// items, the stand-in's summary index does not list them yet.
constexpr const char* kAttachmentView = "Views\\With Attachments";

long long EntryCount(const LNDatabase& db, const std::string& title) {
    LNViewFolder view;
    EXPECT_EQ(db.GetViewFolder(title, &view), 0u) << title;
    EXPECT_EQ(view.Open(), 0u) << title;
    return view.GetEntryCount();
}

long long SearchCount(const LNDatabase& db, const char* formula) {
    LNNoteArray notes;
    const LNSTATUS status = db.Search(LNString(formula), &notes);
    if (status == 0xD0000132) return 0;
    EXPECT_EQ(status, 0u) << formula << ": " << LNGetErrorMessageText(status);
    return notes.GetCount();
}

TEST_F(SampleThroughNotesApi, MailDatabaseViewsAndSearchesMatchTheManifest) {
    LNDatabase mail;
    ASSERT_EQ(session_.GetMailDatabase(&mail), 0u);
    ASSERT_EQ(mail.Open(), 0u) << LNGetErrorMessageText(mail.Open());
    for (const SampleViewCount& expected : summary_.views) {
        if (expected.title == kAttachmentView) continue;
        EXPECT_EQ(EntryCount(mail, expected.title), expected.entries) << expected.title;
    }
    EXPECT_EQ(SearchCount(mail, kCalendarSearch), summary_.calendar);
    EXPECT_EQ(SearchCount(mail, kTaskSearch), summary_.tasks);
    EXPECT_EQ(SearchCount(mail, "@All"), summary_.mailDocuments);
    mail.Close();
}

TEST_F(SampleThroughNotesApi, AddressBookSearchesMatchTheManifest) {
    std::vector<LNString> books;
    ASSERT_EQ(session_.GetAddressBooks(&books), 0u);
    ASSERT_FALSE(books.empty());
    LNDatabase names;
    ASSERT_EQ(session_.GetDatabase(books.front(), &names), 0u);
    ASSERT_EQ(names.Open(), 0u);
    EXPECT_EQ(SearchCount(names, kContactSearch), summary_.contacts);
    EXPECT_EQ(SearchCount(names, kGroupSearch), summary_.groups);
    for (const SampleViewCount& expected : summary_.addressBookViews)
        EXPECT_EQ(EntryCount(names, expected.title), expected.entries) << expected.title;
    names.Close();
}

// Opens every document of ($All); counts the attachments of Notes-native
// documents and of MIME documents apart.
void WalkAllDocuments(LNNotesSession& session, long long& nativeFiles, long long& mimeFiles, long long& encrypted,
                      long long& undecryptable, long long* rawRichText = nullptr) {
    LNDatabase mail;
    ASSERT_EQ(session.GetMailDatabase(&mail), 0u);
    ASSERT_EQ(mail.Open(), 0u);
    LNViewFolder all;
    ASSERT_EQ(mail.GetViewFolder("($All)", &all), 0u);
    ASSERT_EQ(all.Open(), 0u);
    for (LNINT i = 0; i < all.GetEntryCount(); ++i) {
        LNDocument doc;
        ASSERT_EQ(all[i].GetDocument(&doc), 0u) << i;
        ASSERT_EQ(doc.Open(), 0u) << i << ": " << LNGetErrorMessageText(doc.Open());
        LNAttachmentArray files;
        ASSERT_EQ(doc.GetAttachments(&files), 0u) << i;
        (doc.HasItem("$NoteHasNativeMIME") ? mimeFiles : nativeFiles) += files.GetCount();
        LNRichText body;
        LNString text;
        LNITEMTYPE type = 0;
        if (rawRichText && doc.GetItemType("Body", &type) == 0 && type == TYPE_COMPOSITE && doc.GetItem("Body", &body) == 0 &&
            body.GetText(&text) == 0 && text.find("This is normal text. And this is bold.") != LNString::npos)
            ++*rawRichText;
        if (doc.IsEncrypted()) {
            ++encrypted;
            undecryptable += doc.Decrypt() != 0;
        }
        doc.Close();
    }
}

TEST_F(SampleThroughNotesApi, EveryDocumentOpensAndFileObjectsAreFound) {
    long long nativeFiles = 0, mimeFiles = 0, encrypted = 0, undecryptable = 0, rawRichText = 0;
    WalkAllDocuments(session_, nativeFiles, mimeFiles, encrypted, undecryptable, &rawRichText);
    EXPECT_EQ(nativeFiles, summary_.fileAttachments);
    EXPECT_GT(rawRichText, 0) << "rich text stored as CD records reads as its text";
    EXPECT_GE(encrypted, 2);
    EXPECT_GE(undecryptable, 1);
}

// MIME parts sent as attachments are presented as file objects.
TEST_F(SampleThroughNotesApi, MimeAttachmentsAreFileObjects) {
    long long nativeFiles = 0, mimeFiles = 0, encrypted = 0, undecryptable = 0;
    WalkAllDocuments(session_, nativeFiles, mimeFiles, encrypted, undecryptable);
    EXPECT_EQ(mimeFiles, summary_.mimeAttachments);
}

// The database index lists file objects ($FILE) by name for formulas.
TEST_F(SampleThroughNotesApi, FileObjectsAreVisibleToViewFormulas) {
    LNDatabase mail;
    ASSERT_EQ(session_.GetMailDatabase(&mail), 0u);
    ASSERT_EQ(mail.Open(), 0u);
    for (const SampleViewCount& expected : summary_.views) {
        if (expected.title != kAttachmentView) continue;
        EXPECT_EQ(EntryCount(mail, expected.title), expected.entries);
        EXPECT_EQ(SearchCount(mail, "@IsAvailable($FILE)"), expected.entries);
    }
}

}  // namespace
