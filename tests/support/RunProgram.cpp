#include "RunProgram.h"

#include "TempDir.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>

namespace qb::test {

std::string BinaryDir() { return QUILLBOX_BINARY_DIR; }

ProgramResult RunCommand(const std::string& commandLine) {
    ProgramResult result;
    FILE* pipe = ::popen((commandLine + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> buffer{};
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) result.output.append(buffer.data(), n);
    const int raw = ::pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return result;
}

ProgramResult RunCli(const std::string& arguments) {
    // Profiles the program creates stay in a folder of this test process,
    // never in the user's own configuration.
    static const TempDir config;
    return RunCommand("XDG_CONFIG_HOME=" + ShellQuote(config.path()) + " " + ShellQuote(BinaryDir() + "/quillbox-cli") +
                      " " + arguments);
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    return quoted + "'";
}

}  // namespace qb::test
