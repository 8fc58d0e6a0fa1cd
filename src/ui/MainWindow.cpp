// The main window (see MainWindow.h): its controls, the start-up state shown
// in them, and leaving the program.

#include "ui/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QUrl>
#include <QVBoxLayout>

#include "outlook/mapi/MapiError.h"
#include "shell/settings/SettingsStore.h"
#include "ui/BatchExportWindow.h"
#include "ui/ContactsFormatDialog.h"
#include "ui/ExportGroup.h"
#include "ui/MailboxGroup.h"
#include "ui/OutlookGroup.h"
#include "ui/WindowThread.h"

namespace qb::ui {
namespace {
constexpr ULONG kNamedProfileLogon = 0x13;
}  // namespace

MainWindow::MainWindow(const std::string& settingsPath, QWidget* parent)
    : QMainWindow(parent),
      mailbox_(new MailboxGroup(this)),
      outlookGroup_(new OutlookGroup(this)),
      exportGroup_(new ExportGroup(this)),
      messages_(this),
      answers_(this),
      exporter_(*this, state_.settings, notes_, outlook_, catalogue_) {
    setObjectName("mainWindow");
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(mailbox_);
    layout->addWidget(outlookGroup_);
    layout->addWidget(exportGroup_);
    setCentralWidget(central);
    BuildMenus();
    DatabaseList startList;
    StartUpHooks hooks;
    hooks.importDatabaseList = [&](StartUpState& state) {
        startList = BatchExportWindow::LoadList(state.settingsPath, messages_);
    };
    hooks.createMultiExport = [&](StartUpState&) { CreateBatchWindow(std::move(startList)); };
    StartUp(notes_, outlook_).Run(state_, settingsPath, hooks);
    setWindowTitle(kWindowTitle);
    ShowStartUpState();
    Connect();
    ApplyLocks();
    if (!state_.startupErrorText.empty())
        messages_.ShowMessage(state_.startupErrorText, state_.notesAvailable ? "Error" : "Export Error",
                              MessageIcon::Error);
    if (state_.exportLogPath.empty()) messages_.ShowMessage("Unable to Get Temp Path", "Error", MessageIcon::Error);
}

MainWindow::~MainWindow() = default;

void MainWindow::BuildMenus() {
    QMenu* file = menuBar()->addMenu("File");
    file->addAction("Exit", this, &QWidget::close);
    QMenu* multi = menuBar()->addMenu("Multi-Export");
    multiExport_ = multi->addAction("Export Multiple Mailbox Menu", this, [this] { OpenBatchWindow(); });
    options_ = menuBar()->addMenu("Options");
    options_->addAction("Time Zone Settiings (View or Modify)", this, [this] { OpenTimeZone(); });
    options_->addAction("Translate Address Options", this, [this] { OpenAddressOptions(); });
    QMenu* help = menuBar()->addMenu("Help");
    help->addAction("Help Topics", this, [this] {
        QMessageBox::information(this, "Help Topics",
                                 "Quillbox " QUILLBOX_VERSION
                                 " converts Lotus Notes mailboxes (exported as DXL) into Outlook personal folders "
                                 "files.\n\nChoose the mailbox, the components, the profile and its folders file, "
                                 "then press \"Export Now\". \"View log\" opens the log of the last export.\n\n"
                                 "The README beside the program describes every setting of Quillbox.ini.");
    });
}

void MainWindow::ShowStartUpState() {
    const ExportSettings& s = state_.settings;
    mailbox_->ShowMailbox(state_.MailServerShown(), state_.mailFile, state_.mailTitle);
    mailbox_->ShowAddressBook(state_.addressBookShown);
    mailbox_->TickComponents(s.Components);
    mailbox_->UpdateAddressBook(s.ContactsFormat);
    outlookGroup_->FillProfiles(state_.profiles, state_.currentProfile);
    FillStores(state_.chosenStore);
    outlookGroup_->ShowSubfolder(s.ExportAllUnderSubfolder);
    exportGroup_->log->setChecked(s.LogExport);
    exportGroup_->recovery->setChecked(s.RecoveryInfo);
    exportGroup_->status->setText(Q(state_.statusText));
    const bool notes = state_.notesAvailable;
    for (QWidget* w : std::initializer_list<QWidget*>{mailbox_->selectMailbox, mailbox_->advanced, exportGroup_->exportNow})
        w->setEnabled(notes);
}

void MainWindow::ApplyLocks() {
    const ExportSettings& s = state_.settings;
    if (s.LockComponents)
        for (QCheckBox* box : mailbox_->components) box->setEnabled(false);
    if (s.LockMultiMenu) multiExport_->setEnabled(false);
    if (s.LockDbSelection) {
        mailbox_->selectionLocked = true;
        mailbox_->selectMailbox->setEnabled(false);
        mailbox_->chooseAddressBook->setEnabled(false);
    }
}

void MainWindow::Connect() {
    connect(exportGroup_->exportNow, &QPushButton::clicked, this, [this] { ExportNow(); });
    connect(exportGroup_->cancelExport, &QPushButton::clicked, this, [this] {
        exporter_.Cancel();
        if (batch_) batch_->Cancel();
    });
    connect(exportGroup_->viewLog, &QPushButton::clicked, this, [this] { ViewLog(); });
    connect(exportGroup_->recovery, &QCheckBox::toggled, this, [this](bool on) { state_.settings.RecoveryInfo = on; });
    connect(exportGroup_->log, &QCheckBox::toggled, this, [this](bool on) { state_.settings.LogExport = on; });
    connect(mailbox_->advanced, &QPushButton::clicked, this, [this] { OpenAdvanced(); });
    connect(mailbox_->selectMailbox, &QPushButton::clicked, this, [this] { SelectMailbox(); });
    connect(mailbox_->chooseAddressBook, &QPushButton::clicked, this, [this] { SelectAddressBook(); });
    connect(mailbox_->ComponentBox(Component::Contacts), &QCheckBox::toggled, this,
            [this](bool on) { ContactsToggled(on); });
    connect(outlookGroup_->profile, QOverload<int>::of(&QComboBox::activated), this,
            [this](int) { ChangeProfile(outlookGroup_->SelectedProfile()); });
    connect(outlookGroup_->foldersFile, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int) { state_.chosenStore = outlookGroup_->SelectedStore(); });
    connect(outlookGroup_->newProfile, &QPushButton::clicked, this, [this] { NewProfile(); });
    connect(outlookGroup_->newAttach, &QPushButton::clicked, this, [this] { NewOrAttach(); });
    outlookGroup_->foldersFile->installEventFilter(this);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == outlookGroup_->foldersFile && event->type() == QEvent::FocusIn) LoadStoresOnFocus();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::LoadStoresOnFocus() {
    if (state_.storesLoaded) return;
    if (LoadStores(outlook_, state_.currentProfile)) {
        state_.stores = outlook_.stores;
        state_.storesLoaded = true;
        FillStores(ChooseStore(state_.stores, "", ""));
    } else {
        state_.stores.clear();
        outlookGroup_->ClearStores();
    }
}

