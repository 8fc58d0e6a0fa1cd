// The Outlook group of the main window (see OutlookGroup.h).

#include "ui/OutlookGroup.h"

#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>

#include "ui/WindowThread.h"

namespace qb::ui {
namespace {

constexpr int kMaxSubfolderChars = 255;

// Sorts the entries by text and selects the one whose item data is `wanted`.
void SortAndSelect(QComboBox* box, int wanted) {
    box->model()->sort(0);
    box->setCurrentIndex(wanted < 0 ? -1 : box->findData(wanted));
}

}  // namespace

OutlookGroup::OutlookGroup(QWidget* parent)
    : QGroupBox("Outlook Options", parent),
      profile(new QComboBox(this)),
      newProfile(new QPushButton("New Profile", this)),
      foldersFile(new QComboBox(this)),
      newAttach(new QPushButton("New/Attach", this)),
      subfolder(new QCheckBox("Subfolder", this)),
      subfolderName(new QLineEdit(this)) {
    profile->setObjectName("profile");
    foldersFile->setObjectName("foldersFile");
    subfolder->setObjectName("subfolder");
    subfolderName->setObjectName("subfolderName");
    subfolderName->setMaxLength(kMaxSubfolderChars);
    for (QComboBox* box : {profile, foldersFile}) {
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        box->setMinimumWidth(220);
    }
    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel("Profile:", this), 0, 0);
    layout->addWidget(profile, 0, 1);
    layout->addWidget(newProfile, 0, 2);
    layout->addWidget(new QLabel("Folders File:", this), 1, 0);
    layout->addWidget(foldersFile, 1, 1);
    layout->addWidget(newAttach, 1, 2);
    layout->addWidget(subfolder, 2, 0);
    layout->addWidget(subfolderName, 2, 1, 1, 2);
    layout->setColumnStretch(1, 1);
    QObject::connect(subfolder, &QCheckBox::toggled, subfolderName, &QWidget::setVisible);
}

void OutlookGroup::FillProfiles(const ProfileList& profiles, const std::string& current) {
    const QSignalBlocker quiet(profile);
    profile->clear();
    int wanted = -1;
    for (const ProfileList::Entry& entry : profiles.entries) {
        const int index = static_cast<int>(entry.nameIndex);
        profile->addItem(Q(entry.text), index);
        if (profiles.names[entry.nameIndex] == current) wanted = index;
    }
    SortAndSelect(profile, wanted);
}

void OutlookGroup::FillStores(const std::vector<StoreInfo>& stores, int chosen) {
    const QSignalBlocker quiet(foldersFile);
    foldersFile->clear();
    for (std::size_t i = 0; i < stores.size(); ++i) {
        QString text = Q(stores[i].displayName);
        if (stores[i].isDefault) text += " (default)";
        foldersFile->addItem(text, static_cast<int>(i));
    }
    SortAndSelect(foldersFile, chosen);
}

void OutlookGroup::ShowSubfolder(const std::string& setting) {
    subfolder->setChecked(!setting.empty());
    subfolderName->setText(setting.empty() ? QString("Lotus Notes") : Q(setting));
    subfolderName->setVisible(!setting.empty());
}

std::string OutlookGroup::SubfolderSetting() const {
    return subfolder->isChecked() ? U(subfolderName->text()) : std::string();
}

}  // namespace qb::ui
