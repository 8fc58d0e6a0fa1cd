// MAPI's dialogs for the window program (see GuiMapiFrontEnd.h).

#include "ui/GuiMapiFrontEnd.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>

#include "ui/WindowThread.h"

namespace qb::ui {

HRESULT GuiMapiFrontEnd::ConfigurePersonalFolders(ULONG_PTR, mapi::ServiceSetup& setup) {
    QFileDialog chooser(window_, "Create or Open Outlook Data File", Q(setup.pstPath),
                        "Personal Folders (*.pst);;All Files (*)");
    chooser.setObjectName("pstChooser");
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    chooser.setOption(QFileDialog::DontConfirmOverwrite);
    chooser.setAcceptMode(QFileDialog::AcceptSave);
    chooser.setDefaultSuffix("pst");
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return MAPI_E_USER_CANCEL;
    const QString file = chooser.selectedFiles().front();
    setup.pstPath = U(file);
    if (setup.displayName.empty()) setup.displayName = U(QFileInfo(file).completeBaseName());
    return S_OK;
}

HRESULT GuiMapiFrontEnd::SetUpNewProfile(ULONG_PTR, const std::string&, std::vector<mapi::ServiceSetup>&) {
    // A new profile starts empty; "New/Attach" adds its folders files.
    return S_OK;
}

HRESULT GuiMapiFrontEnd::ChooseProfile(ULONG_PTR, const std::vector<std::string>& profiles, std::string& chosen) {
    QStringList names;
    for (const std::string& name : profiles) names << Q(name);
    bool ok = false;
    const QString name = QInputDialog::getItem(window_, "Choose Profile", "Profile Name:", names, 0, false, &ok);
    if (!ok) return MAPI_E_USER_CANCEL;
    chosen = U(name);
    return S_OK;
}

}  // namespace qb::ui
