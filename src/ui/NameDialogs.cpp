// "New Profile" and "Folder Type" (see NameDialogs.h).

#include "ui/NameDialogs.h"

#include <QLabel>
#include <QVBoxLayout>

#include "ui/Widgets.h"
#include "ui/WindowThread.h"

namespace qb::ui {
NewProfileDialog::NewProfileDialog(QWidget* parent) : QDialog(parent), name(new QLineEdit(this)) {
    setObjectName("newProfile");
    setWindowTitle("New Profile");
    name->setObjectName("profileName");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Enter the new profile name", this));
    layout->addWidget(name);
    layout->addWidget(OkCancelButtons(this));
}

FolderTypeDialog::FolderTypeDialog(const std::vector<std::string>& entries, std::optional<std::size_t> preselected,
                                   QWidget* parent)
    : QDialog(parent), list(new QListWidget(this)) {
    setObjectName("folderType");
    setWindowTitle("Folder Type");
    list->setObjectName("services");
    for (const std::string& entry : entries) list->addItem(Q(entry));
    if (preselected) list->setCurrentRow(static_cast<int>(*preselected));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Select the appropriate service for folder file required:", this));
    layout->addWidget(list);
    layout->addWidget(OkCancelButtons(this));
    setMinimumWidth(460);
}

std::optional<std::string> WindowProfileDialogs::AskNewProfileName() {
    NewProfileDialog dialog(window_);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return U(dialog.name->text());
}

std::optional<std::string> WindowProfileDialogs::ChooseFolderType(const std::vector<std::string>& entries,
                                                                  std::optional<std::size_t> preselected) {
    FolderTypeDialog dialog(entries, preselected, window_);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    // Nothing chosen gives an empty text: the service is then unknown.
    return dialog.list->currentItem() ? U(dialog.list->currentItem()->text()) : std::string();
}

}  // namespace qb::ui
