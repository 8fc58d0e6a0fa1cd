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

    log.SetSingleDatabasePath(dir.path());  // a folder cannot be opened as a file
    log.Write("dropped\n");
    log.SetSingleDatabasePath("");
    log.Write("dropped\n");
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
