// Damage that the independent readers trip over must be an error of our
// checker too. Each case takes a small valid store, mutates one structure
// (fixing the CRCs that would otherwise give the damage away), and expects
// pst-check's checker to report it and, where the readers are installed,
// readpst or pffexport to fail or read fewer messages than the store holds.

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "PstReaders.h"
#include "outlook/pst/Checksum.h"
#include "outlook/pst/PstChecker.h"
#include "outlook/pst/PstStore.h"
#include "outlook/pst/PstTags.h"
#include "support/TempDir.h"

namespace qb::pst {
namespace {

constexpr std::size_t kMessages = 30;

void WriteSmallStore(const std::string& path) {
    auto store = PstStore::Create(path, PstFormat::Unicode, "Mutations");
    Nid inbox = store->CreateFolder(store->IpmSubtree(), "Inbox");
    for (std::size_t i = 0; i < kMessages; ++i) {
        auto m = store->CreateMessage(inbox);
        m->SetProperty(tags::kSubject, PropValue::Unicode("message " + std::to_string(i)));
        m->SetProperty(0x1000001F, PropValue::Unicode("body " + std::to_string(i)));
        m->Save();
    }
    store->Close();
}

Bytes ReadAt(const std::string& path, std::uint64_t offset, std::size_t size) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(std::streamoff(offset));
    Bytes bytes(size);
    in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(size));
    return bytes;
}

void WriteAt(const std::string& path, std::uint64_t offset, const Bytes& bytes) {
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(std::streamoff(offset));
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

struct Layout {
    Header header;
    Bref nbtRoot;
};

Layout ReadLayout(const std::string& path) {
    auto db = NodeDatabase::Open(path, false);
    return Layout{db->header(), db->header().nbt};
}

// The NBT leaf holding a node, and the node's entry there.
std::pair<Bref, std::size_t> NodeEntry(const std::string& path, Nid nid) {
    auto db = NodeDatabase::Open(path, false);
    std::pair<Bref, std::size_t> found{};
    db->nbt().ForEachPage([&](const NodeBTree::Page& page) {
        for (std::size_t i = 0; i < page.entries.size(); ++i)
            if (page.entries[i].nid == nid) found = {page.bref, i};
    });
    return found;
}

// Changes a B-tree page and seals it again (CRC and signature kept valid).
void MutatePage(const std::string& path, const Bref& page, const std::function<void(std::uint8_t*)>& change) {
    Bytes raw = ReadAt(path, page.ib, kPageSize);
    change(raw.data());
    const FormatTraits& traits = FormatTraits::Of(PstFormat::Unicode);
    SealPage(raw.data(), traits, kPageNbt, Get16(&raw[496 + 2]), PageBid(raw.data(), traits));
    WriteAt(path, page.ib, raw);
}

// Changes the header and writes it with fresh CRCs.
void MutateHeader(const std::string& path, const std::function<void(Header&)>& change) {
    Header header = Header::Parse(ReadAt(path, 0, kHeaderReadSize));
    change(header);
    WriteAt(path, 0, header.Serialize());
}

class CheckerMutationTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteSmallStore(original_);
        CheckReport report = CheckPstFile(original_);
        ASSERT_TRUE(report.ok()) << report.errors.front();
        std::filesystem::copy_file(original_, mutated_);
        layout_ = ReadLayout(original_);
    }

    // The checker reports the damage; the readers that are installed misread it.
    void ExpectCaught(const std::string& what, const std::string& expectedError) {
        CheckReport report = CheckPstFile(mutated_);
        ASSERT_FALSE(report.ok()) << what << ": the checker passes the damaged file";
        bool named = false;
        for (const auto& e : report.errors) named |= e.find(expectedError) != std::string::npos;
        EXPECT_TRUE(named) << what << ": " << report.errors.front();
        if (!test::ProgramAvailable("readpst") || !test::ProgramAvailable("pffexport")) return;
        const auto readpst = test::ReadpstMessageCount(mutated_, dir_.File("readpst"));
        const auto pff = test::PffexportMessageCount(mutated_, dir_.File("pff"));
        const bool readpstMisreads = !readpst || *readpst < kMessages;
        const bool pffMisreads = !pff || *pff < kMessages;
        EXPECT_TRUE(readpstMisreads || pffMisreads)
            << what << ": both readers read every message (readpst " << readpst.value_or(0) << ", pffexport "
            << pff.value_or(0) << ")";
    }

    test::TempDir dir_;
    std::string original_ = dir_.File("original.pst");
    std::string mutated_ = dir_.File("mutated.pst");
    Layout layout_;
};

