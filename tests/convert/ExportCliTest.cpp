// The headless "Export Now" on the generated sample, checked in the written
// personal folders file by our checker and by an independent reader.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "ExportCliSupport.h"
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
    // Mail, calendar entries and tasks all converted; contacts and groups
    // are reported as not available, which loses no document.
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Completed exporting a total of "), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("quillbox-cli export: not everything was exported: "), std::string::npos) << run.output;

    const std::string pst = sample + "/Quillbox Sample.pst";
    auto check = RunCli("pst-check " + ShellQuote(pst));
    EXPECT_EQ(check.status, 0) << check.output;

    const auto folders = FoldersByPffexport(pst, dir.path());
    for (const char* expected : {"Inbox", "Sent Items", "Drafts", "Deleted Items", "Projects", "Projects/Alpha",
                                 "Projects/Alpha/Specs", "Archive/2023", "Important", "Views/With Attachments",
                                 "Calendar", "Tasks"})
        EXPECT_TRUE(folders.count(expected)) << expected;
    for (const char* excluded : {"($All)", "(Discussion Threads)", "(_All)", "(_Calendar)"})
        EXPECT_FALSE(folders.count(excluded)) << excluded;
}

// An attachment whose data cannot be read loses that attachment only: the
// export finishes, says how many documents lost a part and where the log is,
// and ends with status 4, never 0.
TEST(ExportCli, AnAttachmentThatCannotBeReadEndsWithStatusFour) {
    TempDir dir;
    const std::string sample = dir.File("sample");
    ASSERT_EQ(RunCli("sample --out " + ShellQuote(sample) + " --messages 20 --seed 3").status, 0);
    std::string dxl = ReadFile(sample + "/data/mail/jdoe.dxl");
    const std::size_t data = dxl.find("<filedata>");
    ASSERT_NE(data, std::string::npos);
    dxl.replace(data, dxl.find("</filedata>", data) - data, "<filedata>\n!!!! not base64 @@@@\n");
    dir.Write("sample/data/mail/jdoe.dxl", dxl);
    const auto run = RunCli("export --ini " + ShellQuote(sample + "/Quillbox.ini") + " --yes");
    EXPECT_EQ(run.status, 4) << run.output;
    EXPECT_NE(run.output.find("exported without an attachment or part of the body"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("lost an attachment or part of their body."), std::string::npos) << run.output;
    EXPECT_EQ(RunCli("pst-check " + ShellQuote(sample + "/Quillbox Sample.pst")).status, 0);
}

// "--make-smtp DOMAIN" (the window's "Make SMTP address from Lotus Notes
// address", which the settings file does not keep): the Notes names of the
// sample's senders and recipients reach the file as name@DOMAIN, as
// pffexport reads them; without it no address has that domain.
TEST(ExportCli, MakeSmtpGivesNotesNamesAddressesInTheDomain) {
    QB_REQUIRE_TOOL("pffexport");
    TempDir dir;
    const std::string sample = dir.File("sample");
    ASSERT_EQ(RunCli("sample --out " + ShellQuote(sample) + " --messages 20 --seed 5").status, 0);
    const std::string ini = ShellQuote(sample + "/Quillbox.ini");
    const auto usage = RunCli("export --ini " + ini + " --yes --make-smtp");
    EXPECT_EQ(usage.status, 2) << usage.output;
    const std::string pst = ShellQuote(sample + "/Quillbox Sample.pst");
    auto addressesInDomain = [&](const std::string& name) {
        RunCommand("cd " + ShellQuote(dir.path()) + " && pffexport -q -t " + name + " " + pst);
        const auto found = RunCommand("grep -rIl 'smtp-domain\\.example' " + ShellQuote(dir.File(name + ".export")));
        return std::count(found.output.begin(), found.output.end(), '\n');
    };
    auto run = RunCli("export --ini " + ini + " --yes");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(addressesInDomain("plain"), 0);
    ASSERT_EQ(RunCli("sample --out " + ShellQuote(sample) + " --messages 20 --seed 5").status, 0);
    run = RunCli("export --ini " + ini + " --yes --make-smtp smtp-domain.example");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_GT(addressesInDomain("made"), 0);
}

// Whatever way a run ended, its own folder went with it, and with that every
// file it kept for reuse.
void ExpectNothingOfTheRunLeft(const TempDir& dir) {
    const std::string temp = UserTempFolder(dir);
    if (!std::filesystem::exists(temp)) return;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(temp)) {
        const std::string name = entry.path().filename().string();
        EXPECT_NE(name.rfind("run-", 0), 0u) << entry.path();
        EXPECT_NE(name.rfind(".recycled-", 0), 0u) << entry.path();
    }
}

// A signal during an export stops it at the next document: the program says
// how far it came, exits with 3, and the file holds exactly those messages.
class ExportCliSignal : public ::testing::TestWithParam<const char*> {};

