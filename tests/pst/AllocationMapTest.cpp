// Allocation maps held by region: a file of many regions is written with a
// budget of two regions in memory, committed, reopened and written again,
// and its maps agree with the space in use; a map page read on demand that
// fails its checks is an error.

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <set>

#include "outlook/pst/NodeDatabase.h"
#include "support/TempDir.h"

namespace qb::pst {
namespace {

constexpr std::size_t kRegions = 2;

class AllocationMapTest : public ::testing::TestWithParam<PstFormat> {
protected:
    test::TempDir dir_;
    std::string path_ = dir_.File("t.pst");
    std::vector<Bid> live_;

    // Blocks of a few KB in batches, about a third of them released again,
    // so that space is freed and reused all over the file.
    void WriteBlocks(NodeDatabase& db, int batches) {
        std::mt19937 rng(9);
        for (int batch = 0; batch < batches; ++batch) {
            for (int i = 0; i < 400; ++i) live_.push_back(db.WriteData(Bytes(rng() % 6000 + 100, std::uint8_t(i))));
            std::set<std::uint64_t> releasedRegions;
            for (int i = 0; i < 130; ++i) {
                const std::size_t pick = rng() % live_.size();
                releasedRegions.insert((db.FindBlock(live_[pick])->ib - kFirstAMapOffset) / kAMapCoverage);
                db.ReleaseTree(live_[pick]);
                live_.erase(live_.begin() + long(pick));
            }
            db.PutNode(NbtEntry{0x40, live_.front(), 0, 0});
            db.Commit();
            // The budget, the regions this commit freed space in (changed
            // after the maps were written), and the one growing at the end.
            EXPECT_LE(db.amap().loadedRegions(), kRegions + releasedRegions.size() + 1) << "batch " << batch;
        }
        db.PublishFreedSpace();
    }

    void ExpectBlocksAllocated(const NodeDatabase& db) {
        for (Bid bid : live_) {
            const std::optional<BbtEntry> e = db.FindBlock(bid);
            ASSERT_TRUE(e.has_value());
            EXPECT_TRUE(db.amap().IsAllocated(e->ib, std::size_t(AlignUp(e->cb + db.traits().blockTrailer, 64))));
        }
    }
};

TEST_P(AllocationMapTest, ManyRegionsWithATinyBudget) {
    std::uint64_t freeBefore = 0;
    {
        auto db = NodeDatabase::Create(path_, GetParam());
        db->SetRegionBudgetForTest(kRegions);
        WriteBlocks(*db, 12);
        EXPECT_GT(db->amap().regionCount(), 40u);
        ExpectBlocksAllocated(*db);
        freeBefore = db->amap().freeBytes();
    }
    {
        // Opening for writing checks every block and page against the maps.
        auto db = NodeDatabase::Open(path_, true);
        db->SetRegionBudgetForTest(kRegions);
        EXPECT_EQ(db->amap().freeBytes(), freeBefore);
        EXPECT_EQ(db->header().cbAMapFree, freeBefore);
        ExpectBlocksAllocated(*db);
        WriteBlocks(*db, 3);
        ExpectBlocksAllocated(*db);
    }
    auto db = NodeDatabase::Open(path_, true);
    ExpectBlocksAllocated(*db);
}

TEST_P(AllocationMapTest, DamagedMapReadOnDemandIsAnError) {
    {
        auto db = NodeDatabase::Create(path_, GetParam());
        WriteBlocks(*db, 4);
    }
    auto db = NodeDatabase::Open(path_, true);
    db->SetRegionBudgetForTest(kRegions);
    const std::optional<BbtEntry> first = db->FindBlock(live_.front());
    ASSERT_TRUE(first.has_value());
    const std::uint64_t region = (first->ib - kFirstAMapOffset) / kAMapCoverage;
    // Reads of later regions push the first one's map out of memory.
    for (auto it = live_.rbegin(); it != live_.rend(); ++it) {
        const std::optional<BbtEntry> e = db->FindBlock(*it);
        if ((e->ib - kFirstAMapOffset) / kAMapCoverage > region + 4) db->amap().IsAllocated(e->ib, 64);
    }
    {
        std::fstream f(path_, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(std::streamoff(kFirstAMapOffset + region * kAMapCoverage + 40));
        f.write("damaged!", 8);
    }
    EXPECT_THROW(db->amap().IsAllocated(first->ib, 64), PstError);
}

INSTANTIATE_TEST_SUITE_P(Formats, AllocationMapTest, ::testing::Values(PstFormat::Unicode, PstFormat::Ansi));

}  // namespace
}  // namespace qb::pst
