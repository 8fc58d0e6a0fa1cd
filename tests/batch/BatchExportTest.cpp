// The batch worker on the in-memory store: results per item, the list
// saved after each, and what it must never do (leak a password, write
// outside its folder, overwrite an earlier file silently, leave its
// temporary profile behind, wait for an answer).

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "../launch/ExportDoubles.h"
#include "../notes/MailboxFixture.h"
#include "batch/BatchExport.h"
#include "batch/RecoveryJournal.h"
#include "convert/DocumentDispatcher.h"
#include "outlook/PersonalFolders.h"
#include "outlook/ProfileOperations.h"
#include "outlook/mapi/MapiApi.h"
#include "outlook/mapi/memory/MemoryStore.h"
#include "support/RecordedMessages.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace qb {
namespace {

using namespace qb::mapi;

struct ScriptedFrontEnd : test::RecordedMessages, ExportConfirmation, ExportWindow, BatchWindow {
    std::vector<std::string>& messages = shown;
    std::vector<std::size_t> shownItems;
    bool confirm = true;
    bool Confirm(const std::string&, ExportSettings&) override { return confirm; }
    void SetExportingState(bool) override {}
    void ShowExportError(const std::string& text) override { messages.push_back("Export Error: " + text); }
    void SetBatchRunningState(bool) override {}
    void ShowDatabase(const std::string&, const std::string&, const std::string&) override {}
    void ShowItem(std::size_t index) override { shownItems.push_back(index); }
};

using test::CountingDispatcher;
using test::NoNamedProperties;
using test::Statuses;

class BatchExportTest : public test::MemoryExportTest {
protected:
    void SetUp() override {
        // The "Exchange" side: a profile whose store is named "Mailbox - Jane".
        SetUpMemoryExport("Exchange", "Mailbox - Jane");
        if (HasFatalFailure()) return;
        std::filesystem::create_directories(dir.File("out"));
        settings.Components = {"Mail"};
        settings.LogExport = true;
        target.pstFolder = dir.File("out");
    }
    void TearDown() override { TearDownMemoryExport(); }
    DatabaseListItem& Add(const std::string& pst) {
        DatabaseListItem item;
        item.title = "Jane's Mail";
        item.filePath = "mail.dxl";
        item.outputFolder = "Jane";
        item.pstFileName = pst;
        list.items.push_back(item);
        return list.items.back();
    }
    std::unique_ptr<BatchExport> NewBatch(RecoveryHooks& recovery) {
        ExportEnvironment env{run,        settings,   log,      progress,   outlook,   catalogue,
                              dispatcher, components, recovery, translator, namedProps};
        return std::make_unique<BatchExport>(
            BatchServices{env, settings, session, batchStatus, frontEnd, frontEnd, frontEnd, frontEnd}, list, target);
    }
    bool RunBatch() {
        std::unique_ptr<BatchExport> batch = NewBatch(journal);
        profileName = batch->profileName();
        if (!batch->ExportSelected()) return false;
        EXPECT_EQ(batch->Run(), 1);
        return true;
    }
    std::vector<std::string> Profiles() {
        ProfileList profiles;
        std::string current;
        EXPECT_TRUE(FillProfileList(profiles, "", current));
        return profiles.names;
    }

