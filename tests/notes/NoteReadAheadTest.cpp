// Opening a database again and reading its notes ahead. A second open of an
// unchanged file takes the index the first left; a file changed in any way
// (size, replaced by another file, just written) is indexed again; the
// cache keeps a bounded number of indexes. Reading ahead gives the very same
// notes as reading alone (the whole sample mailbox, view by view), keeps its
// queue within its bounds, follows a reader that skips entries, stops with
// the view and the database, and never hands over a note saved or deleted
// since it was read ahead. Attachments read from the file their note came from.
// Attachment data decoded ahead detaches to the very bytes, and a damaged one
// to the very error, of decoding it at the time; large data is left alone.
// A body rendered ahead exports the very RTF of rendering it then, and one
// changed since is rendered anew. A file truncated or rewritten while it is
// read gives, note by note, the very results and errors of reading it alone.
// Bodies with pictures are left to the reader. Notes presented ahead (MIME
// as rich text) are the notes opening presents, and are not used once the
// file changed; without preparing, nothing is presented ahead.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "MailboxFixture.h"
#include "NotesTestSupport.h"
#include "notes/api/DatabaseImpl.h"
#include "notes/api/DxlIndexCache.h"
#include "notes/api/NotePrefetcher.h"
#include "notes/sample/SampleGenerator.h"
#include "text/Base64.h"
#include "text/Lzfu.h"
#include "text/LzfuAhead.h"

