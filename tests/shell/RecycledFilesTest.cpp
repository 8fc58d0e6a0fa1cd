// RecycledFiles: a file done with is kept (emptied, private, under a name of
// its own) and its inode reused by the next file; nothing of the caller's is
// ever replaced, and nothing kept survives the object.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "shell/platform/FileInfo.h"
#include "shell/platform/OutputFile.h"
#include "shell/platform/RecycledFiles.h"
#include "support/TempDir.h"

namespace pf = qb::platform;
using qb::test::ReadFile;
using qb::test::TempDir;

namespace {

std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename());
    return names;
}

ino_t Inode(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

}  // namespace

TEST(RecycledFiles, ADeletedFileLendsItsInodeToTheNextAndNothingIsLeftAfterwards) {
    TempDir dir;
    {
        pf::RecycledFiles recycled(dir.path());
        const std::string rtf = dir.Write("RTF1.rtf", "{\\rtf1 first}");
        const ino_t inode = Inode(rtf);
        EXPECT_FALSE(recycled.Provide(dir.File("RTF2.rtf"))) << "nothing is kept yet";

        ASSERT_TRUE(recycled.Remove(rtf));
        EXPECT_FALSE(pf::FileExists(rtf)) << "the file is gone from its name at once";
        ASSERT_EQ(recycled.keptCount(), 1u);
        EXPECT_EQ(Names(dir.path()).size(), 1u);

        const std::string next = dir.File("_IMAGE1.tif");
        ASSERT_TRUE(recycled.Provide(next));
        EXPECT_EQ(Inode(next), inode);
        EXPECT_EQ(ReadFile(next), "") << "a kept file is emptied";
        struct stat st {};
        ASSERT_EQ(::lstat(next.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        EXPECT_EQ(recycled.keptCount(), 0u);

        // The writers of the converters create over it as over nothing.
        std::string error;
        const std::string picture("II*\0picture", 11);
        ASSERT_TRUE(pf::WriteWholeFile(next, picture, &error)) << error;
        EXPECT_EQ(ReadFile(next), picture);
        EXPECT_EQ(Inode(next), inode);
        ASSERT_TRUE(recycled.Remove(next));
        EXPECT_EQ(recycled.keptCount(), 1u);
    }
    EXPECT_TRUE(Names(dir.path()).empty()) << "the kept files go with the object";
}

TEST(RecycledFiles, NeverReplacesAFileNorKeepsWhatIsNotAPlainFileOfItsOwn) {
    TempDir dir;
    pf::RecycledFiles recycled(dir.path());
    ASSERT_TRUE(recycled.Remove(dir.Write("a.txt", "a")));
    ASSERT_EQ(recycled.keptCount(), 1u);

    const std::string existing = dir.Write("report.doc", "the user's own");
    EXPECT_FALSE(recycled.Provide(existing));
    EXPECT_EQ(ReadFile(existing), "the user's own");
    EXPECT_EQ(recycled.keptCount(), 1u) << "the kept file stays for the next";

    // A symbolic link is deleted as before, never followed.
    const std::string target = dir.Write("target.txt", "keep me");
    const std::string link = dir.File("link.txt");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    EXPECT_TRUE(recycled.Remove(link));
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFile(target), "keep me");
    EXPECT_EQ(recycled.keptCount(), 1u);

    // A file with a second name would take that name's content along.
    const std::string linked = dir.Write("linked.txt", "shared");
    const std::string other = dir.File("other.txt");
    ASSERT_EQ(::link(linked.c_str(), other.c_str()), 0);
    EXPECT_TRUE(recycled.Remove(linked));
    EXPECT_EQ(ReadFile(other), "shared");
    EXPECT_EQ(recycled.keptCount(), 1u);

    EXPECT_TRUE(recycled.Remove(dir.File("missing.txt"))) << "a missing file counts as removed";

    // A name the object would keep under that is taken already is skipped.
    const std::string squatter = dir.Write(std::string(pf::RecycledFiles::kKeptPrefix) + "2", "an attachment");
    EXPECT_TRUE(recycled.Remove(dir.Write("b.txt", "b")));
    EXPECT_EQ(ReadFile(squatter), "an attachment");
    EXPECT_EQ(recycled.keptCount(), 2u);
    recycled.Clear();
    EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"other.txt", "report.doc", "target.txt",
                                                         std::string(pf::RecycledFiles::kKeptPrefix) + "2"}));
}

