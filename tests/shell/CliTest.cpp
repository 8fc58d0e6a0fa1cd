#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/RunProgram.h"
#include "support/TempDir.h"

using qb::test::TempDir;

using qb::test::RunCli;
using qb::test::ShellQuote;

namespace {

bool HasLine(const std::string& output, const std::string& line) {
    return ("\n" + output).find("\n" + line + "\n") != std::string::npos;
}

}  // namespace

TEST(Cli, HelpVersionAndUsageErrors) {
    auto help = RunCli("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("settings [--ini FILE]"), std::string::npos);
    EXPECT_EQ(RunCli("--version").status, 0);
    auto unknown = RunCli("frobnicate");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.output.find("unknown command 'frobnicate'"), std::string::npos);
    EXPECT_EQ(RunCli("settings --ini").status, 2);
    EXPECT_EQ(RunCli("settings --bogus").status, 2);
    EXPECT_EQ(RunCli("").status, 2);
    // Commands of one file or database name refuse other options and a second name.
    for (const char* command : {"pst-check", "pst-dump", "pst-sample", "notes-dump"}) {
        const auto option = RunCli(std::string(command) + " a --bogus");
        EXPECT_EQ(option.status, 2) << option.output;
        EXPECT_NE(option.output.find("unknown option '--bogus'"), std::string::npos) << option.output;
        const auto second = RunCli(std::string(command) + " a b");
        EXPECT_EQ(second.status, 2) << second.output;
        EXPECT_NE(second.output.find("unexpected argument 'b'"), std::string::npos) << second.output;
    }
}

TEST(Cli, SettingsShowsTheLoadedValuesInLoadOrder) {
    TempDir dir;
    const std::string ini = dir.Write("Quillbox.ini",
        "[Lotus Notes]\nComponents=Mail,,Tasks\nMeetingDefaultReminder=\nTimeZoneHours=\nBodyFormat=2\n"
        "FilterYear=1970\nFilterMonth=3\nFilterDay=1\nFilterYearTo=2030\nFilterMonthTo=12\nFilterDayTo=31\n"
        "FilterHourTo=23\nFilterMinuteTo=59\nFilterSecondTo=58\n"
        "TranslationFilePath=" + std::string(20000, 'p') + "\n[Other Settings]\nLogExport=1\n");
    auto result = RunCli("settings --ini " + ShellQuote(ini));
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_TRUE(HasLine(result.output, "Components=Mail,,Tasks"));
    EXPECT_TRUE(HasLine(result.output, "MeetingDefaultReminder=15"));
    EXPECT_TRUE(HasLine(result.output, "TimeZoneHours=0"));
    EXPECT_TRUE(HasLine(result.output, "BodyFormat=0"));
    EXPECT_TRUE(HasLine(result.output, "LogExport=1"));
    EXPECT_TRUE(HasLine(result.output, "FilterTo=2030-12-31 23:59:58"));
    EXPECT_TRUE(HasLine(result.output, "TranslationFilePath=" + std::string(15000, 'p')));
    // The default start of the range is 1 January of last year, at midnight.
    const auto from = result.output.find("\nFilterFrom=");
    ASSERT_NE(from, std::string::npos);
    EXPECT_EQ(result.output.substr(from + 16, 15), "-01-01 00:00:00");
    const std::string lines = "\n" + result.output;
    EXPECT_EQ(lines.find("\nIniFilePath="), 0u);
    EXPECT_LT(lines.find("\nLockComponents="), lines.find("\nComponents="));
    EXPECT_LT(lines.find("\nLogExport="), lines.find("\nPSTPath="));
}

// Every numeric option of every command goes through one parser: a bad
// value is a usage error naming the option and its range, found before any
// file is written.
TEST(Cli, NumericOptionsRefuseEverythingButNumbersInTheirRange) {
    TempDir dir;
    const std::string pst = dir.File("x.pst");
    struct Option {
        std::string commandLine;  // the command up to the option
        std::string option;
        std::string range;
    };
    const Option options[] = {
        {"pst-sample " + ShellQuote(pst) + " --messages", "--messages", "from 0 to 1000000"},
        {"pst-sample " + ShellQuote(pst) + " --seed", "--seed", "from 0 to 4294967295"},
        {"sample --out " + ShellQuote(dir.File("s")) + " --messages", "--messages", "from 0 to 10000000"},
        {"sample --out " + ShellQuote(dir.File("s")) + " --seed", "--seed", "from 0 to 18446744073709551615"},
    };
    const char* badValues[] = {"-5", "-0", "+5", "abc", "12x", "' 7'", "7.0", "1e3", "0x10", "''",
                               "18446744073709551616", "99999999999999999999999999"};
    for (const Option& o : options) {
        for (const char* bad : badValues) {
            const auto run = RunCli(o.commandLine + " " + bad);
            EXPECT_EQ(run.status, 2) << o.commandLine << " " << bad << "\n" << run.output;
            EXPECT_NE(run.output.find(o.option + " needs a number " + o.range), std::string::npos)
                << o.commandLine << " " << bad << "\n" << run.output;
        }
        const auto missing = RunCli(o.commandLine);
        EXPECT_EQ(missing.status, 2) << missing.output;
        EXPECT_NE(missing.output.find(o.option + " needs a number " + o.range), std::string::npos) << missing.output;
    }
    EXPECT_EQ(RunCli("pst-sample " + ShellQuote(pst) + " --messages 100000000000").status, 2);
    EXPECT_EQ(RunCli("pst-sample " + ShellQuote(pst) + " --seed 4294967296").status, 2);
    EXPECT_EQ(RunCli("pst-sample " + ShellQuote(pst) + " --messages 1000001").status, 2);
    EXPECT_EQ(RunCli("sample --out " + ShellQuote(dir.File("s")) + " --messages 10000001").status, 2);
    // Nothing was written by any refused command line.
    EXPECT_FALSE(std::filesystem::exists(pst));
    EXPECT_FALSE(std::filesystem::exists(pst + ".json"));
    EXPECT_FALSE(std::filesystem::exists(dir.File("s")));

    const auto run = RunCli("pst-sample " + ShellQuote(pst) + " --messages 3 --seed 4294967295");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find(": 3 messages"), std::string::npos) << run.output;
}
