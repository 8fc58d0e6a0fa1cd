#pragma once
// "Select Database": the databases and directories of the local Notes data
// directory or of a Notes server, for one database (the main window) or
// several (the batch window), with "Browse Folders" for files. The listing
// and its navigation are the Notes layer's DatabaseSelection; this is its
// window.

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <string>
#include <vector>

#include "notes/DatabaseSelection.h"
#include "shell/report/MessageSink.h"

namespace qb::ui {

class DatabaseSelectionDialog : public QDialog {
public:
    enum class Mode { Single, Multi };
    DatabaseSelectionDialog(Mode mode, LNNotesSession& notes, MessageSink& messages, QWidget* parent);
    ~DatabaseSelectionDialog() override;

    void accept() override;

    // After OK: the chosen databases (one in single mode), their titles, and
    // the server they are on (empty for local).
    const std::vector<std::string>& paths() const { return paths_; }
    const std::vector<std::string>& titles() const { return titles_; }
    std::string server() const { return selection_.server(); }

    QListWidget* list;
    QComboBox* serverBox;
    QLineEdit* fileName;
    QLabel* directory;

private:
    void ShowListing();
    void ChangeServer(const QString& server);
    void SelectionChanged();
    void RowActivated(QListWidgetItem* item);
    void BrowseFolders();
    void EndThreadSession();

    Mode mode_;
    LNNotesSession& notes_;
    MessageSink& messages_;
    DatabaseSelection selection_;
    bool startedThread_ = false;
    std::vector<std::string> paths_;
    std::vector<std::string> titles_;
};

}  // namespace qb::ui
