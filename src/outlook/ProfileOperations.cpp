#include "outlook/ProfileOperations.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>

#include "outlook/PersonalFolders.h"
#include "outlook/mapi/MapiAlloc.h"
#include "outlook/mapi/MapiSession.h"
#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/PropUtil.h"

namespace qb {

using mapi::MapiBuffer;
using mapi::MapiPtr;
using mapi::RowSetHolder;

namespace {

constexpr const char* kNoProfAdmin = "Error getting IProfAdmin interface.";
constexpr const char* kNoServiceAdmin = "Error getting IMsgServiceAdmin interface.";

bool Box(MessageSink& messages, const std::string& text, const char* title = "Error",
         MessageIcon icon = MessageIcon::Error) {
    messages.ShowMessage(text, title, icon);
    return false;
}

std::string StringColumn(const SRow& row, ULONG tag) {
    const LPSPropValue value = PpropFindProp(row.lpProps, row.cValues, tag);
    return value && PROP_TYPE(value->ulPropTag) == PT_STRING8 && value->Value.lpszA ? value->Value.lpszA : "";
}

// The IProfAdmin, or a box with kNoProfAdmin.
MapiPtr<IProfAdmin> ProfileAdmin(MessageSink& messages) {
    MapiPtr<IProfAdmin> admin;
    if (FAILED(MAPIAdminProfiles(0, admin.Put()))) {
        Box(messages, kNoProfAdmin);
        admin.Reset();
    }
    return admin;
}

MapiPtr<IMsgServiceAdmin> ServiceAdmin(IProfAdmin& admin, const std::string& profile, MessageSink& messages) {
    MapiPtr<IMsgServiceAdmin> services;
    std::string name = profile;
    if (FAILED(admin.AdminServices(name.data(), nullptr, 0, 0, services.Put()))) {
        Box(messages, kNoServiceAdmin);
        services.Reset();
    }
    return services;
}

// Reports a failed ConfigureMsgService; false when the operation must stop.
bool ReportConfigureFailure(HRESULT hr, IMsgServiceAdmin& services, MessageSink& messages) {
    switch (static_cast<std::uint32_t>(hr)) {
        case 0x8004010F:
            Box(messages, "The MAPIUID pointed to by lpUID does not match that of an existing message service");
            return true;
        case 0x80040605:
            Box(messages, "The message service does not have an entry point function");
            return true;
        case 0x80040113:
            Box(messages, "The user canceled the operation, typically by clicking the Cancel button in the property "
                          "sheet");
            return true;
        case 0x80040119: {
            MapiBuffer<MAPIERROR> error;
            if (FAILED(services.GetLastError(hr, 0, error.Put())) || !error)
                return Box(messages, "Error configuring message service.");
            Box(messages, "Additional Error Information ");
            Box(messages, error->lpszError ? error->lpszError : "");
            return true;
        }
        default:
            Box(messages, fmt::format("Error configuring message service. (0x{:08X})", static_cast<unsigned>(hr)));
            return true;
    }
}

std::vector<std::string> StoreIds(const CMapiSession& session) {
    std::vector<std::string> ids;
    for (const StoreInfo& store : session.stores) ids.push_back(EntryIdToHex(store.entryId));
    return ids;
}

}  // namespace

const std::vector<ServiceChoice>& KnownMessageServices() {
    static const std::vector<ServiceChoice> services = {
        {"Microsoft Exchange Server", "MSEMS"},
        {"Personal Address Book", "MSPST AB"},
        {"Personal Folders (Outlook 97-2002 PST File) max size approx 2GB", "MSPST MS"},
        {"Personal Folders (Outlook 2003+ PST File) max size theoretical 33TB", "MSUPST MS"},
        {"Outlook Address Book", "CONTAB"},
        {"Internet E-mail", "IMAIL"},
        {"Microsoft Mail", "MSFS"},
        {"Microsoft LDAP Directory", "EMABLT"},
        {"MS Outlook support for Lotus cc:Mail", "CCMSVC"},
    };
    return services;
}

std::string ServiceNameForText(const std::string& displayText) {
    for (const ServiceChoice& choice : KnownMessageServices())
        if (displayText == choice.displayText) return choice.serviceName;
    return {};
}

std::vector<std::string> FolderTypeEntries() {
    std::vector<std::string> entries;
    for (const ServiceChoice& choice : KnownMessageServices())
        if (std::strncmp(choice.displayText, "Personal Folders", 16) == 0) entries.emplace_back(choice.displayText);
    return entries;
}

std::optional<std::size_t> PreselectedFolderType(const std::string& defaultService) {
    const std::vector<std::string> entries = FolderTypeEntries();
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].rfind(defaultService, 0) == 0) return i;
    return std::nullopt;
}

