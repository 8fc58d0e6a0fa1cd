#include <gtest/gtest.h>

#include <filesystem>

#include "MailboxFixture.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"

namespace qb::test {
namespace {

std::string Quote(const std::string& text) { return ShellQuote(text); }

TEST(CliNotesTest, EveryOutsideDxlSampleDumps) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TestDataDir() + "/dxl")) {
        ProgramResult result = RunCli("notes-dump " + Quote(entry.path().string()) + " --documents");
        EXPECT_EQ(result.status, 0) << entry.path() << "\n" << result.output;
        EXPECT_NE(result.output.find("Title: "), std::string::npos);
        result = RunCli("notes-dump " + Quote(entry.path().string()) + " --documents --json");
        EXPECT_EQ(result.status, 0) << result.output;
        ++files;
    }
    EXPECT_GE(files, 7);
}

TEST(CliNotesTest, DumpListsViewsWithEntryCounts) {
    TempDir dir;
    std::string path = dir.Write("mail.dxl", MailboxDxl());
    ProgramResult result = RunCli("notes-dump " + Quote(path));
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("View \"($All)\" flags=\"\" entries=6"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("Folder \"Projects\\Alpha\" flags=\"F\" entries=1"), std::string::npos);
    EXPECT_NE(result.output.find("View \"Broken\" flags=\"\" entries=error: "), std::string::npos);
}

TEST(CliNotesTest, SearchPrintsCountThenIds) {
    TempDir dir;
    std::string path = dir.Write("mail.dxl", MailboxDxl());
    ProgramResult result = RunCli("notes-search " + Quote(path) + " 'Form = \"Memo\"'");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "2\n0x100\n0x104\n");
    result = RunCli("notes-search " + Quote(path) + " 'Form = \"Nothing\"'");
    EXPECT_EQ(result.output, "0\n");
    result = RunCli("notes-search " + Quote(path) + " '@Bogus(Form)'");
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.output.find("@Bogus"), std::string::npos) << result.output;
    result = RunCli("notes-search " + Quote(path));
    EXPECT_EQ(result.status, 2);
    result = RunCli("notes-dump " + Quote(dir.File("missing.dxl")));
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.output.find("File does not exist"), std::string::npos) << result.output;
}

}  // namespace
}  // namespace qb::test
