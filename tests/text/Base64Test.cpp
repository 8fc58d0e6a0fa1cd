// Base64: encoding round trips through both decoders; the strict decoder
// refuses what we never write, the tolerant one recovers what mail does.

#include <gtest/gtest.h>

#include "text/Base64.h"

namespace qb::text {
namespace {

std::string AllBytes(std::size_t size) {
    std::string bytes;
    for (std::size_t i = 0; i < size; ++i) bytes.push_back(static_cast<char>(i * 31 + 7));
    return bytes;
}

TEST(Base64, EncodedTextDecodesBackThroughBothDecodersAtEveryLength) {
    for (std::size_t size = 0; size < 200; ++size) {
        const std::string bytes = AllBytes(size);
        const std::string encoded = EncodeBase64(bytes);
        std::string strict, tolerant;
        EXPECT_TRUE(DecodeBase64Strict(encoded, strict)) << size;
        EXPECT_EQ(strict, bytes);
        EXPECT_EQ(DecodeBase64Tolerant(encoded, tolerant), Base64Damage::None) << size;
        EXPECT_EQ(tolerant, bytes);
    }
    EXPECT_EQ(EncodeBase64("Man"), "TWFu");
    EXPECT_EQ(EncodeBase64("Ma"), "TWE=");
}

TEST(Base64, LinesHoldTheGivenLengthWithNoBreakAfterTheLast) {
    const std::string encoded = EncodeBase64(AllBytes(57 * 2), 76);
    EXPECT_EQ(encoded.size(), 76u * 2 + 1);
    EXPECT_EQ(encoded.find('\n'), 76u);
    EXPECT_EQ(EncodeBase64(AllBytes(300), 0).find('\n'), std::string::npos);
}

TEST(Base64, StrictDecoderSkipsLineBreaksAndReferencesButRefusesDamage) {
    std::string out;
    EXPECT_TRUE(DecodeBase64Strict("TW\r\nFu&#13;&#10;TWE=", out));
    EXPECT_EQ(out, "ManMa");
    for (std::string_view bad : {"TW!u", "TWE=x", "T===", "TWFuT", "=TWF"}) EXPECT_FALSE(DecodeBase64Strict(bad, out)) << bad;

    Base64Decoder decoder;  // fed in pieces that split groups
    out.clear();
    EXPECT_TRUE(decoder.Feed("TW", out) && decoder.Feed("FuT", out) && decoder.Feed("WE=", out));
    EXPECT_TRUE(decoder.Finish(out));
    EXPECT_EQ(out, "ManMa");
}

TEST(Base64, TolerantDecoderReportsWhatItSkippedOrMissed) {
    std::string out;
    EXPECT_EQ(DecodeBase64Tolerant("TW*Fu", out), Base64Damage::BadCharacters);
    EXPECT_EQ(out, "Man");
    out.clear();
    EXPECT_EQ(DecodeBase64Tolerant("TWE=TWE=", out), Base64Damage::None) << "joined parts";
    EXPECT_EQ(out, "MaMa");
    out.clear();
    EXPECT_EQ(DecodeBase64Tolerant("TWFuT", out), Base64Damage::Truncated);
    EXPECT_EQ(out, "Man");
    out.clear();
    EXPECT_EQ(DecodeBase64Tolerant("-_-_", out), Base64Damage::None) << "URL-safe alphabet";
    EXPECT_EQ(out, "\xFB\xFF\xBF");
}

}  // namespace
}  // namespace qb::text
