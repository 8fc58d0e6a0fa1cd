#include <gtest/gtest.h>

#include "convert/AddressTranslation.h"
#include "shell/platform/FileInfo.h"
#include "text/TextCase.h"
#include "support/TempDir.h"

using qb::AddressKind;
using qb::AddressParts;
using qb::AddressTranslator;
using qb::test::TempDir;

namespace {
AddressParts Translate(const AddressTranslator& t, std::string_view text) { return t.TranslateAddress(text, true); }
}  // namespace

TEST(TranslateAddress, CanonicalNotesNamesAreAbbreviated) {
    AddressTranslator t;
    auto p = Translate(t, "CN=User One/OU=Unit/O=Org/C=US");
    EXPECT_EQ(p.kind, AddressKind::NotesName);
    EXPECT_EQ(p.displayName, "User One");
    EXPECT_EQ(p.address, "User One/Unit/Org/US");
    EXPECT_TRUE(p.result);

    auto plain = Translate(t, "  User Two/Sales/Acme  ");
    EXPECT_EQ(plain.displayName, "User Two");
    EXPECT_EQ(plain.address, "User Two/Sales/Acme");
    EXPECT_EQ(plain.notesDomain, "");
}

TEST(TranslateAddress, NotesDomainsAndSmtpAddresses) {
    AddressTranslator t;
    auto p = Translate(t, "User One/Org@OrgMail");
    EXPECT_EQ(p.kind, AddressKind::NotesName);
    EXPECT_EQ(p.displayName, "User One");
    EXPECT_EQ(p.address, "User One/Org@OrgMail");
    EXPECT_EQ(p.notesDomain, "OrgMail");
    EXPECT_EQ(t.TranslateAddress("User One/Org@OrgMail", false).address, "User One/Org");

    t.options.makeSmtp = true;
    t.options.smtpDomain = "example.com";
    EXPECT_EQ(Translate(t, "User One/Org@OrgMail").address, "User.One@example.com");
}

TEST(TranslateAddress, InternetAddressesAndBracketedForms) {
    AddressTranslator t;
    auto single = Translate(t, "jane.doe@example.com");
    EXPECT_EQ(single.kind, AddressKind::InternetAddress);
    EXPECT_EQ(single.displayName, "jane.doe@example.com");
    EXPECT_EQ(single.address, "jane.doe@example.com");

    for (const char* text : {"\"Jane Doe\" <jane@example.com>", "Jane Doe <jane@example.com>",
                             "'Jane Doe'<jane@example.com>"}) {
        auto p = Translate(t, text);
        EXPECT_EQ(p.kind, AddressKind::InternetAddress) << text;
        EXPECT_EQ(p.displayName, "Jane Doe") << text;
        EXPECT_EQ(p.address, "jane@example.com") << text;
    }
    auto quotedComma = Translate(t, "\"Doe, Jane (Sales)\" <jane@example.com>");
    EXPECT_EQ(quotedComma.displayName, "Doe, Jane (Sales)");
    EXPECT_EQ(quotedComma.address, "jane@example.com");

    auto twoAt = Translate(t, "jane@example.com@NotesDomain");
    EXPECT_EQ(twoAt.address, "jane@example.com");
    EXPECT_EQ(twoAt.notesDomain, "");

    auto noDot = Translate(t, "Jane Doe/Acme @ AcmeMail");
    EXPECT_EQ(noDot.kind, AddressKind::NotesName);
    EXPECT_EQ(noDot.notesDomain, "AcmeMail");
    EXPECT_EQ(noDot.address, "Jane Doe/Acme@AcmeMail");
}

TEST(TranslateAddress, EmptyAndPartlessTexts) {
    AddressTranslator t;
    auto empty = t.TranslateAddress("", true, true);
    EXPECT_EQ(empty.kind, AddressKind::Empty);
    EXPECT_EQ(empty.address, "");
    EXPECT_TRUE(empty.result) << "an empty text leaves the flag as it was";

    for (const char* text : {"   ", "<>", " ( ) "}) {
        auto p = Translate(t, text);
        EXPECT_EQ(p.kind, AddressKind::Empty) << text;
        EXPECT_EQ(p.displayName, text);
        EXPECT_EQ(p.address, qb::kInvalidAddress);
        EXPECT_FALSE(p.result);
    }
}

TEST(TranslationTable, LoadsLooksUpIgnoringCaseAndReloadsOnChange) {
    TempDir dir;
    const std::string path = dir.Write("map.csv", "User One/Org,user.one@example.com\r\nCN=X/O=Y,x@y.com\n");
    AddressTranslator t;
    t.options.translate = true;
    std::string error;
    ASSERT_TRUE(t.table.Load(path, error)) << error;
    EXPECT_EQ(t.table.Lookup("user one/org"), "user.one@example.com");
    EXPECT_EQ(t.table.Lookup("Nobody/Org"), "Nobody/Org");

    // Ignoring the domain, a name not in the table keeps its abbreviated form.
    EXPECT_EQ(Translate(t, "CN=User One/O=Org@OrgMail").address, "user.one@example.com");
    EXPECT_EQ(Translate(t, "Someone Else/Org@OrgMail").address, "Someone Else/Org");
    t.options.ignoreNotesDomain = false;
    EXPECT_EQ(Translate(t, "User One/Org@OrgMail").address, "User One/Org@OrgMail");

    dir.Write("map.csv", "a,b\n");
    qb::platform::SetFileModified(path, 2000000000);
    ASSERT_TRUE(t.table.Load(path, error));
    EXPECT_EQ(t.table.size(), 1u);
}

TEST(TranslationTable, BadLinesAndMissingFilesFailWithTheirTexts) {
    TempDir dir;
    qb::TranslationTable table;
    std::string error;
    EXPECT_FALSE(table.Load(dir.File("none.csv"), error));
    EXPECT_EQ(error, "GetStatus Can not open file: " + dir.File("none.csv"));

    EXPECT_FALSE(table.Load(dir.Write("a.csv", "no comma\n"), error));
    EXPECT_EQ(error, "Missing To Address Line 1");
    EXPECT_FALSE(table.Load(dir.Write("b.csv", "a,b,c\n"), error));
    EXPECT_EQ(error, "To Many Delimiters Line 1");
    EXPECT_FALSE(table.Load(dir.Write("c.csv", "a,b\n\nc,d\n"), error));
    EXPECT_EQ(error, "Missing To Address Line 2");
    EXPECT_EQ(table.size(), 1u) << "entries before the bad line stay";
    EXPECT_FALSE(table.loaded());
}

TEST(TextCase, FoldsLatinGreekAndCyrillicLetters) {
    EXPECT_EQ(qb::text::ToLower("ÄÖÜ Łódź ŽOFIE ΣΩ ДЖ Ё abc"), "äöü łódź žofie σω дж ё abc");
    EXPECT_EQ(qb::text::ToLower(std::string("\xC0\x81\xFF", 3)), std::string("\xC0\x81\xFF", 3));
}
