// The journal of a run whose store commits in batches, on a real personal
// folders file: documents reach the journal only once their items are
// durable (a commit's header is synced by the next commit), a view is
// committed and made durable before it is marked complete, and a commit
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
#include "outlook/mapi/PstStoreProvider.h"
#include "outlook/pst/PstFaultInjection.h"
#include "outlook/pst/PstStore.h"
#include "shell/log/ExportLog.h"
#include "support/ScopedEnv.h"

namespace qb {
namespace {


class CommittedJournalTest : public ::testing::Test, public test::PstProfileFixture {
protected:
    void SetUp() override {
        // The exact counts of commits made in the call; the end-to-end runs write behind.
        mapi::SetCommitWriteBehindEnabled(false);
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
        mapi::SetCommitWriteBehindEnabled(std::nullopt);
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
    // cannot move the commits; the run starts on a durable store.
    void Begin(CommittedJournal& journal, std::uint32_t messages) {
        journal.BeginRun();
        ASSERT_TRUE(UseBatchedCommits(*outlook.store, messages, 0));
        ASSERT_TRUE(journal.Settle());
        ASSERT_EQ(Counts().durable, Counts().saved);
    }

    CMapiSession outlook;
    FolderHandle folder;
    ExportRun run;
    ExportLog log;
    test::RecordingJournal inner;
    std::optional<test::ScopedEnv> batch;
};

TEST_F(CommittedJournalTest, DocumentsReachTheJournalOnlyOnceDurable) {
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
    EXPECT_EQ(Counts().durable, before);
    EXPECT_EQ(inner.events, std::vector<std::string>{"start Inbox"})
        << "committed is not enough: a power loss could still take the batch";
    Document(journal, 3, 2);
    Document(journal, 4, 2);  // saves 4..7: the commit at save 6 syncs, which makes the first batch durable
    EXPECT_EQ(Counts().durable, before + 3);
    EXPECT_EQ(inner.events.back(), "doc 2") << "only the last durable document is written";
    EXPECT_EQ(inner.ids, std::vector<std::string>{"id2"});
    // A document whose items straddle a commit is recorded once all are durable.
    Document(journal, 5, 3);  // saves 8..10: the commit at save 9 makes saves up to 6 durable
    EXPECT_EQ(Counts().durable, before + 6);
    EXPECT_EQ(inner.events.back(), "doc 3") << "document 4 ends at save 7";
    Document(journal, 6, 0);  // a document without items (left out by a filter)
    EXPECT_EQ(inner.events.back(), "doc 3") << "recorded after the documents before it";
    ASSERT_TRUE(journal.MarkViewFolderComplete());
    EXPECT_EQ(Counts().durable, Counts().saved) << "committed and synced before the view is marked complete";
    const std::vector<std::string> tail(inner.events.end() - 2, inner.events.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"doc 6", "view complete"}));
    EXPECT_EQ(inner.ids.back(), "id6");
    EXPECT_EQ(run.exportedCount, 7);
    EXPECT_TRUE(run.stopText.empty());
}

// Settle after a batch commit with nothing left to commit: it only syncs
// the last commit's header, and then records what that made durable.
TEST_F(CommittedJournalTest, SettleMakesTheLastCommitDurableAndRecordsIt) {
    CommittedJournal journal(inner, outlook, run, log);
    Begin(journal, 2);
    ASSERT_TRUE(journal.StartView(7, "Inbox"));
    Document(journal, 0, 1);
    Document(journal, 1, 1);  // commits: everything is committed, nothing new durable
    ASSERT_EQ(Counts().committed, Counts().saved);
    ASSERT_LT(Counts().durable, Counts().committed);
    EXPECT_EQ(inner.events, std::vector<std::string>{"start Inbox"});
    ASSERT_TRUE(journal.Settle());
    EXPECT_EQ(Counts().durable, Counts().saved);
    EXPECT_EQ(inner.events.back(), "doc 1");
    ASSERT_TRUE(journal.MarkComplete());
    EXPECT_EQ(inner.events.back(), "complete");
}

TEST_F(CommittedJournalTest, TheBatchNeverOutgrowsTheResumeScan) {
    batch.emplace("QUILLBOX_COMMIT_BATCH", "5");
    EXPECT_EQ(CommittedJournal::BatchMessages(), 5u);
    EXPECT_LE(CommittedJournal::BatchMessages(), kCommitBatchMessages);
    // Up to three batches may be committed and not yet recorded (a batch is
    // recorded once a later sync, written behind, is seen done), each
    // stretched by a slow disk.
    EXPECT_GE(kMaxUnrecordedItems, 3 * pst::CommitPolicy::kMaxStretch * kCommitBatchMessages);
    batch.emplace("QUILLBOX_COMMIT_BATCH", "100000");  // out of range: the default holds
    EXPECT_EQ(CommittedJournal::BatchMessages(), kCommitBatchMessages);
}

TEST_F(CommittedJournalTest, AFailedCommitStopsTheRunAndUncountsWhatItLost) {
    CommittedJournal journal(inner, outlook, run, log);
    Begin(journal, 4);
    ASSERT_TRUE(journal.StartView(7, "Inbox"));
    for (int i = 0; i < 9; ++i) Document(journal, i, 1);  // 4 durable, 4 committed, 1 pending
    EXPECT_EQ(inner.events.back(), "doc 3");
    pst::SetPstFaultForTest(pst::PstFaultOp::Sync, 1, EIO);
    EXPECT_FALSE(journal.MarkViewFolderComplete());
    EXPECT_NE(inner.events.back(), "view complete");
    EXPECT_EQ(inner.events.back(), "doc 3") << "the lost document is not recorded";
    EXPECT_EQ(run.exportedCount, 8) << "the document of the lost batch is no longer counted, the committed ones are";
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