void MainWindow::FillStores(int chosen) {
    outlookGroup_->FillStores(state_.stores, chosen);
    state_.chosenStore = outlookGroup_->SelectedStore();
}

void MainWindow::ContactsToggled(bool on) {
    if (on) ContactsFormatDialog(state_.settings, this).exec();
    mailbox_->UpdateAddressBook(state_.settings.ContactsFormat);
}

void MainWindow::ChangeProfile(int profileIndex) {
    if (profileIndex < 0 || profileIndex >= static_cast<int>(state_.profiles.names.size())) return;
    state_.currentProfile = state_.profiles.names[profileIndex];
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!(outlook_.flags & CMapiSession::kInitialised)) outlook_.Initialize();
    const HRESULT logon = outlook_.Logon(state_.currentProfile, "", kNamedProfileLogon, 0);
    const bool stores = SUCCEEDED(logon) && SUCCEEDED(outlook_.GetStores(nullptr));
    QApplication::restoreOverrideCursor();
    if (stores) {
        state_.stores = outlook_.stores;
        state_.storesLoaded = true;
        FillStores(ChooseStore(state_.stores, "", ""));
    } else if (SUCCEEDED(logon)) {
        messages_.ShowMessage("Unable to login get stores", "Login", MessageIcon::Information);
    } else if (logon != MAPI_E_USER_CANCEL) {
        messages_.ShowMessage("Unable to login to profile", "Login", MessageIcon::Information);
    }
}

