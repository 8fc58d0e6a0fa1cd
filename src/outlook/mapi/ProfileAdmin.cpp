#include "outlook/mapi/ProfileAdmin.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/MapiText.h"
#include "outlook/mapi/MemoryTable.h"

namespace qb::mapi {
namespace {

constexpr std::string_view kDefaultServiceDisplayName = "Personal Folders";

bool HasControlCharacters(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20) return true;
    return false;
}

std::string NormalisedPath(const std::string& path) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (ec) return path;
    return absolute.lexically_normal().string();
}

std::string ValueString(const SPropValue& value) {
    if (PROP_TYPE(value.ulPropTag) == PT_UNICODE) return value.Value.lpszW ? WideToUtf8(value.Value.lpszW) : "";
    if (PROP_TYPE(value.ulPropTag) == PT_STRING8) return value.Value.lpszA ? value.Value.lpszA : "";
    return {};
}

}  // namespace

std::mutex& ProfileRegistry::Lock() {
    static std::mutex lock;
    return lock;
}

ProfileRegistry::Guard::Guard() : threads_(Lock()) {
    const std::string path = ProfileFile::DefaultPath() + ".lock";
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    // Without a lock file (a read-only folder) the file cannot be written either.
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0)
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
}

ProfileRegistry::Guard::~Guard() {
    if (fd_ >= 0) ::close(fd_);  // releases the flock
}

HRESULT ProfileRegistry::Load(ProfileFile& file, std::string& error) {
    return file.Load(ProfileFile::DefaultPath(), error);
}

HRESULT ProfileRegistry::Save(const ProfileFile& file, std::string& error) {
    return file.Save(ProfileFile::DefaultPath(), error);
}

StoreLocation LocationOf(const ServiceEntry& service) {
    StoreLocation location;
    location.path = service.pstPath;
    location.format = EqualsNoCase(service.serviceName, "MSPST MS") ? StoreFormat::Ansi : StoreFormat::Unicode;
    location.displayName = service.displayName;
    location.serviceUid = service.uid;
    location.entryId = BuildStoreEntryId(service.pstPath);
    return location;
}

bool IsPersonalFoldersService(std::string_view serviceName) {
    return EqualsNoCase(serviceName, "MSUPST MS") || EqualsNoCase(serviceName, "MSPST MS");
}

std::string ArgumentString(LPTSTR text, ULONG flags) {
    if (!text) return {};
    if (flags & MAPI_UNICODE) return WideToUtf8(reinterpret_cast<const wchar_t*>(text));
    return text;
}

// ---- Message service administration ---------------------------------------

MapiPtr<IMsgServiceAdmin> MsgServiceAdmin::Create(std::string profileName) {
    return MapiPtr<IMsgServiceAdmin>(new MsgServiceAdmin(std::move(profileName)));
}

HRESULT MsgServiceAdmin::GetLastError(HRESULT hResult, ULONG, LPMAPIERROR* lppMAPIError) {
    return lastError_.Get(hResult, "Message service administration", lppMAPIError);
}

HRESULT MsgServiceAdmin::GetMsgServiceTable(ULONG, LPMAPITABLE* lppTable) {
    if (!lppTable) return MAPI_E_INVALID_PARAMETER;
    *lppTable = nullptr;
    ProfileRegistry::Guard guard;
    ProfileFile file;
    std::string error;
    HRESULT hr = ProfileRegistry::Load(file, error);
    if (FAILED(hr)) return lastError_.Fail(hr, error);
    ProfileEntry* profile = file.Find(profileName_);
    if (!profile) return lastError_.Fail(MAPI_E_NOT_FOUND, "The profile " + profileName_ + " does not exist.");
    std::vector<PropertyBag> rows;
    LONG rowId = 0;
    for (const auto& service : profile->services) {
        PropertyBag row;
        row.SetString(PR_DISPLAY_NAME, service.displayName);
        row.SetString(PR_SERVICE_NAME, service.serviceName);
        row.SetBinary(PR_SERVICE_UID, service.uid.ab, sizeof service.uid.ab);
        row.SetBinary(PR_INSTANCE_KEY, service.uid.ab, sizeof service.uid.ab);
        row.SetLong(PR_RESOURCE_FLAGS, service.defaultStore ? SERVICE_DEFAULT_STORE : 0);
        row.SetLong(PR_ROWID, rowId++);
        rows.push_back(std::move(row));
    }
    *lppTable = MemoryTable::Create(std::move(rows), {PR_DISPLAY_NAME, PR_SERVICE_NAME, PR_SERVICE_UID,
                                                      PR_RESOURCE_FLAGS, PR_INSTANCE_KEY, PR_ROWID})
                    .Detach();
    return S_OK;
}

