#pragma once
// The "Outlook Options" group of the main window: the profile list with "New
// Profile", the store list ("Folders File") with "New/Attach", and the
// "Subfolder" check box with its name field. Both lists are sorted; each
// entry carries the index of its profile or store as item data.

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include "launch/StartUp.h"

namespace qb::ui {

class OutlookGroup : public QGroupBox {
public:
    explicit OutlookGroup(QWidget* parent);

    // The list's entries (the default one reads "name (default)"), the
    // entry of the profile named `current` selected.
    void FillProfiles(const ProfileList& profiles, const std::string& current);
    // One entry per store, " (default)" after a default store's name; the
    // entry of `chosen` (an index into stores) is selected, else none.
    void FillStores(const std::vector<StoreInfo>& stores, int chosen);
    void ClearStores() { foldersFile->clear(); }
    // The item data of the selected entry (for profiles an index into the
    // list's names), or -1.
    int SelectedProfile() const { return foldersIndex(profile); }
    int SelectedStore() const { return foldersIndex(foldersFile); }
    // The name, or "Lotus Notes" when the setting is empty (the box then unticked).
    void ShowSubfolder(const std::string& setting);
    // The ExportAllUnderSubfolder setting: the name while ticked, else empty.
    std::string SubfolderSetting() const;

    QComboBox* profile;
    QPushButton* newProfile;
    QComboBox* foldersFile;
    QPushButton* newAttach;
    QCheckBox* subfolder;
    QLineEdit* subfolderName;

private:
    static int foldersIndex(const QComboBox* box) {
        return box->currentIndex() < 0 ? -1 : box->currentData().toInt();
    }
};

}  // namespace qb::ui
