// The recovery journal's files: what they hold, how they survive a crash at
// any moment, and that a damaged one is reported, never trusted.

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

#include "batch/RecoveryJournal.h"
#include "support/TempDir.h"

namespace qb {
namespace {

using Result = LaunchJournal::LoadResult;
using test::ReadFile;

constexpr char kUnid[] = "0F0F0F0F0F0F0F0F852500000000002E";

class RecoveryJournalTest : public ::testing::Test {
protected:
    RecoveryJournal Journal() { return RecoveryJournal(dir.path(), true); }
    // Inbox finished; Sent Items in progress after its third document.
    void Interrupted() {
        RecoveryJournal journal = Journal();
        ASSERT_TRUE(journal.Create("Mail01/Acme", "mail\\user.nsf"));
        ASSERT_TRUE(journal.StartView(0x11A, "($Inbox)"));
        ASSERT_TRUE(journal.RecordDocument(0, 0x2A, "A"));
        ASSERT_TRUE(journal.MarkViewFolderComplete());
        ASSERT_TRUE(journal.StartView(0x11E, "($Sent)"));
        ASSERT_TRUE(journal.RecordDocument(2, 0x2E, kUnid));
    }
    test::TempDir dir;
};

TEST_F(RecoveryJournalTest, RoundTripAndResumePoints) {
    Interrupted();
    RecoveryJournal journal = Journal();
    ASSERT_EQ(journal.Load(), Result::Loaded) << journal.LastError();
    EXPECT_EQ(journal.Server(), "Mail01/Acme");
    EXPECT_EQ(journal.Path(), "mail\\user.nsf");
    EXPECT_FALSE(journal.Complete());
    ASSERT_EQ(journal.FinishedViews().size(), 1u);
    EXPECT_EQ(journal.FinishedViews()[0], (RecoveryJournal::ViewRef{0x11A, "($Inbox)"}));
    EXPECT_EQ(journal.CurrentView(), (RecoveryJournal::ViewRef{0x11E, "($Sent)"}));
    EXPECT_EQ(journal.LastIndex(), 2);
    EXPECT_EQ(journal.LastNoteId(), 0x2Eu);
    EXPECT_EQ(journal.LastUniversalId(), kUnid);

    ResumePoint point;
    EXPECT_FALSE(journal.ShouldExportView(0x11A, "renamed, same note", point)) << "finished views are skipped";
    EXPECT_TRUE(journal.ShouldExportView(0x11E, "($Sent)", point));
    EXPECT_EQ(point.startIndex, 3);
    EXPECT_TRUE(point.resumed);
    EXPECT_EQ(point.lastUniversalId, kUnid);
    EXPECT_TRUE(journal.ShouldExportView(0x122, "Later", point)) << "views not reached start at 0";
    EXPECT_EQ(point.startIndex, 0);
    EXPECT_FALSE(point.resumed);

    // Resuming the view keeps its place until its next document.
    ASSERT_TRUE(journal.StartView(0x11E, "($Sent)"));
    RecoveryJournal reread = Journal();
    ASSERT_EQ(reread.Load(), Result::Loaded);
    EXPECT_EQ(reread.LastIndex(), 2);

    ASSERT_TRUE(journal.MarkViewFolderComplete());
    ASSERT_TRUE(journal.MarkComplete());
    ASSERT_EQ(reread.Load(), Result::Loaded);
    EXPECT_TRUE(reread.Complete());
    EXPECT_EQ(reread.FinishedViews().size(), 2u);
}

TEST_F(RecoveryJournalTest, FileLayout) {
    RecoveryJournal journal = Journal();
    ASSERT_TRUE(journal.Create("S", "p.nsf"));
    ASSERT_TRUE(journal.StartView(0x01020304, "V"));
    ASSERT_TRUE(journal.RecordDocument(-1 + 6, 0x0A0B0C0D, "U"));
    ASSERT_TRUE(journal.MarkViewFolderComplete());
    const std::string main = ReadFile(journal.MainFilePath());
    const std::string body("\0\1\0\0\0S\5\0\0\0p.nsf\4\3\2\1\1\0\0\0V", 24);
    ASSERT_EQ(main.size(), body.size() + 4);
    EXPECT_EQ(main.substr(0, body.size()), body);
    EXPECT_EQ(ReadFile(journal.ViewFilePath()).substr(0, 9), std::string("\4\3\2\1\1\0\0\0V", 9));
    EXPECT_EQ(ReadFile(journal.NoteFilePath()).substr(0, 13), std::string("\5\0\0\0\x0D\x0C\x0B\x0A\1\0\0\0U", 13));
    EXPECT_EQ(std::filesystem::status(journal.MainFilePath()).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

// A new view starts at its first document, even when the run stops before it.
TEST_F(RecoveryJournalTest, StartViewResetsThePosition) {
    Interrupted();
    {
        RecoveryJournal journal = Journal();
        ASSERT_EQ(journal.Load(), Result::Loaded);
        ResumePoint point;
        ASSERT_TRUE(journal.ShouldExportView(0x11E, "($Sent)", point));
        ASSERT_TRUE(journal.StartView(0x11E, "($Sent)"));
        ASSERT_TRUE(journal.MarkViewFolderComplete());
        ASSERT_TRUE(journal.StartView(0x126, "($Drafts)"));
    }
    RecoveryJournal journal = Journal();
    ASSERT_EQ(journal.Load(), Result::Loaded);
    EXPECT_EQ(journal.LastIndex(), -1);
    EXPECT_EQ(journal.LastUniversalId(), "");
    ResumePoint point;
    ASSERT_TRUE(journal.ShouldExportView(0x126, "($Drafts)", point));
    EXPECT_EQ(point.startIndex, 0);
    EXPECT_TRUE(point.resumed) << "its first item may be saved already";
}

// Completing without a view started in this run finishes nothing: the view
// in progress of the loaded journal is only finished by its own export.
TEST_F(RecoveryJournalTest, OnlyAViewStartedInThisRunIsMarkedComplete) {
    Interrupted();
    RecoveryJournal journal = Journal();
    ASSERT_EQ(journal.Load(), Result::Loaded);
    ResumePoint point;
    EXPECT_FALSE(journal.ShouldExportView(0x11A, "($Inbox)", point));
    EXPECT_FALSE(journal.MarkViewFolderComplete());
    RecoveryJournal reread = Journal();
    ASSERT_EQ(reread.Load(), Result::Loaded);
    EXPECT_EQ(reread.FinishedViews().size(), 1u);
    EXPECT_TRUE(reread.ShouldExportView(0x11E, "($Sent)", point));
    EXPECT_EQ(point.startIndex, 3);
}

TEST_F(RecoveryJournalTest, ComponentRunsAreKnownByName) {
    RecoveryJournal journal = Journal();
    ASSERT_TRUE(journal.Create("", "mail.nsf"));
    ASSERT_TRUE(journal.StartView(RecoveryHooks::kComponentViewId, "Calendar"));
    ASSERT_TRUE(journal.RecordDocument(9, 0x40, "C"));
    ASSERT_TRUE(journal.MarkViewFolderComplete());
    ASSERT_TRUE(journal.StartView(RecoveryHooks::kComponentViewId, "Tasks"));
    ASSERT_TRUE(journal.RecordDocument(1, 0x44, "T"));
    RecoveryJournal reread = Journal();
    ASSERT_EQ(reread.Load(), Result::Loaded);
    ResumePoint point;
    EXPECT_FALSE(reread.ShouldExportView(0, "Calendar", point));
    EXPECT_TRUE(reread.ShouldExportView(0, "Tasks", point));
    EXPECT_EQ(point.startIndex, 2);
    EXPECT_TRUE(reread.ShouldExportView(0, "Contacts", point));
    EXPECT_EQ(point.startIndex, 0);
    EXPECT_FALSE(point.resumed);
}

TEST_F(RecoveryJournalTest, NothingToResumeWithoutFilesOrAfterCreate) {
    RecoveryJournal journal = Journal();
    EXPECT_EQ(journal.Load(), Result::Missing);
    EXPECT_EQ(journal.LastError(), "Unable to open Recovery File: " + journal.MainFilePath());
    Interrupted();
    // A new journal removes the old view in progress: it belonged to another export.
    ASSERT_TRUE(journal.Create("", "other.nsf"));
    EXPECT_FALSE(std::filesystem::exists(journal.ViewFilePath()));
    EXPECT_FALSE(std::filesystem::exists(journal.NoteFilePath()));
    EXPECT_EQ(Journal().Load(), Result::Missing);
    // A completed export with no view is still known as complete.
    ASSERT_TRUE(journal.MarkComplete());
    RecoveryJournal reread = Journal();
    ASSERT_EQ(reread.Load(), Result::Loaded);
    EXPECT_TRUE(reread.Complete());
}

TEST_F(RecoveryJournalTest, OffDoesNothing) {
    RecoveryJournal journal(dir.path(), false);
    ResumePoint point;
    point.startIndex = 9;
    EXPECT_TRUE(journal.ShouldExportView(1, "V", point));
    EXPECT_EQ(point.startIndex, 0);
    EXPECT_FALSE(journal.StartView(1, "V"));
    EXPECT_FALSE(journal.RecordDocument(0, 1, "U"));
    EXPECT_FALSE(journal.MarkViewFolderComplete());
    EXPECT_FALSE(journal.MarkComplete());
    EXPECT_EQ(journal.LastError(), "Recovery is off");
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

// Every truncation and every changed byte of every file is reported as
// unusable: never a crash, never a resume from a place the files do not say.
TEST_F(RecoveryJournalTest, DamagedFilesAreReportedNotTrusted) {
    Interrupted();
    RecoveryJournal probe = Journal();
    for (const std::string& path : {probe.MainFilePath(), probe.ViewFilePath(), probe.NoteFilePath()}) {
        const std::string good = ReadFile(path);
        for (std::size_t size = 0; size < good.size(); ++size) {
            dir.Write(std::filesystem::path(path).filename().string(), good.substr(0, size));
            RecoveryJournal journal = Journal();
            EXPECT_EQ(journal.Load(), Result::Unusable) << path << " cut to " << size;
            EXPECT_NE(journal.LastError().find(path + " cannot be used: "), std::string::npos) << journal.LastError();
        }
        for (std::size_t at = 0; at < good.size(); ++at) {
            std::string bad = good;
            bad[at] = static_cast<char>(bad[at] ^ 0x41);
            dir.Write(std::filesystem::path(path).filename().string(), bad);
            EXPECT_EQ(Journal().Load(), Result::Unusable) << path << " byte " << at;
        }
        dir.Write(std::filesystem::path(path).filename().string(), good);
        ASSERT_EQ(Journal().Load(), Result::Loaded);
    }
    // Larger than a journal can be: refused before it is read.
    std::filesystem::resize_file(probe.NoteFilePath(), RecoveryJournal::kMaxFileBytes + 1);
    RecoveryJournal journal = Journal();
    EXPECT_EQ(journal.Load(), Result::Unusable);
    EXPECT_NE(journal.LastError().find("allowed"), std::string::npos) << journal.LastError();
    // The note file without the view file it belongs to.
    std::filesystem::remove(probe.NoteFilePath());
    EXPECT_EQ(Journal().Load(), Result::Unusable);
}

// A write that fails leaves the previous journal whole; a temporary file a
// crash left behind changes nothing.
TEST_F(RecoveryJournalTest, AFailedWriteLeavesThePreviousJournal) {
    Interrupted();
    RecoveryJournal journal = Journal();
    ASSERT_EQ(journal.Load(), Result::Loaded);
    std::filesystem::create_directory(journal.NoteFilePath() + ".new");
    dir.Write(std::filesystem::path(journal.NoteFilePath() + ".new").filename().string() + "/x", "in the way");
    EXPECT_FALSE(journal.RecordDocument(3, 0x32, "B"));
    EXPECT_NE(journal.LastError().find(journal.NoteFilePath() + ".new"), std::string::npos) << journal.LastError();
    RecoveryJournal reread = Journal();
    ASSERT_EQ(reread.Load(), Result::Loaded);
    EXPECT_EQ(reread.LastIndex(), 2);

    std::filesystem::remove_all(journal.NoteFilePath() + ".new");
    dir.Write(std::filesystem::path(journal.MainFilePath() + ".new").filename().string(), "half a file");
    ASSERT_EQ(reread.Load(), Result::Loaded);
    EXPECT_TRUE(journal.RecordDocument(3, 0x32, "B"));
    ASSERT_EQ(reread.Load(), Result::Loaded);
    EXPECT_EQ(reread.LastIndex(), 3);
}

}  // namespace
}  // namespace qb
