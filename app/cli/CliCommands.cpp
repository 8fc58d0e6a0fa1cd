#include "CliCommands.h"

#include <cstring>
#include <ostream>
#include <stdexcept>

namespace qb::cli {

const std::vector<CliCommand>& AllCommands() {
    static const std::vector<CliCommand> commands = {
        {"settings", "settings [--ini FILE]",
         "load the settings as the program does and print every field as Key=value", &RunSettings},
        {"pst-dump", "pst-dump FILE [--json] [--messages]",
         "print the folder tree of a personal folders file, with --messages every message", &RunPstDump},
        {"pst-check", "pst-check FILE",
         "check every CRC, signature, B-tree, allocation bit and table row of a personal folders file", &RunPstCheck},
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

}  // namespace qb::cli
