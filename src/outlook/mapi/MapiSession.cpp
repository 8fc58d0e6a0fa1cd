#include "outlook/mapi/MapiSession.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/MapiText.h"
#include "outlook/mapi/MemoryTable.h"
#include "outlook/mapi/OneOffEntryId.h"
#include "outlook/mapi/ProfileAdmin.h"

namespace qb::mapi {
namespace {

struct GlobalState {
    std::mutex lock;
    int initCount = 0;
};

GlobalState& Globals() {
    static GlobalState state;
    return state;
}

bool Initialized() {
    std::lock_guard<std::mutex> guard(Globals().lock);
    return Globals().initCount > 0;
}

bool EntryIdHasPrefix(const BYTE* data, ULONG size, const std::vector<BYTE>& key) {
    return size >= 20 && key.size() == 16 && std::memcmp(data + 4, key.data(), 16) == 0;
}

// One logged-on profile. The stores it opened stay open until Logoff, so that
// every OpenMsgStore of one file gives the same store object.
class Session final : public ComObject<IMAPISession> {
public:
    explicit Session(std::string profileName) : profileName_(std::move(profileName)) {}

    HRESULT GetLastError(HRESULT hResult, ULONG, LPMAPIERROR* lppMAPIError) override {
        return lastError_.Get(hResult, "MAPI session", lppMAPIError);
    }

    HRESULT GetMsgStoresTable(ULONG, LPMAPITABLE* lppTable) override {
        if (!lppTable) return MAPI_E_INVALID_PARAMETER;
        *lppTable = nullptr;
        if (loggedOff_) return MAPI_E_END_OF_SESSION;
        std::vector<ServiceEntry> services;
        HRESULT hr = ProfileServices(services);
        if (FAILED(hr)) return hr;
        std::vector<PropertyBag> rows;
        LONG rowId = 0;
        for (const auto& service : services) {
            if (!service.Configured()) continue;
            const std::vector<BYTE> entryId = BuildStoreEntryId(service.pstPath);
            PropertyBag row;
            row.SetBinary(PR_ENTRYID, entryId.data(), static_cast<ULONG>(entryId.size()));
            row.SetString(PR_DISPLAY_NAME, service.displayName);
            row.SetBool(PR_DEFAULT_STORE, service.defaultStore);
            row.SetLong(PR_RESOURCE_FLAGS, service.defaultStore ? STATUS_DEFAULT_STORE : 0);
            row.SetBinary(PR_SERVICE_UID, service.uid.ab, sizeof service.uid.ab);
            row.SetBinary(PR_MDB_PROVIDER, kStoreProviderUid.ab, sizeof kStoreProviderUid.ab);
            row.SetString(PR_PROVIDER_DISPLAY, "Personal Folders");
            row.SetBinary(PR_INSTANCE_KEY, service.uid.ab, sizeof service.uid.ab);
            row.SetLong(PR_OBJECT_TYPE, MAPI_STORE);
            row.SetLong(PR_ROWID, rowId++);
            rows.push_back(std::move(row));
        }
        *lppTable = MemoryTable::Create(std::move(rows), {PR_ENTRYID, PR_DISPLAY_NAME, PR_DEFAULT_STORE,
                                                          PR_RESOURCE_FLAGS, PR_SERVICE_UID, PR_MDB_PROVIDER,
                                                          PR_PROVIDER_DISPLAY, PR_INSTANCE_KEY, PR_ROWID})
                        .Detach();
        return S_OK;
    }

    HRESULT OpenMsgStore(ULONG_PTR, ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                         LPMDB* lppMDB) override {
        if (!lppMDB) return MAPI_E_INVALID_PARAMETER;
        *lppMDB = nullptr;
        if (loggedOff_) return MAPI_E_END_OF_SESSION;
        if (!lpEntryID || cbEntryID == 0) return MAPI_E_INVALID_PARAMETER;
        OpenStore* open = nullptr;
        HRESULT hr = OpenStoreById(reinterpret_cast<const BYTE*>(lpEntryID), cbEntryID, ulFlags, open);
        if (FAILED(hr)) return hr;
        MapiPtr<IMsgStore> store = open->store;
        if (lpInterface && !(*lpInterface == IID_IMsgStore)) return store->QueryInterface(*lpInterface, reinterpret_cast<LPVOID*>(lppMDB));
        *lppMDB = store.Detach();
        return S_OK;
    }

    HRESULT OpenAddressBook(ULONG_PTR, LPCIID lpInterface, ULONG, LPADRBOOK* lppAdrBook) override {
        if (!lppAdrBook) return MAPI_E_INVALID_PARAMETER;
        *lppAdrBook = nullptr;
        if (loggedOff_) return MAPI_E_END_OF_SESSION;
        MapiPtr<IAddrBook> book = AddressBook::Create();
        if (lpInterface && !(*lpInterface == IID_IAddrBook))
            return book->QueryInterface(*lpInterface, reinterpret_cast<LPVOID*>(lppAdrBook));
        *lppAdrBook = book.Detach();
        return S_OK;
    }

    HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags, ULONG* lpulObjType,
                      LPUNKNOWN* lppUnk) override {
        if (!lppUnk) return MAPI_E_INVALID_PARAMETER;
        *lppUnk = nullptr;
        if (lpulObjType) *lpulObjType = 0;
        if (loggedOff_) return MAPI_E_END_OF_SESSION;
        if (!lpEntryID || cbEntryID < 20) return MAPI_E_INVALID_ENTRYID;
        const BYTE* bytes = reinterpret_cast<const BYTE*>(lpEntryID);
        if (ParseStoreEntryId(bytes, cbEntryID)) {
            OpenStore* open = nullptr;
            const HRESULT hr = OpenStoreById(bytes, cbEntryID, MDB_WRITE, open);
            if (FAILED(hr)) return hr;
            if (lpulObjType) *lpulObjType = MAPI_STORE;
            *lppUnk = MapiPtr<IMsgStore>(open->store).Detach();
            return S_OK;
        }
        if (std::memcmp(bytes + 4, MAPI_ONE_OFF_UID.ab, 16) == 0)
            return lastError_.Fail(MAPI_E_NO_SUPPORT, "One-off recipients cannot be opened.");
        // The store whose record key the identifier carries.
        for (auto& open : stores_)
            if (EntryIdHasPrefix(bytes, cbEntryID, open.recordKey))
                return open.store->OpenEntry(cbEntryID, lpEntryID, lpInterface, ulFlags, lpulObjType, lppUnk);
        // Not one of the open stores: open the profile's stores in turn.
        std::vector<ServiceEntry> services;
        HRESULT hr = ProfileServices(services);
        if (FAILED(hr)) return hr;
        for (const auto& service : services) {
            if (!service.Configured()) continue;
            const std::vector<BYTE> storeId = BuildStoreEntryId(service.pstPath);
            OpenStore* open = nullptr;
            if (FAILED(OpenStoreById(storeId.data(), static_cast<ULONG>(storeId.size()), MDB_WRITE, open))) continue;
            // A store without a record key is asked directly.
            if (EntryIdHasPrefix(bytes, cbEntryID, open->recordKey) || open->recordKey.empty()) {
                hr = open->store->OpenEntry(cbEntryID, lpEntryID, lpInterface, ulFlags, lpulObjType, lppUnk);
                if (SUCCEEDED(hr) || !open->recordKey.empty()) return hr;
            }
        }
        return lastError_.Fail(MAPI_E_UNKNOWN_ENTRYID, "No store of the profile knows the entry identifier.");
    }

    HRESULT CompareEntryIDs(ULONG cb1, LPENTRYID id1, ULONG cb2, LPENTRYID id2, ULONG, ULONG* lpulResult) override {
        if (!id1 || !id2 || !lpulResult) return MAPI_E_INVALID_PARAMETER;
        *lpulResult = (cb1 == cb2 && std::memcmp(id1, id2, cb1) == 0) ? TRUE : FALSE;
        return S_OK;
    }

    HRESULT Logoff(ULONG_PTR, ULONG, ULONG) override {
        stores_.clear();
        loggedOff_ = true;
        return S_OK;
    }

    HRESULT SetDefaultStore(ULONG ulFlags, ULONG cbEntryID, LPENTRYID lpEntryID) override {
        if (loggedOff_) return MAPI_E_END_OF_SESSION;
        if (ulFlags != MAPI_DEFAULT_STORE) return MAPI_E_NO_SUPPORT;
        const auto path = lpEntryID ? ParseStoreEntryId(reinterpret_cast<const BYTE*>(lpEntryID), cbEntryID)
                                    : std::nullopt;
        if (!path) return MAPI_E_INVALID_ENTRYID;
        ProfileRegistry::Guard guard;
        ProfileFile file;
        std::string error;
        HRESULT hr = ProfileRegistry::Load(file, error);
        if (FAILED(hr)) return lastError_.Fail(hr, error);
        ProfileEntry* profile = file.Find(profileName_);
        if (!profile || !profile->FindServiceByPath(*path)) return MAPI_E_NOT_FOUND;
        for (auto& service : profile->services) service.defaultStore = service.pstPath == *path;
        hr = ProfileRegistry::Save(file, error);
        return FAILED(hr) ? lastError_.Fail(hr, error) : S_OK;
    }

    HRESULT AdminServices(ULONG, LPSERVICEADMIN* lppServiceAdmin) override {
        if (!lppServiceAdmin) return MAPI_E_INVALID_PARAMETER;
        *lppServiceAdmin = nullptr;
        if (loggedOff_) return MAPI_E_END_OF_SESSION;
        *lppServiceAdmin = MsgServiceAdmin::Create(profileName_).Detach();
        return S_OK;
    }

private:
    struct OpenStore {
        std::string path;
        MapiPtr<IMsgStore> store;
        std::vector<BYTE> recordKey;
    };

    HRESULT ProfileServices(std::vector<ServiceEntry>& services) {
        ProfileRegistry::Guard guard;
        ProfileFile file;
        std::string error;
        const HRESULT hr = ProfileRegistry::Load(file, error);
        if (FAILED(hr)) return lastError_.Fail(hr, error);
        if (const ProfileEntry* profile = file.Find(profileName_)) services = profile->services;
        return S_OK;
    }