HRESULT MsgServiceAdmin::Configure(ProfileEntry& profile, ServiceEntry& service, ULONG_PTR uiParam, bool askUser) {
    if (askUser) {
        MapiFrontEnd* frontEnd = GetMapiFrontEnd();
        if (!frontEnd) return lastError_.Fail(MAPI_E_USER_CANCEL, "No user interface is available.");
        ServiceSetup setup{profile.name, service.serviceName, service.displayName, service.pstPath};
        const HRESULT hr = frontEnd->ConfigurePersonalFolders(uiParam, setup);
        if (FAILED(hr)) return lastError_.Fail(hr, "The set-up of the personal folders was cancelled.");
        if (setup.pstPath.empty()) return lastError_.Fail(MAPI_E_USER_CANCEL, "No personal folders file was chosen.");
        if (!setup.displayName.empty()) service.displayName = setup.displayName;
        service.pstPath = setup.pstPath;
    }
    if (service.pstPath.empty())
        return lastError_.Fail(MAPI_E_UNCONFIGURED, "No personal folders file is configured for the service.");
    if (HasControlCharacters(service.pstPath) || HasControlCharacters(service.displayName))
        return lastError_.Fail(MAPI_E_INVALID_PARAMETER, "The path or display name holds control characters.");
    service.pstPath = NormalisedPath(service.pstPath);
    std::shared_ptr<MsgStoreProvider> provider = GetMsgStoreProvider();
    if (!provider)
        return lastError_.Fail(MAPI_E_NOT_INITIALIZED, "The message service does not have an entry point function.");
    std::string providerError;
    const HRESULT hr = provider->PrepareStore(LocationOf(service), providerError);
    if (FAILED(hr)) {
        char code[32];
        std::snprintf(code, sizeof code, " (0x%08X)", static_cast<unsigned>(hr));
        return lastError_.Fail(MAPI_E_EXTENDED_ERROR, (providerError.empty() ? std::string("The personal folders file "
                                                                                               "could not be opened.")
                                                                             : providerError) +
                                                          code);
    }
    bool anyDefault = false;
    for (const auto& s : profile.services) anyDefault = anyDefault || (s.defaultStore && s.Configured());
    if (!anyDefault) service.defaultStore = true;
    return S_OK;
}

HRESULT MsgServiceAdmin::CreateMsgService(LPTSTR lpszService, LPTSTR lpszDisplayName, ULONG_PTR ulUIParam,
                                          ULONG ulFlags) {
    if (!lpszService) return MAPI_E_INVALID_PARAMETER;
    const std::string serviceName = ArgumentString(lpszService, ulFlags);
    if (!IsPersonalFoldersService(serviceName))
        return lastError_.Fail(MAPI_E_NOT_INITIALIZED,
                               "The message service " + serviceName + " does not have an entry point function.");
    ProfileRegistry::Guard guard;
    ProfileFile file;
    std::string error;
    HRESULT hr = ProfileRegistry::Load(file, error);
    if (FAILED(hr)) return lastError_.Fail(hr, error);
    ProfileEntry* profile = file.Find(profileName_);
    if (!profile) return lastError_.Fail(MAPI_E_NOT_FOUND, "The profile " + profileName_ + " does not exist.");

    ServiceEntry service;
    service.uid = NewUid();
    service.serviceName = EqualsNoCase(serviceName, "MSPST MS") ? "MSPST MS" : "MSUPST MS";
    const std::string displayName = ArgumentString(lpszDisplayName, ulFlags);
    service.displayName = displayName.empty() ? std::string(kDefaultServiceDisplayName) : displayName;
    if (ulFlags & (SERVICE_UI_ALWAYS | SERVICE_UI_ALLOWED)) {
        hr = Configure(*profile, service, ulUIParam, true);
        if (FAILED(hr)) return hr;
        // The file is in the profile already: nothing is added.
        if (profile->FindServiceByPath(service.pstPath)) return S_OK;
    }
    profile->services.push_back(service);
    hr = ProfileRegistry::Save(file, error);
    return FAILED(hr) ? lastError_.Fail(hr, error) : S_OK;
}

HRESULT MsgServiceAdmin::DeleteMsgService(LPMAPIUID lpUID) {
    if (!lpUID) return MAPI_E_INVALID_PARAMETER;
    ProfileRegistry::Guard guard;
    ProfileFile file;
    std::string error;
    HRESULT hr = ProfileRegistry::Load(file, error);
    if (FAILED(hr)) return lastError_.Fail(hr, error);
    ProfileEntry* profile = file.Find(profileName_);
    if (!profile || !profile->FindService(*lpUID))
        return lastError_.Fail(MAPI_E_NOT_FOUND, "The message service does not exist.");
    std::erase_if(profile->services, [&](const ServiceEntry& s) { return s.uid == *lpUID; });
    hr = ProfileRegistry::Save(file, error);
    return FAILED(hr) ? lastError_.Fail(hr, error) : S_OK;
}

