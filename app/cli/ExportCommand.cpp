// quillbox-cli export: the headless "Export Now". It makes the same choices
// the window makes at start-up (mailbox, address book, profile, store), runs
// the launch's checks, asks for confirmation unless --yes, then runs the one
// export worker and waits for it. Ctrl-C asks the export to cancel, as
// "Cancel Export" does.

#include <atomic>
#include <csignal>
#include <iostream>

#include "CliCommands.h"
#include "CliFrontEnd.h"
#include "TerminalProgress.h"
#include "convert/ConversionSet.h"
#include "convert/DocumentDispatcher.h"
#include "convert/ExportWorker.h"
#include "notes/NotesErrorText.h"
#include "outlook/mapi/MapiSession.h"
#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/PropUtil.h"
#include "shell/platform/Paths.h"
#include "shell/settings/SettingsStore.h"

namespace qb::cli {
namespace {

constexpr int kExitCancelled = 3;

std::atomic<bool>* g_cancel = nullptr;

extern "C" void RequestCancel(int) {
    if (g_cancel) g_cancel->store(true);
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
    bool assumeYes = false;
    ArgReader reader(args);
    for (std::string arg; reader.Next(arg);) {
        if (arg == "--ini") {
            if (!reader.Value(iniPath)) return UsageError(context, self, "--ini needs a file name");
        } else if (arg == "--yes" || arg == "-y") {
            assumeYes = true;
        } else {
            return UsageError(context, self, "unexpected argument '" + arg + "'");
        }
    }

    ExportSettings settings;
    SettingsStore(iniPath).Load(settings);
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
    UnavailableComponents components(log);
    RecoveryOff journal;
    AddressTranslator translator;
    translator.options.translate = settings.TranslateEmailAddresses;
    translator.options.ignoreNotesDomain = settings.TranslateEmailIgnoreNotesDomain;
    // A terminal has no message box: reader failures go to the log only.
    ConversionSet conversions(ConversionServices{run, settings, log, progress, outlook, translator, session, {}},
                              platform::TempFolder());
    InitNamedPropsSetup namedProperties;
    ExportEnvironment env{run,        settings,   log,     progress,   outlook,        catalogue,
                          conversions.dispatcher(), components, journal, translator, namedProperties};

    CliFrontEnd frontEnd(context.err, std::cin, assumeYes);
    ExportLaunch launch(env, settings, frontEnd, frontEnd, session);
    if (!launch.Launch(choices)) {
        progress.Finish();
        return kExitFailure;
    }

    ExportDriver driver(env);
    ExportWorker worker(driver, env, frontEnd);
    g_cancel = &run.cancelRequested;
    auto previous = std::signal(SIGINT, RequestCancel);
    worker.Start(choices.inputs, session).join();
    std::signal(SIGINT, previous);
    g_cancel = nullptr;
    progress.Finish();
    outlook.Logoff();

    const int result = worker.runResult();
    // The summary or the failure has been shown as the last status line.
    if (!choices.inputs.logPath.empty() && settings.LogExport) context.out << "Export log: " << choices.inputs.logPath << "\n";
    if (run.errorRaised) return kExitFailure;
    if (result == kRunCompleted) return kExitOk;
    if (result == kRunCancelled) return kExitCancelled;
    context.err << "quillbox-cli export: the export ended with result " << result << "\n";
    return kExitFailure;
}

}  // namespace qb::cli
