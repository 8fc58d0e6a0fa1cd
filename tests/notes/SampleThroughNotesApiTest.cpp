// The sample data directory opened through the Notes stand-in, as the
// export opens a user's data: every view and folder must hold the entries
// and every component search must select the documents the manifest names.

#include <gtest/gtest.h>

#include <tiffio.h>

#include <memory>
#include <set>

#include "notes/api/LNNotes.h"
#include "notes/api/NotesFormat.h"
#include "notes/api/RichTextRecords.h"
#include "notes/api/render/Image.h"
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

// Width and height of a TIFF file as libtiff reads them (tiffinfo's library).
std::pair<int, int> TiffSize(const std::string& path) {
    std::unique_ptr<TIFF, void (*)(TIFF*)> tif(TIFFOpen(path.c_str(), "r"), TIFFClose);
    if (!tif) return {-1, -1};
    std::uint32_t width = 0, height = 0;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
    return {static_cast<int>(width), static_cast<int>(height)};
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

// Every body of the sample mailbox exports to RTF, and every picture in it
// to a TIFF file of the picture's own size.
TEST_F(SampleThroughNotesApi, EveryBodyExportsToRtfAndEveryPictureToTiff) {
    LNDatabase mail;
    ASSERT_EQ(session_.GetMailDatabase(&mail), 0u);
    ASSERT_EQ(mail.Open(), 0u);
    LNViewFolder all;
    ASSERT_EQ(mail.GetViewFolder("($All)", &all), 0u);
    ASSERT_EQ(all.Open(), 0u);
    long long bodies = 0, mimeBodies = 0, pictures = 0, references = 0;
    const std::string rtf = dir_.File("body.rtf");
    for (LNINT i = 0; i < all.GetEntryCount(); ++i) {
        LNDocument doc;
        ASSERT_EQ(all[i].GetDocument(&doc), 0u);
        ASSERT_EQ(doc.Open(), 0u);
        LNITEMTYPE type = 0;
        LNRichText body;
        if (doc.GetItemType("Body", &type) != 0 || type != TYPE_COMPOSITE || doc.GetItem("Body", &body) != 0) continue;
        ++bodies;
        mimeBodies += doc.HasItem("$NoteHasNativeMIME");
        LNRTCursor start, end;
        ASSERT_EQ(body.GetCursor(&start), 0u);
        ASSERT_EQ(body.GetEndCursor(&end), 0u);
        ASSERT_EQ(body.Export(rtf, start, end), 0u) << i;
        const std::string written = qb::test::ReadFile(rtf);
        ASSERT_EQ(written.rfind("{\\rtf1", 0), 0u) << i;
        LNString text;
        ASSERT_EQ(body.GetText(&text), 0u);
        EXPECT_FALSE(text.empty()) << i;
        // Every attachment hotspot names a $FILE object of the document.
        LNAttachmentArray files;
        ASSERT_EQ(doc.GetAttachments(&files), 0u);
        std::set<std::string> fileNames;
        for (LNINT f = 0; f < files.GetCount(); ++f) fileNames.insert(files[f].GetAttachmentName());
        qb::notes::CdRecordReader reader(body.GetRecords());
        for (qb::notes::CdRecord record; reader.Next(&record);) {
            if (record.signature != qb::notes::SIG_CD_HOTSPOTBEGIN || record.body.size() < 8 ||
                qb::notes::GetWord(record.body, 0) != qb::notes::HOTSPOTREC_TYPE_FILE)
                continue;
            const std::string object(record.body.substr(8, record.body.find('\0', 8) - 8));
            EXPECT_EQ(fileNames.count(object), 1u) << i << ": " << object;
            ++references;
        }
        LNGraphic graphic;
        for (LNSTATUS found = start.GotoFirst(LNRTTYPE_GRAPHIC, &graphic); found == 0;
             found = start.GotoNext(LNRTTYPE_GRAPHIC, &graphic)) {
            LNRTCursor after = start;
            after += 1;
            const std::string tif = dir_.File("_IMAGE" + std::to_string(++pictures) + ".tif");
            ASSERT_EQ(body.Export(tif, start, after), 0u) << i << ": " << LNGetErrorMessageText(LNERR_BAD_IMAGE);
            std::uint32_t width = 0, height = 0;
            ASSERT_TRUE(qb::render::ReadImageSize(graphic.GetImageData(), width, height));
            EXPECT_EQ(TiffSize(tif), std::make_pair(static_cast<int>(width), static_cast<int>(height)));
        }
        doc.Close();
    }
    EXPECT_GT(bodies, 50);
    EXPECT_GT(mimeBodies, 0);
    EXPECT_GT(pictures, 0);
    EXPECT_GT(references, 0);
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
