// The main window's commands that open dialogs: "Advanced", the two Options
// menu dialogs, "New Profile", "New/Attach", "Select Mailbox" and ">".

#include <QApplication>
#include <QMessageBox>
#include <algorithm>
#include <atomic>

#include "notes/NotesDesignNoteSource.h"
#include "notes/NotesErrorText.h"
#include "outlook/mapi/MapiSession.h"
#include "shell/platform/PrivateProfile.h"
#include "shell/settings/SettingsStore.h"
#include "ui/AddressOptionsDialog.h"
#include "ui/AdvancedDialog.h"
#include "ui/BatchExportWindow.h"
#include "ui/DatabaseSelectionDialog.h"
#include "ui/ExportGroup.h"
#include "ui/MailboxGroup.h"
#include "ui/MainWindow.h"
#include "ui/NameDialogs.h"
#include "ui/OutlookGroup.h"
#include "ui/TimeZoneDialog.h"
#include "ui/WindowThread.h"

namespace qb::ui {
namespace {

constexpr std::size_t kMaxStatusChars = 255;

// The Notes thread session of a window command, ended when it ends.
class CommandThreadSession {
public:
    explicit CommandThreadSession(LNNotesSession& notes) : notes_(notes) {
        if (!notes_.IsThreadInitialized()) notes_.InitThread();
    }
    ~CommandThreadSession() {
        while (notes_.IsThreadInitialized()) notes_.TermThread();
    }
    CommandThreadSession(const CommandThreadSession&) = delete;
    CommandThreadSession& operator=(const CommandThreadSession&) = delete;

private:
    LNNotesSession& notes_;
};

// The store "New/Attach" added: the first whose entry identifier was not
// there before; else the last store with an identifier that now occurs more
// often than before; else -1.
int FindAddedStore(const std::vector<std::string>& before, const std::vector<StoreInfo>& after) {
    std::vector<std::string> now;
    for (const StoreInfo& store : after) now.push_back(EntryIdToHex(store.entryId));
    for (std::size_t i = 0; i < now.size(); ++i)
        if (std::find(before.begin(), before.end(), now[i]) == before.end()) return static_cast<int>(i);
    for (const std::string& id : before) {
        if (std::count(now.begin(), now.end(), id) <= std::count(before.begin(), before.end(), id)) continue;
        for (std::size_t i = now.size(); i-- > 0;)
            if (now[i] == id) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

void MainWindow::OpenAdvanced() {
    CommandThreadSession thread(notes_);
    ScopedNotesThrowMode returnCodes(false);
    LNDatabase database;
    if (LNSTATUS status = notes_.GetDatabase(state_.mailFile, &database, state_.mailServer); status != LNNOERROR) {
        mailbox_->title->clear();
        exportGroup_->SetStatusText(NotesErrorText(status).substr(0, kMaxStatusChars));
        return;
    }
    if (LNSTATUS status = database.Open(); status != LNNOERROR) {
        const std::string text = NotesErrorText(status);
        exportGroup_->SetStatusText(text.substr(0, kMaxStatusChars));
        messages_.ShowMessage(text, "Error", MessageIcon::Error);
        return;
    }
    state_.mailTitle = database.GetTitle();
    mailbox_->title->setText(Q(state_.mailTitle));
    const std::string key = ViewFolderCatalogue::KeyFor(state_.mailServer, state_.mailFile);
    if (!catalogue_.loaded || catalogue_.loadedFor != key) {
        exportGroup_->SetStatusText("...loading view folder information for \"" + state_.mailTitle + "\"");
        const std::atomic<bool> noCancel{false};
        NotesDesignNoteSource source(database);
        catalogue_.LoadCatalogue(source, noCancel, exportGroup_);
        catalogue_.loadedFor = key;
        catalogue_.ApplyFolderRules(state_.settings.ExcludeViewFolders, state_.settings.IncludeViewFolders);
        exportGroup_->SetStatusText("");
    }
    AdvancedDialog dialog(state_.settings, catalogue_, database.IsOpen(), messages_,
                          [this] { mailbox_->UpdateAddressBook(state_.settings.ContactsFormat); }, this);
    dialog.exec();
    if (database.IsOpen()) database.Close();
}

void MainWindow::OpenTimeZone() {
    TimeZoneDialog dialog(state_.settings, messages_, this);
    dialog.exec();
}

void MainWindow::OpenAddressOptions() {
    AddressOptionsDialog dialog(state_.settings, makeSmtp, smtpDomain, messages_, this);
    dialog.exec();
}

void MainWindow::NewProfile() {
    mapi::MapiPtr<IProfAdmin> admin;
    if (FAILED(MAPIAdminProfiles(0, admin.Put()))) {
        messages_.ShowMessage("Unable to access profile admin", "Error", MessageIcon::Error);
        return;
    }
    NewProfileDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted) return;
    const std::string name = U(dialog.name->text());
    if (FAILED(admin->CreateProfile(const_cast<char*>(name.c_str()), nullptr, 0, MAPI_DIALOG))) {
        messages_.ShowMessage("Was unable to create profile. Check that the profile name specified does not already exist.",
                              "Error", MessageIcon::Error);
        return;
    }
    outlook_.Logoff();
    outlook_.Uninitialize();
    if (SUCCEEDED(outlook_.Initialize())) {
        state_.profiles = ListProfiles();
        outlookGroup_->FillProfiles(state_.profiles, name);
        ChangeProfile(outlookGroup_->SelectedProfile());
    }
    messages_.ShowMessage("Profile Created.", "Confirmation", MessageIcon::Information);
}

void MainWindow::NewOrAttach() {
    FolderTypeDialog chooser(state_.settings.DefaultService, this);
    if (chooser.exec() != QDialog::Accepted) return;
    const std::string service = chooser.ServiceName();
    mapi::MapiPtr<IMsgServiceAdmin> admin;
    if (!outlook_.session || FAILED(outlook_.session->AdminServices(0, admin.Put()))) {
        messages_.ShowMessage("Was unable to create a new message service.", "Error", MessageIcon::Error);
        return;
    }
    std::vector<std::string> before;
    for (const StoreInfo& store : state_.stores) before.push_back(EntryIdToHex(store.entryId));
    if (FAILED(admin->CreateMsgService(const_cast<char*>(service.c_str()), const_cast<char*>(""), 0,
                                       SERVICE_UI_ALWAYS))) {
        if (!service.empty())
            messages_.ShowMessage("Invalid or unavailable service selected. Was unable to create a new message service.",
                                  "Error", MessageIcon::Error);
        return;
    }
    if (FAILED(outlook_.OpenDefaultStore())) return;
    state_.stores = outlook_.stores;
    state_.storesLoaded = true;
    const int added = FindAddedStore(before, state_.stores);
    FillStores(added >= 0 ? added : ChooseStore(state_.stores, "", ""));
    if (added < 0)
        messages_.ShowMessage(
            "You selected a folders file that is already attached to this profile.\nQuillbox is unable to determine "
            "which was added or attached.\n\nPlease manually select the required folders file before continuing.",
            "Information", MessageIcon::Information);
}

void MainWindow::SelectMailbox() {
    DatabaseSelectionDialog dialog(DatabaseSelectionDialog::Mode::Single, notes_, messages_, this);
    if (dialog.exec() != QDialog::Accepted || dialog.paths().empty()) return;
    state_.mailServer = dialog.server();
    state_.mailFile = dialog.paths().front();
    state_.mailTitle = dialog.titles().front();
    mailbox_->ShowMailbox(state_.MailServerShown(), state_.mailFile, state_.mailTitle);
    state_.settings.MailServer = state_.MailServerShown();
    state_.settings.MailFile = state_.mailFile;
    SettingsStore store(state_.settingsPath);
    store.WriteText("Lotus Notes", "MailFile", state_.settings.MailFile);
    store.WriteText("Lotus Notes", "MailServer", state_.settings.MailServer);
}

void MainWindow::SelectAddressBook() {
    DatabaseSelectionDialog dialog(DatabaseSelectionDialog::Mode::Single, notes_, messages_, this);
    if (dialog.exec() != QDialog::Accepted || dialog.paths().empty()) return;
    state_.addressBookServer = dialog.server();
    state_.addressBookPath = dialog.paths().front();
    const std::string server = state_.addressBookServer.empty() ? "Local" : state_.addressBookServer;
    state_.addressBookShown = server + " : " + state_.addressBookPath;
    state_.settings.AddressBookServer = server;
    state_.settings.AddressBookFile = state_.addressBookPath;
    mailbox_->ShowAddressBook(state_.addressBookShown);
}

void MainWindow::OpenBatchWindow() {
    if (!batch_) {
        BatchWindowContext context{state_.settings, notes_,     outlook_, catalogue_, *exportGroup_,
                                   messages_,       answers_,   *this,    state_.settingsPath,
                                   [this](const std::string& title, const std::string& server,
                                          const std::string& path) { ShowBatchDatabase(title, server, path); }};
        batch_ = std::make_unique<BatchExportWindow>(std::move(context), this);
    }
    batch_->show();
    batch_->raise();
}

void MainWindow::ShowBatchDatabase(const std::string& title, const std::string& server, const std::string& path) {
    if (title.empty() && server.empty() && path.empty()) {
        if (shownBeforeBatch_.size() == 3) {
            mailbox_->title->setText(shownBeforeBatch_[0]);
            mailbox_->server->setText(shownBeforeBatch_[1]);
            mailbox_->fileName->setText(shownBeforeBatch_[2]);
        }
        shownBeforeBatch_.clear();
        return;
    }
    if (shownBeforeBatch_.isEmpty())
        shownBeforeBatch_ = {mailbox_->title->text(), mailbox_->server->text(), mailbox_->fileName->text()};
    mailbox_->ShowMailbox(server.empty() ? "Local" : server, path, title);
}

}  // namespace qb::ui
