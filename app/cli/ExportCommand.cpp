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
#include "CliExportParts.h"
#include "CliFrontEnd.h"
#include "CancelOnSignals.h"
#include "CliRecovery.h"
#include "TerminalProgress.h"
#include "batch/RecoveryJournal.h"
#include "convert/ExportWorker.h"
#include "notes/NotesErrorText.h"
#include "outlook/mapi/MapiSession.h"
#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/PropUtil.h"
#include "shell/platform/FileInfo.h"
#include "shell/platform/Paths.h"
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

bool IsSet(const std::string& value) { return !value.empty() && value != "*"; }

// The mailbox and address book the window would show at start-up.
void ChooseDatabases(const ExportSettings& s, const LNNotesSession& session, RunInputs& inputs) {
    if (IsSet(s.MailFile) && s.MailServer != "*") {
        inputs.mailServer = s.MailServer == "Local" ? "" : s.MailServer;
        inputs.mailFile = s.MailFile;
    } else {
        inputs.mailServer = session.GetMailServer();
        inputs.mailFile = session.GetMailFile();
    }
    if (IsSet(s.AddressBookServer) && IsSet(s.AddressBookFile)) {
        inputs.addressBookServer = s.AddressBookServer == "Local" ? "" : s.AddressBookServer;
        inputs.addressBookPath = s.AddressBookFile;
    } else if (IsSet(s.AddressBookFile)) {
        inputs.addressBookPath = s.AddressBookFile;
    } else {
        std::vector<LNString> books;
        if (session.GetAddressBooks(&books) == LNNOERROR && !books.empty()) inputs.addressBookPath = books.front();
    }
}

// The saved profile when it still exists, else the default one.
std::string ChooseProfile(const std::string& saved) {
    mapi::MapiPtr<IProfAdmin> admin;
    mapi::MapiPtr<IMAPITable> table;
    mapi::RowSetHolder rows;
    if (FAILED(MAPIAdminProfiles(0, admin.Put())) || FAILED(admin->GetProfileTable(0, table.Put())) ||
        FAILED(HrQueryAllRows(table.get(), nullptr, nullptr, nullptr, 0, rows.Put())))
        return saved;
    std::string fallback;
    for (ULONG i = 0; i < rows->cRows; ++i) {
        const SRow& row = rows->aRow[i];
        const LPSPropValue name = PpropFindProp(row.lpProps, row.cValues, PR_DISPLAY_NAME);
        const LPSPropValue isDefault = PpropFindProp(row.lpProps, row.cValues, PR_DEFAULT_PROFILE);
        if (!name || !name->Value.lpszA) continue;
        if (saved == name->Value.lpszA) return saved;
        if (isDefault && isDefault->Value.b) fallback = name->Value.lpszA;
    }
    return fallback;
}

// The saved store when the profile has it (name and entry id), else the
// profile's default store.
bool ChooseStore(CMapiSession& outlook, const ExportSettings& s, LaunchChoices& choices) {
    if (FAILED(outlook.Initialize()) || FAILED(outlook.Logon(choices.profile, "", 0x13, 0)) ||
        FAILED(outlook.GetStores(nullptr)))
        return false;
    const StoreInfo* chosen = nullptr;
    for (const StoreInfo& store : outlook.stores) {
        if (store.displayName == s.FoldersFile && EntryIdToHex(store.entryId) == s.FoldersFileEntryID) {
            chosen = &store;
            break;
        }
        if (store.isDefault) chosen = &store;
    }
    if (!chosen) return false;
    choices.storeName = chosen->displayName;
    choices.storeEntryIdHex = EntryIdToHex(chosen->entryId);
    outlook.Logoff();
    return true;
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
    auto recoveryMode = CliRecoveryQuestions::Mode::Ask;
    std::optional<std::int64_t> resumeOffset;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--ini") {
            if (++i == args.size()) return UsageError(context, self, "--ini needs a file name");
            iniPath = args[i];
            iniNamed = true;
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

    ExportSettings settings;
    SettingsStore(iniPath).Load(settings);
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
    std::string journalFolder;
    if (settings.RecoveryInfo) {
        std::string problem;
        journalFolder = RecoveryJournalFolder(iniPath, problem);
        if (journalFolder.empty()) {
            context.err << "quillbox-cli export: " << problem << "\n";
            return kExitFailure;
        }
    }
    LNNotesSession session;
    if (LNSTATUS status = session.Initialize(settings.IniFilePath); status != LNNOERROR) {
        context.err << "Unable to initialize Lotus Notes session.\nError:" << NotesErrorText(status) << "\n";
        return kExitFailure;
    }

    LaunchChoices choices;
    choices.log = settings.LogExport;
    choices.subfolderTicked = !settings.ExportAllUnderSubfolder.empty();
    choices.subfolderName = settings.ExportAllUnderSubfolder;
    ChooseDatabases(settings, session, choices.inputs);

    TerminalProgress progress(stdout);
    RecoveryJournal journal(journalFolder, settings.RecoveryInfo);
    CliFrontEnd frontEnd(context.err, std::cin, assumeYes);
    CliExportParts parts(settings, session, progress, frontEnd, journal);
    ExportRun& run = parts.run;
    CMapiSession& outlook = parts.outlook;
    choices.profile = ChooseProfile(settings.Profile);
    if (!ChooseStore(outlook, settings, choices)) {
        context.err << "quillbox-cli export: profile '" << choices.profile
                    << "' has no store to export to (see quillbox-cli profiles)\n";
        return kExitFailure;
    }
    ExportEnvironment env = parts.env();

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
