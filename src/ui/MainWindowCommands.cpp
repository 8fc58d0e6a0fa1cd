// The main window's commands that open dialogs: "Advanced", the two Options
// menu dialogs, "New Profile", "New/Attach", "Select Mailbox" and ">".

#include <QApplication>
#include <QMessageBox>
#include <atomic>

#include "notes/NotesDesignNoteSource.h"
#include "notes/NotesErrorText.h"
#include "outlook/ProfileOperations.h"
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
    WindowProfileDialogs dialogs(this);
    ProfileState profiles{outlook_, state_.profiles, state_.currentProfile, state_.settings.DefaultService};
    qb::NewProfile(profiles, dialogs, *this, messages_);
}

void MainWindow::NewOrAttach() {
    WindowProfileDialogs dialogs(this);
    ProfileState profiles{outlook_, state_.profiles, state_.currentProfile, state_.settings.DefaultService};
    NewOrAttachService(profiles, dialogs, *this, messages_);
}

void MainWindow::ProfileChanged() {
    outlookGroup_->FillProfiles(state_.profiles, state_.currentProfile);
    ChangeProfile(outlookGroup_->SelectedProfile());
}

void MainWindow::ShowStores(std::optional<std::size_t> store) {
    state_.stores = outlook_.stores;
    state_.storesLoaded = true;
    FillStores(store ? static_cast<int>(*store) : ChooseStore(state_.stores, "", ""));
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

void MainWindow::CreateBatchWindow(DatabaseList list) {
    BatchWindowContext context{state_.settings, notes_,  outlook_, catalogue_,  *exportGroup_,      messages_,
                               answers_,        *this,   makeSmtp, smtpDomain, state_.settingsPath,
                               [this](const std::string& title, const std::string& server,
                                      const std::string& path) { ShowBatchDatabase(title, server, path); }};
    batch_ = std::make_unique<BatchExportWindow>(std::move(context), std::move(list), this);
}

void MainWindow::OpenBatchWindow() {
    if (!batch_) CreateBatchWindow(BatchExportWindow::LoadList(state_.settingsPath, messages_));
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
