#include "outlook/PersonalFolders.h"

#include <algorithm>
#include <filesystem>

#include "outlook/OutlookSession.h"
#include "outlook/mapi/MapiAlloc.h"
#include "outlook/mapi/MapiSession.h"
#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/PropUtil.h"
#include "outlook/mapi/StoreProvider.h"

namespace qb {

using mapi::MapiBuffer;
using mapi::MapiPtr;
using mapi::RowSetHolder;

bool ProfileExists(const std::string& profile) {
    MapiPtr<IProfAdmin> admin;
    MapiPtr<IMAPITable> table;
    RowSetHolder rows;
    if (FAILED(MAPIAdminProfiles(0, admin.Put())) || FAILED(admin->GetProfileTable(0, table.Put())) ||
        FAILED(HrQueryAllRows(table.get(), nullptr, nullptr, nullptr, 0, rows.Put())))
        return false;
    for (ULONG i = 0; i < rows->cRows; ++i) {
        const LPSPropValue name = PpropFindProp(rows->aRow[i].lpProps, rows->aRow[i].cValues, PR_DISPLAY_NAME);
        if (name && name->Value.lpszA && profile == name->Value.lpszA) return true;
    }
    return false;
}

HRESULT RemoveProfile(const std::string& profile) {
    MapiPtr<IProfAdmin> admin;
    if (HRESULT hr = MAPIAdminProfiles(0, admin.Put()); FAILED(hr)) return hr;
    std::string name = profile;
    return admin->DeleteProfile(name.data(), 0);
}

HRESULT ConfigurePstService(IMsgServiceAdmin& services, MAPIUID serviceUid, const std::string& displayName,
                            const std::string& path) {
    std::string display = displayName, file = path;
    SPropValue values[2]{};
    values[0].ulPropTag = PR_DISPLAY_NAME;
    values[0].Value.lpszA = display.data();
    values[1].ulPropTag = PR_PST_PATH;
    values[1].Value.lpszA = file.data();
    return services.ConfigureMsgService(&serviceUid, 0, 0, 2, values);
}

HRESULT AddPersonalFoldersService(const std::string& profile, const std::string& path, bool ansi,
                                  const std::string& displayName, std::string& errorText) {
    MapiPtr<IProfAdmin> admin;
    HRESULT hr = MAPIAdminProfiles(0, admin.Put());
    if (FAILED(hr)) {
        errorText = "cannot administer profiles";
        return hr;
    }
    std::string name = profile;
    if (!ProfileExists(profile) && FAILED(hr = admin->CreateProfile(name.data(), nullptr, 0, 0))) {
        errorText = "cannot create profile " + profile;
        return hr;
    }
    MapiPtr<IMsgServiceAdmin> services;
    if (FAILED(hr = admin->AdminServices(name.data(), nullptr, 0, 0, services.Put()))) {
        errorText = "no profile " + profile;
        return hr;
    }
    std::string serviceName = ansi ? "MSPST MS" : "MSUPST MS";
    if (FAILED(hr = services->CreateMsgService(serviceName.data(), nullptr, 0, 0))) {
        errorText = "cannot create the message service";
        return hr;
    }
    MapiPtr<IMAPITable> table;
    RowSetHolder rows;
    if (FAILED(hr = services->GetMsgServiceTable(0, table.Put())) ||
        FAILED(hr = HrQueryAllRows(table.get(), nullptr, nullptr, nullptr, 0, rows.Put())) || rows->cRows == 0) {
        errorText = "cannot read the message services";
        return FAILED(hr) ? hr : MAPI_E_NOT_FOUND;
    }
    // The service just created is the last row.
    const SRow& created = rows->aRow[rows->cRows - 1];
    const LPSPropValue uid = PpropFindProp(created.lpProps, created.cValues, PR_SERVICE_UID);
    if (!uid) {
        errorText = "the new message service has no identifier";
        return MAPI_E_NOT_FOUND;
    }
    MAPIUID serviceUid{};
    std::copy(uid->Value.bin.lpb, uid->Value.bin.lpb + std::min<ULONG>(uid->Value.bin.cb, sizeof serviceUid.ab),
              serviceUid.ab);
    hr = ConfigurePstService(*services, serviceUid, displayName, path);
    if (FAILED(hr)) {
        errorText = mapi::LastErrorText(*services, hr, "cannot configure the personal folders file " + path);
        services->DeleteMsgService(reinterpret_cast<LPMAPIUID>(uid->Value.bin.lpb));
    }
    return hr;
}

std::optional<std::string> StoreEntryIdForFile(const std::string& profile, const std::string& path) {
    CMapiSession session;
    if (FAILED(session.Initialize()) || FAILED(session.Logon(profile, "", 0x13, 0)) ||
        FAILED(session.GetStores(nullptr)))
        return std::nullopt;
    std::error_code ec;
    const auto wanted = std::filesystem::weakly_canonical(path, ec);
    for (const StoreInfo& store : session.stores) {
        const auto file = mapi::ParseStoreEntryId(store.entryId.data(), store.entryId.size());
        if (file && std::filesystem::weakly_canonical(*file, ec) == wanted) return EntryIdToHex(store.entryId);
    }
    return std::nullopt;
}

}  // namespace qb
