// quillbox-cli export: the headless "Export Now". It makes the same choices
// the window makes at start-up (mailbox, address book, profile, store), runs
// the launch's checks, asks for confirmation unless --yes, then runs the one
// export worker and waits for it. Ctrl-C, SIGTERM and SIGHUP ask the export
// to cancel, as "Cancel Export" does.
//
// With RecoveryInfo=1 the export keeps a recovery journal beside the settings
// file (or in $XDG_STATE_HOME/quillbox): "--resume [N]" continues an
// interrupted export of the same database (after view entry N when given),
// "--restart" exports everything again; with neither, a terminal is asked and
// a run without one refuses (status 2) rather than guess.
//
// "--make-smtp DOMAIN" is the window's "Make SMTP address from Lotus Notes
// address" with its "SMTP Internet Domain", which the settings file does not
// keep: a Notes name becomes its common name with blanks as full stops, "@"
// and DOMAIN (unless the settings translate addresses from a table).
//
// Exit statuses: 0 every selected document was exported in full, or the
// database was exported completely before (nothing done); 1 the run failed
// or stopped on an error; 2 the command line or the settings are not usable,
// or an interrupted export was found and neither --resume nor --restart was
// given; 3 cancelled; 4 finished, but some documents were not exported or
// lost an attachment or part of their body (the log says which).

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <iostream>
#include <limits>
#include <optional>

#include "CliCommands.h"
#include "CliFrontEnd.h"
#include "CancelOnSignals.h"
#include "CliRecovery.h"
#include "TerminalProgress.h"
#include "batch/RecoveryJournal.h"
#include "convert/ExportWorker.h"
#include "launch/ExportParts.h"
#include "launch/StartUp.h"
#include "shell/platform/FileInfo.h"
#include "shell/platform/PrivateProfile.h"
#include "shell/settings/Component.h"
#include "shell/settings/SettingsStore.h"

