// PropertyMap: the flat, id-ordered property set that messages, rows and
// folders keep. Its order and uniqueness are what the context and table
// writers rely on to lay records out as the format requires.

#include <gtest/gtest.h>

#include <vector>

#include "outlook/pst/PropertyContext.h"

namespace qb::pst {
namespace {

std::vector<std::uint16_t> Ids(const Properties& props) {
    std::vector<std::uint16_t> ids;
    for (const auto& [id, v] : props) ids.push_back(id);
    return ids;
}

TEST(PropertyMapTest, KeepsIdsUniqueAndInOrderWhateverTheInsertionOrder) {
    Properties props;
    for (std::uint16_t id : {0x3001, 0x0037, 0x8005, 0x0E07, 0x0037, 0x1000, 0xFFFF, 0x0000})
        props[id] = PropValue::Long(id);
    EXPECT_EQ(Ids(props), (std::vector<std::uint16_t>{0x0000, 0x0037, 0x0E07, 0x1000, 0x3001, 0x8005, 0xFFFF}));
    EXPECT_EQ(props.size(), 7u);
    EXPECT_EQ(props.at(0x8005).AsInt(), 0x8005);
    EXPECT_EQ(props.count(0x0037), 1u);
    EXPECT_EQ(props.count(0x0038), 0u);
    EXPECT_TRUE(props.find(0x0038) == props.end());
    EXPECT_THROW(props.at(0x0038), std::out_of_range);
}

TEST(PropertyMapTest, InsertKeepsAnExistingValueAndAssignmentReplacesIt) {
    Properties props;
    EXPECT_TRUE(props.insert({0x0037, PropValue::Unicode("first")}).second);
    EXPECT_FALSE(props.insert({0x0037, PropValue::Unicode("second")}).second);
    EXPECT_FALSE(props.emplace(0x0037, PropValue::Unicode("third")).second);
    EXPECT_EQ(props.at(0x0037).AsString(), "first");
    EXPECT_FALSE(props.insert_or_assign(0x0037, PropValue::Unicode("fourth")).second);
    EXPECT_EQ(props.at(0x0037).AsString(), "fourth");
    props[0x0037] = PropValue::Boolean(true);
    EXPECT_EQ(props.at(0x0037).type, kPtBoolean);
    EXPECT_EQ(props.size(), 1u);
}

TEST(PropertyMapTest, EraseAndEquality) {
    Properties a{{0x0E07, PropValue::Long(1)}, {0x0037, PropValue::Unicode("s")}, {0x0FFF, PropValue::Binary({1, 2})}};
    Properties b;
    b[0x0FFF] = PropValue::Binary({1, 2});
    b[0x0037] = PropValue::Unicode("s");
    b[0x0E07] = PropValue::Long(1);
    EXPECT_TRUE(a == b);
    EXPECT_EQ(a.erase(0x0037), 1u);
    EXPECT_EQ(a.erase(0x0037), 0u);
    EXPECT_FALSE(a == b);
    EXPECT_EQ(Ids(a), (std::vector<std::uint16_t>{0x0E07, 0x0FFF}));
    auto next = a.erase(a.find(0x0E07));
    ASSERT_TRUE(next != a.end());
    EXPECT_EQ(next->first, 0x0FFF);
    a.clear();
    EXPECT_TRUE(a.empty());
}

TEST(PropertyMapTest, AssignSortsOnceAndTheLastOfEqualIdsWins) {
    PropertyMap::Storage values;
    values.emplace_back(0x3001, PropValue::Unicode("name"));
    values.emplace_back(0x0E07, PropValue::Long(1));
    values.emplace_back(0x0037, PropValue::Unicode("old"));
    values.emplace_back(0x0E07, PropValue::Long(2));
    values.emplace_back(0x0037, PropValue::Unicode("new"));
    Properties fresh;
    fresh.Assign(values);
    EXPECT_EQ(Ids(fresh), (std::vector<std::uint16_t>{0x0037, 0x0E07, 0x3001}));
    EXPECT_EQ(fresh.at(0x0037).AsString(), "new");
    EXPECT_EQ(fresh.at(0x0E07).AsInt(), 2);

    // Into a map that has values: the same as one assignment after another.
    Properties existing{{0x0E07, PropValue::Long(9)}, {0x1000, PropValue::Unicode("body")}};
    Properties expected = existing;
    for (const auto& [id, v] : values) expected[id] = v;
    existing.Assign(values);
    EXPECT_TRUE(existing == expected);
    EXPECT_EQ(Ids(existing), (std::vector<std::uint16_t>{0x0037, 0x0E07, 0x1000, 0x3001}));
}

// A packed row keeps the ids in order, so unpacking appends at the end; the
// result is the map it came from.
TEST(PropertyMapTest, PacksAndUnpacksInIdOrder) {
    Properties props;
    for (std::uint16_t id = 0x8100; id > 0x8000; id -= 3) props[id] = PropValue::I8(id * 1000LL);
    props[0x0037] = PropValue::MvUnicode({"a", "bc"});
    EXPECT_TRUE(UnpackProperties(PackProperties(props)) == props);
    EXPECT_EQ(PackedSize(props), PackProperties(props).size());
}

}  // namespace
}  // namespace qb::pst
