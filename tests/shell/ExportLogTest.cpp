#include <gtest/gtest.h>

#include <sys/stat.h>

#include "shell/log/ExportLog.h"
#include "support/TempDir.h"

using qb::ExportLog;
using qb::test::ReadFile;
using qb::test::TempDir;

TEST(ExportLog, WritesNothingWhileLoggingIsOff) {
    TempDir dir;
    ExportLog log;
    log.SetSingleDatabasePath(dir.File("exportlog.txt"));
    log.Write("#At 10:00:00\n", true);
    EXPECT_FALSE(qb::test::ReadFile(dir.File("exportlog.txt")).size());
}

TEST(ExportLog, TruncateStartsAFreshFileAndLinesAppendVerbatim) {
    TempDir dir;
    ExportLog log;
    log.logToFile = true;
    log.SetSingleDatabasePath(dir.File("exportlog.txt"));
    log.Write("first export\n", true);
    log.Write("..Exporting view/folder, '100% %s %d' - VFEC1\n");
    log.Write("no line end");
    log.Write(" continued\n");
    EXPECT_EQ(ReadFile(log.SingleDatabasePath()),
              "first export\n..Exporting view/folder, '100% %s %d' - VFEC1\nno line end continued\n");
    log.Write("second export\n", true);
    EXPECT_EQ(ReadFile(log.SingleDatabasePath()), "second export\n");
}

TEST(ExportLog, PerDatabasePathIsUsedOnlyWhileSelected) {
    TempDir dir;
    ExportLog log;
    log.logToFile = true;
    log.SetSingleDatabasePath(dir.File("single.txt"));
    log.SetPerDatabasePath(dir.File("mailbox.log"));
    log.UsePerDatabasePath(true);
    log.Write("batch\n", true);
    log.UsePerDatabasePath(false);
    log.Write("single\n");
    EXPECT_EQ(ReadFile(dir.File("mailbox.log")), "batch\n");
    EXPECT_EQ(ReadFile(dir.File("single.txt")), "single\n");
}

TEST(ExportLog, UnwritableFilesDropLinesSilently) {
    TempDir dir;
    const std::string locked = dir.Write("exportlog.txt", "kept\n");
    ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
    ExportLog log;
    log.logToFile = true;
    log.SetSingleDatabasePath(locked);
    log.Write("dropped\n", true);
    log.Write("dropped too\n");
    EXPECT_EQ(ReadFile(locked), "kept\n");

    // A log the user locks while an export runs drops the lines from then on,
    // and a fresh start does not empty it (even for the administrator, whom
    // the system would let write it).
    const std::string later = dir.File("later.txt");
    log.SetSingleDatabasePath(later);
    log.Write("written\n", true);
    ASSERT_EQ(::chmod(later.c_str(), 0400), 0);
    log.Write("dropped\n");
    log.Write("dropped\n", true);
    EXPECT_EQ(ReadFile(later), "written\n");
    ASSERT_EQ(::chmod(later.c_str(), 0600), 0);
    log.Write("again\n");
    EXPECT_EQ(ReadFile(later), "written\nagain\n");

    log.SetSingleDatabasePath(dir.path());  // a folder cannot be opened as a file
    log.Write("dropped\n");
    log.SetSingleDatabasePath("");
    log.Write("dropped\n");
}

TEST(ExportLog, ANewLogIsTheUsersAloneAndAnExistingOneKeepsItsMode) {
    TempDir dir;
    const std::string fresh = dir.File("exportlog.txt");
    qb::AppendToFile(fresh, "line\n", true);
    struct stat st {};
    ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    const std::string shared = dir.Write("shared.txt", "old content\n");
    ASSERT_EQ(::chmod(shared.c_str(), 0644), 0);
    qb::AppendToFile(shared, "new\n", true);
    EXPECT_EQ(ReadFile(shared), "new\n");
    ASSERT_EQ(::stat(shared.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST(ExportLog, AppendToFileIgnoresTheLogGate) {
    TempDir dir;
    const std::string path = dir.File("Quillbox.sup");
    qb::AppendToFile(path, "\n\nStart Quillbox at: x\n", false);
    qb::AppendToFile(path, "...Init Outlook\n", false);
    EXPECT_EQ(ReadFile(path), "\n\nStart Quillbox at: x\n...Init Outlook\n");
    qb::AppendToFile(path, "fresh\n", true);
    EXPECT_EQ(ReadFile(path), "fresh\n");
}
