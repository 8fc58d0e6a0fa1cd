#pragma once
// Tests that need an outside reader (readpst, lspst, pffexport, LibreOffice's
// soffice, python3's pypff, tiffinfo) ask here first. Locally a missing
// reader skips the test; under CI (the environment variable CI set) it fails
// it, so a CI machine without the readers can never pass by skipping.

#include <gtest/gtest.h>

#include <string>

namespace qb::test {

// True when CI is set (to anything but "" or "false").
bool RunningUnderCi();

// True when every tool of `tools` (names separated by blanks) can be run
// ("pypff": python3 can import it). When not, false with `why` saying so.
bool ToolAvailable(const std::string& tools, std::string& why);

// For a check with the tool inside a larger test: true when the tool can be
// run; else false, having added a failure under CI.
bool ToolForCheck(const std::string& tool);

// Decides for a tool that is needed but cannot be used: false, having added
// a failure under CI; true locally, where the test is to be skipped.
bool MaySkipWithout(const std::string& why);

}  // namespace qb::test

// Ends the test unless the tools (e.g. "readpst pffexport") can be run:
// skipped locally, failed under CI.
#define QB_REQUIRE_TOOL(tools)                                                 \
    do {                                                                       \
        std::string qbWhy_;                                                    \
        if (!::qb::test::ToolAvailable(tools, qbWhy_)) {                       \
            if (::qb::test::MaySkipWithout(qbWhy_)) GTEST_SKIP() << qbWhy_;    \
            return;                                                            \
        }                                                                      \
    } while (false)

// Ends the test because an outside reader could not do its work (`why`):
// skipped locally, failed under CI.
#define QB_TOOL_UNUSABLE(why)                                                  \
    do {                                                                       \
        if (::qb::test::MaySkipWithout(why)) GTEST_SKIP() << (why);            \
        return;                                                                \
    } while (false)