HRESULT MsgServiceAdmin::ConfigureMsgService(LPMAPIUID lpUID, ULONG_PTR ulUIParam, ULONG ulFlags, ULONG cValues,
                                             LPSPropValue lpProps) {
    if (!lpUID || (cValues && !lpProps)) return MAPI_E_INVALID_PARAMETER;
    ProfileRegistry::Guard guard;
    ProfileFile file;
    std::string error;
    HRESULT hr = ProfileRegistry::Load(file, error);
    if (FAILED(hr)) return lastError_.Fail(hr, error);
    ProfileEntry* profile = file.Find(profileName_);
    ServiceEntry* found = profile ? profile->FindService(*lpUID) : nullptr;
    if (!found)
        return lastError_.Fail(MAPI_E_NOT_FOUND,
                               "The MAPIUID pointed to by lpUID does not match that of an existing message service");
    ServiceEntry service = *found;
    for (ULONG i = 0; i < cValues; ++i) {
        if (PROP_ID(lpProps[i].ulPropTag) == PROP_ID(PR_DISPLAY_NAME)) service.displayName = ValueString(lpProps[i]);
        else if (PROP_ID(lpProps[i].ulPropTag) == PROP_ID(PR_PST_PATH)) service.pstPath = ValueString(lpProps[i]);
    }
    const bool askUser = (ulFlags & SERVICE_UI_ALWAYS) || ((ulFlags & SERVICE_UI_ALLOWED) && service.pstPath.empty());
    hr = Configure(*profile, service, ulUIParam, askUser);
    if (FAILED(hr)) return hr;
    *profile->FindService(*lpUID) = service;
    hr = ProfileRegistry::Save(file, error);
    return FAILED(hr) ? lastError_.Fail(hr, error) : S_OK;
}

// ---- Profile administration -----------------------------------------------

MapiPtr<IProfAdmin> ProfAdmin::Create() { return MapiPtr<IProfAdmin>(new ProfAdmin()); }

HRESULT ProfAdmin::GetLastError(HRESULT hResult, ULONG, LPMAPIERROR* lppMAPIError) {
    return lastError_.Get(hResult, "Profile administration", lppMAPIError);
}

HRESULT ProfAdmin::GetProfileTable(ULONG, LPMAPITABLE* lppTable) {
    if (!lppTable) return MAPI_E_INVALID_PARAMETER;
    *lppTable = nullptr;
    ProfileRegistry::Guard guard;
    ProfileFile file;
    std::string error;
    const HRESULT hr = ProfileRegistry::Load(file, error);
    if (FAILED(hr)) return lastError_.Fail(hr, error);
    std::vector<PropertyBag> rows;
    for (const auto& profile : file.profiles) {
        PropertyBag row;
        row.SetString(PR_DISPLAY_NAME, profile.name);
        row.SetBool(PR_DEFAULT_PROFILE, profile.isDefault);
        rows.push_back(std::move(row));
    }
    *lppTable = MemoryTable::Create(std::move(rows), {PR_DISPLAY_NAME, PR_DEFAULT_PROFILE}).Detach();
    return S_OK;
}

