// The one UTF-8 decoder: what it accepts, and that repair leaves valid text
// alone and replaces each bad byte once.

#include <gtest/gtest.h>

#include "text/Utf8.h"

namespace qb::text {
namespace {

TEST(Utf8, DecodesEveryLengthAndRejectsWhatIsNotUtf8) {
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    std::size_t pos = 0;
    EXPECT_EQ(NextCodePoint(text, pos), U'a');
    EXPECT_EQ(NextCodePoint(text, pos), U'\u00E9');
    EXPECT_EQ(NextCodePoint(text, pos), U'\u20AC');
    EXPECT_EQ(NextCodePoint(text, pos), U'\U0001F600');
    EXPECT_EQ(pos, text.size());

    for (std::string bad : {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80", "\xFF",
                            "\xE2\x82", "\xC3"}) {
        std::size_t at = 0;
        bool valid = true;
        EXPECT_EQ(NextCodePoint(bad, at, &valid), kReplacementCharacter) << bad;
        EXPECT_FALSE(valid);
        EXPECT_EQ(at, 1u) << "one invalid byte at a time";
        EXPECT_FALSE(IsValidUtf8(bad));
    }
    // A real U+FFFD in the text is valid.
    std::size_t at = 0;
    bool valid = false;
    EXPECT_EQ(NextCodePoint("\xEF\xBF\xBD", at, &valid), kReplacementCharacter);
    EXPECT_TRUE(valid);
}

TEST(Utf8, RepairReplacesEachBadByteAndKeepsTheRest) {
    EXPECT_EQ(RepairUtf8("Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x93\xA7"), "Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x93\xA7");
    EXPECT_EQ(RepairUtf8("a\xFF" "b\xE2\x82"), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD\xEF\xBF\xBD");
    std::string out = "x";
    EXPECT_TRUE(AppendRepairedUtf8(out, "\xEF\xBF\xBD"));
    EXPECT_FALSE(AppendRepairedUtf8(out, "\xC0"));
    EXPECT_EQ(out, "x\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_TRUE(IsValidUtf8(RepairUtf8(std::string("\x00\x80\xBF\xF8\xFE", 5))));
}

TEST(Utf8, AppendingEncodesAndReplacesWhatHasNoUtf8Form) {
    std::string out;
    AppendUtf8(out, 0x7F);
    AppendUtf8(out, 0x7FF);
    AppendUtf8(out, 0xFFFF);
    AppendUtf8(out, 0x10FFFF);
    EXPECT_EQ(out, "\x7F\xDF\xBF\xEF\xBF\xBF\xF4\x8F\xBF\xBF");
    out.clear();
    AppendUtf8(out, 0xDC00);
    AppendUtf8(out, 0x110000);
    EXPECT_EQ(out, "\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
}  // namespace qb::text
