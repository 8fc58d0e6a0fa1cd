// Paged B-trees: trees far larger than the page budget are written,
// committed, reopened and read back whole (by our reader and by readpst and
// pffexport); pages changed before a commit stay in memory however small the
// budget, and a page read on demand that fails its checks is an error.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <random>

#include "PstReaders.h"
#include "outlook/pst/NodeDatabase.h"
#include "outlook/pst/PstChecker.h"
#include "outlook/pst/PstStore.h"
#include "outlook/pst/PstTags.h"
#include "support/TempDir.h"

namespace qb::pst {
namespace {

constexpr std::size_t kBudget = 8;

// Overwrites bytes of a file behind the back of a store that has it open.
void Scribble(const std::string& path, std::uint64_t offset, std::size_t size) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(std::streamoff(offset));
    for (std::size_t i = 0; i < size; ++i) f.put(char(0x5A));
}

class PagedBTreeTest : public ::testing::TestWithParam<PstFormat> {
protected:
    test::TempDir dir_;
    std::string path_ = dir_.File("t.pst");
    std::map<Nid, NbtEntry> nodes_;
    std::map<Nid, Bytes> data_;

    // Nodes in batches with a commit after each, some replaced and some
    // removed on the way (pages read back from the file and changed again).
    void WriteTree(NodeDatabase& db, int batches, int perBatch) {
        std::mt19937 rng(7);
        Nid next = 0x400;
        for (int batch = 0; batch < batches; ++batch) {
            for (int i = 0; i < perBatch; ++i) {
                const Nid nid = MakeNid(kNidTypeNormalMessage, ++next);
                Bytes bytes(std::size_t(rng() % 40 + 1), std::uint8_t(nid));
                NbtEntry e{nid, db.WriteData(bytes), 0, Nid(batch)};
                db.PutNode(e);
                nodes_[nid] = e;
                data_[nid] = std::move(bytes);
            }
            for (int i = 0; i < perBatch / 10; ++i) {
                auto it = nodes_.begin();
                std::advance(it, long(rng() % nodes_.size()));
                if (i % 2 == 0) {
                    db.ReleaseTree(it->second.bidData);
                    db.RemoveNode(it->first);
                    data_.erase(it->first);
                    nodes_.erase(it);
                } else {
                    it->second.nidParent = 0x7777;
                    db.PutNode(it->second);
                }
            }
            db.Commit();
            // What is left in memory after a commit is clean, so within the budget.
            EXPECT_LE(db.nbt().loadedPages(), kBudget);
            EXPECT_LE(db.bbt().loadedPages(), kBudget);
        }
    }

