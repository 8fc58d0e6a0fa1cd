// CRC-32 of the store format and compressed RTF: known values, and pieces
// fed one after the other equal the whole (the eight-byte steps and the
// tail must agree).

#include <gtest/gtest.h>

#include <string>

#include "text/Crc32.h"

namespace qb::text {
namespace {

const std::uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

TEST(Crc32, IsTheReflectedCrc32WithoutInversions) {
    // The common CRC-32 check value is taken with start value and final
    // value inverted; this one leaves both to the caller.
    const std::string check = "123456789";
    EXPECT_EQ(Crc32(Bytes(check), check.size(), 0xFFFFFFFFu) ^ 0xFFFFFFFFu, 0xCBF43926u);
    EXPECT_EQ(Crc32(Bytes(check), check.size()), 0x2DFD2D88u);
    EXPECT_EQ(Crc32(nullptr, 0, 0x1234), 0x1234u);
}

TEST(Crc32, PiecesChainToTheValueOfTheWhole) {
    std::string data = "{\\rtf1\\ansi\\ansicpg1252\\pard hello\\par}";
    data += std::string(37, 'x');
    const std::uint32_t whole = Crc32(Bytes(data), data.size());
    for (std::size_t cut = 0; cut <= data.size(); ++cut)
        EXPECT_EQ(Crc32(Bytes(data) + cut, data.size() - cut, Crc32(Bytes(data), cut)), whole) << cut;
}

}  // namespace
}  // namespace qb::text
