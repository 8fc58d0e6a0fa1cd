#include <gtest/gtest.h>

#include "shell/platform/PrivateProfile.h"
#include <sys/stat.h>

#include "support/TempDir.h"

using qb::platform::GetPrivateProfileString;
using qb::platform::ProfileDocument;
using qb::platform::WritePrivateProfileString;
using qb::test::TempDir;

TEST(PrivateProfile, SectionsAndKeysIgnoreCaseAndFirstOccurrenceWins) {
    auto doc = ProfileDocument::Parse("[Lotus Notes]\r\nMailFile = mail.dxl \r\nmailfile=second\r\n[other]\nKey=x\n");
    EXPECT_EQ(doc.Get("lotus notes", "MAILFILE"), "mail.dxl");
    EXPECT_EQ(doc.Get("Other", "key"), "x");
    EXPECT_FALSE(doc.Get("Other", "MailFile"));
    EXPECT_FALSE(doc.Get("Missing", "Key"));
}

TEST(PrivateProfile, ValuesLoseBlanksAndOnePairOfQuotes) {
    auto doc = ProfileDocument::Parse("[s]\na=  \"quoted value\"  \nb='x'\nc=\"unbalanced\nd=\n");
    EXPECT_EQ(doc.Get("s", "a"), "quoted value");
    EXPECT_EQ(doc.Get("s", "b"), "x");
    EXPECT_EQ(doc.Get("s", "c"), "\"unbalanced");
    EXPECT_EQ(doc.Get("s", "d"), "");
}

TEST(PrivateProfile, MissingFileOrKeyGivesDefaultCutToLimit) {
    TempDir dir;
    EXPECT_EQ(GetPrivateProfileString("s", "k", "fallback", 100, dir.File("none.ini")), "fallback");
    const auto path = dir.Write("a.ini", "[s]\nk=" + std::string(20000, 'v') + "\n");
    EXPECT_EQ(GetPrivateProfileString("s", "k", "", 15000, path).size(), 15000u);
    EXPECT_EQ(GetPrivateProfileString("s", "other", "dflt", 2, path), "df");
}

TEST(PrivateProfile, BinaryAndSectionlessFilesAnswerDefaults) {
    TempDir dir;
    const auto binary = dir.Write("bin.ini", std::string("\0\x01\xff[s\0]\nk=\x80\n", 12));
    EXPECT_EQ(GetPrivateProfileString("s", "k", "d", 100, binary), "d");
    const auto flat = dir.Write("flat.ini", "k=v\nother\n");
    EXPECT_EQ(GetPrivateProfileString("s", "k", "d", 100, flat), "d");
}

TEST(PrivateProfile, WriteReplacesInPlaceAppendsAndCreates) {
    TempDir dir;
    const auto path = dir.Write("w.ini", "; comment\n[A]\nx=1\n\n[B]\ny=2\n");
    ASSERT_TRUE(WritePrivateProfileString("a", "X", "9", path));
    ASSERT_TRUE(WritePrivateProfileString("A", "z", "new", path));
    ASSERT_TRUE(WritePrivateProfileString("C", "k", "line\nbreak", path));
    EXPECT_EQ(qb::test::ReadFile(path), "; comment\n[A]\nX=9\nz=new\n\n[B]\ny=2\n[C]\nk=line break\n");
    ASSERT_TRUE(WritePrivateProfileString("B", "y", std::nullopt, path));
    EXPECT_FALSE(ProfileDocument::Parse(qb::test::ReadFile(path)).Get("B", "y"));

    const auto fresh = dir.File("fresh.ini");
    ASSERT_TRUE(WritePrivateProfileString("S", "k", "v", fresh));
    EXPECT_EQ(qb::test::ReadFile(fresh), "[S]\nk=v\n");
}

TEST(PrivateProfile, WriteKeepsWindowsLineEndsAndRefusesReadOnlyFiles) {
    TempDir dir;
    const auto path = dir.Write("crlf.ini", "[A]\r\nx=1\r\n");
    ASSERT_TRUE(WritePrivateProfileString("A", "y", "2", path));
    EXPECT_EQ(qb::test::ReadFile(path), "[A]\r\nx=1\r\ny=2\r\n");

    const auto locked = dir.Write("ro.ini", "[A]\nx=1\n");
    ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
    EXPECT_FALSE(WritePrivateProfileString("A", "x", "2", locked));
    EXPECT_EQ(qb::test::ReadFile(locked), "[A]\nx=1\n");
    EXPECT_FALSE(WritePrivateProfileString("A", "x", "2", dir.File("no/such/dir.ini")));
}
