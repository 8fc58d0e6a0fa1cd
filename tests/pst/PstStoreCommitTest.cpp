// How far a store's commits are durable: a commit syncs its data before it
// writes the header and never after, so its header becomes durable with the
// next commit's sync, with MakeDurable (one sync, only when needed) or with
// Close. The counts must never run ahead of the syncs that back them: the
// recovery journal trusts them to survive a power loss.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>

#include "outlook/pst/PstFaultInjection.h"
#include "outlook/pst/PstStore.h"
#include "support/TempDir.h"

namespace qb::pst {
namespace {

class StoreCommitTest : public ::testing::TestWithParam<PstFormat> {
protected:
    void TearDown() override { ClearPstFaultForTest(); }

    // A store with an Inbox whose commits come every `messages` saves, made
    // durable before the test counts anything.
    std::unique_ptr<PstStore> NewStore(std::size_t messages, bool sync, bool behind = false) {
        auto store = PstStore::Create(path_, GetParam(), "Durable");
        inbox_ = store->CreateFolder(store->IpmSubtree(), "Inbox");
        CommitPolicy policy;
        policy.messages = messages;
        policy.interval = std::chrono::hours(1);
        policy.adaptive = false;
        policy.sync = sync;
        policy.writeBehind = behind;
        store->SetCommitPolicy(policy);
        store->Commit();
        store->MakeDurable();
        return store;
    }
    void Save(PstStore& store, int count) {
        for (int i = 0; i < count; ++i) store.CreateMessage(inbox_)->Save();
    }
    // Syncs since the last call.
    std::uint64_t Syncs() {
        const std::uint64_t syncs = PstFaultCountForTest(PstFaultOp::Sync);
        ClearPstFaultForTest();
        return syncs;
    }

    test::TempDir dir_;
    std::string path_ = dir_.File("durable.pst");
    Nid inbox_ = 0;
};

TEST_P(StoreCommitTest, TheDurableCountLagsOneCommitAndCatchesUp) {
    auto store = NewStore(3, true);
    EXPECT_EQ(store->durableMessages(), 0u);
    Syncs();
    Save(*store, 3);  // the first commit: its header is not synced
    EXPECT_EQ(store->committedMessages(), 3u);
    EXPECT_EQ(store->durableMessages(), 0u);
    EXPECT_EQ(Syncs(), 1u) << "one sync per commit, for its data";
    Save(*store, 3);  // the second commit's sync makes the first durable
    EXPECT_EQ(store->committedMessages(), 6u);
    EXPECT_EQ(store->durableMessages(), 3u);
    EXPECT_EQ(Syncs(), 1u);
    Save(*store, 1);
    EXPECT_EQ(store->durableMessages(), 3u) << "a save alone makes nothing durable";
    store->MakeDurable();  // syncs the second commit's header, commits nothing
    EXPECT_EQ(store->committedMessages(), 6u);
    EXPECT_EQ(store->durableMessages(), 6u);
    EXPECT_EQ(Syncs(), 1u);
    store->MakeDurable();
    EXPECT_EQ(Syncs(), 0u) << "no sync when the last commit is durable already";
    store->Commit();
    EXPECT_EQ(store->committedMessages(), 7u);
    EXPECT_EQ(store->durableMessages(), 6u);
    store->Close();  // syncs after its header
    EXPECT_EQ(store->durableMessages(), 7u);
    store.reset();
    auto reopened = PstStore::Open(path_, false);
    EXPECT_EQ(reopened->Messages(reopened->FindSubfolder(reopened->IpmSubtree(), "Inbox")).size(), 7u);
}

// A store with syncing off never waits for the disk: a power loss may take
// any of its commits, and its caller accepted that when it turned syncing
// off. Durable then means committed, so that a journal kept beside such a
// store still records documents (as it did before durability was counted).
TEST_P(StoreCommitTest, WithSyncingOffEveryCommitCountsAsDurable) {
    auto store = NewStore(2, false);
    Syncs();
    Save(*store, 3);
    EXPECT_EQ(store->committedMessages(), 2u);
    EXPECT_EQ(store->durableMessages(), 2u);
    store->MakeDurable();
    store->Close();
    EXPECT_EQ(store->durableMessages(), 3u);
    EXPECT_EQ(Syncs(), 0u);
}

TEST_P(StoreCommitTest, AFailedDurableSyncFailsTheStoreAndCountsNothingMore) {
    auto store = NewStore(2, true);
    Save(*store, 2);
    ASSERT_EQ(store->durableMessages(), 0u);
    SetPstFaultForTest(PstFaultOp::Sync, 1, EIO);
    EXPECT_THROW(store->MakeDurable(), PstError);
    EXPECT_EQ(store->durableMessages(), 0u);
    EXPECT_EQ(store->committedMessages(), 2u);
    EXPECT_THROW(store->CreateMessage(inbox_), PstError) << "a store whose sync failed takes no more writes";
    EXPECT_NO_THROW(store->Close());
}

// Written behind, the counts never run ahead of what the second thread has
// done: committed once the header is written, durable once a later sync ran.
TEST_P(StoreCommitTest, WrittenBehindTheCountsFollowTheSecondThreadAndCatchUp) {
    auto store = NewStore(3, true, true);
    Syncs();
    for (std::size_t batch = 1; batch <= 4; ++batch) {
        Save(*store, 3);
        EXPECT_LE(store->durableMessages(), store->committedMessages());
        EXPECT_LE(store->committedMessages(), 3 * batch);
        EXPECT_GE(store->committedMessages(), 3 * (batch - 1)) << "a commit waits for the header before it";
        EXPECT_GE(store->durableMessages() + 6, 3 * batch);
    }
    EXPECT_EQ(Syncs(), 4u) << "one sync per commit, for its data";
    store->MakeDurable();
    EXPECT_EQ(store->committedMessages(), 12u);
    EXPECT_EQ(store->durableMessages(), 12u);
    store->Close();
    store.reset();
    auto reopened = PstStore::Open(path_, false);
    EXPECT_EQ(reopened->Messages(reopened->FindSubfolder(reopened->IpmSubtree(), "Inbox")).size(), 12u);
}

TEST_P(StoreCommitTest, AFailedSyncBehindFailsTheStoreAtTheNextStepAndKeepsTheCommitBefore) {
    auto store = NewStore(2, true, true);
    Save(*store, 2);
    store->MakeDurable();
    SetPstFaultForTest(PstFaultOp::Sync, 1, EIO);
    // The commit's sync fails on the second thread: the failure comes back
    // when the store next looks, at the end of that commit if it is over by
    // then, at the latest when MakeDurable waits for it.
    bool failed = false;
    try {
        Save(*store, 2);
        store->MakeDurable();
    } catch (const PstError&) {
        failed = true;
    }
    EXPECT_TRUE(failed);
    EXPECT_EQ(store->committedMessages(), 2u);
    EXPECT_EQ(store->durableMessages(), 2u);
    EXPECT_THROW(store->CreateMessage(inbox_), PstError) << "a store whose sync failed takes no more writes";
    EXPECT_NO_THROW(store->Close());
    store.reset();
    auto reopened = PstStore::Open(path_, false);
    EXPECT_EQ(reopened->Messages(reopened->FindSubfolder(reopened->IpmSubtree(), "Inbox")).size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Formats, StoreCommitTest, ::testing::Values(PstFormat::Unicode, PstFormat::Ansi));

}  // namespace
}  // namespace qb::pst
