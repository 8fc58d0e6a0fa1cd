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

// Every length and start offset, long enough for the 64-byte folding steps,
// against the bit-by-bit definition.
TEST(Crc32, WideStepsAgreeWithTheDefinitionAtEveryLengthAndOffset) {
    std::string data;
    std::uint32_t seed = 12345;
    for (int i = 0; i < 9000; ++i) {
        seed = seed * 1103515245u + 12345u;
        data.push_back(static_cast<char>(seed >> 24));
    }
    auto bitwise = [](const std::uint8_t* p, std::size_t n, std::uint32_t crc) {
        for (std::size_t i = 0; i < n; ++i) {
            crc ^= p[i];
            for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (0xEDB88320u ^ (crc >> 1)) : (crc >> 1);
        }
        return crc;
    };
    for (std::size_t offset : {std::size_t(0), std::size_t(1), std::size_t(7)}) {
        for (std::size_t size = 0; size < 300; ++size)
            ASSERT_EQ(Crc32(Bytes(data) + offset, size, 0x5A5A5A5Au), bitwise(Bytes(data) + offset, size, 0x5A5A5A5Au))
                << size << " at " << offset;
        for (std::size_t size : {std::size_t(1023), std::size_t(4096), std::size_t(8176), std::size_t(8180), 8999 - offset})
            ASSERT_EQ(Crc32(Bytes(data) + offset, size), bitwise(Bytes(data) + offset, size, 0)) << size;
    }
}

}  // namespace
}  // namespace qb::text
