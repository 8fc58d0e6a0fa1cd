// One-off entry identifiers built through IAddrBook::CreateOneOff and parsed back.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "outlook/mapi/MapiAlloc.h"
#include "outlook/mapi/MapiText.h"
#include "outlook/mapi/OneOffEntryId.h"
#include "outlook/pst/PropValue.h"

using namespace qb::mapi;

namespace {

std::vector<BYTE> CreateOneOff(IAddrBook& book, const void* name, const void* type, const void* address, ULONG flags) {
    ULONG size = 0;
    MapiBuffer<ENTRYID> id;
    EXPECT_EQ(book.CreateOneOff(static_cast<LPTSTR>(const_cast<void*>(name)),
                                static_cast<LPTSTR>(const_cast<void*>(type)),
                                static_cast<LPTSTR>(const_cast<void*>(address)), flags, &size, id.Put()),
              S_OK);
    const BYTE* bytes = reinterpret_cast<const BYTE*>(id.get());
    return std::vector<BYTE>(bytes, bytes + size);
}

}  // namespace

TEST(OneOffEntryId, AnsiLayoutMatchesTheMapiDataStructures) {
    MapiPtr<IAddrBook> book = AddressBook::Create();
    const std::vector<BYTE> id =
        CreateOneOff(*book, "Abcdefgh", "SMTP", "a@example.org123", MAPI_SEND_NO_RICH_INFO);
    // 24 fixed bytes + name 8+1 + "SMTP"+1 + address 16+1.
    ASSERT_EQ(id.size(), 55u);
    const std::vector<BYTE> head = {0,    0,    0,    0,    0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19,
                                    0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02, 0,    0,    0x01, 0x00};
    EXPECT_EQ(std::vector<BYTE>(id.begin(), id.begin() + 24), head);
    EXPECT_EQ(std::string(id.begin() + 24, id.end()), std::string("Abcdefgh\0SMTP\0a@example.org123\0", 31));

    const auto parsed = ParseOneOffEntryId(id.data(), id.size());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->displayName, "Abcdefgh");
    EXPECT_EQ(parsed->addressType, "SMTP");
    EXPECT_EQ(parsed->address, "a@example.org123");
    EXPECT_FALSE(parsed->unicode);
    EXPECT_TRUE(parsed->noRichInfo);
}

TEST(OneOffEntryId, UnicodeStringsAreUtf16AndRoundTrip) {
    MapiPtr<IAddrBook> book = AddressBook::Create();
    const std::vector<BYTE> id =
        CreateOneOff(*book, L"J\u00FCrgen \u6F22", L"SMTP", L"j@example.org", MAPI_UNICODE);
    EXPECT_EQ(id[22], 0x00);
    EXPECT_EQ(id[23], 0x80);
    EXPECT_EQ(id[24], 'J');
    EXPECT_EQ(id[25], 0);
    const auto parsed = ParseOneOffEntryId(id.data(), id.size());
    ASSERT_TRUE(parsed);
    EXPECT_TRUE(parsed->unicode);
    EXPECT_EQ(parsed->displayName, "J\xC3\xBCrgen \xE6\xBC\xA2");
    EXPECT_EQ(parsed->address, "j@example.org");
}

TEST(OneOffEntryId, AnsiTextIsWindows1252AndBadInputIsRefused) {
    const std::vector<BYTE> id = BuildOneOffEntryId({"Ren\xC3\xA9 \xE2\x82\xAC", "SMTP", "r@x.org", false, false});
    EXPECT_EQ(id[24 + 3], 0xE9);
    EXPECT_EQ(id[24 + 5], 0x80);
    const auto parsed = ParseOneOffEntryId(id.data(), id.size());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->displayName, "Ren\xC3\xA9 \xE2\x82\xAC");

    EXPECT_FALSE(ParseOneOffEntryId(id.data(), id.size() - 1));  // last terminator missing
    std::vector<BYTE> otherProvider = id;
    otherProvider[4] ^= 1;
    EXPECT_FALSE(ParseOneOffEntryId(otherProvider.data(), otherProvider.size()));

    MapiPtr<IAddrBook> book = AddressBook::Create();
    ULONG size = 0;
    MapiBuffer<ENTRYID> out;
    EXPECT_EQ(book->CreateOneOff(const_cast<char*>("n"), nullptr, const_cast<char*>("a"), 0, &size, out.Put()),
              MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(book->CreateOneOff(const_cast<char*>("n"), const_cast<char*>("SMTP"), const_cast<char*>("a"), 0x4,
                                 &size, out.Put()),
              MAPI_E_UNKNOWN_FLAGS);
}

TEST(OneOffEntryId, AnsiNamesReadAsTheStoreEngineReadsTheSameBytes) {
    // A name copied from an ANSI store's string into a one-off identifier
    // and back: both paths give the same text for every byte and write the
    // same bytes again, the bytes Windows-1252 leaves unassigned included.
    for (int b = 0x20; b < 0x100; ++b) {
        const std::string ansi = {'A', static_cast<char>(b), 'z'};
        qb::pst::PropValue stored;
        stored.type = qb::pst::kPtString8;
        stored.data.assign(ansi.begin(), ansi.end());
        const std::string engineText = stored.AsString();
        EXPECT_EQ(Cp1252ToUtf8(ansi), engineText) << b;

        const std::vector<BYTE> id = BuildOneOffEntryId({engineText, "SMTP", "a@x.org", false, false});
        EXPECT_EQ(id[24 + 1], b) << "written back as the same byte";
        const auto parsed = ParseOneOffEntryId(id.data(), id.size());
        ASSERT_TRUE(parsed) << b;
        EXPECT_EQ(parsed->displayName, engineText) << b;
    }
}
