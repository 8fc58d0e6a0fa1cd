// UTF-16 both ways, as units and as little-endian bytes: pairs are one code
// point, lone surrogates and bad UTF-8 do not leak into the other form.

#include <gtest/gtest.h>

#include "text/Utf16.h"

namespace qb::text {
namespace {

const std::string kMixed = "Re: caf\xC3\xA9 \xE2\x82\xAC 5 \xF0\x9F\x98\x80 ok";

TEST(Utf16, RoundTripsEveryPlaneAsUnitsAndAsBytes) {
    const std::u16string units = Utf8ToUtf16(kMixed);
    EXPECT_EQ(units, u"Re: caf\u00E9 \u20AC 5 \U0001F600 ok");
    EXPECT_EQ(Utf16ToUtf8(units), kMixed);

    std::vector<std::uint8_t> bytes = {0xAA};  // appended after what is there
    AppendUtf16Le(bytes, kMixed);
    ASSERT_EQ(bytes.size(), 1 + units.size() * 2);
    for (std::size_t i = 0; i < units.size(); ++i)
        EXPECT_EQ(bytes[1 + 2 * i] | bytes[2 + 2 * i] << 8, units[i]) << i;
    EXPECT_EQ(Utf16LeToUtf8(bytes.data() + 1, bytes.size() - 1), kMixed);
}

TEST(Utf16, LongAsciiRunsAndTheirEdgesConvertLikeSingleCharacters) {
    // The eight-byte fast path must hand over exactly where ASCII stops.
    for (std::size_t prefix = 0; prefix < 20; ++prefix) {
        const std::string text = std::string(prefix, 'x') + "\xC3\xA9" + std::string(prefix, 'y') + "\xFF";
        std::vector<std::uint8_t> bytes;
        AppendUtf16Le(bytes, text);
        const std::u16string units = Utf8ToUtf16(text);
        ASSERT_EQ(bytes.size(), units.size() * 2);
        EXPECT_EQ(Utf16LeToUtf8(bytes.data(), bytes.size()), Utf16ToUtf8(units));
        EXPECT_EQ(units.back(), u'\uFFFD');
    }
}

// The byte form takes short cuts for two- and three-byte sequences; bad,
// overlong, surrogate and cut-off ones must still come out as the decoder
// gives them, wherever they stand.
TEST(Utf16, BytesOfEveryShortAndBadSequenceMatchTheUnits) {
    const char* const pieces[] = {"\xC3\xA9", "\xE2\x82\xAC", "\xE6\x97\xA5", "\xC0\x80", "\xC1\xBF",
                                  "\xE0\x80\x80", "\xE0\x9F\xBF", "\xED\xA0\x80", "\xED\x9F\xBF",
                                  "\xEF\xBF\xBF", "\xE2\x82", "\xC3", "\x80", "\xF0\x9F\x98\x80", "a"};
    for (const char* first : pieces) {
        for (const char* second : pieces) {
            for (std::size_t gap : {std::size_t(0), std::size_t(3), std::size_t(17)}) {
                const std::string text = std::string(first) + std::string(gap, 'x') + second;
                std::vector<std::uint8_t> bytes;
                AppendUtf16Le(bytes, text);
                const std::u16string units = Utf8ToUtf16(text);
                ASSERT_EQ(bytes.size(), units.size() * 2) << text;
                for (std::size_t i = 0; i < units.size(); ++i)
                    ASSERT_EQ(bytes[2 * i] | bytes[2 * i + 1] << 8, units[i]) << text << " at " << i;
            }
        }
    }
}

TEST(Utf16, LoneSurrogatesAndBadUtf8BecomeReplacementCharacters) {
    EXPECT_EQ(Utf16ToUtf8(u"a\xD800" "b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf16ToUtf8(std::u16string{char16_t(0xDBFF)}), "\xEF\xBF\xBD");
    // An encoded surrogate in UTF-8 (CESU) is not let through as a unit.
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
    const std::uint8_t odd[] = {'A', 0, 'B'};
    EXPECT_EQ(Utf16LeToUtf8(odd, 3), "A");
}

}  // namespace
}  // namespace qb::text
