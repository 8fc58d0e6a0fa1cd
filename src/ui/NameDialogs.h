#pragma once
// The two small choosers of the profile commands: "New Profile" (a name) and
// "Folder Type" (the personal folders service for a new or attached file).

#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <string>

namespace qb::ui {

class NewProfileDialog : public QDialog {
public:
    explicit NewProfileDialog(QWidget* parent);
    QLineEdit* name;
};

class FolderTypeDialog : public QDialog {
public:
    // The entry whose text begins with `defaultService` is preselected.
    FolderTypeDialog(const std::string& defaultService, QWidget* parent);
    // The service name of the chosen entry ("MSPST MS", "MSUPST MS"), or empty.
    std::string ServiceName() const;
    QListWidget* list;
};

// The service name for a service's display text; empty for an unknown text.
std::string ServiceNameForText(const std::string& text);

}  // namespace qb::ui