HRESULT ProfAdmin::CreateProfile(LPTSTR lpszProfileName, LPTSTR, ULONG_PTR ulUIParam, ULONG ulFlags) {
    const std::string name = ArgumentString(lpszProfileName, ulFlags);
    if (name.empty() || HasControlCharacters(name) || name.size() > 64)
        return lastError_.Fail(MAPI_E_INVALID_PARAMETER, "The profile name is not valid.");
    std::vector<ServiceSetup> services;
    if (ulFlags & MAPI_DIALOG) {
        MapiFrontEnd* frontEnd = GetMapiFrontEnd();
        if (!frontEnd) return lastError_.Fail(MAPI_E_USER_CANCEL, "No user interface is available.");
        const HRESULT hr = frontEnd->SetUpNewProfile(ulUIParam, name, services);
        if (FAILED(hr)) return lastError_.Fail(hr, "The set-up of the profile was cancelled.");
    }
    {
        ProfileRegistry::Guard guard;
        ProfileFile file;
        std::string error;
        HRESULT hr = ProfileRegistry::Load(file, error);
        if (FAILED(hr)) return lastError_.Fail(hr, error);
        if (file.Find(name)) return lastError_.Fail(MAPI_E_NO_ACCESS, "The profile " + name + " exists already.");
        ProfileEntry profile;
        profile.name = name;
        profile.isDefault = file.Default() == nullptr;
        file.profiles.push_back(profile);
        hr = ProfileRegistry::Save(file, error);
        if (FAILED(hr)) return lastError_.Fail(hr, error);
    }
    // Services chosen in the set-up are added as the service administration would.
    for (ServiceSetup& setup : services) {
        MapiPtr<IMsgServiceAdmin> admin = MsgServiceAdmin::Create(name);
        HRESULT hr = admin->CreateMsgService(setup.serviceName.data(), setup.displayName.data(), ulUIParam, 0);
        if (FAILED(hr)) return lastError_.Fail(hr, "The message service " + setup.serviceName + " was not added.");
        MapiPtr<IMAPITable> table;
        RowSetHolder rows;
        if (FAILED(hr = admin->GetMsgServiceTable(0, table.Put())) ||
            FAILED(hr = HrQueryAllRows(table.get(), nullptr, nullptr, nullptr, 0, rows.Put())) || rows->cRows == 0)
            return lastError_.Fail(FAILED(hr) ? hr : MAPI_E_NOT_FOUND, "The new message service was not found.");
        const SRow& last = rows->aRow[rows->cRows - 1];
        const LPSPropValue uid = PpropFindProp(last.lpProps, last.cValues, PR_SERVICE_UID);
        if (!uid) return lastError_.Fail(MAPI_E_NOT_FOUND, "The new message service was not found.");
        SPropValue values[2]{};
        values[0].ulPropTag = PR_DISPLAY_NAME;
        values[0].Value.lpszA = setup.displayName.data();
        values[1].ulPropTag = PR_PST_PATH;
        values[1].Value.lpszA = setup.pstPath.data();
        hr = admin->ConfigureMsgService(reinterpret_cast<LPMAPIUID>(uid->Value.bin.lpb), ulUIParam, 0, 2, values);
        if (FAILED(hr)) return lastError_.Fail(hr, "The message service " + setup.serviceName + " was not configured.");
    }
    return S_OK;
}

HRESULT ProfAdmin::DeleteProfile(LPTSTR lpszProfileName, ULONG ulFlags) {
    const std::string name = ArgumentString(lpszProfileName, ulFlags);
    if (name.empty()) return MAPI_E_INVALID_PARAMETER;
    ProfileRegistry::Guard guard;
    ProfileFile file;
    std::string error;
    HRESULT hr = ProfileRegistry::Load(file, error);
    if (FAILED(hr)) return lastError_.Fail(hr, error);
    if (!file.Remove(name)) return lastError_.Fail(MAPI_E_NOT_FOUND, "The profile " + name + " does not exist.");
    hr = ProfileRegistry::Save(file, error);
    return FAILED(hr) ? lastError_.Fail(hr, error) : S_OK;
}

HRESULT ProfAdmin::SetDefaultProfile(LPTSTR lpszProfileName, ULONG ulFlags) {
    const std::string name = ArgumentString(lpszProfileName, ulFlags);
    ProfileRegistry::Guard guard;
    ProfileFile file;
    std::string error;
    HRESULT hr = ProfileRegistry::Load(file, error);
    if (FAILED(hr)) return lastError_.Fail(hr, error);
    if (!name.empty() && !file.Find(name))
        return lastError_.Fail(MAPI_E_NOT_FOUND, "The profile " + name + " does not exist.");
    for (auto& profile : file.profiles) profile.isDefault = !name.empty() && EqualsNoCase(profile.name, name);
    hr = ProfileRegistry::Save(file, error);
    return FAILED(hr) ? lastError_.Fail(hr, error) : S_OK;
}

HRESULT ProfAdmin::AdminServices(LPTSTR lpszProfileName, LPTSTR, ULONG_PTR, ULONG ulFlags,
                                 LPSERVICEADMIN* lppServiceAdmin) {
    if (!lppServiceAdmin) return MAPI_E_INVALID_PARAMETER;
    *lppServiceAdmin = nullptr;
    const std::string name = ArgumentString(lpszProfileName, ulFlags);
    if (name.empty()) return MAPI_E_INVALID_PARAMETER;
    ProfileRegistry::Guard guard;
    ProfileFile file;
    std::string error;
    const HRESULT hr = ProfileRegistry::Load(file, error);
    if (FAILED(hr)) return lastError_.Fail(hr, error);
    const ProfileEntry* profile = file.Find(name);
    if (!profile) return lastError_.Fail(MAPI_E_NOT_FOUND, "The profile " + name + " does not exist.");
    *lppServiceAdmin = MsgServiceAdmin::Create(profile->name).Detach();
    return S_OK;
}

}  // namespace qb::mapi
