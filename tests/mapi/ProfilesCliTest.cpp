// quillbox-cli profiles, run as a program against a profiles file of its own.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/TempDir.h"

namespace {

struct CliRun {
    int status = -1;
    std::string output;
};

CliRun RunCli(const std::string& configHome, const std::string& arguments) {
    const char* binaryDir = std::getenv("QUILLBOX_BINARY_DIR");
    if (!binaryDir || !*binaryDir) binaryDir = QUILLBOX_BUILD_DIR;
    const std::string command = "XDG_CONFIG_HOME='" + configHome + "' '" + std::string(binaryDir) +
                                "/quillbox-cli' profiles " + arguments + " 2>&1";
    CliRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) run.output += buffer;
    const int raw = ::pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

}  // namespace

TEST(ProfilesCli, AddsListsAndRemovesProfiles) {
    qb::test::TempDir dir;
    CliRun run = RunCli(dir.path(), "add \"Batch Export\"");
    ASSERT_EQ(run.status, 0) << run.output;
    run = RunCli(dir.path(), "add Second");
    ASSERT_EQ(run.status, 0) << run.output;
    run = RunCli(dir.path(), "");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "Batch Export (default)\nSecond\n");
    run = RunCli(dir.path(), "add second");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("0x80070005"), std::string::npos) << run.output;
    run = RunCli(dir.path(), "remove \"Batch Export\"");
    ASSERT_EQ(run.status, 0) << run.output;
    run = RunCli(dir.path(), "");
    EXPECT_EQ(run.output, "Second\n");
    EXPECT_EQ(RunCli(dir.path(), "remove").status, 2);
    EXPECT_EQ(RunCli(dir.path(), "rename x").status, 2);
}
