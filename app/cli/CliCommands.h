#pragma once
// The commands of quillbox-cli. Each command lives in a file of its own and is
// listed once in CliCommands.cpp.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qb::cli {

// Exit statuses: 0 success, 1 the work failed, 2 bad command line.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

struct CliContext {
    std::ostream& out;
    std::ostream& err;
};

struct CliCommand {
    const char* name;
    const char* usage;    // e.g. "settings [--ini FILE]"
    const char* summary;  // one line for --help
    int (*run)(std::span<const std::string> args, CliContext& context);
};

const std::vector<CliCommand>& AllCommands();

// Reports a usage error for the command and returns kExitUsage.
int UsageError(CliContext& context, const CliCommand& command, const std::string& message);
const CliCommand& CommandNamed(const char* name);

// The one parser of numeric option values: decimal digits only (no sign,
// blanks, fractions or trailing characters), from `min` to `max`; nullopt
// for anything else, overflow included.
std::optional<std::uint64_t> ParseNumber(std::string_view text, std::uint64_t min, std::uint64_t max);

// An argument no option of a command took, for a command with one positional
// argument: stored in `positional` while that is empty; else false with
// `problem` saying why (an unknown option, or a second argument).
bool TakePositional(const std::string& arg, std::string& positional, std::string& problem);

// Small argument reader shared by the commands: options "--name VALUE" and
// "--flag", positional arguments in order.
class ArgReader {
public:
    explicit ArgReader(std::span<const std::string> args) : args_(args) {}
    // Next argument, or false when none is left.
    bool Next(std::string& arg);
    // The value after an option; false when it is missing.
    bool Value(std::string& value);
    // The number after the numeric option `option` (see ParseNumber); when it
    // is missing or no such number, nullopt and `problem` names the option and
    // its range for the usage error.
    std::optional<std::uint64_t> NumberValue(std::string_view option, std::uint64_t min, std::uint64_t max,
                                             std::string& problem);

private:
    std::span<const std::string> args_;
    std::size_t pos_ = 0;
};

int RunExport(std::span<const std::string> args, CliContext& context);
int RunBatch(std::span<const std::string> args, CliContext& context);
int RunSettings(std::span<const std::string> args, CliContext& context);
int RunNotesDump(std::span<const std::string> args, CliContext& context);
int RunNotesSearch(std::span<const std::string> args, CliContext& context);
int RunSample(std::span<const std::string> args, CliContext& context);
int RunProfiles(std::span<const std::string> args, CliContext& context);
int RunPstDump(std::span<const std::string> args, CliContext& context);
int RunPstCheck(std::span<const std::string> args, CliContext& context);
int RunPstSample(std::span<const std::string> args, CliContext& context);
int RunTranslationTable(std::span<const std::string> args, CliContext& context);

}  // namespace qb::cli
