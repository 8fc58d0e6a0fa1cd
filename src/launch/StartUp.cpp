// The start-up sequence (see StartUp.h): each step sets its checkpoint and
// writes its start-up log line before it runs.

#include "launch/StartUp.h"

#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include "notes/NotesErrorText.h"
#include "shell/log/ExportLog.h"
#include "shell/platform/FileInfo.h"
#include "shell/platform/LocalTime.h"
#include "shell/platform/Paths.h"
#include "shell/platform/PrivateProfile.h"
#include "shell/settings/SettingsStore.h"

namespace qb {
namespace {

constexpr ULONG kNamedProfileLogon = 0x13;   // MAPI_LOGON_UI | MAPI_NEW_SESSION | MAPI_EXPLICIT_PROFILE
constexpr ULONG kDefaultProfileLogon = 0x43; // MAPI_LOGON_UI | MAPI_NEW_SESSION | MAPI_USE_DEFAULT
constexpr std::size_t kMaxNotesErrorChars = 512;

bool IsSet(const std::string& value) { return !value.empty() && value != "*"; }

std::string FolderOf(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? std::string(".") : absolute.parent_path().string();
}

// Why the Notes session may have failed, for the messages that report it.
std::string NotesIniExplanation(const std::string& iniPath) {
    if (iniPath.empty())
        return "No Lotus Notes Configuration file (NOTES.INI) path was specified using \"Configure Quillbox\".\n\n";
    if (!platform::FileExists(iniPath)) return "Invalid Path: NotesIniFilePath=" + iniPath;
    std::string text = "Valid File: NotesIniFilePath=" + iniPath;
    if (platform::GetPrivateProfileString("Notes", "Directory", "", kMaxSettingChars, iniPath).empty())
        text += " however Notes.ini Direcory setting missing";
    return text;
}

// Announces the stages of the settings load as checkpoints and log lines.
class LoadObserver : public SettingsLoadObserver {
public:
    LoadObserver(StartUpState& state, LNNotesSession& notes, const std::string& logPath)
        : state_(state), notes_(notes), logPath_(logPath) {}
    void OnStage(int stage) override {
        if (stage <= 50) state_.checkpoint = std::to_string(stage / 10 * 1000);
        AppendToFile(logPath_, fmt::format("...Getting INI Settings {:03}\n", stage), false);
    }
    std::optional<std::string> SessionMailServer() override {
        state_.checkpoint = "GetINISettingsNotes";
        if (!state_.notesAvailable) {
            state_.checkpoint = "GetINISettingsNotesNotActive";
            return std::nullopt;
        }
        state_.checkpoint = "GetINISettingsNotesIsInitialized";
        std::string server = notes_.GetMailServer();
        state_.checkpoint = "GetINISettingsNotesGotMailServer";
        state_.checkpoint = server.empty() ? "GetINISettingsNotesNotesMailServerBlank"
                                           : "GetINISettingsNotesNotesMailServerNotBlank";
        return server;
    }

private:
    StartUpState& state_;
    LNNotesSession& notes_;
    const std::string& logPath_;
};

}  // namespace

void StartUp::Log(const std::string& line) const { AppendToFile(state_->supportLogPath, line, false); }

StartUpState StartUp::Run(const std::string& settingsPath, std::time_t now) {
    StartUpState state;
    Run(state, settingsPath, StartUpHooks{}, now);
    return state;
}

void StartUp::Run(StartUpState& state, const std::string& settingsPath, const StartUpHooks& hooks, std::time_t now) {
    state = StartUpState{};
    state_ = &state;
    state.settingsPath = settingsPath;
    try {
        RunSteps(settingsPath, hooks, now);
    } catch (const std::exception&) {
        // Whatever failed, the window still opens; the start-up log says how far it came.
        state.startupErrorText = "ERROR: Unexpected Error [INIT]. Check " + state.supportLogPath;
        state.notesAvailable = false;
        Log(state.startupErrorText + " [" + state.checkpoint + "]\n");
        while (notes_.IsThreadInitialized()) notes_.TermThread();
    }
    state_ = nullptr;
}

void StartUp::RunSteps(const std::string& settingsPath, const StartUpHooks& hooks, std::time_t now) {
    StartUpState& state = *state_;
    Checkpoint("SetDefaultErrorDialog");
    Checkpoint("SetDialogItemPtrs");
    Checkpoint("GetCurrentTime");
    ApplyDateRangeDefaults(state.settings, now);
    Checkpoint("BeginQuillboxSupLog");
    state.supportLogPath = platform::JoinPath(FolderOf(settingsPath), kStartUpLogName);
    Log("\n\nStart Quillbox at: " + platform::FormatLocalTime(now, "%A, %B %d, %Y %H:%M:%S") + "\n");

    Checkpoint("InitMainNotesSessionGetNotesIniPath");
    const std::string iniPath = SettingsStore(settingsPath).ReadText("Notes", "IniFilePath");
    const std::string explanation = NotesIniExplanation(iniPath);
    try {
        Checkpoint(iniPath.empty() ? "InitMainNotesSessionNoParms" : "InitMainNotesSessionParms=" + iniPath);
        InitNotes(iniPath, explanation);
        NotesSteps(now);
    } catch (const LNStatusError& e) {
        state.startupErrorText = "ERROR: " + NotesErrorText(e.GetStatus()) + " [INIT: " + state.checkpoint +
                                 "]. \r\n" + explanation + "\r\nCheck " + state.supportLogPath;
        state.statusText = "Unexpected Lotus Notes Start up Error: " + state.startupErrorText + " [INIT: " +
                           state.checkpoint + "].";
        Log(state.statusText + "\n");
        state.notesAvailable = false;
        while (notes_.IsThreadInitialized()) notes_.TermThread();
    }
    InitOutlook();

    Checkpoint("InitMapiGetTempPath");
    Log("...Get Temp\n");
    const std::string temp = platform::TempFolder();
    if (!temp.empty()) state.exportLogPath = platform::JoinPath(temp, kExportLogFileName);
    if (state.settings.RecoveryInfo) state.journalFolder = RecoveryJournalFolder(settingsPath, state.journalProblem);
    Log("...Import Database List CSV\n");
    if (hooks.importDatabaseList) hooks.importDatabaseList(state);
    Log("Done - Import Database List CSV\n");
    Log("...Multi Create\n");
    if (hooks.createMultiExport) hooks.createMultiExport(state);
    Log("Done Init\n");
    Checkpoint("InitSetReleaseInfo");
    Checkpoint("InitOnCheckContacts");
    Checkpoint("InitEndMainCatch");
}

// From the settings to the mail database and address book; a Notes error
// thrown here ends these steps only.
void StartUp::NotesSteps(std::time_t now) {
    StartUpState& state = *state_;
    Checkpoint("InitGetW");
    Checkpoint("InitGetSettings");
    LoadSettings(now);
    Checkpoint("InitGetThreadSess");
    state.statusText = "...Initializing Lotus Notes Session";
    Log(state.statusText + "\n");
    if (state.notesAvailable && !notes_.IsThreadInitialized()) {
        Checkpoint("InitGetThreadSessNot");
        notes_.InitThread();
    }
    const bool threadReady = notes_.IsThreadInitialized();
    Checkpoint(threadReady ? "InitGetThreadSessInited" : "InitGetThreadSessNotInited");
    state.statusText = threadReady ? "Lotus Notes Session Initialized" : "Lotus Notes Session NOT Initialized";
    Log(state.statusText + "\n");
    FindMailbox();
    FindAddressBook();
    Checkpoint("InitGetExeDirectory");
    Log("...Getting Log file settings\n");
    Checkpoint("InitTermNotesThread");
    Log("...Pre IsThr\n");
    if (notes_.IsThreadInitialized()) {
        notes_.TermThread();
        Log("OK - Term Sess\n");
    }
}

void StartUp::InitNotes(const std::string& iniPath, const std::string& explanation) {
    const LNSTATUS status = notes_.Initialize(iniPath);
    if (status == LNNOERROR) {
        state_->notesAvailable = true;
        return;
    }
    Checkpoint("InitMainNotesSessionError");
    state_->startupErrorText = "Unable to initialize Lotus Notes session.\r\nError:" +
                               NotesErrorText(status).substr(0, kMaxNotesErrorChars) + "\r\nMoreInfo:" + explanation +
                               "\r\n";
    Log(state_->startupErrorText + "\n");
    state_->notesAvailable = false;
}

void StartUp::LoadSettings(std::time_t now) {
    LoadObserver observer(*state_, notes_, state_->supportLogPath);
    SettingsStore(state_->settingsPath).Load(state_->settings, &observer, now);
}

void StartUp::FindMailbox() {
    const ExportSettings& s = state_->settings;
    Checkpoint("InitGetMbNab");
    if (!s.MailFile.empty() && s.MailServer != "*" && s.MailFile != "*") {
        Checkpoint("InitGetMbNab1");
        state_->mailServer = s.MailServer == "Local" ? "" : s.MailServer;
        state_->mailFile = s.MailFile;
        return;
    }
    Checkpoint("InitGetMbNab2");
    LNDatabase database;
    if (state_->notesAvailable && notes_.GetMailDatabase(&database) == LNNOERROR) {
        Checkpoint("InitGetMbNabSessOkDbOk");
        state_->mailServer = notes_.GetMailServer();
        Checkpoint("InitGetMbNabSessMailGetFilePath");
        state_->mailFile = database.GetFilepath();
        Checkpoint("InitGetMbNabSessMailGetTitle");
        state_->mailTitle = database.GetTitle();
    } else {
        Checkpoint("InitGetMbNabSessNotOkOrDbNotOk");
        state_->statusText =
            "Your Lotus Notes Settings 'Location Document' are possibly incorrect.\n\nUnable to get current users mail "
            "database";
    }
    Checkpoint("InitGetMbNab2Done");
}

void StartUp::FindAddressBook() {
    const ExportSettings& s = state_->settings;
    if (IsSet(s.AddressBookServer) && IsSet(s.AddressBookFile)) {
        state_->addressBookServer = s.AddressBookServer == "Local" ? "" : s.AddressBookServer;
        state_->addressBookPath = s.AddressBookFile;
    } else if (IsSet(s.AddressBookFile)) {
        state_->addressBookPath = s.AddressBookFile;
    } else if (state_->notesAvailable) {
        std::vector<LNString> books;
        if (notes_.GetAddressBooks(&books) == LNNOERROR && !books.empty()) state_->addressBookPath = books.front();
    } else {
        // Without a session the client's own settings still name the books.
        const std::string notesIni = s.IniFilePath.empty() ? platform::JoinPath(platform::ProgramFolder(), "Notes.ini")
                                                           : s.IniFilePath;
        const std::string names = platform::GetPrivateProfileString("Notes", "Names", "", kMaxSettingChars, notesIni);
        state_->addressBookPath = names.substr(0, names.find(','));
    }
    state_->addressBookShown =
        (state_->addressBookServer.empty() ? std::string("Local") : state_->addressBookServer) + " : " +
        state_->addressBookPath;
}

void StartUp::InitOutlook() {
    StartUpState& state = *state_;
    Checkpoint("InitGetMapiSess");
    Log("...Init Outlook\n");
    if (FAILED(outlook_.Initialize())) return;
    Checkpoint("InitMapiSessOk");
    Checkpoint("InitMapiSessGetProfiles");
    Log("...GetProfiles\n");
    FillProfileList(state.profiles, "", state.currentProfile);
    Log("...FND Profiles\n");
    Checkpoint("InitMapiSessProfilesLookIni");
    const std::vector<std::string>& names = state.profiles.names;
    if (std::find(names.begin(), names.end(), state.settings.Profile) != names.end()) {
        state.currentProfile = state.settings.Profile;
        Log("...Using Profile '" + state.currentProfile + "' from INI file");
    }
    Checkpoint("InitMapiAnyProfile");
    if (!state.currentProfile.empty()) {
        Checkpoint("InitMapiLoginStart");
        if (FAILED(outlook_.Logon(state.currentProfile, "", kNamedProfileLogon, 0))) return;
        Checkpoint("InitMapiGetStores");
        if (FAILED(outlook_.GetStores(nullptr))) return;
        Checkpoint("InitMapiStoresOk");
        state.chosenStore = ChooseStore(outlook_.stores, state.settings.FoldersFile, state.settings.FoldersFileEntryID);
    } else {
        Checkpoint("InitMapiLogonDefault");
        Log("...Outlook Login 010\n");
        if (FAILED(outlook_.Logon("", "", kDefaultProfileLogon, 0))) return;
        Checkpoint("InitMapiLogonDefaultOk");
        Log("...Open Def 010\n");
        Checkpoint("InitMapiLogonDefaultGetStores");
        if (FAILED(outlook_.GetStores(nullptr))) return;
        Checkpoint("InitMapiLogonDefaultStoresOk");
        Log("...Get Stores 020\n");
        state.chosenStore = ChooseStore(outlook_.stores, "", "");
    }
    state.stores = outlook_.stores;
    state.storesLoaded = true;
    Checkpoint("InitMapiDone");
}

int ChooseStore(const std::vector<StoreInfo>& stores, const std::string& name, const std::string& entryIdHex) {
    int chosen = -1;
    for (std::size_t i = 0; i < stores.size(); ++i) {
        if (stores[i].displayName == name && EntryIdToHex(stores[i].entryId) == entryIdHex) return static_cast<int>(i);
        if (stores[i].isDefault) chosen = static_cast<int>(i);
    }
    return chosen;
}

bool LoadStores(CMapiSession& outlook, const std::string& profile) {
    return SUCCEEDED(outlook.Initialize()) && SUCCEEDED(outlook.Logon(profile, "", kNamedProfileLogon, 0)) &&
           SUCCEEDED(outlook.GetStores(nullptr));
}

std::string RecoveryJournalFolder(const std::string& settingsPath, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path beside = fs::absolute(settingsPath, ec).parent_path();
    if (!ec && ::access(beside.c_str(), W_OK | X_OK) == 0) return beside.string();

    fs::path state;
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && *xdg == '/') {
        state = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        state = fs::path(home) / ".local" / "state";
    } else {
        error = "no folder for the recovery journal: " + beside.string() +
                " is not writable and neither XDG_STATE_HOME nor HOME is set";
        return {};
    }
    const fs::path folder = state / "quillbox";
    const bool created = fs::create_directories(folder, ec);
    if (ec || ::access(folder.c_str(), W_OK | X_OK) != 0) {
        error = "no folder for the recovery journal: " + folder.string() + ": " +
                (ec ? ec.message() : std::string(std::strerror(errno)));
        return {};
    }
    if (created) fs::permissions(folder, fs::perms::owner_all, ec);
    return folder.string();
}

}  // namespace qb
