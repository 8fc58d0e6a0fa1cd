// Profiles, message services and sessions over the profiles file, with a fake
// store provider in place of the personal folders engine.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "outlook/mapi/MapiFrontEnd.h"
#include "outlook/mapi/MapiSession.h"
#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/MemoryTable.h"
#include "outlook/mapi/ProfileFile.h"
#include "outlook/mapi/StoreProvider.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

using namespace qb::mapi;

namespace {

constexpr char kFakeHeader[] = "FAKEPST";

class FakeStore final : public ComObject<IMsgStore> {
public:
    explicit FakeStore(const StoreLocation& location) {
        props.SetString(PR_DISPLAY_NAME, location.displayName);
        props.SetBinary(PR_ENTRYID, location.entryId.data(), static_cast<ULONG>(location.entryId.size()));
        BYTE key[16] = {};
        for (std::size_t i = 0; i < location.path.size(); ++i) key[i % 16] ^= static_cast<BYTE>(location.path[i]);
        props.SetBinary(PR_STORE_RECORD_KEY, key, 16);
    }
    PropertyBag props;
    int openEntryCalls = 0;

    HRESULT GetLastError(HRESULT, ULONG, LPMAPIERROR* e) override { return MakeMapiError("", "", 0, e); }
    HRESULT SaveChanges(ULONG) override { return S_OK; }
    HRESULT GetProps(LPSPropTagArray tags, ULONG, ULONG* n, LPSPropValue* v) override {
        return props.GetProps(tags, n, v);
    }
    HRESULT OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN*) override { return MAPI_E_NO_SUPPORT; }
    HRESULT SetProps(ULONG n, LPSPropValue v, LPSPropProblemArray* p) override { return props.SetProps(n, v, p); }
    HRESULT GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG, LPSPropTagArray*) override { return MAPI_E_NO_SUPPORT; }
    HRESULT OpenEntry(ULONG, LPENTRYID, LPCIID, ULONG, ULONG* type, LPUNKNOWN* out) override {
        ++openEntryCalls;
        if (type) *type = MAPI_FOLDER;
        AddRef();  // stands in for a folder object
        *out = this;
        return S_OK;
    }
    HRESULT CompareEntryIDs(ULONG, LPENTRYID, ULONG, LPENTRYID, ULONG, ULONG*) override { return MAPI_E_NO_SUPPORT; }
    HRESULT GetReceiveFolder(LPTSTR, ULONG, ULONG*, LPENTRYID*, LPTSTR*) override { return MAPI_E_NO_SUPPORT; }
    HRESULT StoreLogoff(ULONG*) override { return S_OK; }
};

// Creates a file with a marker and the format; refuses files of other content.
class FakeProvider final : public MsgStoreProvider {
public:
    int opened = 0;
    HRESULT PrepareStore(const StoreLocation& location, std::string& errorText) override {
        const std::string format = location.format == StoreFormat::Unicode ? "unicode" : "ansi";
        if (!std::filesystem::exists(location.path)) {
            std::ofstream(location.path) << kFakeHeader << " " << format;
            return S_OK;
        }
        std::ifstream in(location.path);
        std::string header, kind;
        in >> header >> kind;
        if (header != kFakeHeader || kind != format) {
            errorText = "The file " + location.path + " is not a personal folders file of this kind.";
            return MAPI_E_CORRUPT_STORE;
        }
        return S_OK;
    }
    HRESULT OpenStore(const StoreLocation& location, ULONG, IMsgStore** store, std::string&) override {
        ++opened;
        *store = new FakeStore(location);
        return S_OK;
    }
};

class ScriptedFrontEnd final : public MapiFrontEnd {
public:
    std::optional<std::string> pathToChoose;  // nullopt: cancel
    std::string profileToChoose;
    int calls = 0;
    HRESULT ConfigurePersonalFolders(ULONG_PTR, ServiceSetup& setup) override {
        ++calls;
        if (!pathToChoose) return MAPI_E_USER_CANCEL;
        setup.pstPath = *pathToChoose;
        setup.displayName = "Chosen";
        return S_OK;
    }
    std::vector<ServiceSetup> servicesToAdd;
    HRESULT SetUpNewProfile(ULONG_PTR, const std::string&, std::vector<ServiceSetup>& services) override {
        ++calls;
        services = servicesToAdd;
        return S_OK;
    }
    HRESULT ChooseProfile(ULONG_PTR, const std::vector<std::string>&, std::string& chosen) override {
        ++calls;
        if (profileToChoose.empty()) return MAPI_E_USER_CANCEL;
        chosen = profileToChoose;
        return S_OK;
    }
};

