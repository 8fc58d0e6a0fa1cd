#pragma once
// The two small choosers of the profile commands, "New Profile" (a name) and
// "Folder Type" (the personal folders service for a new or attached file),
// and the window's answers to the profile operations' questions with them.

#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <optional>
#include <string>
#include <vector>

#include "outlook/ProfileOperations.h"

namespace qb::ui {

class NewProfileDialog : public QDialog {
public:
    explicit NewProfileDialog(QWidget* parent);
    QLineEdit* name;
};

class FolderTypeDialog : public QDialog {
public:
    FolderTypeDialog(const std::vector<std::string>& entries, std::optional<std::size_t> preselected,
                     QWidget* parent);
    QListWidget* list;
};

class WindowProfileDialogs : public ProfileDialogs {
public:
    explicit WindowProfileDialogs(QWidget* window) : window_(window) {}
    std::optional<std::string> AskNewProfileName() override;
    std::optional<std::string> ChooseFolderType(const std::vector<std::string>& entries,
                                                std::optional<std::size_t> preselected) override;

private:
    QWidget* window_;
};

}  // namespace qb::ui