namespace qb::test {
namespace {

using notes::DxlIndexCache;
using notes::NoteData;
using notes::NotePrefetcher;

// Everything a reader can see of a note, attachment data included, as one text.
std::string Describe(const NoteData& note) {
    std::string text = std::to_string(note.noteId) + "|" + note.unid + "|" + std::to_string(note.noteClass) + "|" +
                       std::string(note.created.GetDxlText()) + "|" + std::string(note.modified.GetDxlText()) + "\n";
    for (const notes::ItemData& item : note.items) {
        text += item.name + "/" + std::to_string(item.type) + "/" + std::to_string(item.flags) + "/" +
                std::to_string(item.value.size()) + ":" + item.value;
        if (item.file) {
            text += "/file " + item.file->name + " " + std::to_string(item.file->size);
            notes::Bytes bytes;
            std::string detail;
            if (item.file->content) {
                text += " status " + std::to_string(notes::ReadFileContent(*item.file->content, &bytes, &detail));
                text += " " + bytes;
            }
        }
        text += "\n";
    }
    for (const std::string& warning : note.readWarnings) text += "warning " + warning + "\n";
    return text;
}

DxlIndexCache::Counts Counts() { return DxlIndexCache::Process().GetCounts(); }

class IndexReuseTest : public NotesDatabaseTest {
protected:
    void SetUp() override {
        NotesDatabaseTest::SetUp();
        DxlIndexCache::Process().Clear();
        DxlIndexCache::SetSettleTime(std::chrono::nanoseconds(0));
    }
    void TearDown() override {
        DxlIndexCache::SetSettleTime(std::chrono::seconds(2));
        DxlIndexCache::Process().Clear();
    }
    // Opens the database at name, returns the subject of note 0x100 and closes it.
    std::string SubjectOf(const std::string& name) {
        LNDatabase opened;
        EXPECT_EQ(session.GetDatabase(name, &opened), LNNOERROR);
        EXPECT_EQ(opened.Open(), LNNOERROR);
        LNDocument document;
        EXPECT_EQ(opened.GetDocument(0x100, &document), LNNOERROR);
        EXPECT_EQ(document.Open(), LNNOERROR);
        LNText subject;
        EXPECT_EQ(document.GetItem("Subject", &subject), LNNOERROR);
        std::string text = subject.GetCount() > 0 ? std::string(subject[0]) : std::string();
        opened.Close();
        return text;
    }
};

TEST_F(IndexReuseTest, UnchangedFileIsIndexedOnceAndChangedFileAgain) {
    dir.Write("mail.dxl", MailboxDxl());
    const auto before = Counts();
    EXPECT_EQ(SubjectOf("mail.dxl"), "First memo");
    EXPECT_EQ(SubjectOf("mail.dxl"), "First memo");
    EXPECT_EQ(Counts().taken - before.taken, 1u);
    EXPECT_EQ(Counts().missed - before.missed, 1u);

    // Another size.
    std::string dxl = MailboxDxl();
    dxl.replace(dxl.find("First memo"), 10, "First memo, longer");
    dir.Write("mail.dxl", dxl);
    EXPECT_EQ(SubjectOf("mail.dxl"), "First memo, longer");
    EXPECT_EQ(Counts().taken - before.taken, 1u);
    // Another file in its place (another inode), same size.
    dxl.replace(dxl.find("First memo, longer"), 18, "First memo, LONGER");
    dir.Write("mail.new", dxl);
    std::filesystem::rename(dir.File("mail.new"), dir.File("mail.dxl"));
    EXPECT_EQ(SubjectOf("mail.dxl"), "First memo, LONGER");
}

TEST_F(IndexReuseTest, FileWrittenJustBeforeItWasIndexedIsNotKept) {
    DxlIndexCache::SetSettleTime(std::chrono::hours(1));
    std::string dxl = MailboxDxl();
    dir.Write("mail.dxl", dxl);
    EXPECT_EQ(SubjectOf("mail.dxl"), "First memo");
    // Same size, most likely the same time stamps: only not keeping the index tells.
    dxl.replace(dxl.find("First memo"), 10, "FIRST MEMO");
    dir.Write("mail.dxl", dxl);
    const auto before = Counts();
    EXPECT_EQ(SubjectOf("mail.dxl"), "FIRST MEMO");
    EXPECT_EQ(Counts().taken, before.taken);
}

TEST_F(IndexReuseTest, KeepsOnlyTheMostRecentlyClosed) {
    for (int i = 0; i < 4; ++i) dir.Write("mail" + std::to_string(i) + ".dxl", MailboxDxl());
    for (int i = 0; i < 4; ++i) SubjectOf("mail" + std::to_string(i) + ".dxl");
    const auto before = Counts();
    SubjectOf("mail0.dxl");  // dropped long ago
    EXPECT_EQ(Counts().taken, before.taken);
    SubjectOf("mail3.dxl");  // the last closed
    EXPECT_EQ(Counts().taken, before.taken + 1);
}

TEST_F(IndexReuseTest, DatabaseOpenTwiceAtOnceIndexesTwice) {
    dir.Write("mail.dxl", MailboxDxl());
    LNDatabase first, second;
    ASSERT_EQ(session.GetDatabase("mail.dxl", &first), LNNOERROR);
    ASSERT_EQ(session.GetDatabase("mail.dxl", &second), LNNOERROR);
    ASSERT_EQ(first.Open(), LNNOERROR);
    const auto before = Counts();
    ASSERT_EQ(second.Open(), LNNOERROR);  // the first one's index is in use
    EXPECT_EQ(Counts().taken, before.taken);
    EXPECT_EQ(second.GetNoteCount(), first.GetNoteCount());
    first.Close();
    second.Close();
    EXPECT_EQ(SubjectOf("mail.dxl"), "First memo");
    EXPECT_EQ(Counts().taken, before.taken + 1);
}

// Attachment data is read through the file the note was parsed from, which
// stays open with the note: a file put in the database's place meanwhile
// (whose bytes at the attachment's offsets are anything) does not change it.
TEST_F(IndexReuseTest, AttachmentReadsFromTheFileItsNoteCameFrom) {
    ASSERT_EQ(OpenText("mail.dxl", MailboxDxl()), LNNOERROR);
    LNDocument memo;
    ASSERT_EQ(database.GetDocument(0x100, &memo), LNNOERROR);
    ASSERT_EQ(memo.Open(), LNNOERROR);
    LNAttachmentArray attachments;
    ASSERT_EQ(memo.GetAttachments(&attachments), LNNOERROR);
    ASSERT_EQ(attachments.GetCount(), 1);
    dir.Write("other.dxl", std::string(MailboxDxl().size() + 100, 'A'));
    std::filesystem::rename(dir.File("other.dxl"), dir.File("mail.dxl"));
    database.Close();
    ASSERT_EQ(attachments[0].Detach(dir.File("out.txt")), LNNOERROR);
    EXPECT_EQ(ReadFile(dir.File("out.txt")), kAttachmentText);
}

// Every note of every view and folder of the mail database, read in view order.
std::map<std::string, std::vector<std::string>> ReadEveryView(LNNotesSession& session, std::uint64_t* taken,
                                                               NotePrefetcher::Counts* counts = nullptr) {
    LNDatabase mail;
    EXPECT_EQ(session.GetMailDatabase(&mail), LNNOERROR);
    EXPECT_EQ(mail.Open(), LNNOERROR);
    std::vector<LNViewFolder> views;
    EXPECT_EQ(mail.GetViewFolders(&views), LNNOERROR);
    std::map<std::string, std::vector<std::string>> read;
    for (LNViewFolder& view : views) {
        if (view.Open() != LNNOERROR) continue;
        std::vector<std::string>& notes = read[view.GetTitle()];
        for (LNINT i = 0; i < view.GetEntryCount(); ++i) {
            LNVFEntry entry;
            LNDocument document;
            EXPECT_EQ(view.GetEntry(i, &entry), LNNOERROR);
            EXPECT_EQ(entry.GetDocument(&document), LNNOERROR);
            const LNSTATUS status = document.Open();
            notes.push_back(status == LNNOERROR ? Describe(*document.GetNoteHandle())
                                                : "status " + std::to_string(status));
            document.Close();
        }
        view.Close();
    }
    if (mail.Impl()->prefetcher) *taken = mail.Impl()->prefetcher->GetCounts().taken;
    if (counts) *counts = mail.Impl()->prefetcher ? mail.Impl()->prefetcher->GetCounts() : NotePrefetcher::Counts{};
    mail.Close();
    return read;
}

struct PrefetchGuard {
    ~PrefetchGuard() {
        notes::SetNotePrefetchEnabled(std::nullopt);
        notes::SetNotePrepareEnabled(std::nullopt);
    }
};

// Generates a sample mailbox of `messages` into `dir` and starts `session` on it.
LNSTATUS OpenGeneratedSample(TempDir& dir, long long messages, std::uint64_t seed, LNNotesSession* session) {
    notes::sample::SampleOptions options;
    options.outDir = dir.File("sample");
    options.messages = messages;
    options.seed = seed;
    notes::sample::GenerateSample(options);
    return session->Initialize(options.outDir + "/notes.ini");
}

TEST(NoteReadAhead, SampleMailboxReadsTheSameWithAndWithoutIt) {
    TempDir dir;
    LNNotesSession session;
    ASSERT_EQ(OpenGeneratedSample(dir, 300, 5, &session), LNNOERROR);
    PrefetchGuard guard;
    std::uint64_t takenOff = 0, takenOn = 0, takenParsedOnly = 0;
    NotePrefetcher::Counts countsOn, countsParsedOnly;
    notes::SetNotePrefetchEnabled(false);
    const auto alone = ReadEveryView(session, &takenOff);
    notes::SetNotePrefetchEnabled(true);
    const auto ahead = ReadEveryView(session, &takenOn, &countsOn);
    notes::SetNotePrepareEnabled(false);
    const auto parsedOnly = ReadEveryView(session, &takenParsedOnly, &countsParsedOnly);
    EXPECT_EQ(takenOff, 0u);
    EXPECT_GT(takenOn, 100u);  // the thread did most of the work
    EXPECT_GT(countsOn.presented, 100u);
    EXPECT_GT(countsOn.presentedMime, 10u);
    EXPECT_EQ(countsParsedOnly.presented, 0u);
    EXPECT_EQ(countsParsedOnly.preparedRtf, 0u);
    ASSERT_EQ(alone.size(), ahead.size());
    ASSERT_EQ(alone.size(), parsedOnly.size());
    std::size_t documents = 0;
    for (const auto& [title, notes] : alone) {
        ASSERT_EQ(ahead.count(title), 1u) << title;
        const auto& other = ahead.at(title);
        ASSERT_EQ(notes.size(), other.size()) << title;
        for (std::size_t i = 0; i < notes.size(); ++i) EXPECT_EQ(notes[i], other[i]) << title << " entry " << i;
        ASSERT_EQ(notes, parsedOnly.at(title)) << title;
        documents += notes.size();
    }
    EXPECT_GT(documents, 300u);
    session.Term();
}

class ReadAheadDatabaseTest : public NotesDatabaseTest {
protected:
    void SetUp() override {
        NotesDatabaseTest::SetUp();
        notes::SetNotePrefetchEnabled(true);
        std::string documents;
        for (int i = 0; i < 40; ++i) {
            char id[16];
            std::snprintf(id, sizeof id, "%x", 0x1000 + 4 * i);
            documents += "<document form='Memo'><noteinfo noteid='" + std::string(id) +
                         "'/><item name='Subject'><text>memo " + std::to_string(i) +
                         "</text></item><item name='Body'><richtext><par>" + std::string(2000, 'x') +
                         "</par></richtext></item></document>\n";
        }
        ASSERT_EQ(OpenText("mail.dxl", MailboxDxl(documents)), LNNOERROR);
        ASSERT_EQ(database.GetViewFolder("($All)", &view), LNNOERROR);
        ASSERT_EQ(view.Open(), LNNOERROR);
    }
    LNDocument Entry(LNINT index) {
        LNVFEntry entry;
        LNDocument document;
        EXPECT_EQ(view.GetEntry(index, &entry), LNNOERROR);
        EXPECT_EQ(entry.GetDocument(&document), LNNOERROR);
        return document;
    }
    std::string SubjectAt(LNINT index) {
        LNDocument document = Entry(index);
        if (document.Open() != LNNOERROR) return "<not read>";
        LNText subject;
        if (document.GetItem("Subject", &subject) != LNNOERROR) return "<no subject>";
        return std::string(subject[0]);
    }
    // Waits (boundedly) until the thread has parsed `count` notes.
    void WaitForParsed(std::uint64_t count) {
        for (int i = 0; i < 2000; ++i) {
            if (database.Impl()->prefetcher && database.Impl()->prefetcher->GetCounts().parsed >= count) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    PrefetchGuard prefetch;
    LNViewFolder view;
};

TEST_F(ReadAheadDatabaseTest, SkippingReaderGetsTheNotesItAsksFor) {
    std::vector<std::string> alone;
    {
        notes::SetNotePrefetchEnabled(false);
        for (LNINT i = 0; i < view.GetEntryCount(); ++i) alone.push_back(SubjectAt(i));
        notes::SetNotePrefetchEnabled(true);
    }
    Entry(0);
    WaitForParsed(3);  // so that the thread has notes 1 and 2 at least
    for (LNINT i : {0, 1, 2, 9, 10, 30, 31, 5, 6, 7, 40, 41, 3}) {
        if (i >= view.GetEntryCount()) continue;
        EXPECT_EQ(SubjectAt(i), alone[static_cast<std::size_t>(i)]) << i;
    }
    ASSERT_TRUE(database.Impl()->prefetcher);
    EXPECT_GT(database.Impl()->prefetcher->GetCounts().taken, 0u);
}

TEST_F(ReadAheadDatabaseTest, QueueStaysWithinItsBound) {
    Entry(0);  // starts reading ahead; nothing is taken
    WaitForParsed(NotePrefetcher::Limits{}.notes);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(database.Impl()->prefetcher->GetCounts().parsed, NotePrefetcher::Limits{}.notes);
}

TEST_F(ReadAheadDatabaseTest, NoteSavedOrDeletedMeanwhileIsReadAnew) {
    EXPECT_EQ(SubjectAt(0), SubjectAt(0));
    WaitForParsed(3);
    LNDocument changed = Entry(1);
    ASSERT_EQ(changed.Open(), LNNOERROR);
    const std::string original = SubjectAt(1);
    ASSERT_EQ(changed.SetItem(LNMakeTextItem("Subject", {"changed"})), LNNOERROR);
    ASSERT_EQ(changed.Save(), LNNOERROR);
    const NOTEID deletedId = Entry(3).GetNoteID();
    EXPECT_EQ(SubjectAt(2), SubjectAt(2));
    LNDocument fresh;
    ASSERT_EQ(database.GetDocument(changed.GetNoteID(), &fresh), LNNOERROR);
    ASSERT_EQ(fresh.Open(), LNNOERROR);
    LNText subject;
    ASSERT_EQ(fresh.GetItem("Subject", &subject), LNNOERROR);
    EXPECT_EQ(std::string(subject[0]), "changed");
    EXPECT_NE(original, "changed");
    LNDocument deleted;
    ASSERT_EQ(database.GetDocument(deletedId, &deleted), LNNOERROR);
    ASSERT_EQ(database.DeleteDocument(deletedId), LNNOERROR);
    EXPECT_NE(deleted.Open(), LNNOERROR);
}

TEST_F(ReadAheadDatabaseTest, ClosingTheViewOrDatabaseStopsReadingAhead) {
    for (LNINT i = 0; i < 5; ++i) SubjectAt(i);
    view.Close();  // joins the thread
    EXPECT_TRUE(database.Impl()->prefetcher);
    ASSERT_EQ(view.Open(), LNNOERROR);
    Entry(0);
    database.Close();  // with the view still open
    EXPECT_FALSE(database.Impl()->prefetcher);
}

// Notes with one attachment each: small ones, damaged base64 (a stray
// character, a truncated group) and one above the size decoded ahead.
std::string AttachmentDocuments() {
    std::string documents;
    for (int i = 0; i < 24; ++i) {
        char id[16];
        std::snprintf(id, sizeof id, "%x", 0x2000 + 4 * i);
        std::string data;
        for (int j = 0; j <= i * 37; ++j) data += static_cast<char>((i * 31 + j * 7) & 0xFF);
        std::string base64 = text::EncodeBase64(data);
        if (i % 6 == 1) base64.insert(base64.size() / 2, "*");
        if (i % 6 == 3) base64 += "QQ";
        if (i == 10) base64 = text::EncodeBase64(std::string(NotePrefetcher::Limits{}.preparedFile, 'L'));
        documents += "<document form='Memo'><noteinfo noteid='" + std::string(id) +
                     "'/><item name='Subject'><text>with file " + std::to_string(i) +
                     "</text></item><item name='$FILE' summary='true'><object><file hosttype='msdos' "
                     "compression='none' name='f" +
                     std::to_string(i) + ".bin' size='" + std::to_string(data.size()) +
                     "'><filedata>\n" + base64 + "\n</filedata></file></object></item></document>\n";
    }
    return documents;
}

class PreparedAttachmentTest : public NotesDatabaseTest {
protected:
    // Detaches every attachment of the view's notes, in order: status and bytes of each.
    std::vector<std::string> DetachAll(bool prefetch, bool prepare, std::uint64_t* prepared) {
        notes::SetNotePrefetchEnabled(prefetch);
        notes::SetNotePrepareEnabled(prepare);
        EXPECT_EQ(OpenText("mail.dxl", MailboxDxl(AttachmentDocuments())), LNNOERROR);
        LNViewFolder view;
        EXPECT_EQ(database.GetViewFolder("($All)", &view), LNNOERROR);
        EXPECT_EQ(view.Open(), LNNOERROR);
        std::vector<std::string> results;
        for (LNINT i = 0; i < view.GetEntryCount(); ++i) {
            LNVFEntry entry;
            LNDocument document;
            EXPECT_EQ(view.GetEntry(i, &entry), LNNOERROR);
            EXPECT_EQ(entry.GetDocument(&document), LNNOERROR);
            EXPECT_EQ(document.Open(), LNNOERROR);
            LNAttachmentArray attachments;
            if (document.GetAttachments(&attachments) != LNNOERROR) continue;
            for (LNINT a = 0; a < attachments.GetCount(); ++a) {
                const std::string path = dir.File("out.bin");
                std::filesystem::remove(path);
                const LNSTATUS status = attachments[a].Detach(path);
                results.push_back(std::string(attachments[a].GetAttachmentName()) + " status " +
                                  std::to_string(status) + " exists " +
                                  std::to_string(std::filesystem::exists(path)) + " " +
                                  (status == LNNOERROR ? ReadFile(path) : std::string()));
            }
        }
        *prepared = database.Impl()->prefetcher ? database.Impl()->prefetcher->GetCounts().prepared : 0;
        view.Close();
        database.Close();
        return results;
    }
    PrefetchGuard guard;
};

TEST_F(PreparedAttachmentTest, DetachesTheSameBytesAndErrorsAsDecodingThen) {
    std::uint64_t preparedOff = 0, preparedAhead = 0, preparedNot = 0;
    const auto alone = DetachAll(false, false, &preparedOff);
    const auto ahead = DetachAll(true, true, &preparedAhead);
    const auto parsedOnly = DetachAll(true, false, &preparedNot);
    ASSERT_EQ(alone.size(), 25u);  // the mailbox's memo and the 24 above
    EXPECT_EQ(ahead, alone);
    EXPECT_EQ(parsedOnly, alone);
    std::size_t failed = 0;
    for (const std::string& result : alone) failed += result.find(" status 0 ") == std::string::npos;
    EXPECT_EQ(failed, 8u);  // the damaged ones: a failure stays a failure
    EXPECT_EQ(preparedNot, 0u);
    // Decoded ahead: some (how many depends on how far the thread got), but
    // never the damaged ones nor the large one.
    EXPECT_GT(preparedAhead, 0u);
    EXPECT_LE(preparedAhead, 16u);
}

// The RTF export of the Body of every note of the sample's views; with
// appendText, of the body with a line appended first.
// Every Body of the sample exported to RTF; `compressedAhead` counts the
// bodies whose compressed form was offered ahead (and checks it).
std::vector<std::string> ExportEveryBody(LNNotesSession& session, const TempDir& dir, bool appendText,
                                         std::uint64_t* prepared, int* compressedAhead) {
    LNDatabase mail;
    EXPECT_EQ(session.GetMailDatabase(&mail), LNNOERROR);
    EXPECT_EQ(mail.Open(), LNNOERROR);
    std::vector<LNViewFolder> views;
    EXPECT_EQ(mail.GetViewFolders(&views), LNNOERROR);
    std::vector<std::string> exported;
    const std::string path = dir.File("body.rtf");
    for (LNViewFolder& view : views) {
        if (view.Open() != LNNOERROR) continue;
        for (LNINT i = 0; i < view.GetEntryCount(); ++i) {
            LNVFEntry entry;
            LNDocument document;
            EXPECT_EQ(view.GetEntry(i, &entry), LNNOERROR);
            EXPECT_EQ(entry.GetDocument(&document), LNNOERROR);
            LNRichText body;
            if (document.Open() != LNNOERROR || document.GetItem("Body", &body) != LNNOERROR) continue;
            if (appendText) body.AppendText("added after reading");
            LNRTCursor start, end;
            EXPECT_EQ(body.GetCursor(&start), LNNOERROR);
            EXPECT_EQ(body.GetEndCursor(&end), LNNOERROR);
            const LNSTATUS status = body.Export(path, start, end, "");
            exported.push_back(std::to_string(status) + " " + (status == LNNOERROR ? ReadFile(path) : ""));
            if (status != LNNOERROR) continue;
            const std::string rtf = ReadFile(path);
            const std::span bytes(reinterpret_cast<const std::uint8_t*>(rtf.data()), rtf.size());
            if (auto taken = text::lzfu::CompressedAhead::Shared().Take(bytes)) {
                EXPECT_EQ(*taken, text::lzfu::Compress(bytes));
                ++*compressedAhead;
            }
        }
        view.Close();
    }
    *prepared = mail.Impl()->prefetcher ? mail.Impl()->prefetcher->GetCounts().preparedRtf : 0;
    mail.Close();
    return exported;
}

TEST(NoteReadAhead, BodyRenderedAheadExportsTheSameRtf) {
    TempDir dir;
    LNNotesSession session;
    ASSERT_EQ(OpenGeneratedSample(dir, 150, 7, &session), LNNOERROR);
    PrefetchGuard guard;
    for (bool appendText : {false, true}) {
        std::uint64_t preparedOff = 0, preparedOn = 0;
        int compressedOff = 0, compressedOn = 0;
        notes::SetNotePrefetchEnabled(false);
        const auto alone = ExportEveryBody(session, dir, appendText, &preparedOff, &compressedOff);
        notes::SetNotePrefetchEnabled(true);
        const auto ahead = ExportEveryBody(session, dir, appendText, &preparedOn, &compressedOn);
        EXPECT_GT(alone.size(), 100u);
        EXPECT_EQ(ahead, alone) << "text appended: " << appendText;
        EXPECT_GT(preparedOn, 0u);
        EXPECT_EQ(compressedOff, 0);
        // A body changed after it was read is rendered and compressed anew.
        if (appendText) EXPECT_EQ(compressedOn, 0);
        else EXPECT_GT(compressedOn, 0);
    }
    session.Term();
}

// MIME_PART: 20-byte header, then boundary, headers and content.
std::string MimePartValue(int partType, const std::string& boundary, const std::string& headers,
                          const std::string& content) {
    notes::Bytes value;
    notes::PutWord(value, 2);
    notes::PutDword(value, (boundary.empty() ? 0u : 0x01u) | (headers.empty() ? 0u : 0x02u));
    value.push_back(static_cast<char>(partType));
    value.push_back('\0');
    notes::PutWord(value, static_cast<std::uint16_t>(boundary.size() + headers.size() + content.size()));
    notes::PutWord(value, static_cast<std::uint16_t>(boundary.size()));
    notes::PutWord(value, static_cast<std::uint16_t>(headers.size()));
    notes::PutWord(value, 0);
    notes::PutDword(value, 0);
    return value + boundary + headers + content;
}

// A memo stored as MIME: a text part and an attached part.
std::string MimeDocument(int i, int variant) {
    char id[16];
    std::snprintf(id, sizeof id, "%x", 0x3800 + 4 * i);
    const std::string boundary = "==b" + std::to_string(i) + "==";
    auto part = [](int type, const std::string& boundary, const std::string& headers, const std::string& content) {
        return "<item name='Body'><rawitemdata type='19'>" +
               text::EncodeBase64(MimePartValue(type, boundary, headers, content)) + "</rawitemdata></item>";
    };
    return "<document form='Memo'><noteinfo noteid='" + std::string(id) + "'/><item name='Subject'><text>mime " +
           std::to_string(i) + "</text></item><item name='$NoteHasNativeMIME'><text>1</text></item>" +
           part(1, "", "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n", "") +
           part(2, "--" + boundary + "\r\n", "Content-Type: text/plain; charset=UTF-8\r\n\r\n",
                "mime text " + std::string(100 + i, variant ? 'q' : 'p') + "\r\n") +
           part(2, "--" + boundary + "\r\n",
                "Content-Type: application/octet-stream\r\nContent-Disposition: attachment; filename=\"m" +
                    std::to_string(i) + ".bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n",
                text::EncodeBase64(std::string(60 + i, variant ? 'Q' : 'P')) + "\r\n") +
           part(3, "--" + boundary + "--\r\n", "", "") + "</document>\n";
}

// Notes with a body and an attachment each; variant 1 has other bytes of
// the very same sizes (a file rewritten in place).
std::string CutDocuments(int variant) {
    std::string documents;
    // MIME memos first, so that they come ahead of where the file is cut.
    for (int i = 0; i < 4; ++i) documents += MimeDocument(i, variant);
    for (int i = 0; i < 14; ++i) {
        char id[16];
        std::snprintf(id, sizeof id, "%x", 0x3000 + 4 * i);
        std::string data;
        for (int j = 0; j < 100 + i * 53; ++j) data += static_cast<char>(((i * 31 + j * 7) & 0xFF) ^ (variant * 0x55));
        documents += "<document form='Memo'><noteinfo noteid='" + std::string(id) +
                     "'/><item name='Subject'><text>cut " + std::to_string(i) +
                     "</text></item><item name='Body'><richtext><par>" +
                     std::string(200, variant ? 'y' : 'x') +
                     "</par></richtext></item><item name='$FILE' summary='true'><object><file hosttype='msdos' "
                     "compression='none' name='c" +
                     std::to_string(i) + ".bin' size='" + std::to_string(data.size()) + "'><filedata>\n" +
                     text::EncodeBase64(data) + "\n</filedata></file></object></item></document>\n";
    }
    return documents;
}

// How the file changes while a view is read.
enum class Change {
    TruncatedAhead,      // before entry 2 is opened, cut where the note "cut 6" starts
    TruncatedUnderNote,  // once a note "cut N" from entry 3 on is open, cut inside its attachment data
    RewrittenAhead,      // before entry 2 is opened, rewritten in place with other bytes
};

class ChangedFileTest : public NotesDatabaseTest {
protected:
    // Reads every entry of ($All) in order (subject, body as RTF, attachment
    // data, each with its status and message) while the file changes.
    std::vector<std::string> ReadWhileChanging(bool prefetch, bool prepare, Change change) {
        notes::SetNotePrefetchEnabled(prefetch);
        notes::SetNotePrepareEnabled(prepare);
        const std::string original = MailboxDxl(CutDocuments(0));
        EXPECT_EQ(OpenText("mail.dxl", original), LNNOERROR);
        LNViewFolder view;
        EXPECT_EQ(database.GetViewFolder("($All)", &view), LNNOERROR);
        EXPECT_EQ(view.Open(), LNNOERROR);
        EXPECT_GT(view.GetEntryCount(), 12);
        Document(view, 0);  // starts reading ahead
        // Past the mailbox's own notes and the MIME memos, none with a file,
        // so that the thread has decoded attachments of the "cut" notes
        // ahead before the reader starts (else that depends on the load).
        WaitForParsed(prefetch ? 12 : 0);
        std::vector<std::string> results;
        bool cutUnder = false;
        for (LNINT i = 0; i < view.GetEntryCount(); ++i) {
            if (i == 2 && change == Change::TruncatedAhead)
                std::filesystem::resize_file(dir.File("mail.dxl"), original.find("<text>cut 6<"));
            if (i == 2 && change == Change::RewrittenAhead) Rewrite(original);
            LNDocument document = Document(view, i);
            const LNSTATUS status = document.Open();
            std::string result = "entry " + std::to_string(i) + Outcome(status);
            if (status == LNNOERROR) {
                LNText subject;
                if (document.GetItem("Subject", &subject) == LNNOERROR) result += " " + std::string(subject[0]);
                const bool cutNote = result.find(" cut ") != std::string::npos;
                if (change == Change::TruncatedUnderNote && !cutUnder && i >= 3 && cutNote) {
                    CutUnder(original, document);
                    cutUnder = true;
                }
                result += Body(document) + Attachments(document);
            }
            results.push_back(result);
        }
        counts = database.Impl()->prefetcher ? database.Impl()->prefetcher->GetCounts() : NotePrefetcher::Counts{};
        view.Close();
        database.Close();
        return results;
    }

    static std::string Outcome(LNSTATUS status) {
        return " status " + std::to_string(status) + (status ? " " + std::string(LNGetErrorMessageText(status)) : "");
    }
    static LNDocument Document(LNViewFolder& view, LNINT index) {
        LNVFEntry entry;
        LNDocument document;
        EXPECT_EQ(view.GetEntry(index, &entry), LNNOERROR);
        EXPECT_EQ(entry.GetDocument(&document), LNNOERROR);
        return document;
    }
    void WaitForParsed(std::uint64_t count) {
        if (count == 0) return;
        for (int i = 0; i < 2000; ++i) {
            if (database.Impl()->prefetcher && database.Impl()->prefetcher->GetCounts().parsed >= count) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ADD_FAILURE() << "the thread did not read ahead";
    }
    // In place (same file, same size). File times are coarse: a change within
    // the same tick as the thread's stamp would keep them.
    void Rewrite(const std::string& original) {
        const std::string other = MailboxDxl(CutDocuments(1));
        ASSERT_EQ(other.size(), original.size());
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        std::fstream file(dir.File("mail.dxl"), std::ios::in | std::ios::out | std::ios::binary);
        file.write(other.data(), static_cast<std::streamsize>(other.size()));
        ASSERT_TRUE(file.good());
    }
    void CutUnder(const std::string& original, LNDocument& document) {
        LNText subject;
        ASSERT_EQ(document.GetItem("Subject", &subject), LNNOERROR);
        const std::string name = "c" + std::string(subject[0]).substr(4) + ".bin'";
        const std::size_t data = original.find("<filedata>", original.find(name));
        ASSERT_NE(data, std::string::npos);
        std::filesystem::resize_file(dir.File("mail.dxl"), data + 20);
    }
    std::string Body(LNDocument& document) {
        LNRichText body;
        if (document.GetItem("Body", &body) != LNNOERROR) return " no body";
        LNRTCursor start, end;
        EXPECT_EQ(body.GetCursor(&start), LNNOERROR);
        EXPECT_EQ(body.GetEndCursor(&end), LNNOERROR);
        const std::string path = dir.File("body.rtf");
        const LNSTATUS status = body.Export(path, start, end, "");
        return " body" + Outcome(status) + (status == LNNOERROR ? " " + ReadFile(path) : "");
    }
    std::string Attachments(LNDocument& document) {
        LNAttachmentArray attachments;
        if (document.GetAttachments(&attachments) != LNNOERROR) return " no attachments";
        std::string result;
        for (LNINT a = 0; a < attachments.GetCount(); ++a) {
            const std::string path = dir.File("out.bin");
            std::filesystem::remove(path);
            const LNSTATUS status = attachments[a].Detach(path);
            result += " " + std::string(attachments[a].GetAttachmentName()) + Outcome(status) + " exists " +
                      std::to_string(std::filesystem::exists(path)) +
                      (status == LNNOERROR ? " " + ReadFile(path) : std::string());
        }
        return result;
    }

    // Reads alone, ahead, and ahead without preparing; the counts of reading ahead.
    void ExpectTheSame(Change change, NotePrefetcher::Counts* ahead) {
        const auto alone = ReadWhileChanging(false, false, change);
        const auto prepared = ReadWhileChanging(true, true, change);
        *ahead = counts;
        const auto parsedOnly = ReadWhileChanging(true, false, change);
        ASSERT_EQ(prepared.size(), alone.size());
        for (std::size_t i = 0; i < alone.size(); ++i) {
            EXPECT_EQ(prepared[i], alone[i]);
            EXPECT_EQ(parsedOnly[i], alone[i]);
        }
    }

    PrefetchGuard guard;
    NotePrefetcher::Counts counts;
};

TEST_F(ChangedFileTest, TruncatedAheadOfTheReaderReadsAsAlone) {
    NotePrefetcher::Counts ahead;
    ExpectTheSame(Change::TruncatedAhead, &ahead);
    EXPECT_GT(ahead.stale, 0u);  // notes read before the cut were there, and not used
    EXPECT_GT(ahead.prepared, 0u);
}

TEST_F(ChangedFileTest, TruncatedUnderAnOpenNoteDetachesAsAlone) {
    NotePrefetcher::Counts ahead;
    ExpectTheSame(Change::TruncatedUnderNote, &ahead);
    EXPECT_GE(ahead.presentedMime, 3u);  // the MIME memos but the one opened first
    EXPECT_GT(ahead.taken, 2u);  // the note cut under came from the thread, with its data decoded
    EXPECT_GT(ahead.prepared, 2u);
}

TEST_F(ChangedFileTest, RewrittenInPlaceReadsAsAlone) {
    NotePrefetcher::Counts ahead;
    ExpectTheSame(Change::RewrittenAhead, &ahead);
    EXPECT_GT(ahead.stale, 0u);
    EXPECT_GT(ahead.presentedMime, 0u);  // and not used: the rewritten MIME memos read as alone
}

// A body with a picture is rendered by the reader (its bitmaps would add to
// the reader's own at the same time); the others are rendered ahead.
TEST_F(ChangedFileTest, BodiesWithPicturesAreLeftToTheReader) {
    notes::SetNotePrefetchEnabled(true);
    notes::SetNotePrepareEnabled(true);
    std::string documents;
    for (int i = 0; i < 8; ++i) {
        char id[16];
        std::snprintf(id, sizeof id, "%x", 0x4000 + 4 * i);
        const std::string picture =
            i % 2 ? "<picture width='4px' height='4px'><notesbitmap>AAECAw==</notesbitmap></picture>" : "";
        documents += "<document form='Memo'><noteinfo noteid='" + std::string(id) +
                     "'/><item name='Body'><richtext><par>text " + std::to_string(i) + picture +
                     "</par></richtext></item></document>\n";
    }
    ASSERT_EQ(OpenText("mail.dxl", MailboxDxl(documents)), LNNOERROR);
    LNViewFolder view;
    ASSERT_EQ(database.GetViewFolder("($All)", &view), LNNOERROR);
    ASSERT_EQ(view.Open(), LNNOERROR);
    Document(view, 0);
    WaitForParsed(static_cast<std::uint64_t>(view.GetEntryCount() - 1));
    // Rich text bodies: the mailbox's first memo and the 8 above, 4 of them with a picture.
    const auto ahead = database.Impl()->prefetcher->GetCounts();
    EXPECT_GE(ahead.preparedRtf, 4u);
    EXPECT_LE(ahead.preparedRtf, 5u);
}

}  // namespace
}  // namespace qb::test