void MainWindow::TakeControls() {
    ExportSettings& s = state_.settings;
    s.Components = mailbox_->TickedComponents();
    s.LogExport = exportGroup_->log->isChecked();
    s.RecoveryInfo = exportGroup_->recovery->isChecked();
    s.ExportAllUnderSubfolder = outlookGroup_->SubfolderSetting();
    const int profile = outlookGroup_->SelectedProfile();
    s.Profile = profile >= 0 ? state_.profiles.names[profile] : std::string();
    const int store = outlookGroup_->SelectedStore();
    state_.chosenStore = store;
    const StoreInfo* chosen = state_.ChosenStore();
    s.FoldersFile = chosen ? chosen->displayName : std::string();
    s.FoldersFileEntryID = chosen ? EntryIdToHex(chosen->entryId) : std::string();
}

void MainWindow::SaveSettings() {
    TakeControls();
    SettingsStore(state_.settingsPath).Save(state_.settings);
}

LaunchChoices MainWindow::Choices() const {
    LaunchChoices choices;
    choices.log = exportGroup_->log->isChecked();
    choices.subfolderTicked = outlookGroup_->subfolder->isChecked();
    choices.subfolderName = U(outlookGroup_->subfolderName->text());
    choices.profile = state_.currentProfile;
    if (const StoreInfo* store = state_.ChosenStore()) {
        choices.storeName = store->displayName;
        choices.storeEntryIdHex = EntryIdToHex(store->entryId);
    }
    choices.inputs.mailServer = state_.mailServer;
    choices.inputs.mailFile = state_.mailFile;
    choices.inputs.addressBookServer = state_.addressBookServer;
    choices.inputs.addressBookPath = state_.addressBookPath;
    return choices;
}

void MainWindow::ExportNow() {
    if (Exporting()) return;
    TakeControls();
    std::string journalFolder = state_.journalFolder;
    if (state_.settings.RecoveryInfo && journalFolder.empty())
        journalFolder = RecoveryJournalFolder(state_.settingsPath, state_.journalProblem);
    LaunchChoices choices = Choices();
    const WindowFrontEnd frontEnd{*exportGroup_, messages_, answers_, answers_, *this};
    if (exporter_.Launch(choices, journalFolder, makeSmtp, smtpDomain, frontEnd) && answers_.saveFilterInfo)
        SaveSettings();
}

void MainWindow::SetExportingState(bool exporting) {
    CallOnWindowThread(this, [this, exporting] {
        const bool idle = !exporting;
        exportGroup_->exportNow->setEnabled(idle);
        exportGroup_->cancelExport->setEnabled(exporting);
        for (QWidget* w : std::initializer_list<QWidget*>{
                 mailbox_->advanced, exportGroup_->log, exportGroup_->recovery, outlookGroup_->profile,
                 outlookGroup_->foldersFile, outlookGroup_->newProfile, outlookGroup_->newAttach,
                 outlookGroup_->subfolder, outlookGroup_->subfolderName})
            w->setEnabled(idle);
        mailbox_->chooseAddressBook->setEnabled(idle && !state_.settings.LockDbSelection);
        mailbox_->selectMailbox->setEnabled(idle && !state_.settings.LockDbSelection);
        options_->setEnabled(idle);
        multiExport_->setEnabled(idle && !state_.settings.LockMultiMenu);
        for (QCheckBox* box : mailbox_->components) box->setEnabled(idle && !state_.settings.LockComponents);
        if (idle) mailbox_->UpdateAddressBook(state_.settings.ContactsFormat);
    });
}

void MainWindow::ShowExportError(const std::string& text) {
    messages_.ShowMessage(text, "Export Error", MessageIcon::Error);
}

void MainWindow::ViewLog() {
    // A path with no file behind it yet is no log either: the opener would
    // fail without a word.
    if (state_.exportLogPath.empty() || !QFileInfo::exists(Q(state_.exportLogPath))) {
        messages_.ShowMessage("No log file has been created yet.", "Error", MessageIcon::Error);
        return;
    }
    // The desktop's opener, with the path as one argument; never a shell.
    QDesktopServices::openUrl(QUrl::fromLocalFile(Q(state_.exportLogPath)));
}

bool MainWindow::Exporting() const { return exporter_.Busy() || (batch_ && batch_->Running()); }

void MainWindow::closeEvent(QCloseEvent* event) {
    SaveSettings();
    if (Exporting()) {
        messages_.ShowMessage(
            "You can not exit Quillbox while an export is in progress. Please cancel the export and wait stopped.",
            "Infortmation", MessageIcon::Exclamation);
        event->ignore();
        return;
    }
    event->accept();
}

}  // namespace qb::ui
