// Compressed RTF made ahead is handed out only for the very bytes it was
// made from, once, and only the newest few are held.

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "text/Lzfu.h"
#include "text/LzfuAhead.h"

using namespace qb::text::lzfu;

namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

TEST(CompressedAhead, TakenOnceForTheSameBytesOnly) {
    CompressedAhead ahead;
    const std::string body = "{\\rtf1\\ansi body one\\par}";
    const std::string sameSize = "{\\rtf1\\ansi body two\\par}";
    const std::vector<std::uint8_t> compressed = Compress(Bytes(body));
    ahead.Offer(body, compressed);

    EXPECT_FALSE(ahead.Take(Bytes(sameSize))) << "other bytes of the same length";
    EXPECT_FALSE(ahead.Take(Bytes(body + " "))) << "a longer text";
    auto taken = ahead.Take(Bytes(body));
    ASSERT_TRUE(taken);
    EXPECT_EQ(*taken, compressed);
    EXPECT_FALSE(ahead.Take(Bytes(body))) << "taken once";

    ahead.Offer("", Compress({}));
    EXPECT_TRUE(ahead.Take({}));
}

TEST(CompressedAhead, HoldsOnlyTheNewestAndCompressesWhatWasNotOffered) {
    CompressedAhead ahead;
    std::vector<std::string> bodies;
    for (std::size_t i = 0; i <= CompressedAhead::kMaxEntries; ++i) {
        bodies.push_back("{\\rtf1 body " + std::to_string(i) + "}");
        ahead.Offer(bodies.back(), Compress(Bytes(bodies.back())));
    }
    EXPECT_FALSE(ahead.Take(Bytes(bodies.front())));
    EXPECT_TRUE(ahead.Take(Bytes(bodies.back())));

    // The shared one: the result is the same offered or not.
    const std::string body(5000, 'r');
    const std::vector<std::uint8_t> direct = Compress(Bytes(body));
    EXPECT_EQ(CompressTakingAhead(Bytes(body)), direct);
    CompressedAhead::Shared().Offer(body, direct);
    EXPECT_EQ(CompressTakingAhead(Bytes(body)), direct);
    EXPECT_FALSE(CompressedAhead::Shared().Take(Bytes(body)));
}
