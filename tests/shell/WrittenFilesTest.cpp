// WrittenFiles: the bytes of a file OutputFile just closed are handed back
// only while the file under that name is still exactly the one closed; any
// change the system can see (size, inode, times), a delete or a rewrite
// makes the reader go to the file again. What is held stays bounded.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "shell/platform/FileInfo.h"
#include "shell/platform/OutputFile.h"
#include "shell/platform/RecycledFiles.h"
#include "shell/platform/WrittenFiles.h"
#include "support/TempDir.h"

namespace pf = qb::platform;
using qb::test::TempDir;

namespace {

class WrittenFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        pf::WrittenFiles::ForceEnabled(true);
        pf::WrittenFiles::Shared().Clear();
    }
    void TearDown() override {
        pf::WrittenFiles::Shared().Clear();
        pf::WrittenFiles::ForceEnabled(std::nullopt);
    }

    static std::string Recalled(const std::string& path) {
        auto bytes = pf::WrittenFiles::Shared().Recall(path, nullptr);
        return bytes ? *bytes : std::string("<none>");
    }
    static void Write(const std::string& path, const std::string& content) {
        std::string error;
        ASSERT_TRUE(pf::WriteWholeFile(path, content, &error)) << error;
    }
};

}  // namespace

TEST_F(WrittenFilesTest, AClosedFileIsHandedBackWithTheStatusOfTheFileOnDisk) {
    TempDir dir;
    const std::string path = dir.File("RTF1.rtf");
    pf::OutputFile file;
    ASSERT_TRUE(file.Create(path));
    ASSERT_TRUE(file.Write("{\\rtf1 "));
    ASSERT_TRUE(file.Write(std::string(100000, 'x')));  // past the gathering limit: written at once
    ASSERT_TRUE(file.Write("}"));
    ASSERT_TRUE(file.Close());

    struct stat now {};
    auto bytes = pf::WrittenFiles::Shared().Recall(path, &now);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(*bytes, qb::test::ReadFile(path));
    struct stat onDisk {};
    ASSERT_EQ(::stat(path.c_str(), &onDisk), 0);
    EXPECT_TRUE(pf::SameFileState(now, onDisk));

    // An empty file and a file that overwrote a longer one are remembered as written.
    Write(path, "short");
    EXPECT_EQ(Recalled(path), "short");
    Write(path, "");
    EXPECT_EQ(Recalled(path), "");
}

TEST_F(WrittenFilesTest, AnyChangeTheSystemShowsSendsTheReaderToTheFile) {
    TempDir dir;
    const std::string path = dir.File("report.pdf");
    Write(path, "the attachment");
    ASSERT_EQ(Recalled(path), "the attachment");

    // Grown by another writer.
    { std::ofstream(path, std::ios::app) << " and more"; }
    EXPECT_EQ(Recalled(path), "<none>");

    // Replaced by another file of the same size under the same name.
    Write(path, "the attachment");
    const std::string other = dir.Write("other", "THE ATTACHMENT");
    ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
    EXPECT_EQ(Recalled(path), "<none>");

    // Its times changed (same size, same inode).
    Write(path, "the attachment");
    struct timespec times[2] = {{1, 0}, {1, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_EQ(Recalled(path), "<none>");

    // Gone, and the name made again by someone else.
    Write(path, "the attachment");
    ASSERT_EQ(::unlink(path.c_str()), 0);
    EXPECT_EQ(Recalled(path), "<none>");
    dir.Write("report.pdf", "the attachment");
    EXPECT_EQ(Recalled(path), "<none>");
}

TEST_F(WrittenFilesTest, DeletingForgetsAndWhatIsHeldIsBounded) {
    TempDir dir;
    const std::string path = dir.File("a.txt");
    Write(path, "a");
    ASSERT_TRUE(pf::DeleteFile(path));
    dir.Write("a.txt", "a");
    // Even a file that happened to look the same is read from disk again.
    EXPECT_EQ(Recalled(path), "<none>");

    {
        pf::RecycledFiles recycled(dir.path());
        const std::string lent = dir.File("RTF2.rtf");
        Write(lent, "body");
        ASSERT_EQ(Recalled(lent), "body");
        ASSERT_TRUE(recycled.Remove(lent));
        ASSERT_TRUE(recycled.Provide(lent));
        EXPECT_EQ(Recalled(lent), "<none>") << "a removed name is forgotten, though its inode comes back";
        ASSERT_TRUE(recycled.Remove(lent));
    }

    // Too large a file is not held.
    const std::string large = dir.File("large.bin");
    Write(large, std::string(pf::WrittenFiles::kMaxBytes + 1, 'L'));
    EXPECT_EQ(Recalled(large), "<none>");

    // Only the newest few are held.
    for (std::size_t i = 0; i <= pf::WrittenFiles::kMaxEntries; ++i)
        Write(dir.File("f" + std::to_string(i)), std::to_string(i));
    EXPECT_EQ(Recalled(dir.File("f0")), "<none>");
    EXPECT_EQ(Recalled(dir.File("f1")), "1");
    EXPECT_EQ(Recalled(dir.File("f" + std::to_string(pf::WrittenFiles::kMaxEntries))),
              std::to_string(pf::WrittenFiles::kMaxEntries));

    // Switched off, nothing is held.
    pf::WrittenFiles::ForceEnabled(false);
    Write(path, "off");
    pf::WrittenFiles::ForceEnabled(true);
    EXPECT_EQ(Recalled(path), "<none>");
}
