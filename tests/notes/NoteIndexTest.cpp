// The spilled note index: records come back from the spill file as they went
// in (long and empty summaries, skipped ranges, missing UNIDs, deleted and
// written notes, records larger than a scan's window), through the index
// alone and through a database; a full temporary folder fails the open with
// its cause; the spill file leaves nothing behind; summary='false' items stay
// out of the index but not out of the note.

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "NotesTestSupport.h"
#include "notes/api/NoteIndex.h"
#include "support/ScopedEnv.h"

namespace qb::notes {
namespace {

using test::ScopedEnv;
using test::TempDir;

using test::TestItem;

std::array<char, 32> UnidOf(int n) {
    char text[40];
    std::snprintf(text, sizeof text, "%032X", n);
    std::array<char, 32> unid{};
    std::memcpy(unid.data(), text, 32);
    return unid;
}

// A note whose every field depends on n; summaryBytes of summary value.
NoteIndexEntry MakeEntry(NOTEID id, int n, std::size_t summaryBytes) {
    NoteIndexEntry entry;
    entry.noteId = id;
    entry.unid = UnidOf(n);
    entry.noteClass = n % 7 == 0 ? NOTE_CLASS_VIEW : NOTE_CLASS_DOCUMENT;
    entry.start = 1000u * n;
    entry.end = 1000u * n + 999;
    for (int i = 0; i < n % 3; ++i) entry.skipped.push_back(ByteRange{1000u * n + 10u * i, 5});
    entry.created = LNDatetime::FromUnixTime(1'200'000'000 + n, n % 100);
    entry.modified = LNDatetime::FromUnixTime(1'300'000'000 + n);
    if (summaryBytes > 0) {
        entry.summary.Add(TestItem("Subject", TYPE_TEXT, "note " + std::to_string(n)));
        entry.summary.Add(TestItem("Filler", TYPE_TEXT, Bytes(summaryBytes, static_cast<char>('a' + n % 26))));
    }
    return entry;
}

class NoteIndexTest : public ::testing::Test {
protected:
    TempDir tmp;
    ScopedEnv tmpdir{"TMPDIR", tmp.path()};
};

TEST_F(NoteIndexTest, RecordsComeBackAsWrittenByLookupAndByScan) {
    // Sizes around the scan window and the write piece, and empty summaries.
    const std::vector<std::size_t> sizes = {0, 10, 0, 300'000, 5, 2'000'000, 0, 70, 262'144, 1};
    std::vector<NoteIndexEntry> written;
    NoteIndex index;
    std::string detail;
    for (int n = 0; n < 3000; ++n) {
        written.push_back(MakeEntry(static_cast<NOTEID>(4 * (n + 1)), n, sizes[n % sizes.size()]));
        ASSERT_EQ(index.Append(written.back(), &detail), LNNOERROR) << detail;
    }
    ASSERT_EQ(index.Finish("db.dxl", &detail), LNNOERROR) << detail;
    ASSERT_EQ(index.Size(), written.size());

    for (int n : {2999, 0, 5, 3, 1500, 5, 2998}) {
        const NoteIndex::Slot* slot = index.FindSlot(written[n].noteId);
        ASSERT_NE(slot, nullptr);
        IndexEntryPtr entry;
        ASSERT_EQ(index.Read(*slot, &entry, &detail), LNNOERROR) << detail;
        test::ExpectSameIndexEntry(*entry, written[n]);
    }
    EXPECT_EQ(index.FindSlot(2), nullptr);

    std::size_t seen = 0;
    ASSERT_EQ(index.Scan([](const NoteIndex::Slot&) { return true; },
                         [&](const NoteIndexEntry& entry) {
                             test::ExpectSameIndexEntry(entry, written[seen++]);
                             return !HasFailure();
                         },
                         &detail),
              LNNOERROR);
    EXPECT_EQ(seen, written.size());

    // A scan that wants few notes reads only theirs, and stops when told to.
    std::vector<NOTEID> views;
    index.Scan([](const NoteIndex::Slot& slot) { return slot.noteClass == NOTE_CLASS_VIEW; },
               [&](const NoteIndexEntry& entry) {
                   views.push_back(entry.noteId);
                   return views.size() < 3;
               },
               &detail);
    EXPECT_EQ(views, (std::vector<NOTEID>{4, 4 * 8, 4 * 15}));
}

TEST_F(NoteIndexTest, IdsAreMadeUniqueAndMissingUnidsSynthesized) {
    NoteIndex index;
    std::string detail;
    std::vector<NoteIndexEntry> written = {MakeEntry(8, 1, 3), MakeEntry(8, 2, 3), MakeEntry(0, 3, 3),
                                           MakeEntry(20, 4, 3)};
    written[3].unid = {};
    for (const NoteIndexEntry& entry : written) ASSERT_EQ(index.Append(entry, &detail), LNNOERROR);
    ASSERT_EQ(index.Finish("db.dxl", &detail), LNNOERROR);
    std::vector<NOTEID> ids;
    for (std::size_t i = 0; i < index.Size(); ++i) ids.push_back(index.At(i).noteId);
    // The first of a repeated id keeps it; others get fresh ids above the highest.
    EXPECT_EQ(ids, (std::vector<NOTEID>{8, 24, 28, 20}));
    IndexEntryPtr entry;
    ASSERT_EQ(index.Read(*index.FindSlot(8), &entry, &detail), LNNOERROR);
    EXPECT_EQ(entry->Unid(), written[0].Unid());
    ASSERT_EQ(index.Read(*index.FindSlot(20), &entry, &detail), LNNOERROR);
    auto expected = SynthesizedUnid(UnidSeed("db.dxl"), 20);
    EXPECT_EQ(entry->Unid(), std::string(expected.data(), 32));
}

TEST_F(NoteIndexTest, AnIndexOfTheRestAppendedEqualsOneAppendedNoteByNote) {
    // Records on both sides of the write piece, in the spill file and still buffered.
    const std::vector<std::size_t> sizes = {0, 300'000, 5, 70, 0, 2'000'000, 1};
    std::vector<NoteIndexEntry> written;
    for (int n = 0; n < 400; ++n)
        written.push_back(MakeEntry(n % 50 == 7 ? 0 : static_cast<NOTEID>(4 * (n % 300 + 1)), n, sizes[n % sizes.size()]));
    written[390].unid = {};
    written[3].deleted = true;
    std::string detail;
    NoteIndex whole;
    for (const NoteIndexEntry& entry : written) ASSERT_EQ(whole.Append(entry, &detail), LNNOERROR) << detail;
    ASSERT_EQ(whole.Finish("db.dxl", &detail), LNNOERROR) << detail;

    for (std::size_t split : {std::size_t{0}, std::size_t{1}, std::size_t{250}, std::size_t{400}}) {
        SCOPED_TRACE("split at " + std::to_string(split));
        NoteIndex first, rest;
        for (std::size_t i = 0; i < written.size(); ++i)
            ASSERT_EQ((i < split ? first : rest).Append(written[i], &detail), LNNOERROR) << detail;
        ASSERT_EQ(first.AppendIndex(std::move(rest), &detail), LNNOERROR) << detail;
        EXPECT_EQ(rest.Size(), 0u);
        ASSERT_EQ(first.Finish("db.dxl", &detail), LNNOERROR) << detail;
        ASSERT_EQ(first.Size(), whole.Size());
        for (std::size_t i = 0; i < whole.Size(); ++i) {
            EXPECT_EQ(first.At(i).spillOffset, whole.At(i).spillOffset);
            EXPECT_EQ(first.At(i).noteId, whole.At(i).noteId);
            EXPECT_EQ(first.At(i).flags, whole.At(i).flags);
        }
        std::vector<NoteIndexEntry> wanted;
        ASSERT_EQ(whole.Scan([](const NoteIndex::Slot&) { return true; },
                             [&](const NoteIndexEntry& entry) {
                                 wanted.push_back(entry);
                                 return true;
                             },
                             &detail),
                  LNNOERROR);
        std::size_t seen = 0;
        ASSERT_EQ(first.Scan([](const NoteIndex::Slot&) { return true; },
                             [&](const NoteIndexEntry& entry) {
                                 test::ExpectSameIndexEntry(entry, wanted[seen++]);
                                 return !HasFailure();
                             },
                             &detail),
                  LNNOERROR);
        EXPECT_EQ(seen, written.size());
    }
}

TEST(AssignUniqueIdsTest, FirstOfAnIdKeepsItInFileOrderWhateverTheOrderOfIds) {
    std::vector<NOTEID> ids = {12, 4, 12, 4, 0, 8};
    AssignUniqueIds(ids);
    EXPECT_EQ(ids, (std::vector<NOTEID>{12, 4, 16, 20, 24, 8}));
    std::vector<NOTEID> none;
    AssignUniqueIds(none);
    EXPECT_TRUE(none.empty());
}

TEST_F(NoteIndexTest, DeletedAndHeldNotesKeepTheirPlace) {
    NoteIndex index;
    std::string detail;
    for (int n = 1; n <= 4; ++n) ASSERT_EQ(index.Append(MakeEntry(4 * n, n, 100), &detail), LNNOERROR);
    ASSERT_EQ(index.Finish("db.dxl", &detail), LNNOERROR);
    IndexEntryPtr before;
    ASSERT_EQ(index.Read(*index.FindSlot(8), &before, &detail), LNNOERROR);  // now cached

    index.MarkDeleted(*index.FindSlot(8));
    NoteIndexEntry replacement = MakeEntry(12, 99, 7);
    replacement.written = std::make_shared<NoteData>();
    index.Hold(replacement);
    index.Hold(MakeEntry(40, 50, 0));

    IndexEntryPtr entry;
    ASSERT_EQ(index.Read(*index.FindSlot(8), &entry, &detail), LNNOERROR);
    EXPECT_TRUE(entry->deleted) << "a cached record follows the deletion";
    EXPECT_FALSE(before->deleted) << "a record already handed out does not change";
    ASSERT_EQ(index.Read(*index.FindSlot(12), &entry, &detail), LNNOERROR);
    EXPECT_EQ(entry->Unid(), replacement.Unid());
    EXPECT_TRUE(entry->written);

    std::vector<std::string> unids;
    index.Scan([](const NoteIndex::Slot& slot) { return !slot.Deleted(); },
               [&](const NoteIndexEntry& entry) {
                   unids.push_back(entry.Unid());
                   return true;
               },
               &detail);
    EXPECT_EQ(unids, (std::vector<std::string>{MakeEntry(4, 1, 0).Unid(), replacement.Unid(),
                                               MakeEntry(16, 4, 0).Unid(), MakeEntry(40, 50, 0).Unid()}));
    EXPECT_EQ(index.HighestId(), 40u);

    // A note added below the highest id turns the lookup into a table; every note is still found.
    index.Hold(MakeEntry(6, 60, 1));
    index.Hold(MakeEntry(44, 61, 1));
    for (NOTEID id : {4u, 6u, 8u, 12u, 16u, 40u, 44u}) {
        const NoteIndex::Slot* slot = index.FindSlot(id);
        ASSERT_NE(slot, nullptr) << id;
        EXPECT_EQ(slot->noteId, id);
    }
    EXPECT_EQ(index.FindSlot(10), nullptr);
    ASSERT_EQ(index.Read(*index.FindSlot(16), &entry, &detail), LNNOERROR);
    EXPECT_EQ(entry->Unid(), MakeEntry(16, 4, 0).Unid());
}

TEST_F(NoteIndexTest, AnEmptyIndexNeedsNoSpillFile) {
    NoteIndex index;
    std::string detail;
    ASSERT_EQ(index.Finish("db.dxl", &detail), LNNOERROR);
    EXPECT_EQ(index.Size(), 0u);
    int visits = 0;
    EXPECT_EQ(index.Scan([](const NoteIndex::Slot&) { return true; },
                         [&](const NoteIndexEntry&) { return ++visits > 0; }, &detail),
              LNNOERROR);
    EXPECT_EQ(visits, 0);
}

// Every file below the folder, recursively.
std::vector<std::string> FilesBelow(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& item : std::filesystem::recursive_directory_iterator(folder))
        if (!item.is_directory()) files.push_back(item.path().string());
    return files;
}

std::string Mailbox(int documents, std::size_t subjectBytes) {
    std::string dxl = "<?xml version='1.0' encoding='utf-8'?>\n<database xmlns='http://www.lotus.com/dxl' title='Big'>\n";
    for (int n = 1; n <= documents; ++n) {
        char id[16];
        std::snprintf(id, sizeof id, "%x", n * 4);  // note ids are hexadecimal in DXL
        dxl += "<document form='Memo'><noteinfo noteid='" + std::string(id) + "' unid='" +
               std::string(UnidOf(n).data(), 32) + "'/>";
        dxl += "<item name='Subject'><text>" + std::string(subjectBytes, 'x') + "</text></item></document>\n";
    }
    return dxl + "</database>\n";
}

class SpilledDatabaseTest : public test::NotesDatabaseTest {
protected:
    TempDir tmp;
    ScopedEnv tmpdir{"TMPDIR", tmp.path()};
};

TEST_F(SpilledDatabaseTest, TheSpillFileLeavesNothingInTheTemporaryFolder) {
    ASSERT_EQ(OpenText("big.dxl", Mailbox(200, 2000)), LNNOERROR);
    EXPECT_EQ(FilesBelow(tmp.path()), std::vector<std::string>{}) << "the open index has no name";
    LNDocument document;
    ASSERT_EQ(database.GetDocumentByUNID(std::string(UnidOf(150).data(), 32), &document), LNNOERROR);
    EXPECT_EQ(document.GetNoteID(), 600u);
    EXPECT_EQ(database.GetNoteCount(), 200);
    ASSERT_EQ(database.Close(), LNNOERROR);
    EXPECT_EQ(FilesBelow(tmp.path()), std::vector<std::string>{});
}

// Runs `body` in a child process with TMPDIR on a tmpfs of 64 KB; the
// child's exit code: 0 when body returned true, 1 when false, 77 when no
// tmpfs could be mounted.
int WithSmallTmpfs(const std::string& mountPoint, const std::function<bool()>& body) {
    pid_t child = ::fork();
    if (child == 0) {
        uid_t uid = ::getuid();
        gid_t gid = ::getgid();
        if (::unshare(CLONE_NEWNS) != 0) {
            if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) ::_exit(77);
            std::ofstream("/proc/self/setgroups") << "deny";
            std::ofstream("/proc/self/uid_map") << uid << ' ' << uid << " 1";
            std::ofstream("/proc/self/gid_map") << gid << ' ' << gid << " 1";
        }
        if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) ::_exit(77);
        if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k,mode=0700") != 0) ::_exit(77);
        ::setenv("TMPDIR", mountPoint.c_str(), 1);
        ::_exit(body() ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST_F(SpilledDatabaseTest, AFullTemporaryFolderFailsTheOpenWithItsCause) {
    dir.Write("big.dxl", Mailbox(400, 1000));  // some 400 KB of summaries
    ASSERT_EQ(session.GetDatabase("big.dxl", &database), LNNOERROR);
    const std::string mountPoint = tmp.File("small");
    std::filesystem::create_directory(mountPoint);
    int result = WithSmallTmpfs(mountPoint, [&] {
        LNSTATUS status = database.Open();
        std::string text = LNGetErrorMessageText(status);
        std::fprintf(stderr, "open: %s\n", text.c_str());
        return status == LNERR_FILE_WRITE && text.find("note index") != std::string::npos &&
               text.find("No space left on device") != std::string::npos && !database.IsOpen();
    });
    if (result == 77) GTEST_SKIP() << "no tmpfs can be mounted here";
    EXPECT_EQ(result, 0);
    // The same database opens where there is room.
    ASSERT_EQ(database.Open(), LNNOERROR);
    EXPECT_EQ(database.GetNoteCount(), 400);
}

TEST_F(SpilledDatabaseTest, ItemsMarkedNotSummaryStayOutOfTheIndexOnly) {
    const std::string dxl = R"(<?xml version='1.0' encoding='utf-8'?>
<database xmlns='http://www.lotus.com/dxl' title='Flags'>
<document form='Memo'><noteinfo noteid='100' unid='AAAAAAAA11111111852500000000B001'/>
<item name='Subject'><text>plain</text></item>
<item name='Marked' summary='true'><text>yes</text></item>
<item name='Hidden' summary='false'><text>secret</text></item>
</document>
</database>
)";
    ASSERT_EQ(OpenText("flags.dxl", dxl), LNNOERROR);
    auto count = [&](const std::string& formula) {
        LNNoteArray notes;
        database.Search(formula, &notes);
        return notes.GetCount();
    };
    EXPECT_EQ(count("SELECT Subject = \"plain\""), 1) << "no attribute: a summary item by its type";
    EXPECT_EQ(count("SELECT Marked = \"yes\""), 1);
    EXPECT_EQ(count("SELECT Hidden = \"secret\""), 0);
    EXPECT_EQ(count("SELECT @IsAvailable(Hidden)"), 0);
    LNDocument document;
    ASSERT_EQ(database.GetDocument(0x100, &document), LNNOERROR);
    ASSERT_EQ(document.Open(), LNNOERROR);
    LNText hidden;
    ASSERT_EQ(document.GetItem("Hidden", &hidden), LNNOERROR) << "the note itself keeps the item";
    EXPECT_EQ(hidden[0], "secret");
    EXPECT_FALSE(hidden.GetFlags() & LNITEMFLAGS_SUMMARY);
}

}  // namespace
}  // namespace qb::notes
