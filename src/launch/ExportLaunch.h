#pragma once
// "Export Now" before any document is touched: the log is started, Outlook
// is logged on with the chosen store and its special folders open, the Notes
// databases are checked, and the user confirms. Only when all of that passed
// may the worker start.

#include <string>

#include "convert/ExportDriver.h"
#include "launch/LaunchRecovery.h"
#include "shell/report/MessageSink.h"

namespace qb {

// What the window shows besides the settings.
struct LaunchChoices {
    bool log = false;
    bool subfolderTicked = false;
    std::string subfolderName;
    std::string profile;
    std::string storeName;        // "Folders File"
    std::string storeEntryIdHex;  // its entry identifier, two hex digits a byte
    RunInputs inputs;             // mail and address book, log path (set by the launch)
};

// The "Confirm Export" dialog, which also holds the date filter.
class ExportConfirmation {
public:
    virtual ~ExportConfirmation() = default;
    // True for "Yes, Export Now"; may change FilterByDate and the bounds.
    virtual bool Confirm(const std::string& text, ExportSettings& settings) = 0;
};

// "Mail/Calendar/Tasks and Contacts/Groups " from the ticked components.
std::string ConfirmationComponentText(const ExportSettings& settings);
std::string ConfirmationText(const ExportSettings& settings);

class ExportLaunch {
public:
    ExportLaunch(ExportEnvironment environment, ExportSettings& settings, MessageSink& messages,
                 ExportConfirmation& confirmation, LNNotesSession& session)
        : env_(environment), settings_(settings), messages_(messages), confirmation_(confirmation),
          session_(session) {}

    // The recovery journal (the same object as the environment's journal)
    // and who answers its questions; without them every export starts anew.
    void UseRecovery(LaunchJournal& journal, RecoveryQuestions& questions) {
        journal_ = &journal;
        questions_ = &questions;
    }

    // True when every check passed and the user confirmed; `choices.inputs`
    // then holds what the worker needs.
    bool Launch(LaunchChoices& choices);

private:
    // Resume, start over or stop; a new journal is only written once the
    // export is confirmed, so a refused launch leaves the old one as it was.
    bool DecideRecovery(const LaunchChoices& choices);
    void StartNewJournal(const LaunchChoices& choices);
    bool StartLog(LaunchChoices& choices);
    bool LogOnToOutlook(const LaunchChoices& choices);
    bool CheckNotesDatabases(const LaunchChoices& choices);
    bool Error(const std::string& text, const char* title = "Error");
    void Status(const std::string& text) { env_.progress.SetStatusText(text); }
    void StatusAndLog(const std::string& text);
    void EndThreadSession();

    ExportEnvironment env_;
    ExportSettings& settings_;
    MessageSink& messages_;
    ExportConfirmation& confirmation_;
    LNNotesSession& session_;
    LaunchJournal* journal_ = nullptr;
    RecoveryQuestions* questions_ = nullptr;
    bool startNewJournal_ = false;
    bool startedThread_ = false;
    LNDatabase checkedMail_;
    LNDatabase checkedBook_;
};

}  // namespace qb
