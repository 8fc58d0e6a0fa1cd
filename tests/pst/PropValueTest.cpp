// PropValue's bytes: small values held inline, larger ones in a vector. The
// two forms must be indistinguishable to every reader of a value: the same
// bytes, sizes and equality after copies, moves, growth and shrinking.

#include <gtest/gtest.h>

#include <numeric>
#include <utility>

#include "outlook/pst/PropValue.h"

namespace qb::pst {
namespace {

Bytes Sequence(std::size_t n) {
    Bytes b(n);
    std::iota(b.begin(), b.end(), std::uint8_t(1));
    return b;
}

TEST(ValueBytesTest, FixedValuesAndGuidsAreInlineLargerValuesAreNot) {
    EXPECT_TRUE(PropValue::Long(7).data.IsInline());
    EXPECT_TRUE(PropValue::SysTime(0x01D0000000000000ull).data.IsInline());
    EXPECT_TRUE(PropValue::Clsid(Sequence(16)).data.IsInline());
    EXPECT_EQ(PropValue::Clsid(Sequence(3)).data.size(), 16u);  // padded to a GUID's size
    EXPECT_TRUE(PropValue::Unicode("short").data.size() <= ValueBytes::kInline);
    const PropValue text = PropValue::Unicode("a subject longer than sixteen bytes");
    EXPECT_FALSE(text.data.IsInline());
    EXPECT_EQ(text.AsString(), "a subject longer than sixteen bytes");
    EXPECT_EQ(PropValue::Long(-5).AsInt(), -5);
    EXPECT_EQ(PropValue::I8(-1234567890123ll).AsInt(), -1234567890123ll);
    EXPECT_DOUBLE_EQ(PropValue::Double(2.5).AsDouble(), 2.5);
}

TEST(ValueBytesTest, CopiesAndMovesKeepTheBytesInEitherForm) {
    for (std::size_t n : {0u, 1u, 4u, 16u, 17u, 300u}) {
        const Bytes bytes = Sequence(n);
        ValueBytes original(bytes);
        EXPECT_EQ(original, bytes) << n;
        EXPECT_EQ(original.IsInline(), n <= ValueBytes::kInline) << n;

        ValueBytes copy = original;
        EXPECT_EQ(copy, original) << n;
        EXPECT_NE(copy.data(), original.data()) << n;  // a copy owns its bytes

        ValueBytes moved = std::move(copy);
        EXPECT_EQ(moved, bytes) << n;
        EXPECT_TRUE(copy.empty()) << n;  // NOLINT(bugprone-use-after-move): a moved-from value is empty

        ValueBytes assigned{9, 9};
        assigned = moved;
        EXPECT_EQ(assigned, bytes) << n;
        assigned = std::move(moved);
        EXPECT_EQ(assigned, bytes) << n;
        assigned = assigned;  // self-assignment keeps the bytes
        EXPECT_EQ(assigned, bytes) << n;
        EXPECT_EQ(assigned.ToBytes(), bytes) << n;
    }
}

TEST(ValueBytesTest, AMovedInVectorKeepsItsBufferOnlyWhenLarge) {
    Bytes large = Sequence(1000);
    const std::uint8_t* buffer = large.data();
    ValueBytes adopted(std::move(large));
    EXPECT_EQ(adopted.data(), buffer);  // not copied
    EXPECT_EQ(adopted, Sequence(1000));

    ValueBytes small(Sequence(8));
    EXPECT_TRUE(small.IsInline());
    EXPECT_EQ(small, Sequence(8));
}

TEST(ValueBytesTest, GrowsOutOfItselfAndShrinksKeepingContents) {
    ValueBytes b;
    for (std::uint8_t i = 1; i <= 40; ++i) {
        b.push_back(i);
        EXPECT_EQ(b, Sequence(i));
    }
    EXPECT_FALSE(b.IsInline());
    b.resize(10);
    EXPECT_EQ(b, Sequence(10));
    ValueBytes c({1, 2, 3});
    c.resize(6);  // new bytes are zero
    EXPECT_EQ(c, (Bytes{1, 2, 3, 0, 0, 0}));
    c.resize(20);
    EXPECT_EQ(c.size(), 20u);
    EXPECT_EQ(c[2], 3);
    EXPECT_EQ(c[19], 0);
    c.clear();
    EXPECT_TRUE(c.empty());
    c.Append(Sequence(5).data(), 5);
    EXPECT_EQ(c, Sequence(5));
}

TEST(ValueBytesTest, EqualityComparesBytesNotForm) {
    ValueBytes inlineForm(Sequence(4));
    ValueBytes heapForm;
    heapForm.resize(40);
    heapForm.resize(4);
    for (std::size_t i = 0; i < 4; ++i) heapForm[i] = std::uint8_t(i + 1);
    ASSERT_FALSE(heapForm.IsInline());
    EXPECT_EQ(inlineForm, heapForm);
    heapForm[3] = 0;
    EXPECT_FALSE(inlineForm == heapForm);
    EXPECT_FALSE(ValueBytes(Sequence(3)) == ValueBytes(Sequence(4)));
    EXPECT_EQ(ValueBytes(), Bytes{});

    PropValue a = PropValue::Long(1), b = PropValue::Long(1);
    EXPECT_EQ(a, b);
    b.type = kPtError;
    EXPECT_FALSE(a == b);
    EXPECT_FALSE(PropValue::Long(1) == PropValue::Long(2));
}

TEST(ValueBytesTest, MultiValuedFixedValuesEncodeAsTheirBytes) {
    const PropValue longs = PropValue::MvLong({1, 2, 3, 4, 5});  // 20 bytes: on the heap
    EXPECT_EQ(longs.Count(), 5u);
    EXPECT_EQ(longs.Encode(), longs.data.ToBytes());
    const PropValue decoded = PropValue::Decode(longs.type, longs.data.data(), longs.data.size());
    EXPECT_EQ(decoded, longs);
    const PropValue guids = PropValue::MvClsid({Sequence(16), Sequence(2)});
    EXPECT_EQ(guids.data.size(), 32u);
    EXPECT_EQ(guids.data[16], 1);
    EXPECT_EQ(guids.data[18], 0);
}

}  // namespace
}  // namespace qb::pst
