// "New Profile" and "Folder Type" (see NameDialogs.h).

#include "ui/NameDialogs.h"

#include <QLabel>
#include <QVBoxLayout>
#include <array>
#include <utility>

#include "ui/DialogButtons.h"
#include "ui/WindowThread.h"

namespace qb::ui {
namespace {

constexpr std::array<std::pair<const char*, const char*>, 9> kServices = {{
    {"Microsoft Exchange Server", "MSEMS"},
    {"Personal Address Book", "MSPST AB"},
    {"Personal Folders (Outlook 97-2002 PST File) max size approx 2GB", "MSPST MS"},
    {"Personal Folders (Outlook 2003+ PST File) max size theoretical 33TB", "MSUPST MS"},
    {"Outlook Address Book", "CONTAB"},
    {"Internet E-mail", "IMAIL"},
    {"Microsoft Mail", "MSFS"},
    {"Microsoft LDAP Directory", "EMABLT"},
    {"MS Outlook support for Lotus cc:Mail", "CCMSVC"},
}};

}  // namespace

std::string ServiceNameForText(const std::string& text) {
    for (const auto& [display, service] : kServices)
        if (text == display) return service;
    return {};
}

NewProfileDialog::NewProfileDialog(QWidget* parent) : QDialog(parent), name(new QLineEdit(this)) {
    setObjectName("newProfile");
    setWindowTitle("New Profile");
    name->setObjectName("profileName");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Enter the new profile name", this));
    layout->addWidget(name);
    layout->addWidget(OkCancelButtons(this));
}

FolderTypeDialog::FolderTypeDialog(const std::string& defaultService, QWidget* parent)
    : QDialog(parent), list(new QListWidget(this)) {
    setObjectName("folderType");
    setWindowTitle("Folder Type");
    list->setObjectName("services");
    // Only the two personal folders entries are offered.
    for (std::size_t i = 2; i <= 3; ++i) list->addItem(kServices[i].first);
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text().startsWith(Q(defaultService))) list->setCurrentRow(i);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Select the appropriate service for folder file required:", this));
    layout->addWidget(list);
    layout->addWidget(OkCancelButtons(this));
    setMinimumWidth(460);
}

std::string FolderTypeDialog::ServiceName() const {
    return list->currentItem() ? ServiceNameForText(U(list->currentItem()->text())) : std::string();
}

}  // namespace qb::ui