char* Text(const char* s) { return const_cast<char*>(s); }

class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        configHome_.emplace("XDG_CONFIG_HOME", dir_.path());
        ASSERT_EQ(MAPIInitialize(nullptr), S_OK);
        provider_ = std::make_shared<FakeProvider>();
        SetMsgStoreProvider(provider_);
        ASSERT_EQ(MAPIAdminProfiles(0, admin_.Put()), S_OK);
    }
    void TearDown() override {
        SetMapiFrontEnd(nullptr);
        SetMsgStoreProvider(nullptr);
        admin_.Reset();
        MAPIUninitialize();
        configHome_.reset();
    }

    // The batch export's CreatePstService, step by step.
    std::vector<BYTE> CreatePstService(const char* profile, const char* service, const char* display,
                                       const std::string& path, MAPIUID* uidOut = nullptr) {
        MapiPtr<IMsgServiceAdmin> services;
        EXPECT_EQ(admin_->AdminServices(Text(profile), nullptr, 0, 0, services.Put()), S_OK);
        EXPECT_EQ(services->CreateMsgService(Text(service), nullptr, 0, 0), S_OK);
        MapiPtr<IMAPITable> table;
        EXPECT_EQ(services->GetMsgServiceTable(0, table.Put()), S_OK);
        SizedSPropTagArray(3, columns) = {3, {PR_DISPLAY_NAME, PR_SERVICE_NAME, PR_SERVICE_UID}};
        SPropValue name{};
        name.ulPropTag = PR_SERVICE_NAME;
        name.Value.lpszA = Text(service);
        SRestriction r{};
        r.rt = RES_CONTENT;
        r.res.resContent = {FL_FULLSTRING, PR_SERVICE_NAME, &name};
        RowSetHolder rows;
        EXPECT_EQ(HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), &r, nullptr, 0, rows.Put()),
                  S_OK);
        EXPECT_GE(rows->cRows, 1u);
        const SPropValue& uid = rows->aRow[rows->cRows - 1].lpProps[2];
        EXPECT_EQ(uid.ulPropTag, PR_SERVICE_UID);
        SPropValue values[2]{};
        values[0].ulPropTag = PR_DISPLAY_NAME;
        values[0].Value.lpszA = Text(display);
        values[1].ulPropTag = PR_PST_PATH;
        values[1].Value.lpszA = const_cast<char*>(path.c_str());
        EXPECT_EQ(services->ConfigureMsgService(reinterpret_cast<LPMAPIUID>(uid.Value.bin.lpb), 0, 0, 2, values), S_OK);
        if (uidOut) std::memcpy(uidOut->ab, uid.Value.bin.lpb, 16);
        return StoreEntryIdOf(profile, display);
    }

    std::vector<BYTE> StoreEntryIdOf(const char* profile, const char* display) {
        MapiPtr<IMAPISession> session;
        EXPECT_EQ(MAPILogonEx(0, Text(profile), nullptr, MAPI_NEW_SESSION | MAPI_EXPLICIT_PROFILE | MAPI_EXTENDED,
                              session.Put()),
                  S_OK);
        MapiPtr<IMAPITable> stores;
        EXPECT_EQ(session->GetMsgStoresTable(0, stores.Put()), S_OK);
        SizedSPropTagArray(2, columns) = {2, {PR_ENTRYID, PR_DEFAULT_STORE}};
        SPropValue name{};
        name.ulPropTag = PR_DISPLAY_NAME;
        name.Value.lpszA = Text(display);
        SRestriction r{};
        r.rt = RES_PROPERTY;
        r.res.resProperty = {RELOP_EQ, PR_DISPLAY_NAME, &name};
        RowSetHolder rows;
        EXPECT_EQ(HrQueryAllRows(stores.get(), reinterpret_cast<LPSPropTagArray>(&columns), &r, nullptr, 0, rows.Put()),
                  S_OK);
        if (!rows || rows->cRows == 0) return {};
        const SBinary& id = rows->aRow[0].lpProps[0].Value.bin;
        return std::vector<BYTE>(id.lpb, id.lpb + id.cb);
    }

    std::vector<std::pair<std::string, bool>> Profiles() {
        MapiPtr<IMAPITable> table;
        EXPECT_EQ(admin_->GetProfileTable(0, table.Put()), S_OK);
        SizedSPropTagArray(2, columns) = {2, {PR_DISPLAY_NAME, PR_DEFAULT_PROFILE}};
        RowSetHolder rows;
        EXPECT_EQ(HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0,
                                 rows.Put()),
                  S_OK);
        std::vector<std::pair<std::string, bool>> result;
        for (ULONG i = 0; i < rows->cRows; ++i)
            result.emplace_back(rows->aRow[i].lpProps[0].Value.lpszA, rows->aRow[i].lpProps[1].Value.b != 0);
        return result;
    }

    qb::test::TempDir dir_;
    std::optional<qb::test::ScopedEnv> configHome_;
    std::shared_ptr<FakeProvider> provider_;
    MapiPtr<IProfAdmin> admin_;
};

}  // namespace

