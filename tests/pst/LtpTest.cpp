// Heap-on-node, BTree-on-heap, property and table contexts: written by the
// engine, read back, and read from the mail client's files.

#include <gtest/gtest.h>

#include "outlook/pst/PropertyContext.h"
#include "outlook/pst/TableAppender.h"
#include "support/TempDir.h"

namespace qb::pst {
namespace {

std::vector<std::uint16_t> Units(const Bytes& utf16) {
    std::vector<std::uint16_t> units;
    for (std::size_t i = 0; i + 1 < utf16.size(); i += 2) units.push_back(Get16(&utf16[i]));
    return units;
}

// ASCII runs take a faster path than the rest; both must give the same units,
// and malformed input one U+FFFD per bad byte, a truncated end included.
TEST(StringConversionTest, Utf8BecomesUtf16AndWindows1252) {
    EXPECT_EQ(Units(Utf8ToUtf16("abcdefgh\xC3\xA9" "12345678\xF0\x9F\x98\x80z")),
              (std::vector<std::uint16_t>{'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0xE9, '1', '2', '3', '4', '5', '6',
                                          '7', '8', 0xD83D, 0xDE00, 'z'}));
    EXPECT_EQ(Units(Utf8ToUtf16("ab\xC3(\xFFxyz")), (std::vector<std::uint16_t>{'a', 'b', 0xFFFD, '(', 0xFFFD, 'x', 'y', 'z'}));
    EXPECT_EQ(Units(Utf8ToUtf16("abcdefghijk\xE2\x82")),
              (std::vector<std::uint16_t>{'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 0xFFFD, 0xFFFD}));
    EXPECT_TRUE(Utf8ToUtf16("").empty());
    EXPECT_EQ(Utf8ToCp1252("\xE2\x82\xAC\xC3\xBC\xF0\x9F\x98\x80!"), (Bytes{0x80, 0xFC, '?', '!'}));
}

TEST(HeapTest, AllocationsSpanPagesAndReadBack) {
    HeapBuilder builder(kHeapClientPc, 8176);
    std::vector<std::pair<Hid, Bytes>> items;
    for (int i = 0; i < 400; ++i) {
        Bytes b(std::size_t(1 + (i * 37) % 3000), std::uint8_t(i));
        items.emplace_back(builder.Allocate(b), b);
    }
    builder.SetUserRoot(items[5].first);
    auto pages = builder.Build();
    EXPECT_GT(pages.size(), 8u);  // reaches a bitmap page header
    for (const Bytes& p : pages) EXPECT_LE(p.size(), 8176u);
    HeapReader reader(pages);
    EXPECT_EQ(reader.userRoot(), items[5].first);
    for (const auto& [hid, bytes] : items) {
        auto span = reader.Get(hid);
        EXPECT_EQ(Bytes(span.begin(), span.end()), bytes);
    }
}

TEST(HeapTest, BthOfManyRecordsHasIndexLevels) {
    HeapBuilder builder(kHeapClientTc, 8176);
    std::vector<BthRecord> records;
    for (std::uint32_t i = 0; i < 5000; ++i) {
        BthRecord r{Bytes(4), Bytes(4)};
        Put32(r.key.data(), i * 3);
        Put32(r.data.data(), i);
        records.push_back(r);
    }
    Hid header = BuildBth(builder, 4, 4, records);
    HeapReader reader(builder.Build());
    auto raw = reader.Get(header);
    EXPECT_GE(raw[3], 1);  // index levels
    auto back = ReadBth(reader, header);
    ASSERT_EQ(back.size(), records.size());
    EXPECT_EQ(back[4321].key, records[4321].key);
    EXPECT_EQ(back[4321].data, records[4321].data);
}

Properties EveryType() {
    Properties p;
    p[0x6001] = PropValue::Short(-7);
    p[0x6002] = PropValue::Long(123456);
    p[0x6003] = PropValue::Float(1.5f);
    p[0x6004] = PropValue::Double(3.25);
    p[0x6005] = PropValue::Currency(99999);
    p[0x6006] = PropValue::AppTime(40000.5);
    p[0x6007] = PropValue::Error(0x8004010F);
    p[0x6008] = PropValue::Boolean(true);
    p[0x6009] = PropValue::I8(-5000000000ll);
    p[0x600A] = PropValue::Unicode("Grüße ✓ 𝄞");
    p[0x600B] = PropValue::String8("plain");
    p[0x600C] = PropValue::SysTime(128800000000000000ull);
    p[0x600D] = PropValue::Clsid(Bytes(16, 0x42));
    p[0x600E] = PropValue::Binary(Bytes{0, 1, 2});
    p[0x600F] = PropValue::MvShort({1, -2});
    p[0x6010] = PropValue::MvLong({1, 2, 3});
    p[0x6011] = PropValue::MvDouble({0.5, 1e300});
    p[0x6012] = PropValue::MvI8({1ll << 40});
    p[0x6013] = PropValue::MvSysTime({1, 2});
    p[0x6014] = PropValue::MvClsid({Bytes(16, 1), Bytes(16, 2)});
    p[0x6015] = PropValue::MvUnicode({"a", "", "ünï"});
    p[0x6016] = PropValue::MvString8({"x", "y"});
    p[0x6017] = PropValue::MvBinary({Bytes{}, Bytes(5000, 7)});
    p[0x6018] = PropValue::Unicode("");
    p[0x6019] = PropValue::Binary(Bytes(3580, 3));   // largest heap value
    p[0x601A] = PropValue::Binary(Bytes(3581, 4));   // smallest subnode value
    p[0x601B] = PropValue::Binary(Bytes(70 * 8176 + 11, 5));  // data tree beyond 64 blocks
    return p;
}

TEST(PropertyContextTest, EveryTypeAndSizeRoundTrips) {
    for (PstFormat format : {PstFormat::Unicode, PstFormat::Ansi}) {
        test::TempDir dir;
        auto db = NodeDatabase::Create(dir.File("t.pst"), format);
        SubnodeMap subs;
        std::uint32_t next = 0;
        LtpContext ctx{*db, subs, [&next] { return MakeNid(kNidTypeLtp, ++next); }};
        Properties props = EveryType();
        Bid bid = WritePropertyContext(ctx, props);
        EXPECT_EQ(subs.size(), 3u);  // 5000-byte MV binary, 3581 bytes, the data tree
        Bid sub = db->WriteSubnodes(subs);
        Properties back = ReadPropertyContext(*db, bid, db->ReadSubnodes(sub));
        ASSERT_EQ(back.size(), props.size());
        for (const auto& [id, v] : props) EXPECT_EQ(back.at(id), v) << std::hex << id;
        EXPECT_EQ(back.at(0x600A).AsString(), "Grüße ✓ 𝄞");
        EXPECT_EQ(back.at(0x6015).AsStrings(), (std::vector<std::string>{"a", "", "ünï"}));
        EXPECT_DOUBLE_EQ(back.at(0x6004).AsDouble(), 3.25);
    }
}

TEST(PropertyContextTest, PackedPropertiesRoundTrip) {
    Properties props = EveryType();
    EXPECT_EQ(UnpackProperties(PackProperties(props)), props);
}

TEST(TableContextTest, RowsOfEveryWidthRoundTripInHeapAndSubnode) {
    for (std::size_t count : {std::size_t(0), std::size_t(3), std::size_t(2000)}) {
        test::TempDir dir;
        auto db = NodeDatabase::Create(dir.File("t.pst"), PstFormat::Unicode);
        auto columns = LayoutColumns({0x0037001F, 0x0E080003, 0x0E060040, 0x0057000B, 0x00170002, 0x00710102, 0x8001101F});
        std::vector<TableRow> rows;
        for (std::size_t i = 0; i < count; ++i) {
            TableRow r;
            r.rowId = std::uint32_t(0x200004 + 32 * (count - i));  // ids not in row order
            r.values[0x0037] = PropValue::Unicode("Subject " + std::to_string(i));
            r.values[0x0E08] = PropValue::Long(std::int32_t(i));
            r.values[0x0E06] = PropValue::SysTime(i * 1000);
            r.values[0x0057] = PropValue::Boolean(i % 2);
            if (i % 3) r.values[0x0017] = PropValue::Short(std::int16_t(i));
            r.values[0x0071] = PropValue::Binary(Bytes(i % 5000, 1));
            r.values[0x8001] = PropValue::MvUnicode({"k", std::to_string(i)});
            rows.push_back(r);
        }
        SubnodeMap subs;
        std::uint32_t next = 1;
        LtpContext ctx{*db, subs, [&next] { return MakeNid(kNidTypeLtp, ++next); }};
        BlockCache heap, matrix;
        Bid bid = WriteTableContext(ctx, columns, rows, &heap, &matrix);
        TableData back = ReadTableContext(*db, bid, subs);
        ASSERT_EQ(back.rows.size(), count);
        for (std::size_t i = 0; i < count; ++i) {
            EXPECT_EQ(back.rows[i].rowId, rows[i].rowId);
            for (const auto& [id, v] : rows[i].values) EXPECT_EQ(back.rows[i].values.at(id), v) << i << " " << std::hex << id;
            EXPECT_EQ(back.rows[i].values.count(0x0017), i % 3 ? 1u : 0u);
        }
    }
}

// Rows given as properties and the same rows packed are one table, byte for
// byte: the heap pages and the row matrix (in the heap or in a subnode).
TEST(TableContextTest, RowsAndPackedRowsWriteTheSameTable) {
    for (std::size_t count : {std::size_t(3), std::size_t(700)}) {
        auto columns = LayoutColumns({0x0037001F, 0x0E080003, 0x0057000B, 0x00170002, 0x00710102, 0x8001101F});
        std::vector<TableRow> rows;
        std::vector<std::pair<std::uint32_t, Bytes>> packed;
        for (std::size_t i = 0; i < count; ++i) {
            TableRow r;
            r.rowId = std::uint32_t(0x200004 + 32 * (count - i));
            r.values[0x0037] = PropValue::Unicode("Subject " + std::to_string(i));
            if (i % 2) r.values[0x0E08] = PropValue::Long(std::int32_t(i));
            r.values[0x0057] = PropValue::Boolean(i % 3);
            r.values[0x0017] = i % 4 ? PropValue::Short(std::int16_t(i)) : PropValue::Long(7);  // a type the column lacks
            r.values[0x0071] = PropValue::Binary(Bytes(i % 9, std::uint8_t(i)));
            r.values[0x8001] = PropValue::MvUnicode({"k", std::to_string(i)});
            r.values[0x3001] = PropValue::Unicode("not a column");
            packed.emplace_back(r.rowId, PackProperties(r.values));
            rows.push_back(std::move(r));
        }
        std::vector<std::vector<Bytes>> written;
        for (int form = 0; form < 2; ++form) {
            test::TempDir dir;
            auto db = NodeDatabase::Create(dir.File("t.pst"), PstFormat::Unicode);
            SubnodeMap subs;
            std::uint32_t next = 1;
            LtpContext ctx{*db, subs, [&next] { return MakeNid(kNidTypeLtp, ++next); }};
            Bid bid = form == 0 ? WriteTableContext(ctx, columns, rows) : WriteTableContextPacked(ctx, columns, packed);
            std::vector<Bytes> blocks = db->ReadDataBlocks(bid);
            for (const auto& [nid, e] : subs)
                for (Bytes& b : db->ReadDataBlocks(e.bidData)) blocks.push_back(std::move(b));
            written.push_back(std::move(blocks));
        }
        EXPECT_EQ(written[0], written[1]) << count << " rows";
        EXPECT_GT(written[0].size(), count > 100 ? 1u : 0u);
    }
}

TEST(TableContextTest, GrowingTableRewritesOnlyItsTail) {
    test::TempDir dir;
    auto db = NodeDatabase::Create(dir.File("t.pst"), PstFormat::Unicode);
    auto columns = LayoutColumns({0x0E080003, 0x0E060040});
    std::vector<TableRow> rows;
    BlockCache heap, matrix;
    for (std::uint32_t i = 0; i < 3000; ++i) rows.push_back(TableRow{i, {{0x0E08, PropValue::Long(std::int32_t(i))}}});
    SubnodeMap subs;
    LtpContext ctx{*db, subs, [] { return MakeNid(kNidTypeLtp, 2); }};
    WriteTableContext(ctx, columns, rows, &heap, &matrix);
    std::vector<Bid> before = matrix.bids;
    ASSERT_GT(before.size(), 5u);
    rows.push_back(TableRow{3000, {{0x0E08, PropValue::Long(3000)}}});
    WriteTableContext(ctx, columns, rows, &heap, &matrix);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < before.size(); ++i) kept += before[i] == matrix.bids[i];
    EXPECT_GE(kept, before.size() - 1);
}

// Rows added to a table that grows in place read back in order with every
// value, in the heap or in subnodes, through one and two index levels of
// its row index, whenever it was flushed in between.
TEST(TableAppenderTest, RowsReadBackThroughEveryFlushAndIndexLevel) {
    for (PstFormat format : {PstFormat::Unicode, PstFormat::Ansi}) {
        for (std::size_t count : {std::size_t(0), std::size_t(3), std::size_t(300), std::size_t(20000)}) {
            test::TempDir dir;
            auto db = NodeDatabase::Create(dir.File("t.pst"), format);
            const std::uint16_t text = format == PstFormat::Unicode ? kPtUnicode : kPtString8;
            auto columns = LayoutColumns({MakeTag(0x0037, text), 0x0E080003, 0x0E060040, 0x0057000B, 0x00170002,
                                          0x00710102, kTagLtpRowVer});
            TableAppender table(*db, columns);
            const Nid nid = MakeNid(kNidTypeContentsTable, 0x400);
            auto valuesOf = [&](std::size_t i) {
                Properties v;
                v[0x0037] = format == PstFormat::Unicode ? PropValue::Unicode("Subject " + std::to_string(i))
                                                         : PropValue::String8("Subject " + std::to_string(i));
                v[0x0E08] = PropValue::Long(std::int32_t(i));
                v[0x0E06] = PropValue::SysTime(i * 1000);
                v[0x0057] = PropValue::Boolean(i % 2);
                if (i % 3) v[0x0017] = PropValue::Short(std::int16_t(i));
                v[0x0071] = PropValue::Binary(Bytes(i % 97 == 5 ? 5000 : i % 40, std::uint8_t(i)));
                v[0x67F3] = PropValue::Long(std::int32_t(i + 1));
                return v;
            };
            auto expectBack = [&](std::size_t rows) {
                table.Flush(nid);
                const std::optional<NbtEntry> e = db->FindNode(nid);
                ASSERT_TRUE(e.has_value());
                TableData back = ReadTableContext(*db, e->bidData, db->ReadSubnodes(e->bidSub));
                ASSERT_EQ(back.rows.size(), rows);
                for (std::size_t i = 0; i < rows; ++i) {
                    ASSERT_EQ(back.rows[i].rowId, 0x200004u + 32 * i);
                    for (const auto& [id, v] : valuesOf(i)) {
                        if (id == 0x0071 && v.data.empty()) continue;  // an empty binary is a cell without bytes
                        ASSERT_EQ(back.rows[i].values.at(id), v) << i << " " << std::hex << id;
                    }
                    EXPECT_EQ(back.rows[i].values.count(0x0017), i % 3 ? 1u : 0u);
                }
            };
            for (std::size_t i = 0; i < count; ++i) {
                table.Append(std::uint32_t(0x200004 + 32 * i), valuesOf(i));
                if (i == 2 || i == 150 || i == 16000) expectBack(i + 1);
            }
            expectBack(count);
            EXPECT_EQ(table.CanAppend(0x200004), count == 0);
        }
    }
}

// A flush after one more row writes about the same whether the table holds
// a thousand rows or twenty thousand: the tail, never the rows before.
TEST(TableAppenderTest, FlushWritesTheTailOnly) {
    test::TempDir dir;
    auto db = NodeDatabase::Create(dir.File("t.pst"), PstFormat::Unicode);
    TableAppender table(*db, LayoutColumns({0x0037001F, 0x0E080003}));
    const Nid nid = MakeNid(kNidTypeContentsTable, 0x400);
    std::vector<std::uint64_t> costs;
    for (std::uint32_t i = 0; i < 20000; ++i) {
        table.Append(2 * i + 2, {{0x0037, PropValue::Unicode("row " + std::to_string(i))}, {0x0E08, PropValue::Long(1)}});
        if (i == 999 || i == 19999) {
            table.Flush(nid);
            const std::uint64_t before = db->bytesWritten();
            table.Append(2 * i + 3, {{0x0037, PropValue::Unicode("one more")}});
            table.Flush(nid);
            costs.push_back(db->bytesWritten() - before);
        }
    }
    ASSERT_EQ(costs.size(), 2u);
    EXPECT_LT(costs[1], 48u * 1024);
    EXPECT_LE(costs[1], costs[0] + 16u * 1024);
}

TEST(TableContextTest, ReadsClientTables) {
    auto db = NodeDatabase::Open(test::TestDataDir() + "/pst/Empty.pst", false);
    const std::optional<NbtEntry> e = db->FindNode(0x12D);  // root folder's hierarchy table
    ASSERT_TRUE(e.has_value());
    TableData t = ReadTableContext(*db, e->bidData, db->ReadSubnodes(e->bidSub));
    ASSERT_EQ(t.rows.size(), 4u);
    std::set<std::string> names;
    for (const auto& r : t.rows) names.insert(r.values.at(0x3001).AsString());
    EXPECT_TRUE(names.count("Search Root"));
    EXPECT_TRUE(names.count("IPM_COMMON_VIEWS"));
}

}  // namespace
}  // namespace qb::pst