bool FillProfileList(ProfileList& list, const std::string& select, std::string& currentProfile) {
    MapiPtr<IProfAdmin> admin;
    MapiPtr<IMAPITable> table;
    RowSetHolder rows;
    SizedSPropTagArray(2, columns) = {2, {PR_DISPLAY_NAME, PR_DEFAULT_PROFILE}};
    if (FAILED(MAPIAdminProfiles(0, admin.Put())) || FAILED(admin->GetProfileTable(0, table.Put())) ||
        FAILED(HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0,
                              rows.Put())))
        return false;
    list = ProfileList();
    std::optional<std::size_t> defaultEntry;
    for (ULONG i = 0; i < rows->cRows; ++i) {
        const SRow& row = rows->aRow[i];
        const std::string name = StringColumn(row, PR_DISPLAY_NAME);
        const LPSPropValue isDefault = PpropFindProp(row.lpProps, row.cValues, PR_DEFAULT_PROFILE);
        list.names.push_back(name);
        ProfileList::Entry entry{name, list.names.size() - 1};
        if (isDefault && isDefault->Value.b) {
            currentProfile = name;
            entry.text += " (default)";
            defaultEntry = list.entries.size();
        }
        list.entries.push_back(std::move(entry));
    }
    if (select.empty()) {
        list.selected = defaultEntry;
    } else {
        for (std::size_t i = 0; i < list.entries.size() && !list.selected; ++i)
            if (list.entries[i].text.rfind(select, 0) == 0) list.selected = i;
    }
    return true;
}

bool AddProfile(const std::string& name, MessageSink& messages) {
    MapiPtr<IProfAdmin> admin = ProfileAdmin(messages);
    if (!admin) return false;
    std::string profile = name;
    return SUCCEEDED(admin->CreateProfile(profile.data(), nullptr, 0, 0));
}

bool RemoveProfile(const std::string& name, MessageSink& messages) {
    MapiPtr<IProfAdmin> admin = ProfileAdmin(messages);
    if (!admin) return false;
    std::string profile = name;
    return SUCCEEDED(admin->DeleteProfile(profile.data(), 0));
}

bool RemoveService(const std::string& profile, const MAPIUID& serviceUid, MessageSink& messages) {
    MapiPtr<IProfAdmin> admin = ProfileAdmin(messages);
    if (!admin) return false;
    MapiPtr<IMsgServiceAdmin> services = ServiceAdmin(*admin, profile, messages);
    if (!services) return false;
    MAPIUID uid = serviceUid;
    if (FAILED(services->DeleteMsgService(&uid))) return Box(messages, "Error deleting temporary message service.");
    return true;
}

bool CreatePstService(const std::string& serviceName, const std::string& profile, const std::string& displayName,
                      const std::string& path, CMapiSession& session, PstServiceResult& result,
                      MessageSink& messages) {
    result = PstServiceResult();
    MapiPtr<IProfAdmin> admin = ProfileAdmin(messages);
    if (!admin) return false;
    MapiPtr<IMsgServiceAdmin> services = ServiceAdmin(*admin, profile, messages);
    if (!services) return false;
    std::string service = serviceName;
    if (FAILED(services->CreateMsgService(service.data(), nullptr, 0, 0)))
        return Box(messages, "Error creating Message Store message service.");
    MapiPtr<IMAPITable> table;
    if (FAILED(services->GetMsgServiceTable(0, table.Put()))) return Box(messages, "Error getting Message Service Table.");

    SizedSPropTagArray(3, columns) = {3, {PR_DISPLAY_NAME, PR_SERVICE_NAME, PR_SERVICE_UID}};
    SPropValue wanted{};
    wanted.ulPropTag = PR_SERVICE_NAME;
    wanted.Value.lpszA = service.data();
    SRestriction byName{};
    byName.rt = RES_CONTENT;
    byName.res.resContent = {FL_FULLSTRING, PR_SERVICE_NAME, &wanted};
    RowSetHolder rows;
    if (FAILED(HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), &byName, nullptr, 0,
                              rows.Put())) ||
        rows->cRows == 0)
        return Box(messages, "Error querying table for new message service.");
    // The service just created is the unconfigured one: the last row of its name.
    const SRow& row = rows->aRow[rows->cRows - 1];
    const LPSPropValue uid = PpropFindProp(row.lpProps, row.cValues, PR_SERVICE_UID);
    if (!uid || uid->Value.bin.cb != sizeof(MAPIUID)) return Box(messages, "Error querying table for new message service.");
    MAPIUID serviceUid{};
    std::memcpy(serviceUid.ab, uid->Value.bin.lpb, sizeof serviceUid.ab);

    result.serviceUid = serviceUid;
    if (const HRESULT hr = ConfigurePstService(*services, serviceUid, displayName, path); FAILED(hr)) {
        if (!ReportConfigureFailure(hr, *services, messages)) return false;
    }

    MapiPtr<IMAPITable> storesTable;
    if (session.session && SUCCEEDED(session.session->GetMsgStoresTable(0, storesTable.Put()))) {
        SizedSPropTagArray(2, storeColumns) = {2, {PR_ENTRYID, PR_DEFAULT_STORE}};
        SPropValue name{};
        name.ulPropTag = PR_DISPLAY_NAME;
        std::string display = displayName;
        name.Value.lpszA = display.data();
        SRestriction byDisplayName{};
        byDisplayName.rt = RES_PROPERTY;
        byDisplayName.res.resProperty = {RELOP_EQ, PR_DISPLAY_NAME, &name};
        RowSetHolder stores;
        if (SUCCEEDED(HrQueryAllRows(storesTable.get(), reinterpret_cast<LPSPropTagArray>(&storeColumns),
                                     &byDisplayName, nullptr, 0, stores.Put())) &&
            stores->cRows > 0 && stores->aRow[0].cValues > 0 && stores->aRow[0].lpProps[0].ulPropTag == PR_ENTRYID) {
            const SBinary& id = stores->aRow[0].lpProps[0].Value.bin;
            result.storeEntryId.assign(id.lpb, id.lpb + id.cb);
        }
    }
    return true;
}

