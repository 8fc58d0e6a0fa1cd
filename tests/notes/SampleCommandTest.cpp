#include <gtest/gtest.h>

#include <filesystem>

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

// The demo deletes the sample folder and writes it again; the profile still
// names the deleted file, and the export must reach the new one.
TEST(SampleCommand, SampleWrittenAgainIntoADeletedFolderCanBeExported) {
    qb::test::TempDir dir;
    const std::string out = dir.File("sample");
    for (int round = 0; round < 2; ++round) {
        std::filesystem::remove_all(out);
        auto run = RunCli("sample --out " + ShellQuote(out) + " --messages 5");
        ASSERT_EQ(run.status, 0) << run.output;
        run = RunCli("export --ini " + ShellQuote(out + "/Quillbox.ini") + " --yes");
        EXPECT_EQ(run.status, 0) << "round " << round << ": " << run.output;
        EXPECT_NE(run.output.find("Completed exporting a total of "), std::string::npos) << run.output;
    }
}
