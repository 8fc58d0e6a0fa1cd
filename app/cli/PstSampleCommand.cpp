// quillbox-cli pst-sample: writes a personal folders file of sample content
// and OUT.pst.json with its folder paths, message counts and attachment total.

#include <cstdint>
#include <fstream>
#include <limits>
#include <ostream>

#include "CliCommands.h"
#include "outlook/pst/sample/SampleWriter.h"

namespace qb::cli {

namespace {

// About 15 GB of sample mail (some 15 KB a message); more is surely a typing
// mistake.
constexpr std::uint64_t kMaxMessages = 1000000;

}  // namespace

int RunPstSample(std::span<const std::string> args, CliContext& context) {
    const CliCommand& self = CommandNamed("pst-sample");
    pst::SampleOptions options;
    std::string path, value, problem;
    ArgReader reader(args);
    for (std::string arg; reader.Next(arg);) {
        if (arg == "--format") {
            if (!reader.Value(value)) return UsageError(context, self, "--format needs unicode or ansi");
            if (value == "unicode") options.format = pst::PstFormat::Unicode;
            else if (value == "ansi") options.format = pst::PstFormat::Ansi;
            else return UsageError(context, self, "--format needs unicode or ansi");
        } else if (arg == "--messages") {
            const auto messages = reader.NumberValue(arg, 0, kMaxMessages, problem);
            if (!messages) return UsageError(context, self, problem);
            options.messages = static_cast<std::size_t>(*messages);
        } else if (arg == "--seed") {
            const auto seed = reader.NumberValue(arg, 0, std::numeric_limits<std::uint32_t>::max(), problem);
            if (!seed) return UsageError(context, self, problem);
            options.seed = static_cast<std::uint32_t>(*seed);
        } else if (!TakePositional(arg, path, problem)) {
            return UsageError(context, self, problem);
        }
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