TEST_P(ExportCliSignal, CancelsAndLeavesAValidFile) {
    TempDir dir;
    const std::string sample = dir.File("sample");
    const std::string out = dir.File("out.txt");
    MakeSample(dir, 1500, 4);
    const std::string script = CliEnvironment(dir) + Cli() + " export --ini " + ShellQuote(sample + "/Quillbox.ini") +
                               " --yes > " + ShellQuote(out) + " 2>&1 & pid=$!; " +
                               "for i in $(seq 1200); do grep -q 'Exporting View: ' " + ShellQuote(out) +
                               " && break; sleep 0.05; done; " + "kill -" + GetParam() +
                               " $pid; wait $pid; echo \"exit=$?\"";
    const auto run = RunCommand("sh -c " + ShellQuote(script));
    const std::string output = ReadFile(out);
    ASSERT_NE(run.output.find("exit=3"), std::string::npos) << run.output << output;
    const auto at = output.find("Export cancelled (");
    ASSERT_NE(at, std::string::npos) << output;
    const int exported = std::stoi(output.substr(at + 18));
    EXPECT_EQ(MessagesInPst(sample + "/Quillbox Sample.pst"), exported);
    ExpectNothingOfTheRunLeft(dir);
}

INSTANTIATE_TEST_SUITE_P(CtrlCTermAndHangUp, ExportCliSignal, ::testing::Values("INT", "TERM", "HUP"));

TEST(ExportCli, RunFoldersOfEndedProcessesAreRemovedAndNothingElse) {
    TempDir dir;
    MakeSample(dir, 5, 1);
    const std::string temp = UserTempFolder(dir);
    std::filesystem::create_directories(temp);
    std::filesystem::permissions(temp, std::filesystem::perms::owner_all);
    std::filesystem::create_directory(dir.File("outside"));
    const std::string outside = dir.Write("outside/keep.txt", "not the export's");
    const auto ended = RunCommand("sh -c 'echo $$'");
    const std::string deadPid = ended.output.substr(0, ended.output.find('\n'));
    const std::string dead = temp + "/run-" + deadPid + "-abcdef";
    const std::string live = temp + "/run-" + std::to_string(::getpid()) + "-ghijkl";
    const std::string unknown = temp + "/run-qrstuv";
    for (const std::string& folder : {dead, live, unknown}) std::filesystem::create_directory(folder);
    std::filesystem::create_directory_symlink(dir.File("outside"), dead + "/link");
    dir.Write(dead.substr(dir.path().size() + 1) + "/RTF1.rtf", "{\\rtf1}");  // what a killed run left

    const auto run = Export(dir);
    EXPECT_NE(run.status, 1) << run.output;
    EXPECT_FALSE(std::filesystem::exists(dead)) << "the folder of a process that ended goes";
    EXPECT_TRUE(std::filesystem::exists(outside)) << "a link inside is removed, not followed";
    EXPECT_TRUE(std::filesystem::exists(live)) << "a live process keeps its folder";
    EXPECT_TRUE(std::filesystem::exists(unknown)) << "a folder without an owner is left alone";
}