TEST_F(ProfileTest, CreateListDeleteProfilesInTheProfilesFile) {
    EXPECT_TRUE(Profiles().empty());
    ASSERT_EQ(admin_->CreateProfile(Text("Outlook"), nullptr, 0, 0), S_OK);
    ASSERT_EQ(admin_->CreateProfile(Text("Batch"), nullptr, 0, 0), S_OK);
    EXPECT_EQ(admin_->CreateProfile(Text("outlook"), nullptr, 0, 0), MAPI_E_NO_ACCESS);
    using Row = std::pair<std::string, bool>;
    EXPECT_EQ(Profiles(), (std::vector<Row>{{"Outlook", true}, {"Batch", false}}));
    EXPECT_TRUE(std::filesystem::exists(dir_.path() + "/quillbox/profiles.ini"));

    ASSERT_EQ(admin_->SetDefaultProfile(Text("Batch"), 0), S_OK);
    EXPECT_EQ(Profiles(), (std::vector<Row>{{"Outlook", false}, {"Batch", true}}));
    ASSERT_EQ(admin_->DeleteProfile(Text("BATCH"), 0), S_OK);
    EXPECT_EQ(admin_->DeleteProfile(Text("Batch"), 0), MAPI_E_NOT_FOUND);
    EXPECT_EQ(Profiles(), (std::vector<Row>{{"Outlook", false}}));
    MapiPtr<IMsgServiceAdmin> services;
    EXPECT_EQ(admin_->AdminServices(Text("Batch"), nullptr, 0, 0, services.Put()), MAPI_E_NOT_FOUND);
    // With no front end the profile set-up dialog cannot be shown.
    EXPECT_EQ(admin_->CreateProfile(Text("Dialog"), nullptr, 0, MAPI_DIALOG), MAPI_E_USER_CANCEL);
    ScriptedFrontEnd frontEnd;
    SetMapiFrontEnd(&frontEnd);
    EXPECT_EQ(admin_->CreateProfile(Text("Dialog"), nullptr, 0, MAPI_DIALOG), S_OK);
    EXPECT_EQ(frontEnd.calls, 1);
}

