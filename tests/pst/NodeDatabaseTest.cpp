// Node database: header, blocks, encodings, B-trees and allocation, against
// the mail client's files and against what the engine writes itself.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <random>

#include "outlook/pst/Checksum.h"
#include "outlook/pst/NodeDatabase.h"
#include "outlook/pst/PstChecker.h"
#include "outlook/pst/PstFaultInjection.h"
#include "outlook/pst/PstStore.h"
#include "support/TempDir.h"

namespace qb::pst {
namespace {

std::vector<std::string> TestFiles() {
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(test::TestDataDir() + "/pst"))
        if (e.path().extension() == ".pst") files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(NodeDatabaseTest, OpensEveryClientFileAndReadsEveryBlock) {
    auto files = TestFiles();
    ASSERT_GE(files.size(), 7u);
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        auto db = NodeDatabase::Open(path, false);
        std::size_t blocks = 0;
        db->bbt().ForEach([&](const BbtEntry& e) {
            EXPECT_NO_THROW(db->ReadBlock(e.bid));
            ++blocks;
        });
        EXPECT_GT(blocks, 10u);
        EXPECT_TRUE(db->FindNode(kNidMessageStore).has_value());
        EXPECT_TRUE(db->FindNode(kNidRootFolder).has_value());
    }
}

TEST(NodeDatabaseTest, BothFormatsAreRecognised) {
    EXPECT_EQ(NodeDatabase::Open(test::TestDataDir() + "/pst/Empty.pst", false)->traits().format, PstFormat::Unicode);
    EXPECT_EQ(NodeDatabase::Open(test::TestDataDir() + "/pst/pstsdk-test_ansi.pst", false)->traits().format, PstFormat::Ansi);
}

TEST(NodeDatabaseTest, DamagedHeaderIsRejected) {
    test::TempDir dir;
    std::string bytes = test::ReadFile(test::TestDataDir() + "/pst/Empty.pst");
    bytes[0x30] ^= 0x01;  // inside the partial CRC's range
    std::string path = dir.Write("bad.pst", bytes);
    EXPECT_THROW(NodeDatabase::Open(path, false), PstError);
    EXPECT_THROW(NodeDatabase::Open(dir.Write("text.pst", std::string(1000, 'x')), false), PstError);
}

TEST(NodeDatabaseTest, DamagedBlockFailsItsCrc) {
    test::TempDir dir;
    std::string bytes = test::ReadFile(test::TestDataDir() + "/pst/Empty.pst");
    auto db = NodeDatabase::Open(test::TestDataDir() + "/pst/Empty.pst", false);
    const std::optional<NbtEntry> store = db->FindNode(kNidMessageStore);
    const std::optional<BbtEntry> block = db->FindBlock(store->bidData);
    bytes[block->ib + 3] ^= 0x40;
    auto damaged = NodeDatabase::Open(dir.Write("bad.pst", bytes), false);
    EXPECT_THROW(damaged->ReadBlock(store->bidData), PstError);
}

TEST(NodeDatabaseTest, EncodingsRoundTripAndDiffer) {
    Bytes plain(300);
    for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = std::uint8_t(i * 7);
    for (std::uint8_t method : {kCryptPermute, kCryptCyclic}) {
        Bytes data = plain;
        EncodeData(method, 0x1234, data.data(), data.size());
        EXPECT_NE(data, plain);
        DecodeData(method, 0x1234, data.data(), data.size());
        EXPECT_EQ(data, plain);
    }
}

// Long buffers take the wide path (64 bytes per step where the processor
// has it): every byte must come out as it does alone, at every length.
TEST(NodeDatabaseTest, PermuteEncodingOfLongBuffersMatchesByteByByte) {
    Bytes plain(700);
    for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = std::uint8_t(i * 131 + 7);
    for (std::size_t size : {std::size_t(63), std::size_t(64), std::size_t(65), std::size_t(200), std::size_t(700)}) {
        Bytes wide(plain.begin(), plain.begin() + long(size)), alone = wide, into(size);
        EncodeData(kCryptPermute, 0, wide.data(), size);
        EncodeDataInto(kCryptPermute, 0, alone.data(), into.data(), size);
        for (std::size_t i = 0; i < size; ++i) EncodeData(kCryptPermute, 0, &alone[i], 1);
        EXPECT_EQ(wide, alone) << size;
        EXPECT_EQ(into, alone) << size;
        DecodeData(kCryptPermute, 0, wide.data(), size);
        EXPECT_EQ(wide, Bytes(plain.begin(), plain.begin() + long(size))) << size;
    }
}

TEST(NodeDatabaseTest, SignatureFoldsOffsetAndId) {
    EXPECT_EQ(ComputeSig(0x4200, 0x17F), 0x437F);
    EXPECT_EQ(ComputeSig(0x12340000, 0), 0x1234);
}

class WrittenDatabaseTest : public ::testing::TestWithParam<PstFormat> {};

TEST_P(WrittenDatabaseTest, DataTreesOfEverySizeReadBack) {
    test::TempDir dir;
    std::string path = dir.File("t.pst");
    std::vector<std::pair<Nid, Bytes>> values;
    {
        auto db = NodeDatabase::Create(path, GetParam());
        std::mt19937 rng(5);
        // One block, an XBLOCK, an XBLOCK beyond 64 blocks, and (Unicode) an XXBLOCK.
        const std::size_t xx = GetParam() == PstFormat::Unicode ? 1022 * 8176 + 5 : 2044 * 8180 + 5;
        std::vector<std::size_t> sizes = {0, 1, 8176, 8181, 65 * 8180, xx};
        Nid nid = MakeNid(kNidTypeInternal, 0x500);
        for (std::size_t size : sizes) {
            Bytes data(size);
            for (auto& b : data) b = std::uint8_t(rng());
            db->PutNode(NbtEntry{nid, db->WriteData(data), 0, 0});
            values.emplace_back(nid, std::move(data));
            nid += 32;
        }
        SubnodeMap subs;
        for (Nid s = 1; s <= 700; ++s) subs[MakeNid(kNidTypeLtp, s)] = SubnodeEntry{MakeNid(kNidTypeLtp, s), db->WriteData(Bytes(s % 50, 1)), 0};
        db->PutNode(NbtEntry{nid, db->WriteData(Bytes{9}), db->WriteSubnodes(subs), 0});
        db->Commit();
    }
    auto db = NodeDatabase::Open(path, false);
    for (const auto& [nid, data] : values) {
        const std::optional<NbtEntry> e = db->FindNode(nid);
        ASSERT_TRUE(e.has_value());
        EXPECT_EQ(db->ReadData(e->bidData), data) << "size " << data.size();
    }
    const std::optional<NbtEntry> last = db->FindNode(values.back().first + 32);
    ASSERT_TRUE(last.has_value());
    SubnodeMap subs = db->ReadSubnodes(last->bidSub);
    ASSERT_EQ(subs.size(), 700u);
    EXPECT_EQ(db->ReadData(subs.at(MakeNid(kNidTypeLtp, 49)).bidData), Bytes(49, 1));
}

TEST_P(WrittenDatabaseTest, BTreesGrowShrinkAndReload) {
    test::TempDir dir;
    std::string path = dir.File("t.pst");
    std::map<Nid, NbtEntry> expected;
    {
        auto db = NodeDatabase::Create(path, GetParam());
        std::mt19937 rng(11);
        for (int round = 0; round < 5; ++round) {
            for (int i = 0; i < 1500; ++i) {
                Nid nid = MakeNid(kNidTypeNormalMessage, 0x1000 + rng() % 20000);
                NbtEntry e{nid, 0, 0, Nid(round)};
                db->PutNode(e);
                expected[nid] = e;
            }
            for (int i = 0; i < 300 && !expected.empty(); ++i) {
                auto it = expected.begin();
                std::advance(it, long(rng() % expected.size()));
                db->RemoveNode(it->first);
                expected.erase(it);
            }
            db->Commit();
        }
    }
    auto db = NodeDatabase::Open(path, true);
    std::vector<Nid> seen;
    db->nbt().ForEach([&](const NbtEntry& e) {
        seen.push_back(e.nid);
        EXPECT_EQ(e.nidParent, expected.at(e.nid).nidParent);
    });
    EXPECT_EQ(seen.size(), expected.size());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_GT(db->nbt().root().level, 1);
}

// Space a commit frees is still used by the header before it, which is what
// a power loss leaves until the commit's own header is durable: reusing it
// sooner could overwrite the only state the disk holds.
TEST_P(WrittenDatabaseTest, ReleasedSpaceIsReusedOnlyOnceTheHeaderThatFreedItIsDurable) {
    for (const bool behind : {false, true}) {
        SCOPED_TRACE(behind ? "header written behind" : "header written in the commit");
        test::TempDir dir;
        auto db = NodeDatabase::Create(dir.File("t.pst"), GetParam());
        db->SetSyncOnCommit(true, behind);
        const auto write = [&](std::uint8_t fill) {
            Bid bid = db->WriteData(Bytes(4000, fill));
            db->PutNode(NbtEntry{0x40, bid, 0, 0});
            return db->FindBlock(bid)->ib;
        };
        const std::uint64_t first = write(1);
        db->Commit();
        db->MakeDurable();
        db->ReleaseTree(db->FindNode(0x40)->bidData);
        EXPECT_NE(write(2), first) << "space of the committed state was reused before the commit";
        db->Commit();
        const std::uint64_t headerThatFreedIt = db->headersMade();
        EXPECT_LT(db->headersDurable(), headerThatFreedIt);
        EXPECT_NE(db->FindBlock(db->WriteData(Bytes(4000, 3)))->ib, first)
            << "space reused while the header before the commit that freed it may be all the disk holds";
        db->MakeDurable();
        EXPECT_EQ(db->headersDurable(), db->headersMade());
        EXPECT_EQ(db->FindBlock(db->WriteData(Bytes(4000, 4)))->ib, first);
    }
}

// Written behind, a commit's sync and header go on a second thread; the
// counts catch up when they are collected, never before, and a failure
// there reaches the caller at the next commit.
TEST_P(WrittenDatabaseTest, HeadersWrittenBehindAreCountedWhenDoneAndTheirFailureSurfaces) {
    test::TempDir dir;
    const std::string path = dir.File("t.pst");
    {
        auto db = NodeDatabase::Create(path, GetParam());
        db->SetSyncOnCommit(true, true);
        for (std::uint8_t round = 1; round <= 3; ++round) {
            db->PutNode(NbtEntry{MakeNid(kNidTypeInternal, 0x500 + round), db->WriteData(Bytes(100, round)), 0, 0});
            db->Commit();
            EXPECT_EQ(db->headersMade(), round);
            EXPECT_GE(db->headersWritten(), round - 1u) << "a commit first waits for the header before it";
            EXPECT_LE(db->headersWritten(), db->headersMade());
            EXPECT_LT(db->headersDurable(), db->headersMade());
        }
        db->MakeDurable();
        EXPECT_EQ(db->headersWritten(), 3u);
        EXPECT_EQ(db->headersDurable(), 3u);

        SetPstFaultForTest(PstFaultOp::Sync, 1, EIO);
        db->PutNode(NbtEntry{MakeNid(kNidTypeInternal, 0x600), db->WriteData(Bytes(100, 9)), 0, 0});
        EXPECT_NO_THROW(db->Commit()) << "the sync fails on the second thread";
        db->PutNode(NbtEntry{MakeNid(kNidTypeInternal, 0x601), db->WriteData(Bytes(100, 9)), 0, 0});
        EXPECT_THROW(db->Commit(), PstError);
        EXPECT_EQ(db->headersWritten(), 3u);
        EXPECT_EQ(db->headersDurable(), 3u);
        ClearPstFaultForTest();
    }
    auto db = NodeDatabase::Open(path, false);
    EXPECT_TRUE(db->FindNode(MakeNid(kNidTypeInternal, 0x503)).has_value());
    EXPECT_FALSE(db->FindNode(MakeNid(kNidTypeInternal, 0x600)).has_value())
        << "a header whose data never reached the disk was written";
}

INSTANTIATE_TEST_SUITE_P(Formats, WrittenDatabaseTest, ::testing::Values(PstFormat::Unicode, PstFormat::Ansi));

}  // namespace
}  // namespace qb::pst

