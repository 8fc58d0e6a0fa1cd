#include "launch/ExportLaunch.h"

#include <fmt/format.h>

#include <algorithm>
#include <limits>

#include "notes/NotesErrorText.h"
#include "outlook/mapi/MapiTypes.h"
#include "shell/platform/LocalTime.h"
#include "shell/platform/Paths.h"
#include "shell/settings/Component.h"
#include "text/TextCase.h"

namespace qb {
namespace {

constexpr ULONG kNamedProfileLogon = 0x13;  // MAPI_LOGON_UI | MAPI_NEW_SESSION | MAPI_EXPLICIT_PROFILE

bool Ticked(const ExportSettings& s, Component c) { return IsComponentSelected(s.Components, c); }

}  // namespace

std::string ConfirmationComponentText(const ExportSettings& s) {
    std::string text;
    if (Ticked(s, Component::Mail)) text = "Mail";
    for (auto [component, name] : {std::pair{Component::Calendar, "Calendar"}, std::pair{Component::Tasks, "Tasks"}}) {
        if (!Ticked(s, component)) continue;
        if (!text.empty()) text += "/";
        text += name;
    }
    if (Ticked(s, Component::Contacts)) {
        if (!text.empty()) text += " and ";
        text += "Contacts/Groups";
    }
    if (!text.empty()) text += " ";
    return text;
}

std::int32_t ClampRecoveryOffset(std::int64_t offset) {
    constexpr std::int64_t kLargest = std::numeric_limits<std::int32_t>::max() - 1;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(offset, -1, kLargest));
}

std::string ConfirmationText(const ExportSettings& settings) {
    return "Please confirm you want to export " + ConfirmationComponentText(settings) +
           "and you have made a prior backup of any existing data in your Outlook/Exchange mail file for disaster "
           "recover purposes.";
}

bool ExportLaunch::Error(const std::string& text, const char* title) {
    messages_.ShowMessage(text, title, MessageIcon::Error);
    return false;
}

void ExportLaunch::StatusAndLog(const std::string& text) {
    Status(text);
    env_.log.Write(text);
}

void ExportLaunch::EndThreadSession() {
    if (checkedMail_.IsOpen()) checkedMail_.Close();
    if (checkedBook_.IsOpen()) checkedBook_.Close();
    if (session_.IsThreadInitialized()) session_.TermThread();
}

bool ExportLaunch::Launch(LaunchChoices& choices) {
    ExportRun& run = env_.run;
    run.processedCount = 0;
    run.exportedCount = 0;
    run.errorRaised = false;
    LNSetThrowAllErrorsGlobal(true);
    Status("");
    ExportDriver::PrepareComponentFlags(settings_, run);
    run.needsMailDatabase = Ticked(settings_, Component::Mail) || Ticked(settings_, Component::Calendar) ||
                            Ticked(settings_, Component::Tasks);

    if (!StartLog(choices)) return false;
    if (!DecideRecovery(choices)) return false;
    if (!LogOnToOutlook(choices)) return false;

    env_.progress.SetProgressRange32(0, 1);
    env_.progress.SetProgressPosition(0);
    run.subfolderName = choices.subfolderTicked ? choices.subfolderName.substr(0, 255) : std::string();
    env_.outlook.subfolderName = run.subfolderName;
    env_.outlook.runErrorText = &run.lastErrorText;
    env_.outlook.log = &env_.log;
    if (platform::TempFolder().empty()) {
        Status("Unable to Get Temp Path");
        return false;
    }

    StatusAndLog("...Establishing Lotus Notes connection");
    if (session_.IsThreadInitialized()) {
        env_.log.Write("...Lotus Notes session already established");
    } else {
        try {
            session_.InitThread();
        } catch (const LNStatusError& e) {
            return Error(NotesErrorText(e.GetStatus()));
        }
        env_.log.Write("...Established Lotus Notes session");
    }
    ExportDriver::PrepareComponentFlags(settings_, run);
    if (!CheckNotesDatabases(choices)) return false;

    if (!confirmation_.Confirm(ConfirmationText(settings_), settings_)) {
        Status("Export Cancelled!");
        EndThreadSession();
        return false;
    }
    EndThreadSession();
    if (startNewJournal_) StartNewJournal(choices);
    return true;
}

bool ExportLaunch::DecideRecovery(const LaunchChoices& choices) {
    startNewJournal_ = false;
    if (!journal_ || !questions_ || !journal_->IsOn()) return true;
    startNewJournal_ = true;
    switch (journal_->Load()) {
        case LaunchJournal::LoadResult::Missing:
            return true;
        case LaunchJournal::LoadResult::Unusable:
            env_.log.Write("~#>Warning " + journal_->LastError() + "\n");
            return questions_->StartOverUnusable(journal_->LastError());
        case LaunchJournal::LoadResult::Loaded:
            break;
    }
    const RunInputs& in = choices.inputs;
    // A journal of another database is replaced without a question.
    if (journal_->Server() != in.mailServer || journal_->Path() != in.mailFile) return true;
    if (journal_->Complete()) return questions_->ExportAgain();
    std::int64_t offset = journal_->LastIndex();
    switch (questions_->ExportRecovery(offset)) {
        case RecoveryAnswer::Recover:
            journal_->SetLastIndex(ClampRecoveryOffset(offset));
            startNewJournal_ = false;
            env_.log.Write(fmt::format("...Recovering the export after view entry {}\n", journal_->LastIndex()));
            return true;
        case RecoveryAnswer::StartOver:
            return true;
        case RecoveryAnswer::Cancel:
            break;
    }
    return false;
}

