#pragma once
// The program's one window: the mailbox, the Outlook profile and store, the
// components, the export with its progress, the menus. It owns the settings,
// the Notes and Outlook sessions and the view selection for the program's
// life; the settings are saved whenever the user asks to leave, and leaving
// is refused while an export runs.

#include <QMainWindow>
#include <QStringList>
#include <memory>
#include <optional>

#include "batch/DatabaseList.h"
#include "launch/StartUp.h"
#include "notes/ViewFolderCatalogue.h"
#include "ui/ExportController.h"
#include "ui/WindowAnswers.h"
#include "ui/WindowMessages.h"

namespace qb::ui {

class ExportGroup;
class MailboxGroup;
class OutlookGroup;
class BatchExportWindow;

class MainWindow : public QMainWindow, public ExportWindow, public ProfileWindow {
public:
    // Runs the start-up sequence on the settings file.
    explicit MainWindow(const std::string& settingsPath, QWidget* parent = nullptr);
    ~MainWindow() override;

    // ExportWindow, called by the worker.
    void SetExportingState(bool exporting) override;
    void ShowExportError(const std::string& text) override;
    // ProfileWindow, called by "New Profile" and "New/Attach".
    void ProfileChanged() override;
    void ShowStores(std::optional<std::size_t> store) override;

    ExportSettings& settings() { return state_.settings; }
    const StartUpState& state() const { return state_; }
    ExportController& exporter() { return exporter_; }
    // Make SMTP and its domain: offered by the address options, never stored.
    bool makeSmtp = false;
    std::string smtpDomain;

    // The handlers, public for the menus and the tests.
    void ExportNow();
    void ViewLog();
    void OpenAdvanced();
    void OpenTimeZone();
    void OpenAddressOptions();
    void ChangeProfile(int profileIndex);
    void NewProfile();
    void NewOrAttach();
    void SelectMailbox();
    void SelectAddressBook();
    void OpenBatchWindow();
    // The batch window (null only when the start-up could not make it).
    BatchExportWindow* batchWindow() { return batch_.get(); }
    // The controls' choices into the settings (components, log, recovery,
    // subfolder, profile and store), then the settings file.
    void SaveSettings();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenus();
    void ShowStartUpState();
    void Connect();
    void ApplyLocks();
    void TakeControls();
    void FillStores(int chosen);
    void ContactsToggled(bool on);
    // "Folders File" gaining focus before its list was ever filled.
    void LoadStoresOnFocus();
    LaunchChoices Choices() const;
    // The batch shows the mailbox it exports; all empty restores the fields.
    // The batch window, hidden until its menu command.
    void CreateBatchWindow(DatabaseList list);
    void ShowBatchDatabase(const std::string& title, const std::string& server, const std::string& filePath);
    bool Exporting() const;

    // Destroyed last: everything below may use them.
    LNNotesSession notes_;
    CMapiSession outlook_;
    StartUpState state_;
    ViewFolderCatalogue catalogue_;
    MailboxGroup* mailbox_;
    OutlookGroup* outlookGroup_;
    ExportGroup* exportGroup_;
    QAction* multiExport_ = nullptr;
    // The option dialogs change what a running export reads: only between exports.
    QMenu* options_ = nullptr;
    WindowMessages messages_;
    WindowAnswers answers_;
    ExportController exporter_;
    std::unique_ptr<BatchExportWindow> batch_;
    // What the mailbox fields showed before the batch changed them.
    QStringList shownBeforeBatch_;
};

}  // namespace qb::ui