TEST_F(ProfileTest, PersonalFoldersServiceCreatesTheFileAndListsItsStore) {
    ASSERT_EQ(admin_->CreateProfile(Text("Temp"), nullptr, 0, 0), S_OK);
    const std::string path = dir_.File("mailbox.pst");
    MAPIUID uid{};
    const std::vector<BYTE> entryId = CreatePstService("Temp", "MSUPST MS", "Mailbox One", path, &uid);
    ASSERT_FALSE(entryId.empty());
    EXPECT_EQ(qb::test::ReadFile(path), "FAKEPST unicode");
    // The identifier is stable: the same in every session and for every call.
    EXPECT_EQ(StoreEntryIdOf("Temp", "Mailbox One"), entryId);
    EXPECT_EQ(ParseStoreEntryId(entryId.data(), entryId.size()), path);

    MapiPtr<IMAPISession> session;
    ASSERT_EQ(MAPILogonEx(0, Text("Temp"), nullptr, 0x13 | MAPI_EXTENDED, session.Put()), S_OK);
    MapiPtr<IMsgStore> store, again;
    ASSERT_EQ(session->OpenMsgStore(0, static_cast<ULONG>(entryId.size()),
                                    reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(entryId.data())), nullptr,
                                    MDB_NO_MAIL | MDB_WRITE, store.Put()),
              S_OK);
    ASSERT_EQ(session->OpenMsgStore(0, static_cast<ULONG>(entryId.size()),
                                    reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(entryId.data())), nullptr,
                                    MDB_NO_MAIL | MDB_WRITE, again.Put()),
              S_OK);
    EXPECT_EQ(store.get(), again.get());
    EXPECT_EQ(provider_->opened, 1);
    LPSPropValue name = nullptr;
    ASSERT_EQ(HrGetOneProp(store.get(), PR_DISPLAY_NAME, &name), S_OK);
    EXPECT_STREQ(name->Value.lpszA, "Mailbox One");
    MAPIFreeBuffer(name);

    // An entry identifier carrying the store's record key reaches the store.
    LPSPropValue key = nullptr;
    ASSERT_EQ(HrGetOneProp(store.get(), PR_STORE_RECORD_KEY, &key), S_OK);
    std::vector<BYTE> folderId(24, 0);
    std::memcpy(folderId.data() + 4, key->Value.bin.lpb, 16);
    MAPIFreeBuffer(key);
    ULONG type = 0;
    MapiPtr<IUnknown> folder;
    ASSERT_EQ(session->OpenEntry(24, reinterpret_cast<LPENTRYID>(folderId.data()), nullptr, MAPI_MODIFY, &type,
                                 folder.Put()),
              S_OK);
    EXPECT_EQ(type, MAPI_FOLDER);
    EXPECT_EQ(static_cast<FakeStore*>(store.get())->openEntryCalls, 1);
    ASSERT_EQ(session->OpenEntry(static_cast<ULONG>(entryId.size()),
                                 reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(entryId.data())), nullptr, 0, &type,
                                 folder.Put()),
              S_OK);
    EXPECT_EQ(type, MAPI_STORE);

    // The batch export removes the service again.
    MapiPtr<IMsgServiceAdmin> services;
    ASSERT_EQ(session->AdminServices(0, services.Put()), S_OK);
    ASSERT_EQ(services->DeleteMsgService(&uid), S_OK);
    EXPECT_EQ(services->DeleteMsgService(&uid), MAPI_E_NOT_FOUND);
    EXPECT_TRUE(StoreEntryIdOf("Temp", "Mailbox One").empty());
    ASSERT_EQ(session->Logoff(0, 0, 0), S_OK);
    MapiPtr<IMAPITable> table;
    EXPECT_EQ(session->GetMsgStoresTable(0, table.Put()), MAPI_E_END_OF_SESSION);
}

TEST_F(ProfileTest, ServiceFailuresGiveTheCodesCallersTellApart) {
    ASSERT_EQ(admin_->CreateProfile(Text("P"), nullptr, 0, 0), S_OK);
    MapiPtr<IMsgServiceAdmin> services;
    ASSERT_EQ(admin_->AdminServices(Text("P"), nullptr, 0, 0, services.Put()), S_OK);
    EXPECT_EQ(services->CreateMsgService(Text("MSEMS"), nullptr, 0, 0), MAPI_E_NOT_INITIALIZED);
    EXPECT_EQ(static_cast<std::uint32_t>(MAPI_E_NOT_INITIALIZED), 0x80040605u);

    MAPIUID unknown{};
    SPropValue path{};
    path.ulPropTag = PR_PST_PATH;
    path.Value.lpszA = Text("/nowhere.pst");
    EXPECT_EQ(services->ConfigureMsgService(&unknown, 0, 0, 1, &path), MAPI_E_NOT_FOUND);

    // A file that is not a personal folders file: the text comes from GetLastError.
    const std::string bogus = dir_.Write("bogus.pst", "not a store");
    ASSERT_EQ(services->CreateMsgService(Text("MSPST MS"), nullptr, 0, 0), S_OK);
    MapiPtr<IMAPITable> table;
    ASSERT_EQ(services->GetMsgServiceTable(0, table.Put()), S_OK);
    RowSetHolder rows;
    ASSERT_EQ(HrQueryAllRows(table.get(), nullptr, nullptr, nullptr, 0, rows.Put()), S_OK);
    ASSERT_EQ(rows->cRows, 1u);
    EXPECT_STREQ(rows->aRow[0].lpProps[0].Value.lpszA, "Personal Folders");
    auto* uid = reinterpret_cast<LPMAPIUID>(PpropFindProp(rows->aRow[0].lpProps, rows->aRow[0].cValues,
                                                          PR_SERVICE_UID)->Value.bin.lpb);
    path.Value.lpszA = const_cast<char*>(bogus.c_str());
    const HRESULT hr = services->ConfigureMsgService(uid, 0, 0, 1, &path);
    ASSERT_EQ(hr, MAPI_E_EXTENDED_ERROR);
    MapiBuffer<MAPIERROR> error;
    ASSERT_EQ(services->GetLastError(hr, 0, error.Put()), S_OK);
    EXPECT_NE(std::string(error->lpszError).find("is not a personal folders file"), std::string::npos);

    // Without the store engine the service has no entry point.
    SetMsgStoreProvider(nullptr);
    path.Value.lpszA = Text("/tmp/x.pst");
    EXPECT_EQ(services->ConfigureMsgService(uid, 0, 0, 1, &path), MAPI_E_NOT_INITIALIZED);
}

