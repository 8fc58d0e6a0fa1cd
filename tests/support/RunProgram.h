#pragma once
// Runs a program of the build (or any command) as a user would, for tests of
// the command-line tools and of outside readers such as readpst.

#include <string>

namespace qb::test {

struct ProgramResult {
    int status = -1;   // exit status, -1 when the program did not exit normally
    std::string output;  // standard output and standard error together
};

// The build folder holding quillbox-cli.
std::string BinaryDir();
// Runs a shell command line; arguments must already be quoted.
ProgramResult RunCommand(const std::string& commandLine);
// Runs build/quillbox-cli with the given (already quoted) arguments, its
// MAPI profiles kept in a private folder of the test process.
ProgramResult RunCli(const std::string& arguments);
// Single-quotes a text for the shell.
std::string ShellQuote(const std::string& text);

}  // namespace qb::test
