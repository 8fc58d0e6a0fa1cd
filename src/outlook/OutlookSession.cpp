#include "outlook/OutlookSession.h"

#include <fmt/format.h>

#include <exception>

#include "outlook/mapi/MapiAlloc.h"
#include "outlook/mapi/MapiSession.h"
#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/PropUtil.h"
#include "shell/log/ExportLog.h"

namespace qb {

using mapi::MapiBuffer;
using mapi::MapiPtr;
using mapi::RowSetHolder;

namespace {

constexpr ULONG kStoreOpenFlags = MDB_NO_MAIL | MDB_WRITE;  // 0x84

std::vector<std::uint8_t> BinaryValue(const SPropValue& value) {
    const auto* bytes = value.Value.bin.lpb;
    return bytes ? std::vector<std::uint8_t>(bytes, bytes + value.Value.bin.cb) : std::vector<std::uint8_t>();
}

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> components;
    std::size_t start = 0;
    for (std::size_t at; (at = path.find('\\', start)) != std::string::npos; start = at + 1)
        components.push_back(path.substr(start, at - start));
    components.push_back(path.substr(start));
    return components;
}

}  // namespace

std::string EntryIdToHex(const std::vector<std::uint8_t>& entryId) {
    std::string hex;
    hex.reserve(entryId.size() * 2);
    for (std::uint8_t byte : entryId) hex += fmt::format("{:02X}", byte);
    return hex;
}

CMapiSession::~CMapiSession() {
    if (flags & kInitialised) {
        Logoff();
        Uninitialize();
    }
}

HRESULT CMapiSession::Initialize() {
    if (flags & kInitialised) return S_OK;
    MAPIINIT_0 init{MAPI_INIT_VERSION, MAPI_MULTITHREAD_NOTIFICATIONS};
    const HRESULT hr = MAPIInitialize(&init);
    if (hr == S_OK) flags |= kInitialised;
    return hr;
}

void CMapiSession::Uninitialize() {
    if (!(flags & kInitialised)) return;
    try {
        session.Reset();
        ReleaseSpecialFolders();
        addressBook.Reset();
        flags &= ~(kInitialised | kLoggedOn);
        MAPIUninitialize();
    } catch (const std::exception&) {
        lastError = fmt::format("Uninitialize:{}", 300);
    }
}

HRESULT CMapiSession::Logon(const std::string& profile, const std::string& password, ULONG logonFlags,
                            ULONG_PTR uiHandle) {
    if (flags & kLoggedOn) Logoff();
    session.Reset();
    const ULONG f = (logonFlags ? logonFlags : (MAPI_NEW_SESSION | MAPI_ALLOW_OTHERS)) | MAPI_EXTENDED;
    std::string profileCopy = profile, passwordCopy = password;
    const HRESULT hr = MAPILogonEx(uiHandle, profile.empty() ? nullptr : profileCopy.data(),
                                   password.empty() ? nullptr : passwordCopy.data(), f, session.Put());
    if (!FAILED(hr)) flags |= kLoggedOn;
    return hr;
}

HRESULT CMapiSession::Logoff() {
    if (!session) return 1;
    try {
        ReleaseSpecialFolders();
        store.Reset();
        if (flags & kLoggedOn) {
            session->Logoff(0, 0, 0);
            flags &= ~kLoggedOn;
        }
        session.Reset();
    } catch (const std::exception&) {
        lastError = fmt::format("Logoff:{}", 0);
    }
    return 0;
}

void CMapiSession::ReleaseSpecialFolders() {
    for (auto& id : specialIds) id.clear();
    for (auto& folder : specialFolders) folder.Reset();
}

HRESULT CMapiSession::GetStores(std::vector<std::uint8_t>* defaultEntryId) {
    if (!session) return E_FAIL;
    MapiPtr<IMAPITable> table;
    HRESULT hr = session->GetMsgStoresTable(0, table.Put());
    if (FAILED(hr)) return hr;
    SizedSPropTagArray(3, columns) = {3, {PR_ENTRYID, PR_DEFAULT_STORE, PR_DISPLAY_NAME}};
    RowSetHolder rows;
    hr = HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, rows.Put());
    stores.clear();
    if (FAILED(hr) || !rows || rows->cRows == 0) return hr;
    if (rows->aRow[0].cValues == 0 || rows->aRow[0].lpProps[0].ulPropTag != PR_ENTRYID) return hr;
    for (ULONG i = 0; i < rows->cRows; ++i) {
        const SRow& row = rows->aRow[i];
        StoreInfo info;
        info.entryId = BinaryValue(row.lpProps[0]);
        if (info.entryId.size() > kMaxEntryIdBytes) info.entryId.resize(kMaxEntryIdBytes);
        info.isDefault = row.cValues > 1 && row.lpProps[1].ulPropTag == PR_DEFAULT_STORE && row.lpProps[1].Value.b;
        if (row.cValues > 2 && row.lpProps[2].ulPropTag == PR_DISPLAY_NAME && row.lpProps[2].Value.lpszA)
            info.displayName = row.lpProps[2].Value.lpszA;
        if (info.isDefault && defaultEntryId) *defaultEntryId = info.entryId;
        stores.push_back(std::move(info));
    }
    return hr;
}

