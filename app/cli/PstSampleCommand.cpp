// quillbox-cli pst-sample: writes a personal folders file of sample content
// and OUT.pst.json with its folder paths, message counts and attachment total.

#include <fstream>
#include <ostream>

#include "CliCommands.h"
#include "outlook/pst/sample/SampleWriter.h"

namespace qb::cli {

int RunPstSample(std::span<const std::string> args, CliContext& context) {
    const CliCommand& self = CommandNamed("pst-sample");
    pst::SampleOptions options;
    std::string path, value;
    ArgReader reader(args);
    try {
        for (std::string arg; reader.Next(arg);) {
            if (arg == "--format") {
                if (!reader.Value(value)) return UsageError(context, self, "--format needs unicode or ansi");
                if (value == "unicode") options.format = pst::PstFormat::Unicode;
                else if (value == "ansi") options.format = pst::PstFormat::Ansi;
                else return UsageError(context, self, "--format needs unicode or ansi");
            } else if (arg == "--messages") {
                if (!reader.Value(value)) return UsageError(context, self, "--messages needs a number");
                options.messages = std::stoul(value);
            } else if (arg == "--seed") {
                if (!reader.Value(value)) return UsageError(context, self, "--seed needs a number");
                options.seed = std::uint32_t(std::stoul(value));
            } else if (!arg.empty() && arg[0] == '-') {
                return UsageError(context, self, "unknown option '" + arg + "'");
            } else if (path.empty()) {
                path = arg;
            } else {
                return UsageError(context, self, "unexpected argument '" + arg + "'");
            }
        }
    } catch (const std::logic_error&) {
        return UsageError(context, self, "'" + value + "' is not a number");
    }
    if (path.empty()) return UsageError(context, self, "an output file is needed");
    try {
        pst::SampleSummary summary = pst::WriteSampleStore(path, options);
        std::ofstream json(path + ".json", std::ios::binary | std::ios::trunc);
        json << pst::SampleSummaryJson(summary, options);
        if (!json) throw pst::PstError("cannot write '" + path + ".json'");
        context.out << path << ": " << summary.messages << " messages, " << summary.attachments << " attachments\n";
    } catch (const pst::PstError& e) {
        context.err << "quillbox-cli pst-sample: " << e.what() << "\n";
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace qb::cli