std::optional<std::size_t> FindAddedStore(const std::vector<std::string>& before,
                                          const std::vector<std::string>& after) {
    for (std::size_t i = 0; i < after.size(); ++i)
        if (std::find(before.begin(), before.end(), after[i]) == before.end()) return i;
    for (const std::string& id : before) {
        const auto was = std::count(before.begin(), before.end(), id);
        const auto now = std::count(after.begin(), after.end(), id);
        if (now <= was) continue;
        for (std::size_t i = after.size(); i-- > 0;)
            if (after[i] == id) return i;
    }
    return std::nullopt;
}

void NewProfile(ProfileState& state, ProfileDialogs& dialogs, ProfileWindow& window, MessageSink& messages) {
    MapiPtr<IProfAdmin> admin;
    if (FAILED(MAPIAdminProfiles(0, admin.Put()))) {
        Box(messages, "Unable to access profile admin");
        return;
    }
    const std::optional<std::string> name = dialogs.AskNewProfileName();
    if (!name) return;
    std::string profile = *name;
    if (FAILED(admin->CreateProfile(profile.data(), nullptr, 0, MAPI_DIALOG))) {
        Box(messages, "Was unable to create profile. Check that the profile name specified does not already exist.");
        return;
    }
    state.session.Logoff();
    state.session.Uninitialize();
    if (SUCCEEDED(state.session.Initialize())) {
        FillProfileList(state.list, profile, state.currentProfile);
        state.currentProfile = profile;
        window.ProfileChanged();
    }
    Box(messages, "Profile Created.", "Confirmation", MessageIcon::Information);
}

void NewOrAttachService(ProfileState& state, ProfileDialogs& dialogs, ProfileWindow& window, MessageSink& messages) {
    const std::vector<std::string> entries = FolderTypeEntries();
    const std::optional<std::string> chosen =
        dialogs.ChooseFolderType(entries, PreselectedFolderType(state.defaultService));
    if (!chosen) return;
    std::string service = ServiceNameForText(*chosen);
    MapiPtr<IMsgServiceAdmin> services;
    if (!state.session.session || FAILED(state.session.session->AdminServices(0, services.Put()))) {
        Box(messages, "Was unable to create a new message service.");
        return;
    }
    const std::vector<std::string> before = StoreIds(state.session);
    if (FAILED(services->CreateMsgService(service.data(), nullptr, 0, SERVICE_UI_ALWAYS))) {
        if (!service.empty())
            Box(messages, "Invalid or unavailable service selected. Was unable to create a new message service.");
        return;
    }
    if (FAILED(state.session.OpenDefaultStore())) return;
    if (service == "MSEMS") {
        state.session.Logoff();
        state.session.Uninitialize();
        state.session.Initialize();
        FillProfileList(state.list, state.currentProfile, state.currentProfile);
        window.ProfileChanged();
    }
    const std::optional<std::size_t> added = FindAddedStore(before, StoreIds(state.session));
    window.ShowStores(added);
    if (!added)
        Box(messages,
            "You selected a folders file that is already attached to this profile.\nQuillbox is unable to determine "
            "which was added or attached.\n\nPlease manually select the required folders file before continuing.",
            "Information", MessageIcon::Information);
}

}  // namespace qb
