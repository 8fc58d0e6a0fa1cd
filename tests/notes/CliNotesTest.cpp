#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>

#include <nlohmann/json.hpp>

#include "MailboxFixture.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"
#include "text/Base64.h"

namespace qb::test {
namespace {

using RunResult = ProgramResult;

std::string Quote(const std::string& text) { return ShellQuote(text); }

TEST(CliNotesTest, EveryOutsideDxlSampleDumps) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TestDataDir() + "/dxl")) {
        RunResult result = RunCli("notes-dump " + Quote(entry.path().string()) + " --documents");
        EXPECT_EQ(result.status, 0) << entry.path() << "\n" << result.output;
        EXPECT_NE(result.output.find("Title: "), std::string::npos);
        result = RunCli("notes-dump " + Quote(entry.path().string()) + " --documents --json");
        EXPECT_EQ(result.status, 0) << result.output;
        EXPECT_TRUE(nlohmann::json::accept(result.output)) << entry.path() << "\n" << result.output.substr(0, 2000);
        ++files;
    }
    EXPECT_GE(files, 7);
}

// The value of the item `name` of the document with the given UNID in a
// parsed notes-dump --json.
std::string DumpedItem(const nlohmann::json& dump, const std::string& unid, const std::string& name) {
    for (const auto& document : dump.at("documents"))
        if (document.at("unid") == unid)
            for (const auto& item : document.at("items"))
                if (item.at("name") == name) return item.at("value").get<std::string>();
    ADD_FAILURE() << name << " of " << unid << " not in the dump";
    return {};
}

TEST(CliNotesTest, JsonDumpStaysValidForBytesThatAreNoText) {
    // An object item's value is shown as it is stored: here invalid UTF-8
    // and control characters (NUL included), which the dump must replace
    // and escape.
    const std::string unid = "CCCCCCCC22222222852500000000C003";
    const std::string damaged = R"(<document form='Memo'><noteinfo noteid='108' unid=')" + unid + R"('/>
<item name='Subject'><text>tab&#9;and&#13;&#10;line "quoted" \ back</text></item>
<item name='Blob'><rawitemdata type='3'>)" + text::EncodeBase64(std::string("ok\xFF\xC3(\x01\x1F\x7F", 9)) + R"(</rawitemdata></item>
</document>
)";
    TempDir dir;
    const std::string path = dir.Write("mail.dxl", MailboxDxl(damaged));
    const RunResult result = RunCli("notes-dump " + Quote(path) + " --documents --json");
    ASSERT_EQ(result.status, 0) << result.output;
    ASSERT_TRUE(nlohmann::json::accept(result.output)) << result.output;
    const nlohmann::json dump = nlohmann::json::parse(result.output);
    EXPECT_EQ(DumpedItem(dump, unid, "Subject"), "tab\tand\r\nline \"quoted\" \\ back");
    EXPECT_EQ(DumpedItem(dump, unid, "Blob"), std::string("ok\xEF\xBF\xBD\xEF\xBF\xBD(\x01\x1F\x7F", 13))
        << "the last character is a NUL";
}

TEST(CliNotesTest, DumpListsViewsWithEntryCounts) {
    TempDir dir;
    std::string path = dir.Write("mail.dxl", MailboxDxl());
    RunResult result = RunCli("notes-dump " + Quote(path));
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("View \"($All)\" flags=\"\" entries=6"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("Folder \"Projects\\Alpha\" flags=\"F\" entries=1"), std::string::npos);
    EXPECT_NE(result.output.find("View \"Broken\" flags=\"\" entries=error: "), std::string::npos);
}