// A temporary folder that refuses files (here: every create fails as on a
// full disk) ends the run at the first document that needs one, with the
// system's reason and the path, and exit status 1.
TEST(ExportCli, TemporaryFolderWriteFailureStopsTheRunWithItsCause) {
    TempDir dir;
    MakeSample(dir, 30, 2);
    const auto run = Export(dir, "QUILLBOX_FAULT_TEMP=create:1:ENOSPC");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("into the temporary folder: "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(UserTempFolder(dir) + "/run-"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(": No space left on device"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("Completed exporting"), std::string::npos) << run.output;
    const std::string log = ReadFile(UserTempFolder(dir) + "/exportlog.txt");
    const auto stopped = log.find("Export stopped (");
    ASSERT_NE(stopped, std::string::npos) << log;
    EXPECT_NE(log.find("No space left on device"), std::string::npos);
    const int exported = std::stoi(log.substr(stopped + 16));
    EXPECT_EQ(MessagesInPst(dir.File("sample") + "/Quillbox Sample.pst"), exported);
    ExpectNothingOfTheRunLeft(dir);
}

// A small file system of its own for a test; mounting needs the right to
// (root), otherwise the test is skipped.
class SmallTmpfs {
public:
    SmallTmpfs(const std::string& path, const std::string& size) : path_(path) {
        std::filesystem::create_directory(path);
        mounted_ = RunCommand("mount -t tmpfs -o size=" + size + " tmpfs " + ShellQuote(path)).status == 0;
    }
    ~SmallTmpfs() {
        if (mounted_) RunCommand("umount " + ShellQuote(path_));
    }
    bool mounted() const { return mounted_; }

private:
    std::string path_;
    bool mounted_ = false;
};

// The disk of the personal folders file fills up during the export: the
// failed write names the file and the system's reason, the run stops there
// with status 1, and the file keeps every message counted as exported.
TEST(ExportCli, FullDiskOfThePersonalFoldersFileStopsTheRunWithItsCause) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("tmp"));
    SmallTmpfs disk(dir.File("disk"), "16m");
    if (!disk.mounted()) GTEST_SKIP() << "no permission to mount a tmpfs";
    const std::string sample = dir.File("disk/sample");
    auto made = RunCommand("sh -c " + ShellQuote(CliEnvironment(dir) + Cli() + " sample --out " + ShellQuote(sample) +
                                                 " --messages 60 --seed 5"));
    ASSERT_EQ(made.status, 0) << made.output;
    // Leave about 96 KiB free: the file grows past that within a few messages.
    const std::filesystem::space_info space = std::filesystem::space(dir.File("disk"));
    const auto fill = space.available > 96 * 1024 ? space.available - 96 * 1024 : 0;
    RunCommand("dd if=/dev/zero of=" + ShellQuote(dir.File("disk/filler")) + " bs=1024 count=" +
               std::to_string(fill / 1024));

    const auto run = RunCommand("sh -c " + ShellQuote(CliEnvironment(dir) + Cli() + " export --ini " +
                                                      ShellQuote(sample + "/Quillbox.ini") + " --yes"));
    EXPECT_EQ(run.status, 1) << run.output;
    const std::string pst = sample + "/Quillbox Sample.pst";
    // The store commits in batches and at the end of every view: the disk
    // fills while a message is saved or while the next view's folder is made.
    EXPECT_TRUE(run.output.find("~#>ERROR Unable to save a message to the Outlook store: ") != std::string::npos ||
                run.output.find("~#>ERROR Unable to Open or Create Folder: ") != std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("'" + pst + "': No space left on device"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("Completed exporting"), std::string::npos) << run.output;
    const std::string log = ReadFile(UserTempFolder(dir) + "/exportlog.txt");
    EXPECT_NE(log.find("No space left on device"), std::string::npos) << log;
    const auto stopped = log.find("Export stopped (");
    ASSERT_NE(stopped, std::string::npos) << log;
    const int exported = std::stoi(log.substr(stopped + 16));
    EXPECT_GT(exported, 0);
    EXPECT_EQ(MessagesInPst(pst), exported);
}

TEST(ExportCli, UnusableSettingsAreNamedAndExitWith2) {
    TempDir dir;
    MakeSample(dir, 3, 1);
    const std::string ini = dir.File("sample") + "/Quillbox.ini";
    auto exportWith = [&](const std::string& path) {
        return RunCommand("sh -c " + ShellQuote(CliEnvironment(dir) + Cli() + " export --yes --ini " + ShellQuote(path)));
    };
    struct Case {
        std::string path;
        std::string message;
    };
    std::string binary("\x7f" "ELF\0\0[Lotus Notes]\n", 19);
    const std::string text = ReadFile(ini);
    auto withComponents = [&](const std::string& value) {
        const auto at = text.find("Components=");
        const auto end = text.find('\n', at);
        return text.substr(0, at) + "Components=" + value + text.substr(end);
    };
    const Case cases[] = {
        {dir.File("missing.ini"), "missing.ini does not exist"},
        {dir.File("sample"), "sample is a folder"},
        {dir.Write("binary.ini", binary), "binary.ini is not a settings file: it holds binary data"},
        {dir.Write("plain.ini", "just some words\n"), "plain.ini is not a settings file: it has no [section]"},
        {dir.Write("sample/none.ini", withComponents("")), "the settings select nothing to export"},
        {dir.Write("sample/odd.ini", withComponents("Mail,Journal,")), "unknown component 'Journal'"},
    };
    for (const Case& c : cases) {
        const auto run = exportWith(c.path);
        EXPECT_EQ(run.status, 2) << c.path << ": " << run.output;
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("Completed exporting"), std::string::npos) << run.output;
    }
}

TEST(ExportCli, LogAndProfilesAreCreatedPrivateAndKeepAWiderModeGivenLater) {
    TempDir dir;
    MakeSample(dir, 3, 1);
    const std::string profiles = dir.File("config") + "/quillbox/profiles.ini";
    auto mode = [](const std::string& path) {
        return static_cast<unsigned>(std::filesystem::status(path).permissions() & std::filesystem::perms::mask);
    };
    EXPECT_EQ(mode(profiles), 0600u);
    Export(dir);
    ExpectNothingOfTheRunLeft(dir);
    const std::string log = UserTempFolder(dir) + "/exportlog.txt";
    ASSERT_TRUE(std::filesystem::exists(log));
    EXPECT_EQ(mode(log), 0600u);

    std::filesystem::permissions(log, static_cast<std::filesystem::perms>(0644));
    std::filesystem::permissions(profiles, static_cast<std::filesystem::perms>(0640));
    Export(dir);
    RunCommand("sh -c " + ShellQuote(CliEnvironment(dir) + Cli() + " profiles add Other"));
    EXPECT_EQ(mode(log), 0644u);
    EXPECT_EQ(mode(profiles), 0640u);
}

}  // namespace
}  // namespace qb::test
