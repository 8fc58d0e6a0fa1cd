#include "OutsideTools.h"

#include "RunProgram.h"

#include <cstdlib>
#include <sstream>

namespace qb::test {

bool RunningUnderCi() {
    const char* ci = std::getenv("CI");
    return ci && *ci && std::string(ci) != "false" && std::string(ci) != "0";
}

namespace {

bool OneToolAvailable(const std::string& tool, std::string& why) {
    if (tool == "pypff") {
        if (RunCommand("/usr/bin/python3 -c 'import pypff'").status == 0) return true;
        why = "python3 cannot import pypff (python3-pypff)";
        return false;
    }
    if (RunCommand("command -v " + ShellQuote(tool)).status == 0) return true;
    why = tool + " is not installed";
    return false;
}

}  // namespace

bool ToolAvailable(const std::string& tools, std::string& why) {
    std::istringstream names(tools);
    for (std::string tool; names >> tool;)
        if (!OneToolAvailable(tool, why)) return false;
    return true;
}

bool ToolForCheck(const std::string& tool) {
    std::string why;
    if (ToolAvailable(tool, why)) return true;
    MaySkipWithout(why);
    return false;
}

bool MaySkipWithout(const std::string& why) {
    if (!RunningUnderCi()) return true;
    ADD_FAILURE() << why << ": the readers must be installed where CI is set (scripts/deps)";
    return false;
}

}  // namespace qb::test
