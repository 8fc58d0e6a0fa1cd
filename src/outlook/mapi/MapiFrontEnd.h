#pragma once
// The dialogs MAPI would show, handed to the program's front end. Calls that
// would show one (MAPI_DIALOG, SERVICE_UI_ALWAYS, SERVICE_UI_ALLOWED when
// set-up is needed, MAPI_LOGON_UI when no profile can be chosen otherwise)
// call the registered front end; without one they fail with
// MAPI_E_USER_CANCEL (the log-on, with nothing to ask, fails as it would
// without the flag).

#include <string>
#include <vector>

#include "outlook/mapi/MapiTypes.h"

namespace qb::mapi {

struct ServiceSetup {
    std::string profileName;
    std::string serviceName;  // "MSUPST MS" or "MSPST MS"
    std::string displayName;  // prefilled; the front end may change it
    std::string pstPath;      // prefilled when known; the front end sets it
};

class MapiFrontEnd {
public:
    virtual ~MapiFrontEnd() = default;
    // The personal folders service's own set-up: choose or create the file.
    // S_OK with setup.pstPath set, or MAPI_E_USER_CANCEL.
    virtual HRESULT ConfigurePersonalFolders(ULONG_PTR uiParam, ServiceSetup& setup) = 0;
    // MAPI's set-up of a new profile; the services listed are added to it.
    virtual HRESULT SetUpNewProfile(ULONG_PTR uiParam, const std::string& profileName,
                                    std::vector<ServiceSetup>& services) = 0;
    // The log-on dialog: choose one of the profiles.
    virtual HRESULT ChooseProfile(ULONG_PTR uiParam, const std::vector<std::string>& profiles,
                                  std::string& chosen) = 0;
};

// Registers the front end (not owned; null removes it).
void SetMapiFrontEnd(MapiFrontEnd* frontEnd);
MapiFrontEnd* GetMapiFrontEnd();

}  // namespace qb::mapi