    void ExpectTreeReadsBack(const NodeDatabase& db) {
        std::vector<Nid> seen;
        db.nbt().ForEach([&](const NbtEntry& e) {
            seen.push_back(e.nid);
            auto it = nodes_.find(e.nid);
            ASSERT_NE(it, nodes_.end()) << std::hex << e.nid;
            EXPECT_EQ(e.nidParent, it->second.nidParent);
            EXPECT_EQ(e.bidData, it->second.bidData);
            // Reading the data goes through the other tree while this one is walked.
            EXPECT_EQ(db.ReadData(e.bidData), data_.at(e.nid));
        });
        EXPECT_EQ(seen.size(), nodes_.size());
        EXPECT_EQ(db.nbt().size(), nodes_.size());
        for (const auto& [nid, e] : nodes_) {
            const std::optional<NbtEntry> found = db.FindNode(nid);
            ASSERT_TRUE(found.has_value()) << std::hex << nid;
            EXPECT_EQ(found->bidData, e.bidData);
        }
        EXPECT_FALSE(db.FindNode(MakeNid(kNidTypeNormalMessage, 0x3FF)).has_value());
        EXPECT_LE(db.nbt().loadedPages(), kBudget);
        EXPECT_LE(db.bbt().loadedPages(), kBudget);
    }
};

TEST_P(PagedBTreeTest, TreesFarLargerThanTheBudgetReadBackWhole) {
    {
        auto db = NodeDatabase::Create(path_, GetParam());
        db->SetPageBudgetForTest(kBudget);
        WriteTree(*db, 6, 1500);
        EXPECT_GT(db->nbt().root().level, 1);
        ExpectTreeReadsBack(*db);
        db->PublishFreedSpace();
    }
    for (bool writable : {false, true}) {
        SCOPED_TRACE(writable ? "writable" : "read-only");
        auto db = NodeDatabase::Open(path_, writable);
        db->SetPageBudgetForTest(kBudget);
        ExpectTreeReadsBack(*db);
    }
    // Changed again after reopening: pages come from the file and go back to it.
    {
        auto db = NodeDatabase::Open(path_, true);
        db->SetPageBudgetForTest(kBudget);
        WriteTree(*db, 2, 800);
        db->PublishFreedSpace();
    }
    auto db = NodeDatabase::Open(path_, true);
    db->SetPageBudgetForTest(kBudget);
    ExpectTreeReadsBack(*db);
}

TEST_P(PagedBTreeTest, ChangedPagesStayUntilTheCommitWritesThem) {
    auto db = NodeDatabase::Create(path_, GetParam());
    db->SetPageBudgetForTest(kBudget);
    WriteTree(*db, 2, 2000);
    // One batch far larger than the budget, touching old pages all over the tree.
    std::mt19937 rng(3);
    for (auto& [nid, e] : nodes_) {
        if (rng() % 3 != 0) continue;
        e.nidParent = 0x5555;
        db->PutNode(e);
    }
    for (Nid nid = 0x9000; nid < 0x9000 + 600; ++nid) {
        NbtEntry e{MakeNid(kNidTypeNormalMessage, nid), nodes_.begin()->second.bidData, 0, 1};
        db->PutNode(e);
        nodes_[e.nid] = e;
        data_[e.nid] = data_.begin()->second;
    }
    const std::size_t dirtyHeld = db->nbt().loadedPages();
    EXPECT_GT(dirtyHeld, 10 * kBudget) << "changed pages must not be dropped before the commit";
    // Reads in between cycle the clean pages through the budget, not the changed ones.
    for (const auto& [nid, e] : nodes_) EXPECT_EQ(db->FindNode(nid)->nidParent, e.nidParent);
    EXPECT_GE(db->nbt().loadedPages(), dirtyHeld - kBudget);
    db->Commit();
    EXPECT_LE(db->nbt().loadedPages(), kBudget);
    db->PublishFreedSpace();
    db.reset();
    auto reopened = NodeDatabase::Open(path_, true);
    reopened->SetPageBudgetForTest(kBudget);
    // The shared block is referenced twice here: compare the node entries only.
    std::size_t seen = 0;
    reopened->nbt().ForEach([&](const NbtEntry& e) {
        ++seen;
        EXPECT_EQ(e.nidParent, nodes_.at(e.nid).nidParent) << std::hex << e.nid;
    });
    EXPECT_EQ(seen, nodes_.size());
}

TEST_P(PagedBTreeTest, DamagedPageReadOnDemandIsAnError) {
    {
        auto db = NodeDatabase::Create(path_, GetParam());
        db->SetPageBudgetForTest(kBudget);
        WriteTree(*db, 2, 2000);
        db->PublishFreedSpace();
    }
    auto db = NodeDatabase::Open(path_, false);
    db->SetPageBudgetForTest(kBudget);
    const Nid victim = nodes_.begin()->first;
    Bref leaf;
    db->nbt().ForEachPage([&](const NodeBTree::Page& page) {
        for (const NbtEntry& e : page.entries)
            if (e.nid == victim) leaf = page.bref;
    });
    ASSERT_NE(leaf.ib, 0u);
    // Reads elsewhere push the victim's leaf out of memory.
    for (const auto& [nid, e] : nodes_) ASSERT_TRUE(db->FindNode(nid).has_value());
    Scribble(path_, leaf.ib + 8, 16);
    EXPECT_THROW(db->FindNode(victim), PstError);
    EXPECT_THROW(db->nbt().ForEach([](const NbtEntry&) {}), PstError);
    // Other pages still read.
    EXPECT_TRUE(db->FindNode(nodes_.rbegin()->first).has_value());
    // Opened again, the check at opening finds it.
    db.reset();
    EXPECT_THROW(NodeDatabase::Open(path_, false), PstError);
}

INSTANTIATE_TEST_SUITE_P(Formats, PagedBTreeTest, ::testing::Values(PstFormat::Unicode, PstFormat::Ansi));

// A whole store written and read with a tiny budget, checked by the strict
// checker and counted by the independent readers.
TEST(PagedStoreTest, StoreWithATinyBudgetReadsBackEverywhere) {
    test::TempDir dir;
    const std::string path = dir.File("s.pst");
    constexpr std::size_t kMessages = 1500;
    {
        auto store = PstStore::Create(path, PstFormat::Unicode, "Paged");
        store->database().SetPageBudgetForTest(kBudget);
        store->database().SetRegionBudgetForTest(2);
        CommitPolicy policy;
        policy.messages = 64;
        policy.sync = false;
        store->SetCommitPolicy(policy);
        const Nid inbox = store->CreateFolder(store->IpmSubtree(), "Inbox");
        for (std::size_t i = 0; i < kMessages; ++i) {
            auto m = store->CreateMessage(inbox);
            m->SetProperty(tags::kSubject, PropValue::Unicode("message " + std::to_string(i)));
            if (i % 10 == 0) m->AddAttachment().Write(Bytes(20000, std::uint8_t(i)));
            m->Save();
        }
        store->Close();
    }
    const CheckReport report = CheckPstFile(path);
    EXPECT_TRUE(report.ok()) << (report.errors.empty() ? "" : report.errors.front());
    {
        auto store = PstStore::Open(path, false);
        store->database().SetPageBudgetForTest(kBudget);
        EXPECT_EQ(test::OurMessageCount(*store), kMessages);
        std::size_t subjects = 0;
        test::ForEachMessageSubject(*store, [&](const std::string& s) { subjects += s.rfind("message ", 0) == 0; });
        EXPECT_EQ(subjects, kMessages);
    }
    if (test::ProgramAvailable("readpst")) {
        EXPECT_EQ(test::ReadpstMessageCount(path, dir.File("readpst")), kMessages);
    }
    if (test::ProgramAvailable("pffexport")) {
        EXPECT_EQ(test::PffexportMessageCount(path, dir.File("pff")), kMessages);
    }
}

}  // namespace
}  // namespace qb::pst
