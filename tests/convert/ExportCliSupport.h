#pragma once
// Running the real quillbox-cli export on a generated sample, with the
// program's profiles and temporary files kept inside the test's folder, and
// counting what the written file holds.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/RunProgram.h"
#include "support/TempDir.h"

namespace qb::test {

// The program run by the shell with its profiles and temporary files kept in
// the test's folder.
inline std::string CliEnvironment(const TempDir& dir) {
    return "export XDG_CONFIG_HOME=" + ShellQuote(dir.File("config")) + " TMPDIR=" + ShellQuote(dir.File("tmp")) +
           "; ";
}
inline std::string Cli() { return ShellQuote(BinaryDir() + "/quillbox-cli"); }

// A generated sample in dir/sample with its profile in dir/config.
inline void MakeSample(const TempDir& dir, int messages, int seed) {
    std::filesystem::create_directory(dir.File("tmp"));
    const auto made = RunCommand("sh -c " + ShellQuote(CliEnvironment(dir) + Cli() + " sample --out " +
                                                       ShellQuote(dir.File("sample")) + " --messages " +
                                                       std::to_string(messages) + " --seed " + std::to_string(seed)));
    ASSERT_EQ(made.status, 0) << made.output;
}

inline ProgramResult Export(const TempDir& dir, const std::string& environment = "") {
    return RunCommand("sh -c " + ShellQuote(CliEnvironment(dir) + environment + " " + Cli() + " export --ini " +
                                            ShellQuote(dir.File("sample") + "/Quillbox.ini") + " --yes"));
}

inline std::string UserTempFolder(const TempDir& dir) { return dir.File("tmp") + "/quillbox-" + std::to_string(::getuid()); }

inline int MessagesInPst(const std::string& pst) {
    const auto check = RunCli("pst-check " + ShellQuote(pst));
    EXPECT_EQ(check.status, 0) << check.output;
    const auto at = check.output.find(" messages");
    if (at == std::string::npos) return -1;
    auto start = check.output.rfind(' ', at - 1);
    return std::stoi(check.output.substr(start + 1, at - start - 1));
}

}  // namespace qb::test
