#pragma once
// "Mutli Database Export": the list of mailboxes with their targets and last
// results, the target format and folder, and "Export Selected", which runs
// the batch (the batch layer's BatchExport) on a worker thread. The window
// is the batch's BatchWindow and its status line, progress bar and
// "Total Processed" line are the batch's ProgressSink.

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <thread>

#include "batch/BatchExport.h"
#include "batch/DatabaseList.h"
#include "launch/ExportParts.h"

namespace qb::ui {

// What the batch borrows from the main window.
struct BatchWindowContext {
    ExportSettings& settings;
    LNNotesSession& notes;
    CMapiSession& outlook;
    ViewFolderCatalogue& catalogue;
    ProgressSink& mainStatus;
    MessageSink& messages;
    ExportConfirmation& confirmation;
    ExportWindow& mainWindow;
    // Make SMTP and its domain, as the address options hold them now.
    const bool& makeSmtp;
    const std::string& smtpDomain;
    std::string settingsPath;
    // Shows a mailbox in the main window's fields (all empty: restore them).
    std::function<void(const std::string&, const std::string&, const std::string&)> showDatabase;
};

class BatchExportWindow : public QDialog, public BatchWindow, public ProgressSink {
public:
    // `list`: the list of the last session, as LoadList read it.
    BatchExportWindow(BatchWindowContext context, DatabaseList list, QWidget* parent);
    // The default list beside the settings file, when there is one.
    static DatabaseList LoadList(const std::string& settingsPath, MessageSink& messages);
    ~BatchExportWindow() override;

    bool Running() const { return thread_.joinable(); }
    void Cancel();

    // BatchWindow
    void SetBatchRunningState(bool running) override;
    void ShowDatabase(const std::string& title, const std::string& server, const std::string& filePath) override;
    void ShowItem(std::size_t index) override;
    // ProgressSink: the dialog's status line, progress bar and "Total Processed".
    void SetStatusText(std::string_view text) override;
    void SetSecondaryText(int line, std::string_view text) override;
    void SetProgressRange16(std::uint16_t low, std::uint16_t high) override;
    void SetProgressRange32(std::int32_t low, std::int32_t high) override;
    void SetProgressPosition(std::int32_t position) override;

    void reject() override;  // "Close": keeps the path and the list

    // Asks for the list file to import (save false) or to export to (save
    // true); empty when the user cancelled. The file dialogs by default.
    std::function<QString(bool save)> chooseListFile;

    DatabaseList list;
    QTreeWidget* rows;
    QRadioButton* pst97;
    QRadioButton* pst2003;
    QRadioButton* exchange;
    QLineEdit* pstPath;
    QPushButton* add;
    QPushButton* remove;
    QPushButton* removeAll;
    QPushButton* resetFlags;
    QPushButton* exportSelected;
    QPushButton* cancel;
    QLabel* status;
    QLabel* counter;
    QLabel* processed;
    QProgressBar* progress;

private:
    QWidget* BuildButtons();
    void BuildMenu();
    void Refill();
    void FillRow(QTreeWidgetItem* item, const DatabaseListItem& entry);
    void AddDatabases();
    void RemoveSelected();
    void ClearProgress();
    void ExportSelected();
    QString AskForListFile(bool save);
    void ImportList();
    void ExportList(bool open);
    void ChooseFolder();
    std::string ServiceName() const;

    BatchWindowContext context_;
    std::unique_ptr<ExportParts> parts_;
    RecoveryOff noRecovery_;
    std::unique_ptr<BatchExport> batch_;
    void JoinFinishedBatch();
    std::thread thread_;
    std::atomic<bool> finished_{true};
};

}  // namespace qb::ui
