// The journal of a run whose store commits in batches, on a real personal
// folders file: documents reach the journal only once their items are
// committed, a view is committed before it is marked complete, and a commit
// that fails stops the run and no longer counts the documents it lost.

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "convert/CommittedJournal.h"
#include "convert/EntryFields.h"
#include "RecordingJournal.h"
#include "mapi/PstProfileFixture.h"
#include "outlook/StoreCommits.h"
#include "outlook/mapi/PropUtil.h"
#include "outlook/pst/PstFaultInjection.h"
#include "shell/log/ExportLog.h"
#include "support/ScopedEnv.h"

namespace qb {
namespace {


class CommittedJournalTest : public ::testing::Test, public test::PstProfileFixture {
protected:
    void SetUp() override {
        SetUpProfile("MSUPST MS", "Batched", false);
        ASSERT_EQ(outlook.Initialize(), S_OK);
        ASSERT_FALSE(FAILED(outlook.Logon("Export", "", 0x13, 0)));
        ASSERT_EQ(outlook.OpenDefaultStore(), S_OK);
        ASSERT_EQ(outlook.OpenIpmSubtree(), 1) << outlook.lastError;
        auto opened = outlook.OpenFolderPath("Mail", "");
        ASSERT_TRUE(opened);
        folder = std::move(*opened);
        log.logToFile = true;
        log.SetSingleDatabasePath(dir_.File("exportlog.txt"));
    }
    void TearDown() override {
        pst::ClearPstFaultForTest();
        folder = FolderHandle();
        outlook.Logoff();
        outlook.Uninitialize();
        TearDownProfile();
    }

    // One document with `items` saved messages, then its record.
    void Document(CommittedJournal& journal, std::int32_t index, int items) {
        for (int i = 0; i < items; ++i) {
            mapi::MapiPtr<IMessage> message;
            ASSERT_EQ(folder.folder->CreateMessage(nullptr, 0, message.Put()), S_OK);
            SPropValue subject{};
            subject.ulPropTag = PR_SUBJECT;
            const std::string text = "doc " + std::to_string(index);
            subject.Value.lpszA = const_cast<char*>(text.c_str());
            ASSERT_EQ(HrSetOneProp(message.get(), &subject), S_OK);
            if (message->SaveChanges(0) != S_OK) {
                StopRun(run, "save failed");
                return;
            }
        }
        ++run.exportedCount;
        journal.RecordDocument(index, static_cast<std::uint32_t>(index + 1), "id" + std::to_string(index));
    }
    CommitCounts Counts() { return *ReadCommitCounts(*outlook.store); }
    // Batches of `messages` without a time limit, so that a slow machine
    // cannot move the commits; the run starts on a committed store.
    void Begin(CommittedJournal& journal, std::uint32_t messages) {
        journal.BeginRun();
        ASSERT_TRUE(UseBatchedCommits(*outlook.store, messages, 0));
        ASSERT_TRUE(journal.Settle());
        ASSERT_EQ(Counts().committed, Counts().saved);
    }

    CMapiSession outlook;
    FolderHandle folder;
    ExportRun run;
    ExportLog log;
    test::RecordingJournal inner;
    std::optional<test::ScopedEnv> batch;
};

TEST_F(CommittedJournalTest, DocumentsReachTheJournalOnlyOnceCommitted) {
    CommittedJournal journal(inner, outlook, run, log);
    Begin(journal, 3);
    ASSERT_TRUE(journal.StartView(7, "Inbox"));
    Document(journal, 0, 1);
    Document(journal, 1, 1);
    EXPECT_EQ(inner.events, std::vector<std::string>{"start Inbox"}) << "two saves: nothing committed yet";
    const std::uint64_t before = Counts().committed;
    EXPECT_EQ(Counts().saved, before + 2);
    Document(journal, 2, 1);  // the third save commits the batch
    EXPECT_EQ(Counts().committed, before + 3);
    EXPECT_EQ(inner.events.back(), "doc 2") << "only the last durable document is written";
    EXPECT_EQ(inner.ids, std::vector<std::string>{"id2"});
    // A document whose items straddle a commit is recorded once all are committed.
    Document(journal, 3, 2);
    Document(journal, 4, 2);  // saves 4..7: the commit came at save 6, inside document 4
    EXPECT_EQ(inner.events.back(), "doc 3");
    Document(journal, 5, 0);  // a document without items (left out by a filter)
    EXPECT_EQ(inner.events.back(), "doc 3") << "recorded after the documents before it";
    ASSERT_TRUE(journal.MarkViewFolderComplete());
    EXPECT_EQ(Counts().committed, Counts().saved) << "committed before the view is marked complete";
    const std::vector<std::string> tail(inner.events.end() - 2, inner.events.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"doc 5", "view complete"}));
    EXPECT_EQ(inner.ids.back(), "id5");
    EXPECT_EQ(run.exportedCount, 6);
    EXPECT_TRUE(run.stopText.empty());
}

TEST_F(CommittedJournalTest, TheBatchNeverOutgrowsTheResumeScan) {
    batch.emplace("QUILLBOX_COMMIT_BATCH", "5");
    EXPECT_EQ(CommittedJournal::BatchMessages(), 5u);
    EXPECT_LE(CommittedJournal::BatchMessages(), kCommitBatchMessages);
    EXPECT_GE(kMaxUnrecordedItems, 2 * static_cast<std::size_t>(kCommitBatchMessages));
    batch.emplace("QUILLBOX_COMMIT_BATCH", "100000");  // out of range: the default holds
    EXPECT_EQ(CommittedJournal::BatchMessages(), kCommitBatchMessages);
}

TEST_F(CommittedJournalTest, AFailedCommitStopsTheRunAndUncountsWhatItLost) {
    CommittedJournal journal(inner, outlook, run, log);
    Begin(journal, 4);
    ASSERT_TRUE(journal.StartView(7, "Inbox"));
    for (int i = 0; i < 5; ++i) Document(journal, i, 1);  // 4 committed, 1 pending
    EXPECT_EQ(inner.events.back(), "doc 3");
    pst::SetPstFaultForTest(pst::PstFaultOp::Sync, 1, EIO);
    EXPECT_FALSE(journal.MarkViewFolderComplete());
    EXPECT_NE(inner.events.back(), "view complete");
    EXPECT_EQ(inner.events.back(), "doc 3") << "the lost document is not recorded";
    EXPECT_EQ(run.exportedCount, 4) << "the document of the lost batch is no longer counted";
    EXPECT_NE(run.stopText.find("Unable to save a message to the Outlook store"), std::string::npos) << run.stopText;
    EXPECT_TRUE(outlook.storeWriteFailed);
    const std::string written = test::ReadFile(dir_.File("exportlog.txt"));
    EXPECT_NE(written.find("1 exported document(s) saved since the store's last commit are not in the file"),
              std::string::npos)
        << written;
    EXPECT_FALSE(journal.Settle()) << "no second attempt on a failed store";
}

}  // namespace
}  // namespace qb
