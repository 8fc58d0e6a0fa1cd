// The headless "Export Now" on the generated sample, checked in the written
// personal folders file by our checker and by an independent reader.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "support/OutsideTools.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"

namespace qb::test {
namespace {

std::set<std::string> FoldersByPffexport(const std::string& pst, const std::string& workDir) {
    const std::string out = workDir + "/pff";
    RunCommand("cd " + ShellQuote(workDir) + " && pffexport -q -t pff " + ShellQuote(pst));
    std::set<std::string> folders;
    const std::filesystem::path top = out + ".export/Top of Personal Folders";
    for (const auto& entry : std::filesystem::recursive_directory_iterator(top)) {
        if (!entry.is_directory()) continue;
        const std::string name = entry.path().filename().string();
        // pffexport keeps each message in a folder "MessageNNNNN" of its own.
        if (name.rfind("Message", 0) == 0 || name == "Attachments" || name == "Recipients") continue;
        folders.insert(std::filesystem::relative(entry.path(), top).string());
    }
    return folders;
}

TEST(ExportCli, SampleExportCreatesTheCatalogueFolders) {
    QB_REQUIRE_TOOL("pffexport");
    TempDir dir;
    const std::string sample = dir.File("sample");
    std::filesystem::create_directory(dir.File("tmp"));
    auto run = RunCli("sample --out " + ShellQuote(sample) + " --messages 20 --seed 3");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Outlook profile \"Quillbox Sample\""), std::string::npos);

    run = RunCli("export --ini " + ShellQuote(sample + "/Quillbox.ini") + " < /dev/null");
    EXPECT_EQ(run.status, 1) << "without a terminal or --yes nothing is exported";

    run = RunCli("export --ini " + ShellQuote(sample + "/Quillbox.ini") + " --yes");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Completed exporting a total of "), std::string::npos) << run.output;

    const std::string pst = sample + "/Quillbox Sample.pst";
    auto check = RunCli("pst-check " + ShellQuote(pst));
    EXPECT_EQ(check.status, 0) << check.output;

    const auto folders = FoldersByPffexport(pst, dir.path());
    for (const char* expected : {"Inbox", "Sent Items", "Drafts", "Deleted Items", "Projects", "Projects/Alpha",
                                 "Projects/Alpha/Specs", "Archive/2023", "Important", "Views/With Attachments"})
        EXPECT_TRUE(folders.count(expected)) << expected;
    for (const char* excluded : {"($All)", "(Discussion Threads)", "(_All)", "(_Calendar)"})
        EXPECT_FALSE(folders.count(excluded)) << excluded;
}

// Ctrl-C during an export stops it at the next document: the program says
// how far it came, exits with 3, and the file holds exactly those messages.
TEST(ExportCli, InterruptCancelsAndLeavesAValidFile) {
    TempDir dir;
    const std::string sample = dir.File("sample");
    const std::string out = dir.File("out.txt");
    std::filesystem::create_directory(dir.File("tmp"));
    const std::string cli = ShellQuote(BinaryDir() + "/quillbox-cli");
    const std::string script =
        "export XDG_CONFIG_HOME=" + ShellQuote(dir.File("config")) + " TMPDIR=" + ShellQuote(dir.File("tmp")) + "; " +
        cli + " sample --out " + ShellQuote(sample) + " --messages 1500 --seed 4 > /dev/null || exit 90; " + cli +
        " export --ini " + ShellQuote(sample + "/Quillbox.ini") + " --yes > " + ShellQuote(out) + " 2>&1 & pid=$!; " +
        "for i in $(seq 1200); do grep -q 'Exporting View: ' " + ShellQuote(out) + " && break; sleep 0.05; done; " +
        "kill -INT $pid; wait $pid; echo \"exit=$?\"";
    const auto run = RunCommand("sh -c " + ShellQuote(script));
    const std::string output = ReadFile(out);
    ASSERT_NE(run.output.find("exit=3"), std::string::npos) << run.output << output;
    const auto at = output.find("Export cancelled (");
    ASSERT_NE(at, std::string::npos) << output;
    const int exported = std::stoi(output.substr(at + 18));

    const auto check = RunCli("pst-check " + ShellQuote(sample + "/Quillbox Sample.pst"));
    EXPECT_EQ(check.status, 0) << check.output;
    EXPECT_NE(check.output.find(" " + std::to_string(exported) + " messages"), std::string::npos)
        << "cancelled after " << exported << ": " << check.output;
}

}  // namespace
}  // namespace qb::test
