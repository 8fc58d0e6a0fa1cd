// quillbox-cli sample: writes a generated Notes data directory (mail
// database, address book, notes.ini, Quillbox.ini, manifest.json).

#include <charconv>
#include <ostream>

#include "CliCommands.h"
#include "notes/sample/SampleGenerator.h"

namespace qb::cli {
namespace {

// About 23 GB of DXL; more is surely a typing mistake.
constexpr long long kMaxMessages = 10000000;

template <typename T>
bool ParseNumber(const std::string& text, T& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

int RunSample(std::span<const std::string> args, CliContext& context) {
    const CliCommand& command = CommandNamed("sample");
    qb::notes::sample::SampleOptions options;
    ArgReader reader(args);
    std::string arg, value;
    while (reader.Next(arg)) {
        if (arg == "--out") {
            if (!reader.Value(options.outDir) || options.outDir.empty()) return UsageError(context, command, "--out needs a folder");
        } else if (arg == "--messages") {
            if (!reader.Value(value) || !ParseNumber(value, options.messages) || options.messages < 0 ||
                options.messages > kMaxMessages)
                return UsageError(context, command, "--messages needs a number from 0 to 10000000");
        } else if (arg == "--seed") {
            if (!reader.Value(value) || !ParseNumber(value, options.seed))
                return UsageError(context, command, "--seed needs a non-negative number");
        } else {
            return UsageError(context, command, "unknown argument '" + arg + "'");
        }
    }
    if (options.outDir.empty()) return UsageError(context, command, "--out is required");
    const qb::notes::sample::SampleSummary summary = qb::notes::sample::GenerateSample(options);
    context.out << "Wrote " << summary.mailDocuments << " documents to " << summary.mailDatabase << " and "
                << summary.addressBookDocuments << " to " << summary.addressBook << " under " << options.outDir
                << "\nManifest: " << options.outDir << "/manifest.json\n";
    return kExitOk;
}

}  // namespace qb::cli
