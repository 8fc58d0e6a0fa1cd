#pragma once
// Stand-ins for an export's collaborators in tests of the launch and the
// batch: status lines kept, documents counted instead of converted, no
// named properties to resolve; and the fixture both start from.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../notes/MailboxFixture.h"
#include "convert/ExportServices.h"
#include "outlook/PersonalFolders.h"
#include "outlook/mapi/MapiApi.h"
#include "outlook/mapi/memory/MemoryStore.h"
#include "shell/report/ProgressSink.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace qb::test {

struct Statuses : NullProgressSink {
    std::vector<std::string> lines;
    void SetStatusText(std::string_view text) override { lines.emplace_back(text); }
};

struct CountingDispatcher : DocumentDispatcher {
    int documents = 0;
    void Dispatch(const FolderHandle& folder, LNNotesSession&, LNDocument&) override {
        EXPECT_TRUE(folder.folder) << "documents go into a real folder";
        ++documents;
    }
};

struct NoNamedProperties : NamedPropertySetup {
    bool Setup(CMapiSession&) override { return true; }
};

// A folder of the test's own (also the configuration home, with the
// profiles, and TMPDIR), the in-memory store behind MAPI with one profile
// holding one store, and the mailbox fixture as "mail.dxl" of a Notes
// session on that folder.
class MemoryExportTest : public ::testing::Test {
protected:
    void SetUpMemoryExport(const std::string& profile, const std::string& storeName) {
        configHome.emplace("XDG_CONFIG_HOME", dir.path());
        tmpDirEnv.emplace("TMPDIR", dir.path());
        mapi::SetMsgStoreProvider(std::make_shared<mapi::MemoryStoreProvider>());
        MAPIINIT_0 init{MAPI_INIT_VERSION, MAPI_MULTITHREAD_NOTIFICATIONS};
        ASSERT_EQ(MAPIInitialize(&init), S_OK);
        std::string error;
        ASSERT_EQ(AddPersonalFoldersService(profile, dir.File(profile + ".pst"), false, storeName, error), S_OK)
            << error;
        dir.Write("notes.ini", "[Notes]\nDirectory=" + dir.path() + "\n");
        dir.Write("mail.dxl", MailboxDxl());
        ASSERT_EQ(session.Initialize(dir.File("notes.ini")), LNNOERROR);
    }
    void TearDownMemoryExport() {
        MAPIUninitialize();
        mapi::SetMsgStoreProvider(nullptr);
        // The folder goes with the test: later tests of this process must not use it.
        tmpDirEnv.reset();
        configHome.reset();
        LNSetThrowAllErrorsGlobal(false);
    }

    std::optional<ScopedEnv> configHome;
    std::optional<ScopedEnv> tmpDirEnv;
    TempDir dir;
    LNNotesSession session;
};

}  // namespace qb::test
