#pragma once
// An Outlook folder on the in-memory store for tests, and reading back what
// a test saved into it.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "outlook/OutlookSession.h"
#include "outlook/PersonalFolders.h"
#include "outlook/mapi/MapiApi.h"
#include "outlook/mapi/memory/MemoryStore.h"
#include "support/ScopedEnv.h"

namespace qb::test {

// Logs `outlook` on to a profile "P" whose store lives in memory, and opens
// its folder "Mail". The profile is kept under `configFolder`, which becomes
// XDG_CONFIG_HOME while `configHome` holds it.
inline void OpenMemoryMailFolder(const std::string& configFolder, std::optional<ScopedEnv>& configHome,
                                 CMapiSession& outlook, std::optional<FolderHandle>& folder) {
    using namespace qb::mapi;
    configHome.emplace("XDG_CONFIG_HOME", configFolder);
    SetMsgStoreProvider(std::make_shared<MemoryStoreProvider>());
    ASSERT_EQ(outlook.Initialize(), S_OK);
    std::string error;
    ASSERT_EQ(AddPersonalFoldersService("P", configFolder + "/w.pst", false, "Store", error), S_OK) << error;
    ASSERT_EQ(outlook.Logon("P", "", 0x13, 0), S_OK);
    ASSERT_EQ(outlook.OpenDefaultStore(), S_OK);
    ASSERT_EQ(outlook.OpenIpmSubtree(), 1);
    folder = outlook.OpenFolderPath("Mail", "");
    ASSERT_TRUE(folder);
}

// The one message of a folder, opened for reading; a failed expectation when
// the folder does not hold exactly one.
inline mapi::MapiPtr<IMessage> OnlyMessage(IMAPIFolder* folder) {
    using namespace qb::mapi;
    MapiPtr<IMAPITable> contents;
    EXPECT_EQ(folder->GetContentsTable(0, contents.Put()), S_OK);
    SizedSPropTagArray(1, columns) = {1, {PR_ENTRYID}};
    RowSetHolder rows;
    EXPECT_EQ(
        HrQueryAllRows(contents.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, rows.Put()),
        S_OK);
    MapiPtr<IMessage> message;
    EXPECT_EQ(rows->cRows, 1u);
    if (rows->cRows != 1) return message;
    const SBinary& id = rows->aRow[0].lpProps[0].Value.bin;
    ULONG type = 0;
    EXPECT_EQ(folder->OpenEntry(id.cb, reinterpret_cast<LPENTRYID>(id.lpb), nullptr, 0, &type, message.PutUnknown()),
              S_OK);
    return message;
}

}  // namespace qb::test