namespace qb::pst {
namespace {

// Damaged files must give errors, never crashes or hangs.
TEST(DamagedFileTest, RandomCorruptionIsReportedNotFatal) {
    test::TempDir dir;
    std::string path = dir.File("s.pst");
    {
        auto store = PstStore::Create(path, PstFormat::Unicode, "S");
        Nid f = store->CreateFolder(store->IpmSubtree(), "A");
        for (int i = 0; i < 6; ++i) {
            auto m = store->CreateMessage(f);
            m->SetProperty(0x0037001F, PropValue::Unicode("subject " + std::to_string(i)));
            m->SetProperty(0x1000001F, PropValue::Unicode(std::string(std::size_t(i) * 3000, 'x')));
            m->AddRecipient({{0x3001, PropValue::Unicode("r")}});
            m->AddAttachment().Write(Bytes(std::size_t(i) * 5000, 1));
            m->Save();
        }
        store->Close();
    }
    const std::string original = test::ReadFile(path);
    std::mt19937 rng(3);
    std::size_t detected = 0;
    for (int round = 0; round < 80; ++round) {
        std::string bytes = original;
        for (int k = 0; k < 4; ++k) bytes[0x4400 + rng() % (bytes.size() - 0x4400)] ^= char(1 + rng() % 255);
        std::string damaged = dir.Write("d.pst", bytes);
        CheckReport report;
        EXPECT_NO_THROW(report = CheckPstFile(damaged));
        detected += !report.ok();
    }
    EXPECT_GT(detected, 5u);
}

}  // namespace
}  // namespace qb::pst
