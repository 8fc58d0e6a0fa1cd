#pragma once
// The dialogs MAPI would show, for the window program: the personal folders
// service's set-up asks for the file, a new profile starts empty, and the
// log-on without a profile lets the user choose one. Runs on the window
// thread (the profile commands call MAPI there).

#include "outlook/mapi/MapiFrontEnd.h"

class QWidget;

namespace qb::ui {

class GuiMapiFrontEnd : public mapi::MapiFrontEnd {
public:
    explicit GuiMapiFrontEnd(QWidget* window) : window_(window) {}

    HRESULT ConfigurePersonalFolders(ULONG_PTR uiParam, mapi::ServiceSetup& setup) override;
    HRESULT SetUpNewProfile(ULONG_PTR uiParam, const std::string& profileName,
                            std::vector<mapi::ServiceSetup>& services) override;
    HRESULT ChooseProfile(ULONG_PTR uiParam, const std::vector<std::string>& profiles, std::string& chosen) override;

private:
    QWidget* window_;
};

}  // namespace qb::ui
