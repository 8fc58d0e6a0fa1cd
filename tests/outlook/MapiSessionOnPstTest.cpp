// CMapiSession, the program's Outlook session, on a real personal folders
// file: log on to a profile, open the store and its special folders, and find
// or create folders by path.

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include "mapi/PstProfileFixture.h"
#include "outlook/OutlookSession.h"
#include "outlook/pst/PstStore.h"
#include "support/RunProgram.h"

using namespace qb::mapi;

namespace {

class MapiSessionOnPstTest : public ::testing::TestWithParam<const char*>, public qb::test::PstProfileFixture {
protected:
    void SetUp() override { SetUpProfile(GetParam(), "Mail Archive", false); }
    void TearDown() override {
        outlook_.reset();
        TearDownProfile();
    }

    // The program's log-on for a single-database export.
    void LogOnAndOpenStore() {
        outlook_ = std::make_unique<qb::CMapiSession>();
        outlook_->runErrorText = &runError_;
        ASSERT_EQ(outlook_->Initialize(), S_OK);
        ASSERT_FALSE(FAILED(outlook_->Logon("Export", "", 0x13, 0)));
        ASSERT_EQ(outlook_->GetStores(nullptr), S_OK);
        ASSERT_EQ(outlook_->stores.size(), 1u);
        EXPECT_TRUE(outlook_->stores[0].isDefault);
        EXPECT_EQ(outlook_->stores[0].displayName, "Mail Archive");
        ASSERT_EQ(outlook_->OpenStore(outlook_->stores[0].entryId), S_OK);
        ASSERT_EQ(outlook_->OpenIpmSubtree(), 1) << outlook_->lastError;
        for (int i = 0; i < qb::kSpecialFolderCount; ++i) EXPECT_TRUE(outlook_->specialFolders[i]) << i;
    }

    static std::vector<BYTE> EntryId(IMAPIFolder* folder) {
        LPSPropValue value = nullptr;
        if (FAILED(HrGetOneProp(folder, PR_ENTRYID, &value))) return {};
        MapiBuffer<SPropValue> holder(value);
        return std::vector<BYTE>(value->Value.bin.lpb, value->Value.bin.lpb + value->Value.bin.cb);
    }

    static std::string Text(IMAPIFolder* folder, ULONG tag) {
        LPSPropValue value = nullptr;
        if (FAILED(HrGetOneProp(folder, tag, &value))) return "";
        MapiBuffer<SPropValue> holder(value);
        return value->Value.lpszA;
    }

    std::unique_ptr<qb::CMapiSession> outlook_;
    std::string runError_;
};

}  // namespace

TEST_P(MapiSessionOnPstTest, FolderPathsOnARealStore) {
    // Two sibling folders of the same name, as only a damaged or foreign
    // store holds them (CreateFolder refuses the second).
    {
        auto engine = qb::pst::PstStore::Open(pstPath(), true);
        const auto top = engine->IpmSubtree();
        engine->CreateFolder(top, "Twins");
        engine->CreateFolder(top, "Twins");
        engine->Close();
    }
    LogOnAndOpenStore();
    EXPECT_EQ(Text(outlook_->specialFolders[qb::kInboxFolder].get(), PR_DISPLAY_NAME), "Inbox");
    EXPECT_EQ(Text(outlook_->specialFolders[qb::kSentItemsFolder].get(), PR_DISPLAY_NAME), "Sent Items");

    // Three levels created, then the same three opened through the collision path.
    auto first = outlook_->OpenFolderPath("Archive\\2009\\May", "");
    ASSERT_TRUE(first);
    EXPECT_FALSE(first->rightsKnown);
    auto second = outlook_->OpenFolderPath("Archive\\2009\\May", "");
    ASSERT_TRUE(second);
    EXPECT_TRUE(second->rightsKnown);
    EXPECT_TRUE(second->rights & qb::frightsCreate);
    EXPECT_EQ(EntryId(first->folder.get()), EntryId(second->folder.get()));
    EXPECT_EQ(Text(second->folder.get(), PR_DISPLAY_NAME), "May");
    EXPECT_EQ(Text(second->folder.get(), PR_CONTAINER_CLASS), "");

    // The container class is set on the folder reached.
    auto calendar = outlook_->OpenFolderPath("Calendar Export", "IPF.Appointment");
    ASSERT_TRUE(calendar);
    EXPECT_EQ(Text(calendar->folder.get(), PR_CONTAINER_CLASS), "IPF.Appointment");

    // Same-named siblings: no single row, so the path cannot be opened.
    EXPECT_FALSE(outlook_->OpenFolder(outlook_->specialFolders[qb::kTopOfStoreFolder].get(), "Twins"));
    EXPECT_FALSE(outlook_->OpenFolderPath("Twins\\Child", ""));
    EXPECT_EQ(runError_, "Unable to Open or Create Folder: 'Twins\\Child'");

    // The subfolder of the run holds every path.
    outlook_->subfolderName = "Notes Import";
    ASSERT_TRUE(outlook_->OpenFolderPath("Inbox", ""));

    first.reset();
    second.reset();
    calendar.reset();
    outlook_->Logoff();
    outlook_->Uninitialize();
    outlook_.reset();
    TearDownProfile();

    const auto check = qb::test::RunCli("pst-check " + qb::test::ShellQuote(pstPath()));
    EXPECT_EQ(check.status, 0) << check.output;
    const std::string expected = dir_.Write(
        "expected.json",
        "{\"displayName\": \"Mail Archive\", \"messages\": [], \"folders\": {\"Inbox\": 0, \"Outbox\": 0, "
        "\"Sent Items\": 0, \"Deleted Items\": 0, \"Archive\": 0, \"Archive\\\\2009\": 0, \"Archive\\\\2009\\\\May\": 0, "
        "\"Calendar Export\": 0, \"Notes Import\\\\Inbox\": 0}}");
    const auto readers = qb::test::RunCommand(
        "python3 " + qb::test::ShellQuote(QUILLBOX_SOURCE_DIR "/tests/mapi/pst_readers_check.py") + " " +
        qb::test::ShellQuote(pstPath()) + " " + qb::test::ShellQuote(expected));
    EXPECT_EQ(readers.status, 0) << readers.output;
}

