#pragma once
// "Advanced Lotus Notes Settings": the options without a control in the
// main window, each written into the settings the moment it changes (with
// its warning when switched on), and the view and folder tree. OK takes the
// tree's check marks into the catalogue; Cancel leaves the catalogue's
// selection, but not the options already changed.

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <functional>

#include "shell/report/MessageSink.h"
#include "shell/settings/ExportSettings.h"
#include "ui/CatalogueTree.h"

namespace qb::ui {

class AdvancedDialog : public QDialog {
public:
    // `databaseOpen`: false shows "Database Not Open" and leaves the options
    // as they are. `contactsFormatChanged` lets the main window show or hide
    // its address book.
    AdvancedDialog(ExportSettings& settings, ViewFolderCatalogue& catalogue, bool databaseOpen, MessageSink& messages,
                   std::function<void()> contactsFormatChanged, QWidget* parent);

    void accept() override;

    QComboBox* bodyFormat;
    QCheckBox* attachImages;
    QCheckBox* abbreviateNames;
    QCheckBox* renameExe;
    QComboBox* contactsFormat;
    QCheckBox* docLinks;
    QCheckBox* reminders;
    QCheckBox* showHidden;
    CatalogueTree* tree;

private:
    QWidget* BuildOptions();
    QWidget* BuildTree();
    void ShowSettings();
    void ConnectOptions();
    // Writes a check box's setting; shows `warning` (if any) when switched on.
    void Bind(QCheckBox* box, bool& setting, const char* warning);

    ExportSettings& settings_;
    ViewFolderCatalogue& catalogue_;
    MessageSink& messages_;
    std::function<void()> contactsFormatChanged_;
};

}  // namespace qb::ui
