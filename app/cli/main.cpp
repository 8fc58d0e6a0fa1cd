// quillbox-cli: the command-line front end of Quillbox.

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "CliCommands.h"
#include "outlook/mapi/PstStoreProvider.h"

namespace {

void PrintHelp(std::ostream& out) {
    out << "Quillbox " << QUILLBOX_VERSION << " - convert Lotus Notes mail to Microsoft Outlook\n\n"
        << "usage: quillbox-cli COMMAND [ARGUMENTS]\n"
        << "       quillbox-cli --help | --version\n\n"
        << "commands:\n";
    for (const qb::cli::CliCommand& command : qb::cli::AllCommands())
        out << "  " << command.usage << "\n      " << command.summary << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qb::cli;
    // Personal folders services open real files from the first MAPI call on.
    qb::mapi::RegisterPstStoreProvider();
    CliContext context{std::cout, std::cerr};
    if (argc < 2) {
        PrintHelp(std::cerr);
        return kExitUsage;
    }
    const std::string first = argv[1];
    if (first == "--help" || first == "-h" || first == "help") {
        PrintHelp(std::cout);
        return kExitOk;
    }
    if (first == "--version") {
        std::cout << "quillbox-cli " << QUILLBOX_VERSION << "\n";
        return kExitOk;
    }
    const std::vector<std::string> args(argv + 2, argv + argc);
    for (const CliCommand& command : AllCommands()) {
        if (first != command.name) continue;
        try {
            return command.run(args, context);
        } catch (const std::exception& e) {
            std::cerr << "quillbox-cli " << command.name << ": " << e.what() << "\n";
            return kExitFailure;
        }
    }
    std::cerr << "quillbox-cli: unknown command '" << first << "' (try --help)\n";
    return kExitUsage;
}
