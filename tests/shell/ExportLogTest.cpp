#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

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

// Looks at the log's path before every line, as opening it for each line would.
struct RecheckEveryLine {
    RecheckEveryLine() { qb::KeptLogFile::SetRecheckInterval(std::chrono::milliseconds(0)); }
    ~RecheckEveryLine() { qb::KeptLogFile::SetRecheckInterval(qb::KeptLogFile::kDefaultRecheckInterval); }
};

TEST(ExportLog, UnwritableFilesDropLinesSilently) {
    RecheckEveryLine recheck;
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

ExportLog LoggingTo(const std::string& path) {
    ExportLog log;
    log.logToFile = true;
    log.SetSingleDatabasePath(path);
    return log;
}

// The file stays open between lines, yet each line is in the file the moment
// Write returns, and a log deleted, replaced or locked by the user is noticed
// when its path is looked at again.
TEST(ExportLog, KeptOpenFileFollowsThePath) {
    RecheckEveryLine recheck;
    TempDir dir;
    const std::string path = dir.File("exportlog.txt");
    ExportLog log = LoggingTo(path);
    log.Write("#At 10:00:00\n", true);
    for (int i = 0; i < 3; ++i) log.Write("....line\n");
    EXPECT_EQ(ReadFile(path), "#At 10:00:00\n....line\n....line\n....line\n");

    ASSERT_EQ(::unlink(path.c_str()), 0);
    log.Write("after delete\n");
    EXPECT_EQ(ReadFile(path), "after delete\n");

    ASSERT_EQ(::rename(path.c_str(), dir.File("old.txt").c_str()), 0);
    dir.Write("exportlog.txt", "replaced\n");
    log.Write("into the new file\n");
    EXPECT_EQ(ReadFile(path), "replaced\ninto the new file\n");
    EXPECT_EQ(ReadFile(dir.File("old.txt")), "after delete\n");

    ASSERT_EQ(::chmod(path.c_str(), 0400), 0);
    log.Write("dropped\n");
    EXPECT_EQ(ReadFile(path), "replaced\ninto the new file\n");
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    log.CloseFile();
    log.Write("reopened\n");
    EXPECT_EQ(ReadFile(path), "replaced\ninto the new file\nreopened\n");
}

// Lines written by a process that is killed right after are all in the file.
TEST(ExportLog, LinesSurviveAKill) {
    TempDir dir;
    const std::string path = dir.File("exportlog.txt");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ExportLog log = LoggingTo(path);
        log.Write("start\n", true);
        for (int i = 0; i < 100; ++i) log.Write("....line\n");
        ::kill(::getpid(), SIGKILL);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    std::string expected = "start\n";
    for (int i = 0; i < 100; ++i) expected += "....line\n";
    EXPECT_EQ(ReadFile(path), expected);
}

// Without a look at the path before every line, a deleted log is noticed
// after the interval: lines before it go to the deleted file, none is lost
// after it.
TEST(ExportLog, DeletedLogIsCreatedAgainAfterTheInterval) {
    qb::KeptLogFile::SetRecheckInterval(std::chrono::milliseconds(50));
    TempDir dir;
    const std::string path = dir.File("exportlog.txt");
    ExportLog log = LoggingTo(path);
    log.Write("first\n", true);
    log.Write("kept open\n");
    ASSERT_EQ(::unlink(path.c_str()), 0);
    ::usleep(100 * 1000);
    log.Write("after the interval\n");
    qb::KeptLogFile::SetRecheckInterval(qb::KeptLogFile::kDefaultRecheckInterval);
    EXPECT_EQ(ReadFile(path), "after the interval\n");
}
