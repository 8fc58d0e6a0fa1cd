// quillbox-cli sample: writes a generated Notes data directory (mail
// database, address book, notes.ini, Quillbox.ini, manifest.json).

#include <cstdint>
#include <limits>
#include <ostream>

#include <filesystem>
#include <optional>

#include "CliCommands.h"
#include "outlook/PersonalFolders.h"
#include "outlook/mapi/MapiSession.h"
#include "shell/platform/Paths.h"
#include "shell/platform/PrivateProfile.h"
#include "notes/sample/SampleGenerator.h"

namespace qb::cli {
namespace {

// About 23 GB of DXL; more is surely a typing mistake.
constexpr std::uint64_t kMaxMessages = 10000000;
// Each mailbox is a database of its own; a batch test needs a handful.
constexpr std::uint64_t kMaxMailboxes = 1000;

}  // namespace

// The sample's Outlook side: the profile "Quillbox Sample" with a Unicode
// personal folders file inside the sample folder, chosen in its Quillbox.ini.
int AddSampleProfile(const std::string& outDir, CliContext& context) {
    const std::string profile = "Quillbox Sample";
    const std::string pst = std::filesystem::absolute(platform::JoinPath(outDir, "Quillbox Sample.pst")).string();
    MAPIINIT_0 init{MAPI_INIT_VERSION, MAPI_MULTITHREAD_NOTIFICATIONS};
    if (FAILED(MAPIInitialize(&init))) {
        context.err << "quillbox-cli sample: MAPI could not be initialised\n";
        return kExitFailure;
    }
    // The manifest describes what an export of these files writes into an
    // empty file: an earlier export into the sample's own file goes.
    std::error_code removeError;
    std::filesystem::remove(pst, removeError);
    if (removeError) {
        context.err << "quillbox-cli sample: cannot remove the earlier " << pst << ": " << removeError.message() << "\n";
        MAPIUninitialize();
        return kExitFailure;
    }
    std::optional<std::string> entryId;
    if (ProfileExists(profile)) entryId = StoreEntryIdForFile(profile, pst);
    // The profile would still name the removed file but could not open it:
    // the profile is the sample's own, so it is made again around a new file.
    std::error_code ec;
    if (entryId && !std::filesystem::exists(pst, ec)) {
        entryId.reset();
        if (FAILED(RemoveProfile(profile))) {
            context.err << "quillbox-cli sample: cannot replace the profile " << profile << "\n";
            MAPIUninitialize();
            return kExitFailure;
        }
    }
    if (!entryId) {
        std::string error;
        const HRESULT hr = AddPersonalFoldersService(profile, pst, false, profile, error);
        if (SUCCEEDED(hr)) entryId = StoreEntryIdForFile(profile, pst);
        if (!entryId) {
            context.err << "quillbox-cli sample: cannot add " << pst << " to profile " << profile << ": " << error
                        << "\n";
            MAPIUninitialize();
            return kExitFailure;
        }
    }
    MAPIUninitialize();
    const std::string ini = platform::JoinPath(outDir, "Quillbox.ini");
    platform::WritePrivateProfileString("Outlook", "Profile", profile, ini);
    platform::WritePrivateProfileString("Outlook", "FoldersFile", profile, ini);
    platform::WritePrivateProfileString("Outlook", "FoldersFileEntryID", *entryId, ini);
    context.out << "Outlook profile \"" << profile << "\" with personal folders file " << pst << "\n";
    return kExitOk;
}

int RunSample(std::span<const std::string> args, CliContext& context) {
    const CliCommand& command = CommandNamed("sample");
    qb::notes::sample::SampleOptions options;
    ArgReader reader(args);
    std::string arg, problem;
    while (reader.Next(arg)) {
        if (arg == "--out") {
            if (!reader.Value(options.outDir) || options.outDir.empty()) return UsageError(context, command, "--out needs a folder");
        } else if (arg == "--messages") {
            const auto messages = reader.NumberValue(arg, 0, kMaxMessages, problem);
            if (!messages) return UsageError(context, command, problem);
            options.messages = static_cast<long long>(*messages);
        } else if (arg == "--mailboxes") {
            const auto mailboxes = reader.NumberValue(arg, 0, kMaxMailboxes, problem);
            if (!mailboxes) return UsageError(context, command, problem);
            options.mailboxes = static_cast<int>(*mailboxes);
        } else if (arg == "--seed") {
            const auto seed = reader.NumberValue(arg, 0, std::numeric_limits<std::uint64_t>::max(), problem);
            if (!seed) return UsageError(context, command, problem);
            options.seed = *seed;
        } else {
            return UsageError(context, command, "unknown argument '" + arg + "'");
        }
    }
    if (options.outDir.empty()) return UsageError(context, command, "--out is required");
    const qb::notes::sample::SampleSummary summary = qb::notes::sample::GenerateSample(options);
    context.out << "Wrote " << summary.mailDocuments << " documents to " << summary.mailDatabase << " and "
                << summary.addressBookDocuments << " to " << summary.addressBook << " under " << options.outDir
                << "\nManifest: " << options.outDir << "/manifest.json\n";
    if (options.mailboxes > 0)
        context.out << options.mailboxes << " mailbox(es) of server Hub/Acme under " << options.outDir
                    << "/server/mail, manifests under " << options.outDir << "/mailboxes\n";
    return AddSampleProfile(options.outDir, context);
}

}  // namespace qb::cli
