// Case-blind comparison as names and keywords need it: ASCII, accented
// Latin, Greek and Cyrillic letters fold; lengths in bytes may differ; bad
// bytes only equal themselves.

#include <gtest/gtest.h>

#include "text/TextCase.h"

namespace qb::text {
namespace {

TEST(TextCase, ComparesLettersOfTheScriptsMailNamesUse) {
    EXPECT_TRUE(EqualsIgnoreCase("Content-Type", "content-TYPE"));
    EXPECT_TRUE(EqualsIgnoreCase("M\xC3\x9CLLER", "m\xC3\xBCller"));
    EXPECT_TRUE(EqualsIgnoreCase("\xD0\x90\xD0\x9D\xD0\x9D\xD0\x90", "\xD0\xB0\xD0\xBD\xD0\xBD\xD0\xB0"));  // АННА
    EXPECT_FALSE(EqualsIgnoreCase("abc", "abd"));
    EXPECT_FALSE(EqualsIgnoreCase("abc", "ab"));
    EXPECT_FALSE(EqualsIgnoreCase("", "a"));
    EXPECT_TRUE(EqualsIgnoreCase("", ""));
    EXPECT_FALSE(EqualsIgnoreCase("[", "{")) << "only letters fold";
    EXPECT_TRUE(EqualsIgnoreCase("\xC5\xB8", "\xC3\xBF")) << "capital Y with diaeresis is the capital of U+00FF";
    EXPECT_FALSE(EqualsIgnoreCase("\xC5\xB8", "\xC5\xB9"));
}

TEST(TextCase, InvalidBytesOnlyEqualThemselves) {
    EXPECT_TRUE(EqualsIgnoreCase("A\xFF", "a\xFF"));
    EXPECT_FALSE(EqualsIgnoreCase("\xC3", "\xE3"));
    EXPECT_FALSE(EqualsIgnoreCase("\xC3\xA9", "\xFF\xA9"));
    EXPECT_EQ(ToLower("AB\xFF\xC3\x89"), "ab\xFF\xC3\xA9");
}

TEST(TextCase, PrefixesIgnoreCaseToo) {
    EXPECT_TRUE(StartsWithIgnoreCase("cn=Hub/O=Org", "CN="));
    EXPECT_TRUE(StartsWithIgnoreCase("CN=", "cn="));
    EXPECT_FALSE(StartsWithIgnoreCase("C", "CN="));
    EXPECT_FALSE(StartsWithIgnoreCase("OU=x", "CN="));
}

}  // namespace
}  // namespace qb::text
