// quillbox-cli export: the headless "Export Now". It makes the same choices
// the window makes at start-up (mailbox, address book, profile, store), runs
// the launch's checks, asks for confirmation unless --yes, then runs the one
// export worker and waits for it. Ctrl-C, SIGTERM and SIGHUP ask the export
// to cancel, as "Cancel Export" does.
//
// Exit statuses: 0 every selected document was exported in full; 1 the run
// failed or stopped on an error; 2 the command line or the settings are not
// usable; 3 cancelled; 4 finished, but some documents were not exported or
// lost an attachment or part of their body (the log says which).

#include <signal.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <iostream>

#include "CliCommands.h"
#include "CliFrontEnd.h"
#include "TerminalProgress.h"
#include "convert/ComponentRunner.h"
#include "convert/ConversionSet.h"
#include "convert/DocumentDispatcher.h"
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

// Set before the handlers are installed and cleared after they are restored;
// the handler does nothing but store the lock-free flag.
std::atomic<bool>* g_cancel = nullptr;
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void RequestCancel(int) {
    if (std::atomic<bool>* cancel = g_cancel) cancel->store(true);
}

// While it lives, Ctrl-C, SIGTERM and SIGHUP request a cancel instead of
// ending the process, so that the run can say how far it came and clean up.
class CancelOnSignals {
public:
    explicit CancelOnSignals(std::atomic<bool>& cancel) {
        g_cancel = &cancel;
        struct sigaction action {};
        action.sa_handler = RequestCancel;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &action, &previous_[i]);
    }
    ~CancelOnSignals() {
        for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &previous_[i], nullptr);
        g_cancel = nullptr;
    }
    CancelOnSignals(const CancelOnSignals&) = delete;
    CancelOnSignals& operator=(const CancelOnSignals&) = delete;

private:
    static constexpr std::array<int, 3> kSignals = {SIGINT, SIGTERM, SIGHUP};
    std::array<struct sigaction, 3> previous_{};
};

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

}  // namespace

int RunExport(std::span<const std::string> args, CliContext& context) {
    const CliCommand& self = CommandNamed("export");
    std::string iniPath = SettingsStore::DefaultPath();
    bool iniNamed = false;
    bool assumeYes = false;
    ArgReader reader(args);
    for (std::string arg; reader.Next(arg);) {
        if (arg == "--ini") {
            if (!reader.Value(iniPath)) return UsageError(context, self, "--ini needs a file name");
            iniNamed = true;
        } else if (arg == "--yes" || arg == "-y") {
            assumeYes = true;
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

    ExportRun run;
    ExportLog log;
    TerminalProgress progress(stdout);
    CMapiSession outlook;
    choices.profile = ChooseProfile(settings.Profile);
    if (!ChooseStore(outlook, settings, choices)) {
        context.err << "quillbox-cli export: profile '" << choices.profile
                    << "' has no store to export to (see quillbox-cli profiles)\n";
        return kExitFailure;
    }

    ViewFolderCatalogue catalogue;
    RecoveryOff journal;
    AddressTranslator translator;
    translator.options.translate = settings.TranslateEmailAddresses;
    translator.options.ignoreNotesDomain = settings.TranslateEmailIgnoreNotesDomain;
    CliFrontEnd frontEnd(context.err, std::cin, assumeYes);
    // A terminal has no message box: reader failures go to the log only; a
    // contact the store refused is also said on the terminal, without waiting.
    ConversionSet conversions(
        ConversionServices{run, settings, log, progress, outlook, translator, session, {}, &frontEnd},
        platform::TempFolder());
    ComponentRunner components(ComponentContext{run, log, progress, outlook}, conversions.dispatcher(),
                               &conversions.contacts(), &conversions.groups());
    InitNamedPropsSetup namedProperties;
    ExportEnvironment env{run,        settings,   log,     progress,   outlook,        catalogue,
                          conversions.dispatcher(), components, journal, translator, namedProperties};

    ExportLaunch launch(env, settings, frontEnd, frontEnd, session);
    if (!launch.Launch(choices)) {
        progress.Finish();
        return kExitFailure;
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
