#include <gtest/gtest.h>

#include <filesystem>

#include "support/OutsideTools.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"

using qb::test::RunCli;
using qb::test::ShellQuote;

TEST(SampleCommand, WritesTheDataDirectoryAndRefusesBadArguments) {
    qb::test::TempDir dir;
    const std::string out = dir.File("sample dir");
    const auto run = RunCli("sample --out " + ShellQuote(out) + " --messages 20 --seed 5");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("manifest.json"), std::string::npos);
    EXPECT_FALSE(qb::test::ReadFile(out + "/manifest.json").empty());
    EXPECT_FALSE(qb::test::ReadFile(out + "/data/mail/jdoe.dxl").empty());

    EXPECT_EQ(RunCli("sample").status, 2);
    EXPECT_EQ(RunCli("sample --out").status, 2);
    EXPECT_EQ(RunCli("sample --out x --messages -1").status, 2);
    EXPECT_EQ(RunCli("sample --out x --messages 10000001").status, 2);
    EXPECT_EQ(RunCli("sample --out x --seed abc").status, 2);
    EXPECT_EQ(RunCli("sample --out x --bogus").status, 2);
    // A file where the folder should be: a failure, not a usage error.
    const std::string file = dir.Write("plain-file", "x");
    EXPECT_EQ(RunCli("sample --out " + ShellQuote(file)).status, 1);
}

// The demo writes the sample again, into a deleted folder or over the old
// one; the profile still names the old file. Each export must reach the new
// file and find it empty.
TEST(SampleCommand, SampleWrittenAgainExportsIntoAFreshFile) {
    qb::test::TempDir dir;
    QB_REQUIRE_TOOL("lspst");
    const std::string out = dir.File("sample");
    std::string firstCount;
    for (int round = 0; round < 3; ++round) {
        if (round == 2) std::filesystem::remove_all(out);
        auto run = RunCli("sample --out " + ShellQuote(out) + " --messages 5");
        ASSERT_EQ(run.status, 0) << run.output;
        run = RunCli("export --ini " + ShellQuote(out + "/Quillbox.ini") + " --yes");
        EXPECT_EQ(run.status, 0) << "round " << round << ": " << run.output;
        const auto items = qb::test::RunCommand("lspst " + ShellQuote(out + "/Quillbox Sample.pst") + " | grep -c '^Email'");
        if (round == 0) firstCount = items.output;
        EXPECT_EQ(items.output, firstCount) << "round " << round;
        EXPECT_NE(firstCount, "0\n");
    }
}