    HRESULT OpenStoreById(const BYTE* bytes, ULONG size, ULONG flags, OpenStore*& out) {
        out = nullptr;
        const auto path = ParseStoreEntryId(bytes, size);
        if (!path) return lastError_.Fail(MAPI_E_UNKNOWN_ENTRYID, "The entry identifier names no store.");
        for (auto& open : stores_) {
            if (open.path == *path) {
                out = &open;
                return S_OK;
            }
        }
        std::vector<ServiceEntry> services;
        HRESULT hr = ProfileServices(services);
        if (FAILED(hr)) return hr;
        const ServiceEntry* service = nullptr;
        for (const auto& s : services)
            if (s.Configured() && s.pstPath == *path) service = &s;
        if (!service) return lastError_.Fail(MAPI_E_NOT_FOUND, "The store " + *path + " is not in the profile.");
        std::shared_ptr<MsgStoreProvider> provider = GetMsgStoreProvider();
        if (!provider)
            return lastError_.Fail(MAPI_E_NOT_INITIALIZED,
                                   "The message service does not have an entry point function.");
        MapiPtr<IMsgStore> store;
        std::string reason;
        hr = provider->OpenStore(LocationOf(*service), flags, store.Put(), reason);
        if (FAILED(hr))
            return lastError_.Fail(hr, reason.empty() ? "The store " + *path + " could not be opened." : reason);
        OpenStore entry{*path, store, {}};
        LPSPropValue key = nullptr;
        if (SUCCEEDED(HrGetOneProp(store.get(), PR_STORE_RECORD_KEY, &key)) && key->Value.bin.cb == 16)
            entry.recordKey.assign(key->Value.bin.lpb, key->Value.bin.lpb + 16);
        MAPIFreeBuffer(key);
        stores_.push_back(std::move(entry));
        out = &stores_.back();
        return S_OK;
    }

    std::string profileName_;
    std::deque<OpenStore> stores_;  // stable addresses
    bool loggedOff_ = false;
    LastError lastError_;
};

}  // namespace

}  // namespace qb::mapi

using namespace qb::mapi;

HRESULT MAPIInitialize(LPVOID lpMapiInit) {
    if (lpMapiInit && static_cast<LPMAPIINIT_0>(lpMapiInit)->ulVersion != MAPI_INIT_VERSION) return MAPI_E_VERSION;
    std::lock_guard<std::mutex> guard(Globals().lock);
    ++Globals().initCount;
    return S_OK;
}

void MAPIUninitialize() {
    std::lock_guard<std::mutex> guard(Globals().lock);
    if (Globals().initCount > 0) --Globals().initCount;
}

HRESULT MAPIAdminProfiles(ULONG, LPPROFADMIN* lppProfAdmin) {
    if (!lppProfAdmin) return MAPI_E_INVALID_PARAMETER;
    *lppProfAdmin = nullptr;
    if (!Initialized()) return MAPI_E_NOT_INITIALIZED;
    *lppProfAdmin = ProfAdmin::Create().Detach();
    return S_OK;
}

HRESULT MAPILogonEx(ULONG_PTR ulUIParam, LPTSTR lpszProfileName, LPTSTR, FLAGS flFlags, LPMAPISESSION* lppSession) {
    if (!lppSession) return MAPI_E_INVALID_PARAMETER;
    *lppSession = nullptr;
    if (!Initialized()) return MAPI_E_NOT_INITIALIZED;
    const std::string requested = ArgumentString(lpszProfileName, flFlags);
    std::string chosen;
    std::vector<std::string> names;
    {
        ProfileRegistry::Guard guard;
        ProfileFile file;
        std::string error;
        const HRESULT hr = ProfileRegistry::Load(file, error);
        if (FAILED(hr)) return hr;
        for (const auto& p : file.profiles) names.push_back(p.name);
        if (!requested.empty()) {
            if (const ProfileEntry* p = file.Find(requested)) chosen = p->name;
        } else if (!(flFlags & MAPI_EXPLICIT_PROFILE) || (flFlags & MAPI_USE_DEFAULT)) {
            if (const ProfileEntry* p = file.Default()) chosen = p->name;
        }
    }
    if (chosen.empty()) {
        MapiFrontEnd* frontEnd = GetMapiFrontEnd();
        if ((flFlags & MAPI_LOGON_UI) && frontEnd) {
            const HRESULT hr = frontEnd->ChooseProfile(ulUIParam, names, chosen);
            if (FAILED(hr)) return hr;
            if (chosen.empty()) return MAPI_E_USER_CANCEL;
            bool known = false;
            for (const auto& n : names) known = known || EqualsNoCase(n, chosen);
            if (!known) return MAPI_E_NOT_FOUND;
        } else {
            return requested.empty() ? MAPI_E_LOGON_FAILED : MAPI_E_NOT_FOUND;
        }
    }
    *lppSession = new Session(chosen);
    return S_OK;
}