    ExportSettings settings;
    BatchTarget target;
    DatabaseList list{dir.File("QuillboxM.csv")};
    ExportRun run;
    ExportLog log;
    Statuses progress, batchStatus;
    CMapiSession outlook;
    ViewFolderCatalogue catalogue;
    CountingDispatcher dispatcher;
    UnavailableComponents components{log};
    RecoveryOff journal;
    AddressTranslator translator;
    NoNamedProperties namedProps;
    ScriptedFrontEnd frontEnd;
    std::string profileName;
};

TEST_F(BatchExportTest, EachItemGetsItsFileItsLogAndItsResultAndASecondRunSkipsIt) {
    Add("jane.pst");
    Add("escape.pst").pstFileName = "../escape.pst";
    Add("again.pst");
    dir.Write("out/again.pst", "left by an earlier attempt");
    ASSERT_TRUE(RunBatch());

    EXPECT_EQ(list.items[0].resultCode, 0) << list.items[0].statusText;
    EXPECT_EQ(list.items[0].statusText, "OK");
    EXPECT_TRUE(list.items[0].done);
    EXPECT_EQ(list.items[0].exportedCount, 0) << "the counting dispatcher saves nothing";
    EXPECT_EQ(list.items[0].processedCount, 10);
    const std::string janeLog = test::ReadFile(dir.File("out/jane.log"));
    EXPECT_EQ(janeLog.rfind("Exporting: jane.pst\n", 0), 0u) << janeLog;

    // A name that leaves the folder is refused; nothing lands outside it.
    EXPECT_EQ(list.items[1].resultCode, kBatchTargetNotPrepared);
    EXPECT_FALSE(list.items[1].done);
    EXPECT_NE(list.items[1].statusText.find("folder separator"), std::string::npos) << list.items[1].statusText;
    EXPECT_FALSE(std::filesystem::exists(dir.File("escape.pst")));

    // The earlier file is kept, the log says so, and the item starts afresh.
    EXPECT_EQ(list.items[2].resultCode, 0) << list.items[2].statusText;
    EXPECT_EQ(test::ReadFile(dir.File("out/again.1.pst")), "left by an earlier attempt");
    EXPECT_NE(test::ReadFile(dir.File("out/again.log")).find("kept as " + dir.File("out/again.1.pst")),
              std::string::npos);

    // The list was saved with every result; the temporary profile is gone.
    DatabaseList saved(dir.File("QuillboxM.csv"));
    ASSERT_TRUE(saved.ImportDatabaseList("", frontEnd));
    ASSERT_EQ(saved.items.size(), 3u);
    EXPECT_TRUE(saved.items[0].done);
    EXPECT_EQ(saved.items[1].resultCode, kBatchTargetNotPrepared);
    EXPECT_EQ(frontEnd.shownItems, (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(Profiles(), std::vector<std::string>{"Exchange"});
    EXPECT_EQ(profileName.rfind("Quillbox Multi-Export ", 0), 0u);
    EXPECT_NE(profileName.find(std::to_string(::getpid())), std::string::npos);

    // Again: only the failed item is tried.
    dispatcher.documents = 0;
    frontEnd.shownItems.clear();
    ASSERT_TRUE(RunBatch());
    EXPECT_EQ(frontEnd.shownItems, std::vector<std::size_t>{1});
    EXPECT_EQ(dispatcher.documents, 0);
    EXPECT_FALSE(std::filesystem::exists(dir.File("out/jane.1.pst"))) << "a done item's file is left alone";
}

TEST_F(BatchExportTest, ExchangeItemsNeedNoFolderAndNeverShowTheirPassword) {
    target.serviceName = kExchangeTarget;
    target.pstFolder = dir.File("missing");
    DatabaseListItem& good = Add("jane.pst");
    good.outputFolder = "Mailbox - Jane";
    good.profile = "Exchange";
    DatabaseListItem& noStore = Add("nostore.pst");
    noStore.outputFolder = "Mailbox - Nobody";
    noStore.profile = "Exchange";
    DatabaseListItem& badLogon = Add("bad.pst");
    badLogon.profile = "No Such Profile";
    badLogon.password = "s3cret-pw";
    ASSERT_TRUE(RunBatch()) << (frontEnd.messages.empty() ? "" : frontEnd.messages.back());

    EXPECT_EQ(list.items[0].resultCode, 0) << list.items[0].statusText;
    EXPECT_EQ(dispatcher.documents, 10);
    EXPECT_EQ(list.items[1].resultCode, kBatchTargetNotPrepared);
    EXPECT_EQ(list.items[1].statusText, "Unable to find folder: Mailbox - Nobody");
    EXPECT_EQ(list.items[2].resultCode, kBatchLogonFailed);
    EXPECT_EQ(list.items[2].statusText, "Unable to login to profile: No Such Profile");
    for (const std::string& line : progress.lines) EXPECT_EQ(line.find("s3cret-pw"), std::string::npos) << line;
    for (const std::string& line : batchStatus.lines) EXPECT_EQ(line.find("s3cret-pw"), std::string::npos) << line;
    // The list still keeps the password: the profile needs it next time.
    DatabaseList saved(dir.File("QuillboxM.csv"));
    ASSERT_TRUE(saved.ImportDatabaseList("", frontEnd));
    EXPECT_EQ(saved.items[2].password, "s3cret-pw");
}

TEST_F(BatchExportTest, APersonalFoldersBatchNeedsItsFolder) {
    target.pstFolder = dir.File("missing");
    Add("jane.pst");
    EXPECT_FALSE(RunBatch());
    ASSERT_EQ(frontEnd.messages.size(), 1u);
    EXPECT_EQ(frontEnd.messages[0], "Error: Invalid path: " + dir.File("missing"));
}

TEST_F(BatchExportTest, WorkerMessagesAreLoggedAndNeverAsk) {
    target.serviceName = "MSPST AB";  // no store service: every file fails
    Add("jane.pst");
    Add("john.pst");
    ASSERT_TRUE(RunBatch());
    EXPECT_EQ(list.items[0].statusText, "Unable to create PST file");
    EXPECT_EQ(list.items[1].resultCode, kBatchTargetNotPrepared);
    ASSERT_FALSE(frontEnd.messages.empty());
    EXPECT_EQ(frontEnd.messages[0], "Error: Error creating Message Store message service.");
    for (MessageButtons b : frontEnd.buttons) EXPECT_EQ(b, MessageButtons::Ok);
    EXPECT_NE(test::ReadFile(dir.File("out/john.log")).find("Error creating Message Store message service."),
              std::string::npos);
    EXPECT_EQ(Profiles(), std::vector<std::string>{"Exchange"}) << "removed on the way out of a failed batch too";
}

TEST_F(BatchExportTest, ProfilesOfBatchesThatDiedAreRemovedAndLiveOnesKept) {
    // A process id that is not running, and one that is (the parent).
    const std::string host = BatchExport::UniqueProfileName().substr(0, BatchExport::UniqueProfileName().rfind('-') + 1);
    const std::string dead = host + "999999999", live = host + std::to_string(::getppid());
    ASSERT_TRUE(AddProfile(dead, frontEnd));
    ASSERT_TRUE(AddProfile(live, frontEnd));
    Add("jane.pst");
    ASSERT_TRUE(RunBatch());
    const std::vector<std::string> names = Profiles();
    EXPECT_EQ(std::count(names.begin(), names.end(), dead), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), live), 1) << "another running batch keeps its profile";
}

TEST_F(BatchExportTest, ACancelledBatchStartsNoFurtherItem) {
    Add("jane.pst");
    Add("john.pst");
    std::unique_ptr<BatchExport> batch = NewBatch(journal);
    ASSERT_TRUE(batch->ExportSelected());
    batch->Cancel();
    EXPECT_EQ(batch->Run(), 1);
    EXPECT_TRUE(batch->cancelled());
    EXPECT_TRUE(frontEnd.shownItems.empty());
    EXPECT_EQ(Profiles(), std::vector<std::string>{"Exchange"});
}

TEST_F(BatchExportTest, TheBatchKeepsNoRecoveryJournal) {
    std::filesystem::create_directories(dir.File("journal"));
    RecoveryJournal recovery(dir.File("journal"), true);
    Add("jane.pst");
    std::unique_ptr<BatchExport> batch = NewBatch(recovery);
    ASSERT_TRUE(batch->ExportSelected());
    EXPECT_EQ(batch->Run(), 1);
    EXPECT_EQ(list.items[0].resultCode, 0) << list.items[0].statusText;
    EXPECT_TRUE(std::filesystem::is_empty(dir.File("journal"))) << "the window's journal is not the batch's";
}

}  // namespace
}  // namespace qb