TEST(CliNotesTest, SearchPrintsCountThenIds) {
    TempDir dir;
    std::string path = dir.Write("mail.dxl", MailboxDxl());
    RunResult result = RunCli("notes-search " + Quote(path) + " 'Form = \"Memo\"'");
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

namespace qb::test {
namespace {

// The views block of manifest.json as (title, count) pairs.
std::vector<std::pair<std::string, int>> ManifestCounts(const std::string& manifest, const std::string& key) {
    std::vector<std::pair<std::string, int>> counts;
    std::size_t begin = manifest.find("\"" + key + "\": {");
    if (begin == std::string::npos) return counts;
    std::size_t end = manifest.find('}', begin);
    std::string block = manifest.substr(begin, end - begin);
    std::regex pair("\"((?:[^\"\\\\]|\\\\.)*)\": (\\d+)");
    for (auto it = std::sregex_iterator(block.begin(), block.end(), pair); it != std::sregex_iterator(); ++it) {
        std::string name;
        std::string raw = (*it)[1];
        for (std::size_t i = 0; i < raw.size(); ++i) name += raw[i] == '\\' && i + 1 < raw.size() ? raw[++i] : raw[i];
        counts.emplace_back(name, std::stoi((*it)[2]));
    }
    return counts;
}

void ExpectViewCounts(const std::string& dump, const std::vector<std::pair<std::string, int>>& counts) {
    ASSERT_FALSE(counts.empty());
    for (const auto& [title, count] : counts) {
        std::regex line("(View|Folder) \"" + std::regex_replace(title, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)") +
                        "(\\|[^\"]*)?\" flags=\"[^\"]*\" entries=" + std::to_string(count) + "\n");
        EXPECT_TRUE(std::regex_search(dump, line)) << title << " should have " << count << " entries\n" << dump;
    }
}

TEST(CliNotesTest, SampleDataMatchesItsManifest) {
    TempDir dir;
    RunResult result = RunCli("sample --out " + Quote(dir.File("sample")));
    ASSERT_EQ(result.status, 0) << result.output;
    std::string manifest = ReadFile(dir.File("sample/manifest.json"));
    std::string ini = Quote(dir.File("sample/notes.ini"));
    RunResult mail = RunCli("notes-dump mail/jdoe.dxl --notes-ini " + ini);
    ASSERT_EQ(mail.status, 0) << mail.output;
    ExpectViewCounts(mail.output, ManifestCounts(manifest, "views"));
    RunResult names = RunCli("notes-dump names.dxl --notes-ini " + ini);
    ASSERT_EQ(names.status, 0) << names.output;
    ExpectViewCounts(names.output, ManifestCounts(manifest, "address_book_views"));
    const std::pair<const char*, const char*> searches[] = {
        {"calendar", "Form = \"Appointment\" & @IsAvailable(CalendarDateTime)"},
        {"tasks", "Form = \"Task\" & !(ExcludeFromView = \"T\") & !(@IsAvailable(OrgRepeat) & !@IsResponseDoc)"},
        {"contacts", "Form = \"Contact\":\"Person\""},
        {"groups", "Form = \"Group\""},
    };
    for (const auto& [component, formula] : searches) {
        std::smatch expected;
        std::string pattern = std::string("\"") + component + "\": (\\d+)";
        ASSERT_TRUE(std::regex_search(manifest, expected, std::regex(pattern))) << component;
        std::string database = std::string(component) == "contacts" || std::string(component) == "groups"
                                   ? "names.dxl" : "mail/jdoe.dxl";
        RunResult search = RunCli("notes-search " + database + " " + Quote(formula) + " --notes-ini " + ini);
        EXPECT_EQ(search.status, 0) << search.output;
        EXPECT_EQ(search.output.substr(0, search.output.find('\n')), expected[1].str()) << component;
    }
    RunResult documents = RunCli("notes-dump mail/jdoe.dxl --documents --notes-ini " + ini);
    EXPECT_EQ(documents.status, 0) << documents.output.substr(0, 2000);
    // Every JSON the sample and the dumps write parses.
    EXPECT_TRUE(nlohmann::json::accept(manifest)) << manifest;
    EXPECT_TRUE(nlohmann::json::accept(ReadFile(dir.File("sample/expected_mail.json"))));
    for (const char* database : {"mail/jdoe.dxl", "names.dxl"}) {
        RunResult json = RunCli(std::string("notes-dump ") + database + " --json --documents --notes-ini " + ini);
        EXPECT_EQ(json.status, 0) << json.output.substr(0, 2000);
        EXPECT_TRUE(nlohmann::json::accept(json.output)) << database;
    }
}

}  // namespace
}  // namespace qb::test