void ExportLaunch::StartNewJournal(const LaunchChoices& choices) {
    // No journal failure stops an export; the log says it will not be resumable.
    if (!journal_->Create(choices.inputs.mailServer, choices.inputs.mailFile))
        env_.log.Write("~#>Warning The export cannot be recovered if it stops: " + journal_->LastError() + "\n");
}

bool ExportLaunch::StartLog(LaunchChoices& choices) {
    env_.run.logToFile = choices.log ? 1 : 0;
    env_.log.logToFile = choices.log;
    const std::string temp = platform::TempFolder();
    choices.inputs.logPath = temp.empty() ? std::string() : platform::JoinPath(temp, kExportLogFileName);
    env_.log.UsePerDatabasePath(false);
    env_.log.SetSingleDatabasePath(choices.inputs.logPath);
    env_.log.Write("", true);
    const platform::SystemTime now = platform::ToLocalSystemTime(std::time(nullptr));
    env_.log.Write(fmt::format("#At {:2}:{:2}:{:2}\n", now.hour, now.minute, now.second));
    return true;
}

bool ExportLaunch::LogOnToOutlook(const LaunchChoices& choices) {
    CMapiSession& outlook = env_.outlook;
    Status("...Exporting");
    env_.log.Write("...Initializing outlook session\n");
    Status("...Establishing Outlook Session");
    if (FAILED(outlook.Initialize())) return Error("Unable to initialize Session");
    Status("Outlook Session Established");
    env_.log.Write("Session Established\n");

    StatusAndLog(fmt::format("...Logining into profile: {}", choices.profile));
    if (FAILED(outlook.Logon(choices.profile, "", kNamedProfileLogon, 0)))
        return Error(fmt::format("Unable to Login to profile: {}", choices.profile));
    StatusAndLog(fmt::format("Logged into profile: {}", choices.profile));
    if (FAILED(outlook.GetStores(nullptr))) return Error("Unable to get message any stores");

    const StoreInfo* chosen = nullptr;
    for (const StoreInfo& store : outlook.stores) {
        if (text::EqualsIgnoreCase(store.displayName, choices.storeName) &&
            text::EqualsIgnoreCase(EntryIdToHex(store.entryId), choices.storeEntryIdHex)) {
            chosen = &store;
            break;
        }
    }
    if (!chosen) {
        std::string text = "Unable to open folders file: '" + choices.storeName + "'\n\nOnly the following are available:\n";
        for (const StoreInfo& store : outlook.stores) text += "\n'" + store.displayName + "'";
        return Error(text);
    }
    const std::string storeName = chosen->displayName;
    outlook.OpenStore(chosen->entryId);
    if (!outlook.store) {
        std::string text = fmt::format("Unable to Open Store named: {}", storeName);
        if (!outlook.lastError.empty()) text += "\n\n" + outlook.lastError;
        return Error(text);
    }
    StatusAndLog(fmt::format("Opened Outlook Mailbox: {}", storeName));
    StatusAndLog("...Getting Folders File");
    if (outlook.OpenIpmSubtree() < 0 || !outlook.GetSpecialFolder(kTopOfStoreFolder)) {
        Status("Unable to get Folders File.");
        return Error("Unable to get Folders File.");
    }
    env_.log.Write("Opened IPM");
    return true;
}

bool ExportLaunch::CheckNotesDatabases(const LaunchChoices& choices) {
    const RunInputs& in = choices.inputs;
    auto openFailure = [&](const std::string& path, LNSTATUS status) {
        EndThreadSession();
        return Error("Unable to open specified database \"" + path + "\" for reason:\n\n" + NotesErrorText(status),
                     "Database Open Error");
    };
    if (env_.run.needsMailDatabase) {
        StatusAndLog("...Establishing connection to the selected mailbox database\n");
        try {
            session_.GetDatabase(in.mailFile, &checkedMail_, in.mailServer);
        } catch (const LNStatusError&) {
            Status("");
            EndThreadSession();
            return Error("Unable to open specified database. Check server and filename are correct.");
        }
        Status("...Got selected mailbox database");
        ScopedNotesThrowMode returnCodes(false);
        if (LNSTATUS status = checkedMail_.Open(); status != LNNOERROR) return openFailure(in.mailFile, status);
    }
    if (IsComponentSelected(settings_.Components, Component::Contacts) && settings_.ContactsFormat == 0) {
        Status("...Establishing connection to the selected address book database");
        try {
            session_.GetDatabase(in.addressBookPath, &checkedBook_, "");
        } catch (const LNStatusError&) {
            EndThreadSession();
            return Error(fmt::format("Unable to open specified address book {}. Check filename is correct.",
                                     in.addressBookPath));
        }
        ScopedNotesThrowMode returnCodes(false);
        if (LNSTATUS status = checkedBook_.Open(); status != LNNOERROR)
            return openFailure(in.addressBookPath, status);
    }
    return true;
}

}  // namespace qb
