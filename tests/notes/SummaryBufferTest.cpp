// The index's packed summary items: every item comes back as it was added
// (names interned or kept inline, value lengths of one to three bytes,
// empty values), in order, and found by name with case ignored.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "NotesTestSupport.h"
#include "notes/api/NoteData.h"

namespace qb::notes {
namespace {

using test::TestItem;

struct Seen {
    std::string name;
    LNITEMTYPE type;
    LNITEMFLAGS flags;
    std::string value;
    bool operator==(const Seen&) const = default;
};

std::vector<Seen> All(const SummaryBuffer& summary) {
    std::vector<Seen> seen;
    summary.ForEach([&](std::string_view name, LNITEMTYPE type, LNITEMFLAGS flags, std::string_view value) {
        seen.push_back(Seen{std::string(name), type, flags, std::string(value)});
        return true;
    });
    return seen;
}

TEST(SummaryBufferTest, ItemsComeBackAsAddedWhateverTheirSizes) {
    const std::string longName(300, 'N');  // beyond what the name table takes
    std::vector<ItemData> items = {
        TestItem("Subject", TYPE_TEXT, "Hello"),
        TestItem("", TYPE_TEXT, ""),
        TestItem("Empty", TYPE_TEXT_LIST, "", 0),
        TestItem(longName, TYPE_NUMBER, std::string(8, '\x01')),
        TestItem("Short", TYPE_TEXT, std::string(127, 'a')),
        TestItem("TwoBytes", TYPE_TEXT, std::string(128, 'b')),
        TestItem("ThreeBytes", TYPE_TEXT, std::string(16384, 'c'), LNITEMFLAGS_SUMMARY | LNITEMFLAGS_NAMES),
        TestItem("subject", TYPE_TIME, std::string("\0\x02", 2)),
    };
    SummaryBuffer summary;
    for (const ItemData& item : items) summary.Add(item);
    summary.ShrinkToFit();
    std::vector<Seen> expected;
    for (const ItemData& item : items) expected.push_back(Seen{item.name, item.type, item.flags, item.value});
    EXPECT_EQ(All(summary), expected);

    ItemData found;
    ASSERT_TRUE(summary.Find("SUBJECT", &found));  // the first of the name
    EXPECT_EQ(found.value, "Hello");
    ASSERT_TRUE(summary.Find(std::string(300, 'n'), &found));
    EXPECT_EQ(found.type, TYPE_NUMBER);
    ASSERT_TRUE(summary.Find("threebytes", &found));
    EXPECT_EQ(found.value.size(), 16384u);
    EXPECT_FALSE(summary.Find("Missing", &found));
}

TEST(SummaryBufferTest, RecurringNamesCostTheirNumberOnly) {
    SummaryBuffer first;
    first.Add(TestItem("A rather long recurring item name", TYPE_TEXT, "x"));
    // Number, type, flags, one length byte, the value.
    EXPECT_EQ(first.Size(), 2u + 2u + 2u + 1u + 1u);
}

TEST(SummaryBufferTest, NameTableIsBounded) {
    // More distinct names than the table holds: the later ones stay inline
    // and still read back.
    SummaryBuffer summary;
    const std::size_t count = ItemNameTable::kMaxInterned + 10;
    for (std::size_t i = 0; i < count; ++i) summary.Add(TestItem("Bounded" + std::to_string(i), TYPE_TEXT, "v"));
    std::size_t index = 0;
    summary.ForEach([&](std::string_view name, LNITEMTYPE, LNITEMFLAGS, std::string_view value) {
        EXPECT_EQ(name, "Bounded" + std::to_string(index));
        EXPECT_EQ(value, "v");
        ++index;
        return true;
    });
    EXPECT_EQ(index, count);
    EXPECT_EQ(ItemNameTable::Intern("Bounded" + std::to_string(count + 1)), ItemNameTable::kNotInterned);
}

}  // namespace
}  // namespace qb::notes