TEST_F(CheckerMutationTest, ReadersReadTheOriginalWhole) {
    if (!test::ProgramAvailable("readpst") || !test::ProgramAvailable("pffexport")) GTEST_SKIP() << "no readers";
    EXPECT_EQ(test::ReadpstMessageCount(original_, dir_.File("readpst")), kMessages);
    EXPECT_EQ(test::PffexportMessageCount(original_, dir_.File("pff")), kMessages);
}

TEST_F(CheckerMutationTest, ZeroedRootNodeBTreeReference) {
    MutateHeader(mutated_, [](Header& h) { h.nbt = Bref{}; });
    ExpectCaught("zeroed NBT root reference", "B-tree page reference");
}

TEST_F(CheckerMutationTest, RootNodeBTreeReferenceWithoutItsId) {
    MutateHeader(mutated_, [](Header& h) { h.nbt.bid = 0; });
    ExpectCaught("NBT root reference with a zero id", "B-tree page reference");
}

TEST_F(CheckerMutationTest, ZeroedRootBlockBTreeReference) {
    MutateHeader(mutated_, [](Header& h) { h.bbt = Bref{}; });
    ExpectCaught("zeroed BBT root reference", "B-tree page reference");
}

TEST_F(CheckerMutationTest, MaximumEntryCountOfAPageThatIsNotWhatFits) {
    const std::size_t area = FormatTraits::Of(PstFormat::Unicode).btEntryArea;
    for (std::uint8_t cEntMax : {0, 1, 255}) {
        std::filesystem::copy_file(original_, mutated_, std::filesystem::copy_options::overwrite_existing);
        MutatePage(mutated_, layout_.nbtRoot, [&](std::uint8_t* page) { page[area + 1] = cEntMax; });
        ExpectCaught("cEntMax " + std::to_string(cEntMax), "says it holds at most");
    }
}

// The checker reports every such key; the readers misread some of them.
TEST_F(CheckerMutationTest, NodeKeysWithHighBitsSet) {
    Nid mailRoot, message;
    {
        auto store = PstStore::Open(original_, false);
        mailRoot = store->IpmSubtree();
        message = store->Messages(store->FindSubfolder(mailRoot, "Inbox")).front();
    }
    std::size_t misread = 0;
    for (Nid nid : {kNidMessageStore, kNidNameToIdMap, kNidRootFolder, mailRoot, message}) {
        std::filesystem::copy_file(original_, mutated_, std::filesystem::copy_options::overwrite_existing);
        const auto [leaf, at] = NodeEntry(mutated_, nid);
        ASSERT_NE(leaf.ib, 0u) << HexId(nid);
        MutatePage(mutated_, leaf, [&](std::uint8_t* page) {
            const std::size_t area = FormatTraits::Of(PstFormat::Unicode).btEntryArea;
            Put32(page + at * page[area + 2] + 4, 1);  // bit 32 of the key
        });
        CheckReport report = CheckPstFile(mutated_);
        ASSERT_FALSE(report.ok()) << HexId(nid) << ": the checker passes the damaged file";
        EXPECT_NE(report.errors.front().find("wider than 32 bits"), std::string::npos) << report.errors.front();
        if (!test::ProgramAvailable("readpst") || !test::ProgramAvailable("pffexport")) continue;
        const auto readpst = test::ReadpstMessageCount(mutated_, dir_.File("readpst"));
        const auto pff = test::PffexportMessageCount(mutated_, dir_.File("pff"));
        if (!readpst || *readpst < kMessages || !pff || *pff < kMessages) ++misread;
    }
    if (test::ProgramAvailable("readpst") && test::ProgramAvailable("pffexport")) {
        EXPECT_GT(misread, 0u) << "neither reader minds a wide node key";
    }
}

}  // namespace
}  // namespace qb::pst
