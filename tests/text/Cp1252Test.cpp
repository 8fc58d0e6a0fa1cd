// Windows-1252 over all 256 bytes both ways: lossless for every byte, the
// unassigned ones included, and '?' only for what the code page lacks.

#include <gtest/gtest.h>

#include "text/Cp1252.h"
#include "text/Utf8.h"

namespace qb::text {
namespace {

TEST(Cp1252, EveryByteSurvivesDecodingAndEncoding) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::string utf8 = Cp1252ToUtf8(all);
    EXPECT_TRUE(IsValidUtf8(utf8));
    EXPECT_EQ(Utf8ToCp1252(utf8), all);
    for (int b = 0; b < 256; ++b) {
        const char32_t cp = Cp1252ToCodePoint(static_cast<unsigned char>(b));
        EXPECT_EQ(CodePointToCp1252(cp), b) << b;
        if (b < 0x80 || b >= 0xA0) EXPECT_EQ(cp, char32_t(b)) << "ASCII and Latin-1 are themselves";
        else EXPECT_NE(cp, kReplacementCharacter) << b;
    }
}

TEST(Cp1252, UnassignedBytesAreTheirC1ControlsAndTheRestOfTheHighRangeIsTypography) {
    for (unsigned char b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(Cp1252ToCodePoint(b), char32_t(b));
    EXPECT_EQ(Cp1252ToUtf8("\x80\x93\x94\x9F"), "\xE2\x82\xAC\xE2\x80\x9C\xE2\x80\x9D\xC5\xB8");
    EXPECT_EQ(Utf8ToCp1252("\xE2\x80\x98quote\xE2\x80\x99 \xE2\x84\xA2"), "\x91quote\x92 \x99");
}

TEST(Cp1252, WhatTheCodePageLacksBecomesAQuestionMark) {
    EXPECT_EQ(Utf8ToCp1252("\xCE\xA9 \xF0\x9F\x98\x80 \xE4\xB8\xAD"), "? ? ?");
    EXPECT_EQ(Utf8ToCp1252("a\xFF" "b"), "a?b");
    EXPECT_EQ(CodePointToCp1252(0x100), -1);
    EXPECT_EQ(CodePointToCp1252(0x80), -1) << "U+0080 is not byte 0x80 (that is the euro sign)";
}

}  // namespace
}  // namespace qb::text
