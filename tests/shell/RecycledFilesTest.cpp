// RecycledFiles: a file done with is kept (private, under a hidden name of
// its own, with its stale bytes) and lent to the next name as a hard link;
// nothing of the caller's is ever replaced, every name lent is gone once
// removed, and nothing kept survives the object. OutputFile, the writer of
// these files, leaves exactly the bytes written in a reused file.

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

nlink_t Links(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_nlink : 0;
}

TEST(RecycledFiles, ADeletedFileLendsItsInodeToTheNextAndNothingIsLeftAfterwards) {
    TempDir dir;
    {
        pf::RecycledFiles recycled(dir.path());
        const std::string rtf = dir.Write("RTF1.rtf", "{\\rtf1 a first and longer body}");
        const ino_t inode = Inode(rtf);
        EXPECT_FALSE(recycled.Provide(dir.File("RTF2.rtf"))) << "nothing is kept yet";

        ASSERT_TRUE(recycled.Remove(rtf));
        EXPECT_FALSE(pf::FileExists(rtf)) << "the file is gone from its name at once";
        ASSERT_EQ(recycled.keptCount(), 1u);
        ASSERT_EQ(Names(dir.path()).size(), 1u);
        const std::string hidden = dir.File(*Names(dir.path()).begin());
        EXPECT_EQ(hidden.rfind(dir.File(pf::RecycledFiles::kKeptPrefix), 0), 0u) << hidden;

        const std::string next = dir.File("_IMAGE1.tif");
        ASSERT_TRUE(recycled.Provide(next));
        EXPECT_EQ(Inode(next), inode);
        EXPECT_EQ(Links(next), 2u) << "lent as a second name; the hidden one stays";
        EXPECT_EQ(ReadFile(next), "{\\rtf1 a first and longer body}") << "a kept file is never emptied";
        struct stat st {};
        ASSERT_EQ(::lstat(next.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        EXPECT_EQ(recycled.keptCount(), 0u);
        EXPECT_EQ(recycled.lentCount(), 1u);

        // The writers of the converters write over the stale bytes and cut the rest.
        std::string error;
        const std::string picture("II*\0picture", 11);
        ASSERT_TRUE(pf::WriteWholeFile(next, picture, &error)) << error;
        EXPECT_EQ(ReadFile(next), picture);
        EXPECT_EQ(Inode(next), inode);
        ASSERT_TRUE(recycled.Remove(next));
        EXPECT_FALSE(pf::FileExists(next));
        EXPECT_EQ(Links(hidden), 1u);
        EXPECT_EQ(recycled.keptCount(), 1u);
        EXPECT_EQ(recycled.lentCount(), 0u);

        // Lent again, the same inode carries the next document's file.
        ASSERT_TRUE(recycled.Provide(dir.File("RTF2.rtf")));
        EXPECT_EQ(Inode(dir.File("RTF2.rtf")), inode);
        ASSERT_TRUE(pf::WriteWholeFile(dir.File("RTF2.rtf"), "{\\rtf1 a much longer second body than the picture}",
                                       &error))
            << error;
        EXPECT_EQ(ReadFile(dir.File("RTF2.rtf")), "{\\rtf1 a much longer second body than the picture}");
        ASSERT_TRUE(recycled.Remove(dir.File("RTF2.rtf")));
        EXPECT_EQ(Names(dir.path()).size(), 1u);
    }
    EXPECT_TRUE(Names(dir.path()).empty()) << "the kept files go with the object";
}

TEST(RecycledFiles, NeverReplacesAFileNorKeepsWhatIsNotAPlainFileOfItsOwn) {
    TempDir dir;
    pf::RecycledFiles recycled(dir.path());
    ASSERT_TRUE(recycled.Remove(dir.Write("a.txt", "a")));
    ASSERT_EQ(recycled.keptCount(), 1u);

    const std::string existing = dir.Write("report.doc", "the user's own");
    EXPECT_FALSE(recycled.Provide(existing)) << "an existing name is never linked over";
    EXPECT_EQ(ReadFile(existing), "the user's own");
    EXPECT_EQ(Links(existing), 1u);
    EXPECT_EQ(recycled.keptCount(), 1u) << "the kept file stays for the next";

    // Nothing is lent outside the folder.
    TempDir other;
    EXPECT_FALSE(recycled.Provide(other.File("x.txt")));
    EXPECT_FALSE(pf::FileExists(other.File("x.txt")));

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
    const std::string second = dir.File("other.txt");
    ASSERT_EQ(::link(linked.c_str(), second.c_str()), 0);
    EXPECT_TRUE(recycled.Remove(linked));
    EXPECT_EQ(ReadFile(second), "shared");
    EXPECT_EQ(recycled.keptCount(), 1u);

    // A file too large to hold on to is deleted.
    const std::string large = dir.Write("large.bin", std::string(pf::RecycledFiles::kMaxKeptBytes + 1, 'l'));
    EXPECT_TRUE(recycled.Remove(large));
    EXPECT_FALSE(pf::FileExists(large));
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

// What the writer or anyone else did with a lent name meanwhile: the name
// goes as a delete would take it, and the kept file is free again.
TEST(RecycledFiles, RemovesALentNameWhateverBecameOfIt) {
    TempDir dir;
    pf::RecycledFiles recycled(dir.path());
    for (const char* name : {"1", "2", "3"}) ASSERT_TRUE(recycled.Remove(dir.Write(name, "kept")));
    ASSERT_EQ(recycled.keptCount(), 3u);

    // Deleted by its writer (a failed write): missing counts as removed.
    const std::string failed = dir.File("failed.pdf");
    ASSERT_TRUE(recycled.Provide(failed));
    ASSERT_EQ(::unlink(failed.c_str()), 0);
    EXPECT_TRUE(recycled.Remove(failed));
    EXPECT_EQ(recycled.keptCount(), 3u);

    // Replaced by another file: that file is deleted, the kept one stays whole.
    const std::string replaced = dir.File("replaced.pdf");
    ASSERT_TRUE(recycled.Provide(replaced));
    const ino_t kept = Inode(replaced);
    const std::string newer = dir.Write("newer.pdf", "someone else's");
    ASSERT_EQ(::rename(newer.c_str(), replaced.c_str()), 0);
    EXPECT_TRUE(recycled.Remove(replaced));
    EXPECT_FALSE(pf::FileExists(replaced));
    EXPECT_EQ(recycled.keptCount(), 3u);
    std::set<ino_t> keptInodes;
    for (const std::string& name : Names(dir.path())) keptInodes.insert(Inode(dir.File(name)));
    EXPECT_EQ(keptInodes.count(kept), 1u) << "the kept file stays under its hidden name";
    EXPECT_EQ(keptInodes.size(), 3u);

    // Deleted behind the object's back and lent again under the same name.
    const std::string again = dir.File("again.txt");
    ASSERT_TRUE(recycled.Provide(again));
    ASSERT_EQ(::unlink(again.c_str()), 0);
    ASSERT_TRUE(recycled.Provide(again));
    EXPECT_EQ(recycled.lentCount(), 1u);
    EXPECT_EQ(recycled.keptCount(), 2u);
    EXPECT_TRUE(recycled.Remove(again));
    EXPECT_EQ(recycled.keptCount(), 3u);

    // A lent file that grew too large is not kept.
    const std::string grown = dir.File("grown.bin");
    ASSERT_TRUE(recycled.Provide(grown));
    std::string error;
    ASSERT_TRUE(pf::WriteWholeFile(grown, std::string(pf::RecycledFiles::kMaxKeptBytes + 1, 'g'), &error)) << error;
    EXPECT_TRUE(recycled.Remove(grown));
    EXPECT_EQ(recycled.keptCount(), 2u);
    EXPECT_EQ(Names(dir.path()).size(), 2u);

    // The destructor takes the hidden names of lent files too; the lent name
    // stays with its caller as any file it wrote.
    {
        pf::RecycledFiles scoped(dir.path());
        ASSERT_TRUE(scoped.Remove(dir.Write("x", "x")));
        ASSERT_TRUE(scoped.Provide(dir.File("lent.txt")));
        EXPECT_EQ(Links(dir.File("lent.txt")), 2u);
    }
    EXPECT_EQ(Links(dir.File("lent.txt")), 1u);
    EXPECT_EQ(ReadFile(dir.File("lent.txt")), "x");
    ASSERT_TRUE(pf::DeleteFile(dir.File("lent.txt")));
    recycled.Clear();
    EXPECT_TRUE(Names(dir.path()).empty());
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

// The converters' files are written through OutputFile, which writes over
// what was there before and cuts the rest, never emptying a file before it
// writes into it (see RecycledFiles).
TEST(OutputFile, LeavesExactlyTheBytesWrittenInAnExistingFile) {
    TempDir dir;
    std::string error;
    const std::string longer = dir.Write("RTF1.rtf", "a longer earlier content");
    const ino_t inode = Inode(longer);
    ASSERT_TRUE(pf::WriteWholeFile(longer, "short", &error)) << error;
    EXPECT_EQ(ReadFile(longer), "short");
    EXPECT_EQ(Inode(longer), inode) << "written in place";

    ASSERT_TRUE(pf::WriteWholeFile(longer, "a content longer than the one before", &error)) << error;
    EXPECT_EQ(ReadFile(longer), "a content longer than the one before");
    ASSERT_TRUE(pf::WriteWholeFile(longer, "", &error)) << error;
    EXPECT_EQ(ReadFile(longer), "");

    // Larger than one gathered write, over a larger stale file.
    const std::string big = dir.Write("big.bin", std::string(300000, 's'));
    std::string content;
    for (int i = 0; i < 200000; ++i) content += static_cast<char>('a' + i % 26);
    pf::OutputFile out;
    ASSERT_TRUE(out.Create(big));
    ASSERT_TRUE(out.Write(std::string_view(content).substr(0, 100)));
    ASSERT_TRUE(out.Write(std::string_view(content).substr(100)));
    ASSERT_TRUE(out.Close()) << out.error();
    EXPECT_EQ(ReadFile(big), content);

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
    EXPECT_EQ(ReadFile(next), "second report");
    ASSERT_TRUE(recycled.Remove(next));
    EXPECT_EQ(Names(dir.File("2")).size(), 0u) << "the numbered folder can go";
    EXPECT_EQ(recycled.keptCount(), 1u);

    // A path outside the folder is deleted, never kept.
    TempDir other;
    const std::string outside = other.Write("x.txt", "x");
    EXPECT_TRUE(recycled.Remove(outside));
    EXPECT_FALSE(pf::FileExists(outside));
    EXPECT_EQ(recycled.keptCount(), 1u);
}