HRESULT CMapiSession::OpenStoreWithReason(std::vector<std::uint8_t> id) {
    const HRESULT hr = session->OpenMsgStore(0, static_cast<ULONG>(id.size()),
                                             id.empty() ? nullptr : reinterpret_cast<LPENTRYID>(id.data()), nullptr,
                                             kStoreOpenFlags, store.Put());
    storeOpenError_.clear();
    if (FAILED(hr)) {
        // Why the store stays closed (in use by another program, read-only,
        // damaged) is what the user needs to act on.
        storeOpenError_ = mapi::LastErrorText(
            *session, hr, fmt::format("The message store could not be opened (0x{:08X}).", static_cast<unsigned>(hr)));
        lastError = storeOpenError_;
    }
    return hr;
}

HRESULT CMapiSession::OpenDefaultStore() {
    ReleaseSpecialFolders();
    store.Reset();
    std::vector<std::uint8_t> defaultId;
    GetStores(&defaultId);
    if (!session) return E_FAIL;
    return OpenStoreWithReason(std::move(defaultId));
}

HRESULT CMapiSession::OpenStore(const std::vector<std::uint8_t>& entryId) {
    ReleaseSpecialFolders();
    store.Reset();
    if (!session) return E_FAIL;
    OpenStoreWithReason(entryId);
    return S_OK;
}

HRESULT CMapiSession::OpenIpmSubtree() {
    if (!session) {
        lastError = "No mapi session";
        return E_FAIL;
    }
    if (!store) {
        lastError = "Open IPM Subtree - Msg Store not open";
        if (!storeOpenError_.empty()) lastError += ": " + storeOpenError_;
        return E_FAIL;
    }
    SizedSPropTagArray(5, tags) = {
        5, {PR_NULL, PR_IPM_OUTBOX_ENTRYID, PR_IPM_WASTEBASKET_ENTRYID, PR_IPM_SENTMAIL_ENTRYID, PR_IPM_SUBTREE_ENTRYID}};
    ULONG count = 0;
    MapiBuffer<SPropValue> values;
    HRESULT hr = store->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, values.Put());
    if (FAILED(hr)) return hr;

    ULONG inboxSize = 0;
    MapiBuffer<ENTRYID> inboxId;
    char messageClass[] = "IPM.Note";
    if (FAILED(store->GetReceiveFolder(messageClass, 0, &inboxSize, inboxId.Put(), nullptr))) return 1;
    specialIds[kInboxFolder].assign(reinterpret_cast<const std::uint8_t*>(inboxId.get()),
                                    reinterpret_cast<const std::uint8_t*>(inboxId.get()) + inboxSize);
    for (ULONG i = 1; i < count && i < kSpecialFolderCount; ++i)
        if (values.get()[i].ulPropTag == tags.aulPropTag[i]) specialIds[i] = BinaryValue(values.get()[i]);

    for (int i = 0; i < kSpecialFolderCount; ++i) {
        if (specialIds[i].empty()) continue;
        ULONG objectType = 0;
        MapiPtr<IUnknown> object;
        if (FAILED(session->OpenEntry(static_cast<ULONG>(specialIds[i].size()),
                                      reinterpret_cast<LPENTRYID>(specialIds[i].data()), nullptr, MAPI_MODIFY,
                                      &objectType, object.Put())))
            continue;
        if (objectType == MAPI_FOLDER) specialFolders[i] = MapiPtr<IMAPIFolder>(static_cast<IMAPIFolder*>(object.Detach()));
    }
    return 1;
}

HRESULT CMapiSession::GetAddressBook(IAddrBook** result) {
    if (!addressBook) {
        if (!session) return E_FAIL;
        const HRESULT hr = session->OpenAddressBook(0, nullptr, 0, addressBook.Put());
        if (FAILED(hr)) return hr;
    }
    *result = addressBook.get();
    return S_OK;
}

std::optional<FolderHandle> CMapiSession::GetSpecialFolder(int index) const {
    if (index < 0 || index >= kSpecialFolderCount || !specialFolders[index]) return std::nullopt;
    return FolderHandle{specialFolders[index], false, 0};
}