namespace qb::cli {
namespace {

constexpr int kExitCancelled = 3;
constexpr int kExitIncomplete = 4;

// The settings file named with --ini must be one; the default file next to
// the program may be missing (defaults apply). Then the components: at least
// one, and only known names. Empty when the settings are usable.
std::string SettingsProblem(const std::string& iniPath, bool named, const ExportSettings& settings) {
    if (named || platform::FileExists(iniPath)) {
        if (auto problem = platform::ProfileFileProblem(iniPath)) return "the settings file " + iniPath + " " + *problem;
    }
    const std::vector<std::string> unknown = UnknownComponentNames(settings.Components);
    if (!unknown.empty())
        return "unknown component '" + unknown.front() + "' in Components of [Lotus Notes] in " + iniPath +
               " (known: Mail, Calendar, Tasks, Contacts)";
    for (Component c : kAllComponents)
        if (IsComponentSelected(settings.Components, c)) return {};
    return "the settings select nothing to export: Components of [Lotus Notes] in " + iniPath +
           " names none of Mail, Calendar, Tasks, Contacts";
}

// The last lines of a run that finished but left something out.
void ReportIncomplete(const ExportRun& run, const std::string& logPath, std::ostream& out) {
    out << "quillbox-cli export: not everything was exported: " << std::max(run.notExportedCount(), 0)
        << " document(s) not exported, " << run.incompleteCount
        << " exported without an attachment or part of the body, " << run.lostViewCount
        << " view(s) or folder(s) not exported";
    if (!logPath.empty()) out << "; see the log " << logPath;
    out << "\n";
}

// The exit of a launch that ended on a recovery question.
int RecoveryExit(const CliRecoveryQuestions& questions, const RecoveryJournal& journal, CliContext& context) {
    using Outcome = CliRecoveryQuestions::Outcome;
    switch (questions.outcome()) {
        case Outcome::AlreadyExported:
            context.out << "quillbox-cli export: this database has already been exported completely (recovery "
                           "journal "
                        << journal.MainFilePath() << "); nothing was exported. Pass --restart to export it again.\n";
            return kExitOk;
        case Outcome::NeedsChoice:
            context.err << "quillbox-cli export: an earlier export of this database was cancelled or failed "
                           "(recovery journal "
                        << journal.MainFilePath() << ", last view entry " << journal.LastIndex()
                        << "): pass --resume to continue it or --restart to export everything again\n";
            return kExitUsage;
        case Outcome::Unusable:
            context.err << "quillbox-cli export: " << questions.reason()
                        << "; pass --restart to export everything again\n";
            return kExitUsage;
        case Outcome::Declined:
        case Outcome::None:
            break;
    }
    return kExitFailure;
}

}  // namespace

int RunExport(std::span<const std::string> args, CliContext& context) {
    const CliCommand& self = CommandNamed("export");
    std::string iniPath = SettingsStore::DefaultPath();
    bool iniNamed = false;
    bool assumeYes = false;
    std::string smtpDomain;
    auto recoveryMode = CliRecoveryQuestions::Mode::Ask;
    std::optional<std::int64_t> resumeOffset;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--ini") {
            if (++i == args.size()) return UsageError(context, self, "--ini needs a file name");
            iniPath = args[i];
            iniNamed = true;
        } else if (arg == "--make-smtp") {
            if (++i == args.size() || args[i].empty())
                return UsageError(context, self, "--make-smtp needs the SMTP Internet domain, e.g. example.com");
            smtpDomain = args[i];
        } else if (arg == "--yes" || arg == "-y") {
            assumeYes = true;
        } else if (arg == "--resume" || arg == "--restart") {
            if (recoveryMode != CliRecoveryQuestions::Mode::Ask)
                return UsageError(context, self, "give one of --resume and --restart");
            recoveryMode = arg == "--resume" ? CliRecoveryQuestions::Mode::Resume : CliRecoveryQuestions::Mode::Restart;
            // "--resume N": the offset is the next argument when it is a number.
            if (arg == "--resume" && i + 1 < args.size() && !args[i + 1].empty() && args[i + 1][0] != '-') {
                const auto offset = ParseNumber(args[i + 1], 0, std::numeric_limits<std::int32_t>::max() - 1);
                if (!offset)
                    return UsageError(context, self,
                                      "--resume takes a view entry index from 0 to " +
                                          std::to_string(std::numeric_limits<std::int32_t>::max() - 1));
                resumeOffset = static_cast<std::int64_t>(*offset);
                ++i;
            }
        } else {
            return UsageError(context, self, "unexpected argument '" + arg + "'");
        }
    }

    LNNotesSession session;
    CMapiSession outlook;
    StartUpState state = StartUp(session, outlook).Run(iniPath);
    // The command line asks nothing of Outlook until the launch logs on again.
    outlook.Logoff();
    ExportSettings& settings = state.settings;
    if (const std::string problem = SettingsProblem(iniPath, iniNamed, settings); !problem.empty()) {
        context.err << "quillbox-cli export: " << problem << "\n";
        return kExitUsage;
    }
    if (recoveryMode != CliRecoveryQuestions::Mode::Ask && !settings.RecoveryInfo) {
        context.err << "quillbox-cli export: --resume and --restart need the recovery journal: set RecoveryInfo=1 in "
                       "[Lotus Notes] of "
                    << iniPath << "\n";
        return kExitUsage;
    }
    if (settings.RecoveryInfo && state.journalFolder.empty()) {
        context.err << "quillbox-cli export: " << state.journalProblem << "\n";
        return kExitFailure;
    }
    if (!state.notesAvailable) {
        context.err << state.startupErrorText << "\n";
        return kExitFailure;
    }

    LaunchChoices choices;
    choices.log = settings.LogExport;
    choices.subfolderTicked = !settings.ExportAllUnderSubfolder.empty();
    choices.subfolderName = settings.ExportAllUnderSubfolder;
    choices.inputs.mailServer = state.mailServer;
    choices.inputs.mailFile = state.mailFile;
    choices.inputs.addressBookServer = state.addressBookServer;
    choices.inputs.addressBookPath = state.addressBookPath;
    choices.profile = state.currentProfile;
    const StoreInfo* store = state.ChosenStore();
    if (!store) {
        context.err << "quillbox-cli export: profile '" << choices.profile
                    << "' has no store to export to (see quillbox-cli profiles)\n";
        return kExitFailure;
    }
    choices.storeName = store->displayName;
    choices.storeEntryIdHex = EntryIdToHex(store->entryId);

    TerminalProgress progress(stdout);
    ViewFolderCatalogue catalogue;
    RecoveryJournal journal(state.journalFolder, settings.RecoveryInfo);
    CliFrontEnd frontEnd(context.err, std::cin, assumeYes);
    // A terminal has no message box: reader failures go to the log only; a
    // contact the store refused is also said on the terminal, without waiting.
    ExportParts parts(ExportPartsInputs{settings, progress, outlook, session, catalogue, journal, &frontEnd,
                                        !smtpDomain.empty(), smtpDomain});
    ExportRun& run = parts.run;
    const ExportEnvironment env = parts.env();

    ExportLaunch launch(env, settings, frontEnd, frontEnd, session);
    CliRecoveryQuestions questions(context.err, std::cin, ::isatty(STDIN_FILENO) == 1, recoveryMode, resumeOffset);
    launch.UseRecovery(journal, questions);
    if (!launch.Launch(choices)) {
        progress.Finish();
        return RecoveryExit(questions, journal, context);
    }

    ExportDriver driver(env);
    ExportWorker worker(driver, env, frontEnd);
    {
        CancelOnSignals signals(run.cancelRequested);
        worker.Start(choices.inputs, session).join();
    }
    progress.Finish();
    outlook.Logoff();

    const int result = worker.runResult();
    // The summary or the failure has been shown as the last status line.
    const std::string logPath = settings.LogExport ? choices.inputs.logPath : std::string();
    if (!logPath.empty()) context.out << "Export log: " << logPath << "\n";
    if (run.errorRaised) return kExitFailure;
    if (result == kRunCancelled) return kExitCancelled;
    if (result != kRunCompleted) {
        context.err << "quillbox-cli export: the export ended with result " << result << "\n";
        return kExitFailure;
    }
    if (!run.exportedInFull()) {
        ReportIncomplete(run, logPath, context.err);
        return kExitIncomplete;
    }
    return kExitOk;
}

}  // namespace qb::cli
