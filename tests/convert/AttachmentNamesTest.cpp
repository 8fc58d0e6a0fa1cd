#include <gtest/gtest.h>

#include "convert/AttachmentNames.h"

using qb::AttachmentNamer;

TEST(AttachmentNames, SafeNamesDropFoldersAndUnsafeCharacters) {
    AttachmentNamer namer(false);
    EXPECT_EQ(namer.SafeName("C:\\docs\\report.pdf"), "report.pdf");
    EXPECT_EQ(namer.SafeName("a:b?.txt"), "a b .txt");
    EXPECT_EQ(namer.SafeName("../../etc/passwd"), "passwd");
    EXPECT_EQ(namer.SafeName(std::string("tab\there\x01.doc", 13)), "tab here .doc");
    EXPECT_EQ(namer.SafeName("  spaced.txt  "), "spaced.txt");
    EXPECT_EQ(namer.SafeName("setup.exe"), "setup.exe") << "renaming is off";
}

TEST(AttachmentNames, FallbackNamesAreNumberedAndTakeTheLastExtension) {
    AttachmentNamer first(false);
    EXPECT_EQ(first.SafeName("?*"), "FILE1.");
    EXPECT_EQ(first.SafeName("photo.jpg"), "photo.jpg");
    EXPECT_EQ(first.SafeName(""), "FILE2.jpg");
    EXPECT_EQ(first.SafeName(".."), "FILE3.jpg") << "a folder name is no file name";
    AttachmentNamer nextDocument(false);
    EXPECT_EQ(nextDocument.SafeName("|"), "FILE1.");
}

TEST(AttachmentNames, ExecutablesAreRenamedWhenAsked) {
    AttachmentNamer namer(true);
    EXPECT_EQ(namer.SafeName("setup.exe"), "setup.EX~");
    EXPECT_EQ(namer.SafeName("Setup.Exe"), "Setup.EX~");
    EXPECT_EQ(namer.SafeName("archive.exe.zip"), "archive.exe.zip");
    EXPECT_EQ(namer.SafeName(".exe"), ".exe") << "no dot after the first character";
    EXPECT_EQ(namer.SafeName("tool.EXE"), "tool.EX~");
    EXPECT_EQ(namer.SafeName("?"), "FILE1.EX~") << "a fallback after an executable is renamed too";
}

TEST(AttachmentNames, SameNameInOneDocumentGetsItsOwnPath) {
    AttachmentNamer namer(false);
    EXPECT_EQ(namer.UniquePath("/tmp/q", "report.pdf"), "/tmp/q/report.pdf");
    EXPECT_EQ(namer.UniquePath("/tmp/q/", "report.pdf"), "/tmp/q/report (2).pdf");
    EXPECT_EQ(namer.UniquePath("/tmp/q", "report.pdf"), "/tmp/q/report (3).pdf");
    EXPECT_EQ(namer.UniquePath("/tmp/q", "README"), "/tmp/q/README");
    EXPECT_EQ(namer.UniquePath("/tmp/q", "README"), "/tmp/q/README (2)");
    EXPECT_EQ(namer.UniquePath("/tmp/q", ".profile"), "/tmp/q/.profile");
    EXPECT_EQ(namer.UniquePath("/tmp/q", ".profile"), "/tmp/q/.profile (2)");
}
