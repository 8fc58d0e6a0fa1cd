#pragma once
// IProfAdmin and IMsgServiceAdmin over the profiles file.

#include <mutex>
#include <string>

#include "outlook/mapi/MapiError.h"
#include "outlook/mapi/MapiFrontEnd.h"
#include "outlook/mapi/ProfileFile.h"
#include "outlook/mapi/PropUtil.h"
#include "outlook/mapi/StoreProvider.h"

namespace qb::mapi {

// The profiles file, read and written under one lock: a mutex between the
// threads of the process and an exclusive lock on "<file>.lock" between
// processes (batch shards run side by side), held from the read to the
// replacement, so no change of one process is lost to another's.
class ProfileRegistry {
public:
    static std::mutex& Lock();
    class Guard {
    public:
        Guard();
        ~Guard();
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        std::unique_lock<std::mutex> threads_;
        int fd_ = -1;
    };
    static HRESULT Load(ProfileFile& file, std::string& error);
    static HRESULT Save(const ProfileFile& file, std::string& error);
};

// The location of a configured personal folders service.
StoreLocation LocationOf(const ServiceEntry& service);
bool IsPersonalFoldersService(std::string_view serviceName);

class MsgServiceAdmin final : public ComObject<IMsgServiceAdmin> {
public:
    static MapiPtr<IMsgServiceAdmin> Create(std::string profileName);

    HRESULT GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) override;
    HRESULT GetMsgServiceTable(ULONG ulFlags, LPMAPITABLE* lppTable) override;
    // "MSUPST MS" and "MSPST MS" only; other names: MAPI_E_NOT_INITIALIZED.
    // With SERVICE_UI_ALWAYS or SERVICE_UI_ALLOWED the front end chooses the
    // file and the service is configured at once; choosing a file the profile
    // already holds adds nothing and succeeds.
    HRESULT CreateMsgService(LPTSTR lpszService, LPTSTR lpszDisplayName, ULONG_PTR ulUIParam, ULONG ulFlags) override;
    HRESULT DeleteMsgService(LPMAPIUID lpUID) override;
    // PR_DISPLAY_NAME and PR_PST_PATH (8-bit or wide) configure the service;
    // the store file is created or attached through the store provider. A
    // provider failure gives MAPI_E_EXTENDED_ERROR, its text in GetLastError.
    HRESULT ConfigureMsgService(LPMAPIUID lpUID, ULONG_PTR ulUIParam, ULONG ulFlags, ULONG cValues,
                                LPSPropValue lpProps) override;

private:
    explicit MsgServiceAdmin(std::string profileName) : profileName_(std::move(profileName)) {}
    HRESULT Configure(ProfileEntry& profile, ServiceEntry& service, ULONG_PTR uiParam, bool askUser);

    std::string profileName_;
    LastError lastError_;
};

class ProfAdmin final : public ComObject<IProfAdmin> {
public:
    static MapiPtr<IProfAdmin> Create();

    HRESULT GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) override;
    HRESULT GetProfileTable(ULONG ulFlags, LPMAPITABLE* lppTable) override;
    // An existing name gives MAPI_E_NO_ACCESS. The first profile, or any
    // while none is the default, becomes the default profile.
    HRESULT CreateProfile(LPTSTR lpszProfileName, LPTSTR lpszPassword, ULONG_PTR ulUIParam, ULONG ulFlags) override;
    HRESULT DeleteProfile(LPTSTR lpszProfileName, ULONG ulFlags) override;
    HRESULT SetDefaultProfile(LPTSTR lpszProfileName, ULONG ulFlags) override;
    HRESULT AdminServices(LPTSTR lpszProfileName, LPTSTR lpszPassword, ULONG_PTR ulUIParam, ULONG ulFlags,
                          LPSERVICEADMIN* lppServiceAdmin) override;

private:
    ProfAdmin() = default;
    LastError lastError_;
};

// Text arguments of the administration calls: wide when MAPI_UNICODE is set.
std::string ArgumentString(LPTSTR text, ULONG flags);

}  // namespace qb::mapi
