// Files made to hurt the reader, each one what the fuzzer (fuzz_pst) found,
// remade here from a store the engine writes, with the right checksums: the
// reader and the checker must end in a clear error, never a crash, a hang or
// an allocation the size of a lie.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "outlook/pst/Checksum.h"
#include "outlook/pst/Header.h"
#include "outlook/pst/Heap.h"
#include "outlook/pst/NodeDatabase.h"
#include "outlook/pst/PstChecker.h"
#include "outlook/pst/PstStore.h"
#include "outlook/pst/PstTags.h"
#include "support/TempDir.h"

namespace qb::pst {
namespace {

class HostileFileTest : public ::testing::TestWithParam<PstFormat> {
protected:
    static constexpr std::uint32_t kReshapedItemTag = 0x66000102;  // a 24-byte heap item to reshape

    // A store with one message holding an attachment and an embedded message.
    void SetUp() override {
        auto store = PstStore::Create(path_, GetParam(), "Hostile");
        auto m = store->CreateMessage(store->IpmSubtree());
        m->SetProperty(tags::kSubject, PropValue::Unicode("outer"));
        m->SetProperty(kReshapedItemTag, PropValue::Binary(Bytes(24, 7)));
        m->AddAttachment().Write(Bytes{1, 2, 3});
        m->AddAttachment().EmbeddedMessage().SetProperty(tags::kSubject, PropValue::Unicode("inner"));
        message_ = m->Save();
        store->Close();
        bytes_ = test::ReadFile(path_);
    }

    Header ReadHeader() const { return Header::Parse(Bytes(bytes_.begin(), bytes_.begin() + kHeaderReadSize)); }
    void WriteHeader(const Header& header) {
        const Bytes raw = header.Serialize();
        bytes_.replace(0, raw.size(), std::string(raw.begin(), raw.end()));
        dir_.Write("store.pst", bytes_);
    }

    // The stored bytes of block `bid` in `bytes_` and their count.
    std::uint8_t* Block(Bid bid, std::size_t* size) {
        auto db = NodeDatabase::Open(path_, false);
        const std::optional<BbtEntry> block = db->FindBlock(bid);
        if (!block) throw PstError("no block " + HexId(bid));
        *size = block->cb;
        return reinterpret_cast<std::uint8_t*>(bytes_.data() + block->ib);
    }
    // Redoes the CRC of a block changed in `bytes_` and writes the file.
    void Rewrite(std::uint8_t* data, std::size_t size) {
        const FormatTraits& traits = FormatTraits::Of(GetParam());
        std::uint8_t* trailer = data + AlignUp(size + traits.blockTrailer, 64) - traits.blockTrailer;
        Put32(trailer + (traits.unicode ? 4 : 8), Crc32(data, size));
        dir_.Write("store.pst", bytes_);
    }

    // Rewrites entry `nid` of the subnode list block `bid` (an SLBLOCK, which
    // is stored unencoded) to name other blocks.
    void RetargetSubnode(Bid bid, Nid nid, Bid bidData, Bid bidSub) {
        const FormatTraits& traits = FormatTraits::Of(GetParam());
        std::size_t size = 0;
        std::uint8_t* data = Block(bid, &size);
        const std::size_t id = traits.idSize;
        ASSERT_EQ(data[0], 2);  // a subnode block
        ASSERT_EQ(data[1], 0);  // of entries, not of further blocks
        bool found = false;
        for (std::size_t i = 0; i < Get16(data + 2); ++i) {
            std::uint8_t* entry = data + traits.sxHeader + i * traits.slEntry;
            if (GetId(entry, id) != nid) continue;
            PutId(entry + id, id, bidData);
            PutId(entry + 2 * id, id, bidSub);
            found = true;
        }
        ASSERT_TRUE(found);
        Rewrite(data, size);
    }