std::optional<FolderHandle> CMapiSession::OpenFolder(IMAPIFolder* parent, const std::string& name) {
    int step = 10;
    try {
        MapiPtr<IMAPITable> table;
        step = 30;
        if (!parent || FAILED(parent->GetHierarchyTable(0, table.Put()))) return std::nullopt;
        step = 40;
        SizedSPropTagArray(2, columns) = {2, {PR_ENTRYID, PR_RIGHTS}};
        std::string nameCopy = name;
        SPropValue nameValue{};
        nameValue.ulPropTag = PR_DISPLAY_NAME;
        nameValue.Value.lpszA = nameCopy.data();
        SRestriction restriction{};
        restriction.rt = RES_PROPERTY;
        restriction.res.resProperty = {RELOP_EQ, PR_DISPLAY_NAME, &nameValue};
        step = 100;
        RowSetHolder rows;
        if (FAILED(HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), &restriction, nullptr, 0,
                                  rows.Put())))
            return std::nullopt;
        step = 200;
        if (!rows || rows->cRows != 1 || rows->aRow[0].cValues > 2) return std::nullopt;
        step = 300;
        const SRow& row = rows->aRow[0];
        FolderHandle handle;
        std::vector<std::uint8_t> entryId;
        for (ULONG i = 0; i < row.cValues; ++i) {
            if (row.lpProps[i].ulPropTag == PR_ENTRYID) entryId = BinaryValue(row.lpProps[i]);
            if (row.lpProps[i].ulPropTag == PR_RIGHTS) {
                handle.rightsKnown = true;
                handle.rights = static_cast<ULONG>(row.lpProps[i].Value.l);
            }
        }
        step = 400;
        if (entryId.empty()) return std::nullopt;
        ULONG objectType = 0;
        MapiPtr<IUnknown> object;
        step = 600;
        if (FAILED(parent->OpenEntry(static_cast<ULONG>(entryId.size()), reinterpret_cast<LPENTRYID>(entryId.data()),
                                     nullptr, MAPI_MODIFY, &objectType, object.Put())) ||
            objectType != MAPI_FOLDER)
            return std::nullopt;
        step = 800;
        handle.folder = MapiPtr<IMAPIFolder>(static_cast<IMAPIFolder*>(object.Detach()));
        step = 900;
        return handle;
    } catch (const std::exception&) {
        if (log) log->Write(fmt::format("UNEXPECTED ERROR [OpenForlder] AT: {}", step));
        return std::nullopt;
    }
}

std::optional<FolderHandle> CMapiSession::OpenOrCreateFolder(IMAPIFolder* parent, const std::string& name) {
    if (!parent) return std::nullopt;
    std::string nameCopy = name;
    MapiPtr<IMAPIFolder> created;
    const HRESULT hr = parent->CreateFolder(FOLDER_GENERIC, nameCopy.data(), nullptr, nullptr, 0, created.Put());
    if (hr == MAPI_E_COLLISION) return OpenFolder(parent, name);
    if (FAILED(hr)) lastError = mapi::LastErrorText(*parent, hr, "The folder '" + name + "' could not be created.");
    if (hr == MAPI_E_DISK_ERROR || hr == MAPI_E_NOT_ENOUGH_DISK) storeWriteFailed = true;
    if (FAILED(hr) || !created) return std::nullopt;
    return FolderHandle{std::move(created), false, 0};
}

std::optional<FolderHandle> CMapiSession::OpenFolderPath(const std::string& path, const std::string& containerClass) {
    std::optional<FolderHandle> current;
    if (!subfolderName.empty()) {
        if (specialFolders[kTopOfStoreFolder])
            current = OpenOrCreateFolder(specialFolders[kTopOfStoreFolder].get(), subfolderName);
    } else {
        current = GetSpecialFolder(kTopOfStoreFolder);
    }
    if (!current) return std::nullopt;

    int walked = 0;
    for (const std::string& component : SplitPath(path)) {
        if (walked++ == kMaxPathComponents) break;
        current = OpenOrCreateFolder(current->folder.get(), component);
        if (!current) {
            if (runErrorText) *runErrorText = "Unable to Open or Create Folder: '" + path + "'";
            return std::nullopt;
        }
    }
    if (!containerClass.empty()) {
        std::string classCopy = containerClass;
        SPropValue value{};
        value.ulPropTag = PR_CONTAINER_CLASS;
        value.Value.lpszA = classCopy.data();
        current->folder->SetProps(1, &value, nullptr);
        // Other refusals leave the folder usable; a store that cannot write
        // refuses every later item too, so that is said here.
        const HRESULT hr = current->folder->SaveChanges(0);
        if (hr == MAPI_E_DISK_ERROR || hr == MAPI_E_NOT_ENOUGH_DISK) {
            lastError = mapi::LastErrorText(*current->folder, hr, "The folder '" + path + "' could not be saved.");
            storeWriteFailed = true;
            if (runErrorText) *runErrorText = "Unable to Open or Create Folder: '" + path + "'";
            return std::nullopt;
        }
    }
    return current;
}

}  // namespace qb