TEST(RecycledFiles, KeepsNoMoreThanItsCapacityAndNothingWithoutAFolder) {
    TempDir dir;
    {
        pf::RecycledFiles recycled(dir.path(), 2);
        for (const char* name : {"1", "2", "3"}) EXPECT_TRUE(recycled.Remove(dir.Write(name, name)));
        EXPECT_EQ(recycled.keptCount(), 2u);
        EXPECT_EQ(Names(dir.path()).size(), 2u);
    }
    EXPECT_TRUE(Names(dir.path()).empty());

    pf::RecycledFiles none("");
    const std::string file = dir.Write("x", "x");
    EXPECT_TRUE(none.Remove(file));
    EXPECT_FALSE(pf::FileExists(file));
    EXPECT_EQ(none.keptCount(), 0u);
    EXPECT_TRUE(pf::RemoveFile(nullptr, dir.Write("y", "y")));
    EXPECT_FALSE(pf::ProvideFile(nullptr, dir.File("z")));
    EXPECT_TRUE(Names(dir.path()).empty());
}

// The converters' files are written through OutputFile, which must empty what
// was there before without truncating an empty file (see RecycledFiles).
TEST(OutputFile, EmptiesAnExistingFileAndGivesAnEmptyOneTheTimesOfATruncation) {
    TempDir dir;
    const std::string longer = dir.Write("RTF1.rtf", "a longer earlier content");
    std::string error;
    ASSERT_TRUE(pf::WriteWholeFile(longer, "short", &error)) << error;
    EXPECT_EQ(ReadFile(longer), "short");

    const std::string empty = dir.Write("a.txt", "");
    ASSERT_TRUE(pf::SetFileModified(empty, 1000000000));
    ASSERT_TRUE(pf::WriteWholeFile(empty, "", &error)) << error;
    EXPECT_GT(pf::GetFileStatus(empty)->modified, 1000000000) << "as a new file";
    EXPECT_EQ(ReadFile(empty), "");
}

// A file handed over in pieces is whole once closed, and a failing piece
// still fails the file and takes it away.
TEST(OutputFile, GathersPiecesAndRemovesAFileThatFailed) {
    TempDir dir;
    const std::string path = dir.File("report.pdf");
    pf::OutputFile out;
    ASSERT_TRUE(out.Create(path));
    std::string expected;
    for (int i = 0; i < 200; ++i) {
        const std::string piece(i % 7 == 0 ? 8191 : 3, static_cast<char>('a' + i % 26));
        ASSERT_TRUE(out.Write(piece));
        expected += piece;
    }
    ASSERT_TRUE(out.Close()) << out.error();
    EXPECT_EQ(ReadFile(path), expected);

    // A name the system cannot open as a file fails at Create.
    pf::OutputFile folder;
    EXPECT_FALSE(folder.Create(dir.path()));
    EXPECT_NE(folder.errorNumber(), 0);
    EXPECT_FALSE(folder.Close());
}

// The kept files live relative to the folder, also in folders below it.
TEST(RecycledFiles, RecyclesInSubfoldersAndKeepsInTheFolderItself) {
    TempDir dir;
    pf::RecycledFiles recycled(dir.path());
    ASSERT_EQ(::mkdir(dir.File("2").c_str(), 0700), 0);
    const std::string nested = dir.Write("2/report.pdf", "second report");
    const ino_t inode = Inode(nested);
    ASSERT_TRUE(recycled.Remove(nested));
    EXPECT_FALSE(pf::FileExists(nested));
    EXPECT_EQ(Names(dir.File("2")).size(), 0u);
    EXPECT_EQ(Names(dir.path()).size(), 2u) << "the folder 2 and the kept file";
    const std::string next = dir.File("2/notes.txt");
    ASSERT_TRUE(recycled.Provide(next));
    EXPECT_EQ(Inode(next), inode);
    EXPECT_EQ(ReadFile(next), "");

    // A path outside the folder is deleted, never kept.
    TempDir other;
    const std::string outside = other.Write("x.txt", "x");
    EXPECT_TRUE(recycled.Remove(outside));
    EXPECT_FALSE(pf::FileExists(outside));
    EXPECT_EQ(recycled.keptCount(), 0u);
}