    test::TempDir dir_;
    std::string path_ = dir_.File("store.pst");
    std::string bytes_;
    Nid message_ = 0;
};

// The checker sized its allocation-map table by the header's end of file,
// which is input: 2^50 asked for 2 TB, and an end before the first map
// wrapped round to even more.
TEST_P(HostileFileTest, CheckerReadsMapsOnlyAsFarAsTheFileGoes) {
    for (std::uint64_t eof : {std::uint64_t(1) << 50, std::uint64_t(0x200)}) {
        Header header = ReadHeader();
        header.ibFileEof = eof;
        WriteHeader(header);
        CheckReport report;
        ASSERT_NO_THROW(report = CheckPstFile(path_));
        EXPECT_FALSE(report.ok());
    }
}

// An attachment whose embedded message is the message holding it: reading
// recursed until the stack ran out.
TEST_P(HostileFileTest, MessageEmbeddedInItselfIsAnErrorNotARecursionWithoutEnd) {
    Bid messageData = 0, messageSub = 0, attachmentSub = 0;
    Nid attachment = 0, embedded = 0;
    {
        auto store = PstStore::Open(path_, false);
        MessageData m = store->ReadMessage(message_);
        ASSERT_EQ(m.attachments.size(), 2u);
        ASSERT_TRUE(m.attachments[1].embedded);
        attachment = m.attachments[1].nid;
        embedded = m.attachments[1].embedded->nid;
        auto db = NodeDatabase::Open(path_, false);
        const std::optional<NbtEntry> node = db->FindNode(message_);
        ASSERT_TRUE(node.has_value());
        messageData = node->bidData;
        messageSub = node->bidSub;
        attachmentSub = db->ReadSubnodes(messageSub).at(attachment).bidSub;
    }
    RetargetSubnode(attachmentSub, embedded, messageData, messageSub);
    auto store = PstStore::Open(path_, false);
    try {
        store->ReadMessage(message_);
        ADD_FAILURE() << "a message embedded in itself was read";
    } catch (const PstError& e) {
        EXPECT_NE(std::string(e.what()).find("nested more than"), std::string::npos) << e.what();
    }
    CheckReport report;
    ASSERT_NO_THROW(report = CheckPstFile(path_));
    EXPECT_FALSE(report.ok());
}

// A BTree-on-heap whose index records name their own node, under 60 levels:
// 24 bytes are four index records and three whole leaf records, so the walk
// visited the node 4^60 times.
TEST_P(HostileFileTest, HeapTreeNodeReachedTwiceIsAnError) {
    Bid bid = 0;
    std::uint8_t crypt = 0;
    {
        auto db = NodeDatabase::Open(path_, false);
        bid = db->FindNode(message_)->bidData;
        crypt = db->header().cryptMethod;
    }
    ASSERT_EQ(bid & 2, 0u) << "the message's properties fit one block";
    std::size_t size = 0;
    std::uint8_t* data = Block(bid, &size);
    DecodeData(crypt, bid, data, size);
    // The heap page map: allocation k (from 1; its HID is k << 5) runs from
    // at(k - 1) to at(k).
    const std::uint8_t* map = data + Get16(data);
    auto at = [&](std::size_t index) { return data + Get16(map + 4 + 2 * index); };
    const std::size_t count = Get16(map);
    std::uint8_t* header = at((Get32(data + 4) >> 5) - 1);
    ASSERT_EQ(header[0], 0xB5);  // the property context's BTree-on-heap
    std::size_t node = 0;
    for (std::size_t i = 1; i <= count; ++i)
        if (at(i) - at(i - 1) == 24 && std::all_of(at(i - 1), at(i), [](std::uint8_t b) { return b == 7; })) node = i;
    ASSERT_NE(node, 0u);
    const Hid self = Hid(node << 5);
    header[3] = 60;  // index levels
    Put32(header + 4, self);
    for (std::uint8_t* record = at(node - 1); record < at(node); record += 6) {  // key (2) and child (4)
        Put16(record, 0);
        Put32(record + 2, self);
    }
    EncodeData(crypt, bid, data, size);
    Rewrite(data, size);
    auto store = PstStore::Open(path_, false);
    try {
        store->ReadMessage(message_);
        ADD_FAILURE() << "a looping BTree-on-heap was read";
    } catch (const PstError& e) {
        EXPECT_NE(std::string(e.what()).find("reached twice"), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, HostileFileTest, ::testing::Values(PstFormat::Unicode, PstFormat::Ansi));

}  // namespace
}  // namespace qb::pst
