#include <gtest/gtest.h>

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