TEST_P(MapiSessionOnPstTest, AProfileWithoutTheFileFailsToOpenTheStore) {
    std::remove(pstPath().c_str());
    outlook_ = std::make_unique<qb::CMapiSession>();
    ASSERT_EQ(outlook_->Initialize(), S_OK);
    ASSERT_FALSE(FAILED(outlook_->Logon("Export", "", 0x13, 0)));
    ASSERT_EQ(outlook_->GetStores(nullptr), S_OK);
    ASSERT_EQ(outlook_->stores.size(), 1u);
    EXPECT_EQ(outlook_->OpenStore(outlook_->stores[0].entryId), S_OK);
    EXPECT_LT(outlook_->OpenIpmSubtree(), 0);
    EXPECT_EQ(outlook_->lastError,
              "Open IPM Subtree - Msg Store not open: The personal folders file '" + pstPath() + "' does not exist.");
}

// The store is not opened, and the session says why, so that the export
// ends as a failure with the reason instead of writing nothing.
void ExpectStoreRefused(qb::CMapiSession& outlook, const std::string& reason) {
    ASSERT_EQ(outlook.Initialize(), S_OK);
    ASSERT_FALSE(FAILED(outlook.Logon("Export", "", 0x13, 0)));
    ASSERT_EQ(outlook.GetStores(nullptr), S_OK);
    ASSERT_EQ(outlook.stores.size(), 1u);
    EXPECT_EQ(outlook.OpenStore(outlook.stores[0].entryId), S_OK);
    EXPECT_FALSE(outlook.store) << "the store was opened anyway";
    EXPECT_EQ(outlook.lastError, reason);
    EXPECT_LT(outlook.OpenIpmSubtree(), 0);
    EXPECT_EQ(outlook.lastError, "Open IPM Subtree - Msg Store not open: " + reason);
}

TEST_P(MapiSessionOnPstTest, AStoreInUseByAnotherWriterIsRefusedWithTheReason) {
    auto otherWriter = qb::pst::PstStore::Open(pstPath(), true);
    outlook_ = std::make_unique<qb::CMapiSession>();
    ExpectStoreRefused(*outlook_, "The personal folders file '" + pstPath() + "' is in use by another program.");
}

TEST_P(MapiSessionOnPstTest, AReadOnlyStoreIsRefusedNotOpenedForReading) {
    ASSERT_EQ(::chmod(pstPath().c_str(), 0444), 0);
    outlook_ = std::make_unique<qb::CMapiSession>();
    const std::string reason = ::geteuid() == 0
                                   ? "The personal folders file '" + pstPath() + "' is read-only and is not written into."
                                   : "The personal folders file '" + pstPath() + "' cannot be opened for writing: Permission denied";
    ExpectStoreRefused(*outlook_, reason);
}

TEST_P(MapiSessionOnPstTest, AFolderBeyondTheDepthLimitIsRefusedWithTheReason) {
    {
        auto engine = qb::pst::PstStore::Open(pstPath(), true);
        auto folder = engine->IpmSubtree();
        while (engine->FolderDepth(folder) < qb::pst::PstStore::kMaxFolderDepth) folder = engine->CreateFolder(folder, "d");
        engine->Close();
    }
    LogOnAndOpenStore();
    std::optional<qb::FolderHandle> current = outlook_->GetSpecialFolder(qb::kTopOfStoreFolder);
    for (std::size_t depth = 2; depth <= qb::pst::PstStore::kMaxFolderDepth; ++depth) {
        current = outlook_->OpenOrCreateFolder(current->folder.get(), "d");
        ASSERT_TRUE(current) << depth;
    }
    EXPECT_FALSE(outlook_->OpenOrCreateFolder(current->folder.get(), "one too deep"));
    EXPECT_NE(outlook_->lastError.find("more than 300 levels deep"), std::string::npos) << outlook_->lastError;
}

INSTANTIATE_TEST_SUITE_P(Formats, MapiSessionOnPstTest, ::testing::Values("MSUPST MS", "MSPST MS"),
                         [](const auto& info) { return std::string(info.param) == "MSPST MS" ? "Ansi" : "Unicode"; });
