#include <gtest/gtest.h>

#include <vector>

#include "convert/DocLinks.h"

namespace {

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// Words in storage order: replica low, high; view file low, high, note low,
// high; document likewise.
std::vector<std::uint8_t> Entry(std::initializer_list<std::uint32_t> words) {
    std::vector<std::uint8_t> out;
    for (auto w : words) Put32(out, w);
    return out;
}

void PutText(std::vector<std::uint8_t>& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

const std::vector<std::uint8_t> kEntry = Entry({2, 1, 0xA, 0xB, 0xC, 0xD, 0x10, 0x20, 0x30, 0x40});
constexpr const char* kUrl =
    " NOTES://Server1/0000000100000002/0000000B0000000A0000000D0000000C/00000020000000100000004000000030 ";

}  // namespace

TEST(DocLinks, LinkWithItsOwnDataBecomesAUrlWithTheHighWordFirst) {
    std::vector<std::uint8_t> record = kEntry;
    PutText(record, "comment");
    PutText(record, "CN=Server1/O=Org");
    std::string text = "See";
    qb::DocLinkUrl(true, qb::kSigLinkWithData, record, {}, text);
    EXPECT_EQ(text, std::string("See") + kUrl);

    // The server's name in any form gives the same address as the Notes
    // API's links do.
    for (std::string_view hint : {"cn=Server1/o=Org", "Server1/Org"}) {
        std::vector<std::uint8_t> other = kEntry;
        PutText(other, "comment");
        PutText(other, hint);
        std::string url;
        qb::DocLinkUrl(true, qb::kSigLinkWithData, other, {}, url);
        EXPECT_EQ(url, kUrl) << hint;
    }

    std::string off;
    qb::DocLinkUrl(false, qb::kSigLinkWithData, record, {}, off);
    EXPECT_EQ(off, "");
}

TEST(DocLinks, LinkByIndexUsesTheLinksTableWithinItsCount) {
    std::vector<std::uint8_t> table = {1, 0};
    table.insert(table.end(), kEntry.begin(), kEntry.end());
    std::vector<std::uint8_t> record = {0, 0};
    PutText(record, "");
    PutText(record, "Server1");
    std::string text;
    qb::DocLinkUrl(true, qb::kSigLinkByIndex, record, table, text);
    EXPECT_EQ(text, kUrl);

    std::vector<std::uint8_t> pastEnd = {1, 0, 0};
    std::string none;
    qb::DocLinkUrl(true, qb::kSigLinkByIndex, pastEnd, table, none);
    qb::DocLinkUrl(true, qb::kSigLinkByIndex, record, {}, none);
    std::vector<std::uint8_t> shortTable = {2, 0};  // claims two entries, holds none
    qb::DocLinkUrl(true, qb::kSigLinkByIndex, record, shortTable, none);
    EXPECT_EQ(none, "");
}

TEST(DocLinks, TruncatedRecordsAndLocalLinks) {
    std::vector<std::uint8_t> truncated(kEntry.begin(), kEntry.begin() + 39);
    std::string text;
    qb::DocLinkUrl(true, qb::kSigLinkWithData, truncated, {}, text);
    EXPECT_EQ(text, "");
    // A record without comment or server: a local link with an empty server.
    qb::DocLinkUrl(true, qb::kSigLinkWithData, kEntry, {}, text);
    EXPECT_EQ(text.substr(0, 10), " NOTES:///");
}
