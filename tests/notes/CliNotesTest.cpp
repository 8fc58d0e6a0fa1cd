#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

#include "MailboxFixture.h"
#include "support/TempDir.h"

namespace qb::test {
namespace {

struct RunResult {
    int exitCode = -1;
    std::string output;
};

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

RunResult RunCli(const std::string& arguments) {
    const char* binaryDir = std::getenv("QUILLBOX_BINARY_DIR");
    std::string command = std::string(binaryDir ? binaryDir : ".") + "/quillbox-cli " + arguments + " 2>&1";
    RunResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> buffer;
    while (std::size_t got = std::fread(buffer.data(), 1, buffer.size(), pipe)) result.output.append(buffer.data(), got);
    int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TEST(CliNotesTest, EveryOutsideDxlSampleDumps) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TestDataDir() + "/dxl")) {
        RunResult result = RunCli("notes-dump " + Quote(entry.path().string()) + " --documents");
        EXPECT_EQ(result.exitCode, 0) << entry.path() << "\n" << result.output;
        EXPECT_NE(result.output.find("Title: "), std::string::npos);
        result = RunCli("notes-dump " + Quote(entry.path().string()) + " --documents --json");
        EXPECT_EQ(result.exitCode, 0) << result.output;
        ++files;
    }
    EXPECT_GE(files, 7);
}

TEST(CliNotesTest, DumpListsViewsWithEntryCounts) {
    TempDir dir;
    std::string path = dir.Write("mail.dxl", MailboxDxl());
    RunResult result = RunCli("notes-dump " + Quote(path));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_NE(result.output.find("View \"($All)\" flags=\"\" entries=6"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("Folder \"Projects\\Alpha\" flags=\"F\" entries=1"), std::string::npos);
    EXPECT_NE(result.output.find("View \"Broken\" flags=\"\" entries=error: "), std::string::npos);
}

TEST(CliNotesTest, SearchPrintsCountThenIds) {
    TempDir dir;
    std::string path = dir.Write("mail.dxl", MailboxDxl());
    RunResult result = RunCli("notes-search " + Quote(path) + " 'Form = \"Memo\"'");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, "2\n0x100\n0x104\n");
    result = RunCli("notes-search " + Quote(path) + " 'Form = \"Nothing\"'");
    EXPECT_EQ(result.output, "0\n");
    result = RunCli("notes-search " + Quote(path) + " '@Bogus(Form)'");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.output.find("@Bogus"), std::string::npos) << result.output;
    result = RunCli("notes-search " + Quote(path));
    EXPECT_EQ(result.exitCode, 2);
    result = RunCli("notes-dump " + Quote(dir.File("missing.dxl")));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.output.find("File does not exist"), std::string::npos) << result.output;
}

}  // namespace
}  // namespace qb::test
