#pragma once
// A profile of its own (in a temporary configuration folder) holding one
// personal folders service on a new file, logged on through MAPI the way the
// program does it, with the personal folders store binding registered.

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "outlook/mapi/MapiApi.h"
#include "outlook/mapi/PstStoreProvider.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace qb::test {

inline char* MapiText(const char* s) { return const_cast<char*>(s); }
inline LPENTRYID MapiId(const SBinary& bin) { return reinterpret_cast<LPENTRYID>(bin.lpb); }

class PstProfileFixture {
protected:
    // Creates the profile "Export" and the service ("MSUPST MS" or
    // "MSPST MS") on pstPath(), and logs on to it when asked.
    void SetUpProfile(const std::string& serviceName, const std::string& displayName, bool logOn = true) {
        using namespace qb::mapi;
        configHome_.emplace("XDG_CONFIG_HOME", dir_.path());
        RegisterPstStoreProvider();
        MAPIINIT_0 init{MAPI_INIT_VERSION, MAPI_MULTITHREAD_NOTIFICATIONS};
        ASSERT_EQ(MAPIInitialize(&init), S_OK);
        initialised_ = true;
        MapiPtr<IProfAdmin> admin;
        ASSERT_EQ(MAPIAdminProfiles(0, admin.Put()), S_OK);
        ASSERT_EQ(admin->CreateProfile(MapiText("Export"), nullptr, 0, 0), S_OK);
        MapiPtr<IMsgServiceAdmin> services;
        ASSERT_EQ(admin->AdminServices(MapiText("Export"), nullptr, 0, 0, services.Put()), S_OK);
        ASSERT_EQ(services->CreateMsgService(MapiText(serviceName.c_str()), nullptr, 0, 0), S_OK);
        MapiPtr<IMAPITable> table;
        ASSERT_EQ(services->GetMsgServiceTable(0, table.Put()), S_OK);
        RowSetHolder rows;
        ASSERT_EQ(HrQueryAllRows(table.get(), nullptr, nullptr, nullptr, 0, rows.Put()), S_OK);
        ASSERT_EQ(rows->cRows, 1u);
        const LPSPropValue uid = PpropFindProp(rows->aRow[0].lpProps, rows->aRow[0].cValues, PR_SERVICE_UID);
        ASSERT_NE(uid, nullptr);
        SPropValue values[2]{};
        values[0].ulPropTag = PR_DISPLAY_NAME;
        values[0].Value.lpszA = MapiText(displayName.c_str());
        values[1].ulPropTag = PR_PST_PATH;
        values[1].Value.lpszA = const_cast<char*>(pstPath_.c_str());
        ASSERT_EQ(services->ConfigureMsgService(reinterpret_cast<LPMAPIUID>(uid->Value.bin.lpb), 0, 0, 2, values), S_OK);
        if (logOn) {
            ASSERT_EQ(MAPILogonEx(0, nullptr, nullptr, 0x43 | MAPI_EXTENDED, session_.Put()), S_OK);
        }
    }

    void TearDownProfile() {
        store_.Reset();
        if (session_) session_->Logoff(0, 0, 0);
        session_.Reset();
        if (initialised_) MAPIUninitialize();
        initialised_ = false;
        qb::mapi::SetMsgStoreProvider(nullptr);
        configHome_.reset();
    }

    // The default store of the profile, opened as the program opens it.
    void OpenDefaultStore() {
        using namespace qb::mapi;
        MapiPtr<IMAPITable> table;
        ASSERT_EQ(session_->GetMsgStoresTable(0, table.Put()), S_OK);
        SizedSPropTagArray(3, columns) = {3, {PR_ENTRYID, PR_DEFAULT_STORE, PR_DISPLAY_NAME}};
        RowSetHolder rows;
        ASSERT_EQ(HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0,
                                 rows.Put()),
                  S_OK);
        ASSERT_EQ(rows->cRows, 1u);
        ASSERT_EQ(rows->aRow[0].lpProps[0].ulPropTag, PR_ENTRYID);
        const SBinary& id = rows->aRow[0].lpProps[0].Value.bin;
        ASSERT_EQ(session_->OpenMsgStore(0, id.cb, MapiId(id), nullptr, MDB_NO_MAIL | MDB_WRITE, store_.Put()), S_OK);
    }

    const std::string& pstPath() const { return pstPath_; }

    TempDir dir_;
    std::string pstPath_ = dir_.File("export.pst");
    std::optional<qb::test::ScopedEnv> configHome_;
    bool initialised_ = false;
    qb::mapi::MapiPtr<IMAPISession> session_;
    qb::mapi::MapiPtr<IMsgStore> store_;
};

}  // namespace qb::test
