// quillbox-cli pst-check: strict check of a personal folders file.

#include <ostream>

#include "CliCommands.h"
#include "outlook/pst/PstChecker.h"

namespace qb::cli {

int RunPstCheck(std::span<const std::string> args, CliContext& context) {
    const CliCommand& self = CommandNamed("pst-check");
    std::string path, problem;
    ArgReader reader(args);
    for (std::string arg; reader.Next(arg);)
        if (!TakePositional(arg, path, problem)) return UsageError(context, self, problem);
    if (path.empty()) return UsageError(context, self, "a file is needed");
    pst::CheckReport report = pst::CheckPstFile(path);
    for (const std::string& w : report.warnings) context.out << "warning: " << w << "\n";
    if (!report.ok()) {
        for (const std::string& e : report.errors) context.out << "error: " << e << "\n";
        context.out << path << ": " << report.errors.size() << " error(s)\n";
        return kExitFailure;
    }
    context.out << path << ": OK (" << report.format << ", " << report.fileSize << " bytes, " << report.pages
                << " pages, " << report.blocks << " blocks, " << report.nodes << " nodes, " << report.folders
                << " folders, " << report.messages << " messages, " << report.attachments << " attachments)\n";
    return kExitOk;
}

}  // namespace qb::cli
