#pragma once
// The start-up sequence of the program, without any window: the settings,
// the Notes session, the mailbox and address book, the Outlook profiles and
// the chosen store, the log paths and the start-up log "Quillbox.sup". The
// window shows the state it returns; the command line exports with it.
//
// Invariants: a failed step never ends the sequence; it leaves its reason in
// the state and the steps after it still run. Every step names itself in
// `checkpoint` and writes its line to the start-up log (opened and closed
// for each line, so the log survives a crash).

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "notes/api/LNNotesSession.h"
#include "outlook/OutlookSession.h"
#include "outlook/ProfileOperations.h"
#include "shell/settings/ExportSettings.h"

namespace qb {

inline constexpr const char* kStartUpLogName = "Quillbox.sup";
inline constexpr const char* kWindowTitle = " Quillbox 2.6p - Convert Lotus Notes mail to Microsoft Outlook";

struct StartUpState {
    ExportSettings settings;
    std::string settingsPath;
    std::string supportLogPath;  // "Quillbox.sup" beside the settings file
    std::string checkpoint;      // the step that ran last
    bool notesAvailable = false;
    // The last start-up failure, for the error dialog, and the status text.
    std::string startupErrorText;
    std::string statusText;

    // The mailbox: server empty for a local database; shown as "Local".
    std::string mailServer;
    std::string mailFile;
    std::string mailTitle;
    // The address book for Contacts & Groups.
    std::string addressBookServer;
    std::string addressBookPath;
    std::string addressBookShown;  // "server : file"

    // Outlook: every profile (the main window's list), the current one, and
    // its stores when the log-on worked.
    ProfileList profiles;
    std::string currentProfile;
    bool storesLoaded = false;
    std::vector<StoreInfo> stores;
    int chosenStore = -1;  // index into stores, -1 for none

    std::string exportLogPath;    // "exportlog.txt" in the private temporary folder
    std::string journalFolder;    // where the recovery journal lives; empty when none can be used
    std::string journalProblem;   // why, when journalFolder is empty

    std::string MailServerShown() const { return mailServer.empty() ? "Local" : mailServer; }
    const StoreInfo* ChosenStore() const {
        return chosenStore >= 0 && chosenStore < static_cast<int>(stores.size()) ? &stores[chosenStore] : nullptr;
    }
};

// Start-up work of the front end, run at its place in the sequence between
// the temporary folder and "Done Init": the window program loads the
// database list there and creates its batch window; the command line has
// neither. The state is the one being filled, complete up to that point.
struct StartUpHooks {
    std::function<void(StartUpState&)> importDatabaseList;
    std::function<void(StartUpState&)> createMultiExport;
};

class StartUp {
public:
    // The sessions are the caller's (the window owns them for the program's
    // life). The Outlook session is left logged on to the current profile.
    StartUp(LNNotesSession& notes, CMapiSession& outlook) : notes_(notes), outlook_(outlook) {}

    StartUpState Run(const std::string& settingsPath, std::time_t now = std::time(nullptr));
    // The same into a state the caller keeps (the window lends its own, so
    // that the hooks may hold on to its parts).
    void Run(StartUpState& state, const std::string& settingsPath, const StartUpHooks& hooks,
             std::time_t now = std::time(nullptr));

private:
    void Checkpoint(const std::string& name) { state_->checkpoint = name; }
    void Log(const std::string& line) const;
    void RunSteps(const std::string& settingsPath, const StartUpHooks& hooks, std::time_t now);
    void NotesSteps(std::time_t now);
    void InitNotes(const std::string& iniPath, const std::string& explanation);
    void LoadSettings(std::time_t now);
    void FindMailbox();
    void FindAddressBook();
    void InitOutlook();

    LNNotesSession& notes_;
    CMapiSession& outlook_;
    StartUpState* state_ = nullptr;
};

// The store whose display name and hexadecimal entry identifier both equal
// the saved ones, else the last default store, else -1.
int ChooseStore(const std::vector<StoreInfo>& stores, const std::string& name, const std::string& entryIdHex);
// Logs on to the profile (flags 0x13) and reads its stores; false when either fails.
bool LoadStores(CMapiSession& outlook, const std::string& profile);

// The folder of the recovery journal: beside the settings file in use when
// that folder is writable (an installed program's folder is not), else
// $XDG_STATE_HOME/quillbox (default ~/.local/state/quillbox), created 0700.
// Empty with `error` set when neither can be used.
std::string RecoveryJournalFolder(const std::string& settingsPath, std::string& error);

}  // namespace qb
