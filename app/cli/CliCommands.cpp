#include "CliCommands.h"

#include <charconv>
#include <cstring>
#include <ostream>
#include <stdexcept>

namespace qb::cli {

const std::vector<CliCommand>& AllCommands() {
    static const std::vector<CliCommand> commands = {
        {"export", "export [--ini FILE] [--yes] [--resume [N] | --restart] [--make-smtp DOMAIN]",
         "export the mailbox the settings name into the chosen Outlook store, as \"Export Now\" does", &RunExport},
        {"batch",
         "batch add [DB...] [--server S] [--dir D] | list | run [--pst-dir DIR] [--format unicode|ansi|exchange] "
         "[--yes] [--shard I/N] [--make-smtp DOMAIN] | reset | merge FILE... [--ini FILE] [--list FILE]",
         "export many mailboxes, each into its own personal folders file, driven by the list file QuillboxM.csv",
         &RunBatch},
        {"settings", "settings [--ini FILE]",
         "load the settings as the program does and print every field as Key=value", &RunSettings},
        {"notes-dump", "notes-dump DB [--notes-ini FILE] [--json] [--documents]",
         "print a Notes database's title, views and folders with entry counts, and optionally every document",
         &RunNotesDump},
        {"notes-search", "notes-search DB FORMULA [--notes-ini FILE]",
         "print the number of documents a Notes formula selects, then their note ids", &RunNotesSearch},
        {"sample", "sample --out DIR [--messages N] [--seed S] [--mailboxes N]",
         "write a generated Notes data directory (mailbox, address book, notes.ini, Quillbox.ini, manifest.json)",
         &RunSample},
        {"profiles", "profiles [add NAME | remove NAME | add-pst NAME PATH [--ansi] [--display NAME]]",
         "list the MAPI profiles with their services and stores, or add and remove them", &RunProfiles},
        {"pst-dump", "pst-dump FILE [--json] [--messages]",
         "print the folder tree of a personal folders file, with --messages every message", &RunPstDump},
        {"pst-check", "pst-check FILE",
         "check every CRC, signature, B-tree, allocation bit and table row of a personal folders file", &RunPstCheck},
        {"translation-table", "translation-table --address-book DB [--notes-ini FILE] --out FILE.csv",
         "write the address translation file: every Person's Notes names mapped to its Internet address",
         &RunTranslationTable},
        {"pst-sample", "pst-sample OUT.pst [--format unicode|ansi] [--messages N] [--seed S]",
         "write a personal folders file with sample folders and messages, and OUT.pst.json describing it", &RunPstSample},
    };
    return commands;
}

const CliCommand& CommandNamed(const char* name) {
    for (const CliCommand& command : AllCommands())
        if (std::strcmp(command.name, name) == 0) return command;
    throw std::logic_error(std::string("no command ") + name);
}

int UsageError(CliContext& context, const CliCommand& command, const std::string& message) {
    context.err << "quillbox-cli " << command.name << ": " << message << "\n"
                << "usage: quillbox-cli " << command.usage << "\n";
    return kExitUsage;
}

bool ArgReader::Next(std::string& arg) {
    if (pos_ >= args_.size()) return false;
    arg = args_[pos_++];
    return true;
}

bool ArgReader::Value(std::string& value) { return Next(value); }

bool TakePositional(const std::string& arg, std::string& positional, std::string& problem) {
    if (!arg.empty() && arg[0] == '-') problem = "unknown option '" + arg + "'";
    else if (!positional.empty()) problem = "unexpected argument '" + arg + "'";
    else positional = arg;
    return problem.empty();
}

std::optional<std::uint64_t> ParseNumber(std::string_view text, std::uint64_t min, std::uint64_t max) {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    // from_chars takes no '+' or blanks and, for unsigned numbers, no '-'.
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value < min || value > max) return std::nullopt;
    return value;
}

std::optional<std::uint64_t> ArgReader::NumberValue(std::string_view option, std::uint64_t min, std::uint64_t max,
                                                    std::string& problem) {
    std::string text;
    const bool present = Value(text);
    if (present)
        if (std::optional<std::uint64_t> number = ParseNumber(text, min, max)) return number;
    problem = std::string(option) + " needs a number from " + std::to_string(min) + " to " + std::to_string(max);
    if (present) problem += ", not '" + text + "'";
    return std::nullopt;
}

}  // namespace qb::cli