TEST_F(ProfileTest, ServiceDialogUsesTheFrontEnd) {
    ASSERT_EQ(admin_->CreateProfile(Text("P"), nullptr, 0, 0), S_OK);
    MapiPtr<IMsgServiceAdmin> services;
    ASSERT_EQ(admin_->AdminServices(Text("P"), nullptr, 0, 0, services.Put()), S_OK);
    EXPECT_EQ(services->CreateMsgService(Text("MSUPST MS"), Text(""), 0, SERVICE_UI_ALWAYS), MAPI_E_USER_CANCEL);

    ScriptedFrontEnd frontEnd;
    SetMapiFrontEnd(&frontEnd);
    EXPECT_EQ(services->CreateMsgService(Text("MSUPST MS"), Text(""), 0, SERVICE_UI_ALWAYS), MAPI_E_USER_CANCEL);
    frontEnd.pathToChoose = dir_.File("chosen.pst");
    ASSERT_EQ(services->CreateMsgService(Text("MSUPST MS"), Text(""), 0, SERVICE_UI_ALWAYS), S_OK);
    const std::vector<BYTE> id = StoreEntryIdOf("P", "Chosen");
    EXPECT_FALSE(id.empty());
    // Attaching the same file again adds nothing.
    ASSERT_EQ(services->CreateMsgService(Text("MSUPST MS"), Text(""), 0, SERVICE_UI_ALWAYS), S_OK);
    MapiPtr<IMAPITable> table;
    ASSERT_EQ(services->GetMsgServiceTable(0, table.Put()), S_OK);
    ULONG count = 0;
    ASSERT_EQ(table->GetRowCount(0, &count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(frontEnd.calls, 3);
}

TEST_F(ProfileTest, LogonChoosesProfilesAsMapiDoes) {
    MapiPtr<IMAPISession> session;
    EXPECT_EQ(MAPILogonEx(0, nullptr, nullptr, 0x43 | MAPI_EXTENDED, session.Put()), MAPI_E_LOGON_FAILED);
    EXPECT_EQ(MAPILogonEx(0, Text("Missing"), nullptr, 0x13 | MAPI_EXTENDED, session.Put()), MAPI_E_NOT_FOUND);
    ASSERT_EQ(admin_->CreateProfile(Text("Main"), nullptr, 0, 0), S_OK);
    ASSERT_EQ(admin_->CreateProfile(Text("Other"), nullptr, 0, 0), S_OK);
    ASSERT_EQ(MAPILogonEx(0, nullptr, nullptr, 0x43 | MAPI_EXTENDED, session.Put()), S_OK);
    ASSERT_EQ(MAPILogonEx(0, Text("other"), nullptr, 0x13 | MAPI_EXTENDED, session.Put()), S_OK);

    ScriptedFrontEnd frontEnd;
    SetMapiFrontEnd(&frontEnd);
    EXPECT_EQ(MAPILogonEx(0, Text("Missing"), nullptr, 0x13 | MAPI_EXTENDED, session.Put()), MAPI_E_USER_CANCEL);
    frontEnd.profileToChoose = "Other";
    EXPECT_EQ(MAPILogonEx(0, Text("Missing"), nullptr, 0x13 | MAPI_EXTENDED, session.Put()), S_OK);

    // A profile without stores lists none; an empty identifier opens nothing.
    MapiPtr<IMAPITable> stores;
    ASSERT_EQ(session->GetMsgStoresTable(0, stores.Put()), S_OK);
    ULONG count = 1;
    ASSERT_EQ(stores->GetRowCount(0, &count), S_OK);
    EXPECT_EQ(count, 0u);
    MapiPtr<IMsgStore> store;
    EXPECT_EQ(session->OpenMsgStore(0, 0, nullptr, nullptr, MDB_WRITE, store.Put()), MAPI_E_INVALID_PARAMETER);

    MAPIUninitialize();
    EXPECT_EQ(MAPILogonEx(0, nullptr, nullptr, 0x43, session.Put()), MAPI_E_NOT_INITIALIZED);
    MapiPtr<IProfAdmin> admin;
    EXPECT_EQ(MAPIAdminProfiles(0, admin.Put()), MAPI_E_NOT_INITIALIZED);
    ASSERT_EQ(MAPIInitialize(nullptr), S_OK);
}

TEST_F(ProfileTest, ProfilesFileSurvivesARoundTrip) {
    ProfileFile file;
    ProfileEntry profile;
    profile.name = "Gr\xC3\xBC\xC3\x9F" "e";
    profile.isDefault = true;
    ServiceEntry service;
    service.uid = NewUid();
    service.serviceName = "MSPST MS";
    service.displayName = "Archive = old";
    service.pstPath = "/data/a b.pst";
    service.defaultStore = true;
    profile.services.push_back(service);
    file.profiles.push_back(profile);
    std::string error;
    const std::string path = dir_.File("p/profiles.ini");
    ASSERT_EQ(file.Save(path, error), S_OK);
    ProfileFile back;
    ASSERT_EQ(back.Load(path, error), S_OK);
    ASSERT_EQ(back.profiles.size(), 1u);
    EXPECT_EQ(back.profiles[0].name, profile.name);
    ASSERT_EQ(back.profiles[0].services.size(), 1u);
    const ServiceEntry& s = back.profiles[0].services[0];
    EXPECT_TRUE(s.uid == service.uid);
    EXPECT_EQ(s.displayName, "Archive = old");
    EXPECT_EQ(s.pstPath, "/data/a b.pst");
    EXPECT_TRUE(s.defaultStore);

    // A write that cannot finish leaves the old file whole and says why.
    std::filesystem::create_directories(path + ".new/blocked");
    file.profiles[0].name = "Changed";
    EXPECT_EQ(file.Save(path, error), MAPI_E_DISK_ERROR);
    EXPECT_NE(error.find("Cannot write the profiles file " + path), std::string::npos) << error;
    ASSERT_EQ(back.Load(path, error), S_OK);
    ASSERT_EQ(back.profiles.size(), 1u);
    EXPECT_EQ(back.profiles[0].name, profile.name);
}

TEST_F(ProfileTest, ProfileSetUpDialogAddsTheChosenServices) {
    ScriptedFrontEnd frontEnd;
    frontEnd.servicesToAdd.push_back({"", "MSPST MS", "Old Mail", dir_.File("old.pst")});
    SetMapiFrontEnd(&frontEnd);
    ASSERT_EQ(admin_->CreateProfile(Text("Wizard"), nullptr, 0, MAPI_DIALOG), S_OK);
    EXPECT_EQ(qb::test::ReadFile(dir_.File("old.pst")), "FAKEPST ansi");
    const std::vector<BYTE> id = StoreEntryIdOf("Wizard", "Old Mail");
    ASSERT_FALSE(id.empty());

    // Unicode arguments, the address book and GetLastError of the session.
    std::wstring wide = L"Wizard";
    MapiPtr<IMAPISession> session;
    ASSERT_EQ(MAPILogonEx(0, reinterpret_cast<LPTSTR>(wide.data()), nullptr,
                          MAPI_UNICODE | MAPI_EXPLICIT_PROFILE | MAPI_EXTENDED, session.Put()),
              S_OK);
    MapiPtr<IAddrBook> book;
    ASSERT_EQ(session->OpenAddressBook(0, nullptr, 0, book.Put()), S_OK);
    ULONG size = 0;
    MapiBuffer<ENTRYID> oneOff;
    ASSERT_EQ(book->CreateOneOff(Text("Ann"), Text("SMTP"), Text("ann@example.org"), 0, &size, oneOff.Put()), S_OK);
    EXPECT_EQ(size, 24u + 4 + 5 + 16);

    std::vector<BYTE> elsewhere = id;
    elsewhere[elsewhere.size() - 2] ^= 1;  // another path
    MapiPtr<IMsgStore> store;
    const HRESULT hr = session->OpenMsgStore(0, static_cast<ULONG>(elsewhere.size()),
                                             reinterpret_cast<LPENTRYID>(elsewhere.data()), nullptr, MDB_WRITE,
                                             store.Put());
    EXPECT_EQ(hr, MAPI_E_NOT_FOUND);
    MapiBuffer<MAPIERROR> error;
    ASSERT_EQ(session->GetLastError(hr, 0, error.Put()), S_OK);
    EXPECT_NE(std::string(error->lpszError).find("is not in the profile"), std::string::npos);
}
