// The launch and the worker together on the in-memory store: what "Export
// Now" does from the first check to the last folder.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <limits>

#include "../notes/MailboxFixture.h"
#include "ExportDoubles.h"
#include "batch/RecoveryJournal.h"
#include "convert/DocumentDispatcher.h"
#include "convert/ExportWorker.h"
#include "outlook/mapi/MapiApi.h"
#include "outlook/mapi/memory/MemoryStore.h"
#include "launch/ExportLaunch.h"
#include "outlook/PersonalFolders.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace qb {
namespace {

using namespace qb::mapi;

struct ScriptedFrontEnd : MessageSink, ExportConfirmation, ExportWindow {
    std::vector<std::string> messages;
    std::string confirmationText;
    bool confirm = true;
    std::vector<bool> states;
    MessageResult ShowMessage(std::string_view text, std::string_view title, MessageIcon, MessageButtons) override {
        messages.push_back(std::string(title) + ": " + std::string(text));
        return MessageResult::Ok;
    }
    bool Confirm(const std::string& text, ExportSettings&) override {
        confirmationText = text;
        return confirm;
    }
    void SetExportingState(bool exporting) override { states.push_back(exporting); }
    void ShowExportError(const std::string& text) override { messages.push_back("Export Error: " + text); }
};

using test::CountingDispatcher;
using test::NoNamedProperties;
using test::Statuses;

class ExportLaunchTest : public test::MemoryExportTest {
protected:
    void SetUp() override {
        SetUpMemoryExport("Export", "Mailbox");
        if (HasFatalFailure()) return;
        settings.Components = {"Mail", "Tasks"};
        choices.log = true;
        choices.profile = "Export";
        choices.storeName = "Mailbox";
        choices.inputs.mailFile = "mail.dxl";

        // The store's entry identifier as the window keeps it.
        ASSERT_EQ(probe.Initialize(), S_OK);
        ASSERT_EQ(probe.Logon("Export", "", 0x13, 0), S_OK);
        ASSERT_EQ(probe.GetStores(nullptr), S_OK);
        ASSERT_EQ(probe.stores.size(), 1u);
        choices.storeEntryIdHex = EntryIdToHex(probe.stores[0].entryId);
    }
    void TearDown() override {
        outlook.Logoff();
        outlook.Uninitialize();
        probe.Logoff();
        probe.Uninitialize();
        TearDownMemoryExport();
    }
    ExportEnvironment Env() {
        return ExportEnvironment{run,        settings,   log,     progress,   outlook,   catalogue,
                                 dispatcher, components, journal, translator, namedProps};
    }
    bool Launch() { return ExportLaunch(Env(), settings, frontEnd, frontEnd, session).Launch(choices); }
    // The launch with a recovery journal of its own folder, answered by `questions`.
    template <class Questions>
    bool LaunchWith(RecoveryJournal& recovery, Questions& questions) {
        ExportEnvironment env = Env();
        ExportEnvironment withJournal{env.run,        env.settings,   env.log,   env.progress,   env.outlook,
                                      env.catalogue,  env.dispatcher, env.components, recovery, env.translator,
                                      env.namedProperties};
        ExportLaunch launch(withJournal, settings, frontEnd, frontEnd, session);
        launch.UseRecovery(recovery, questions);
        return launch.Launch(choices);
    }

    ExportSettings settings;
    LaunchChoices choices;
    ExportRun run;
    ExportLog log;
    Statuses progress;
    CMapiSession outlook;
    CMapiSession probe;
    ViewFolderCatalogue catalogue;
    CountingDispatcher dispatcher;
    UnavailableComponents components{log};
    RecoveryOff journal;
    AddressTranslator translator;
    NoNamedProperties namedProps;
    ScriptedFrontEnd frontEnd;
};

TEST_F(ExportLaunchTest, LaunchThenWorkerFillsTheStoreFolders) {
    choices.subfolderTicked = true;
    choices.subfolderName = "Lotus Notes";
    ASSERT_TRUE(Launch()) << (frontEnd.messages.empty() ? "" : frontEnd.messages.back());
    EXPECT_EQ(frontEnd.confirmationText,
              "Please confirm you want to export Mail/Tasks and you have made a prior backup of any existing data in "
              "your Outlook/Exchange mail file for disaster recover purposes.");
    const std::string logText = test::ReadFile(choices.inputs.logPath);
    EXPECT_EQ(logText.substr(0, 4), "#At ");
    EXPECT_NE(logText.find("Opened Outlook Mailbox: Mailbox"), std::string::npos);

    ExportDriver driver(Env());
    ExportWorker worker(driver, Env(), frontEnd);
    worker.Run(choices.inputs, session);
    EXPECT_EQ(worker.runResult(), kRunCompleted) << run.resultText;
    EXPECT_EQ(frontEnd.states, (std::vector<bool>{true, false}));
    EXPECT_EQ(dispatcher.documents, 10);
    EXPECT_FALSE(run.exportInProgress);

    // Everything went below the subfolder, nested as the Notes titles are.
    auto top = outlook.GetSpecialFolder(kTopOfStoreFolder);
    ASSERT_TRUE(top);
    auto under = outlook.OpenFolder(top->folder.get(), "Lotus Notes");
    ASSERT_TRUE(under);
    auto projects = outlook.OpenFolder(under->folder.get(), "Projects");
    ASSERT_TRUE(projects);
    EXPECT_TRUE(outlook.OpenFolder(projects->folder.get(), "Alpha"));
    EXPECT_TRUE(outlook.OpenFolder(under->folder.get(), "($Inbox)"));
    EXPECT_NE(test::ReadFile(choices.inputs.logPath).find("The Tasks component is not available"), std::string::npos);

    // A second export of the same paths opens the folders it made before.
    outlook.subfolderName = "Lotus Notes";
    auto again = outlook.OpenFolderPath("Projects\\Alpha", "IPF.Note");
    ASSERT_TRUE(again);
    EXPECT_TRUE(outlook.OpenFolder(projects->folder.get(), "Alpha")) << "no second Alpha was created";
}

TEST_F(ExportLaunchTest, AStoreThatDoesNotMatchIsRefusedWithTheList) {
    choices.storeEntryIdHex = "00";
    EXPECT_FALSE(Launch());
    ASSERT_FALSE(frontEnd.messages.empty());
    EXPECT_EQ(frontEnd.messages.back(),
              "Error: Unable to open folders file: 'Mailbox'\n\nOnly the following are available:\n\n'Mailbox'");
}

TEST_F(ExportLaunchTest, CancelledConfirmationAndMissingDatabase) {
    frontEnd.confirm = false;
    EXPECT_FALSE(Launch());
    EXPECT_EQ(progress.lines.back(), "Export Cancelled!");
    EXPECT_FALSE(session.IsThreadInitialized()) << "the launch ends its thread session";

    frontEnd.confirm = true;
    choices.inputs.mailFile = "missing.dxl";
    EXPECT_FALSE(Launch());
    EXPECT_EQ(frontEnd.messages.back().rfind("Database Open Error: Unable to open specified database \"missing.dxl\" "
                                             "for reason:\n\n",
                                             0),
              0u)
        << frontEnd.messages.back();
}

struct ScriptedRecovery : RecoveryQuestions {
    std::vector<std::string> asked;
    bool again = false;
    RecoveryAnswer answer = RecoveryAnswer::Cancel;
    std::int64_t offset = 0;
    std::int64_t shownOffset = 0;
    bool startOver = false;
    bool ExportAgain() override {
        asked.push_back("again");
        return again;
    }
    RecoveryAnswer ExportRecovery(std::int64_t& value) override {
        asked.push_back("recovery");
        shownOffset = value;
        value = offset;
        return answer;
    }
    bool StartOverUnusable(const std::string& reason) override {
        asked.push_back("unusable: " + reason);
        return startOver;
    }
};

// A journal of mail.dxl that stopped in the Inbox after its fifth document.
void InterruptedJournal(const std::string& folder, const std::string& database = "mail.dxl") {
    RecoveryJournal earlier(folder, true);
    ASSERT_TRUE(earlier.Create("", database));
    ASSERT_TRUE(earlier.StartView(0x11A, "($Inbox)"));
    ASSERT_TRUE(earlier.RecordDocument(4, 0x2E, "0F0F0F0F0F0F0F0F852500000000002E"));
}

TEST_F(ExportLaunchTest, AJournalIsReplacedOnlyOnceTheExportIsConfirmed) {
    InterruptedJournal(dir.path());
    RecoveryJournal recovery(dir.path(), true);
    ScriptedRecovery questions;
    questions.answer = RecoveryAnswer::StartOver;
    frontEnd.confirm = false;
    EXPECT_FALSE(LaunchWith(recovery, questions));
    EXPECT_EQ(questions.asked, std::vector<std::string>{"recovery"});
    EXPECT_EQ(questions.shownOffset, 4);
    RecoveryJournal after(dir.path(), true);
    ASSERT_EQ(after.Load(), LaunchJournal::LoadResult::Loaded) << "a refused launch leaves the journal";
    EXPECT_EQ(after.LastIndex(), 4);

    frontEnd.confirm = true;
    ASSERT_TRUE(LaunchWith(recovery, questions));
    RecoveryJournal fresh(dir.path(), true);
    EXPECT_EQ(fresh.Load(), LaunchJournal::LoadResult::Missing) << "a new journal has no view in progress";
    EXPECT_EQ(fresh.Path(), "mail.dxl");
}

TEST_F(ExportLaunchTest, TheRecoveryOffsetIsClampedAndResumesTheView) {
    InterruptedJournal(dir.path());
    ScriptedRecovery questions;
    questions.answer = RecoveryAnswer::Recover;
    const std::pair<std::int64_t, std::int32_t> cases[] = {
        {-50, -1}, {7, 7}, {std::int64_t(1) << 40, std::numeric_limits<std::int32_t>::max() - 1}};
    for (auto [typed, kept] : cases) {
        RecoveryJournal recovery(dir.path(), true);
        questions.offset = typed;
        ASSERT_TRUE(LaunchWith(recovery, questions));
        EXPECT_EQ(recovery.LastIndex(), kept) << typed;
        ResumePoint point;
        EXPECT_TRUE(recovery.ShouldExportView(0x11A, "($Inbox)", point));
        EXPECT_EQ(point.startIndex, kept + 1);
        EXPECT_TRUE(point.resumed);
    }
    EXPECT_EQ(ClampRecoveryOffset(std::numeric_limits<std::int64_t>::min()), -1);
}

TEST_F(ExportLaunchTest, ACompletedOrUnusableJournalAsksAndAnotherDatabasesIsReplaced) {
    {
        RecoveryJournal done(dir.path(), true);
        ASSERT_TRUE(done.Create("", "mail.dxl"));
        ASSERT_TRUE(done.MarkComplete());
    }
    ScriptedRecovery questions;
    RecoveryJournal recovery(dir.path(), true);
    EXPECT_FALSE(LaunchWith(recovery, questions));
    EXPECT_EQ(questions.asked, std::vector<std::string>{"again"});
    questions.again = true;
    EXPECT_TRUE(LaunchWith(recovery, questions));
    RecoveryJournal again(dir.path(), true);
    ASSERT_EQ(again.Load(), LaunchJournal::LoadResult::Missing);
    EXPECT_FALSE(again.Complete());

    // Another database's journal goes without a question.
    InterruptedJournal(dir.path(), "other.nsf");
    questions.asked.clear();
    EXPECT_TRUE(LaunchWith(recovery, questions));
    EXPECT_TRUE(questions.asked.empty());

    dir.Write("Recovery.r", "garbage");
    EXPECT_FALSE(LaunchWith(recovery, questions));
    ASSERT_EQ(questions.asked.size(), 1u);
    EXPECT_NE(questions.asked[0].find("Recovery.r cannot be used: "), std::string::npos) << questions.asked[0];
    EXPECT_TRUE(std::filesystem::exists(dir.File("Recovery.r")));
    questions.startOver = true;
    EXPECT_TRUE(LaunchWith(recovery, questions));
    EXPECT_EQ(RecoveryJournal(dir.path(), true).Load(), LaunchJournal::LoadResult::Missing);
}

TEST(ConfirmationText, JoinsTheTickedComponents) {
    ExportSettings s;
    EXPECT_EQ(ConfirmationComponentText(s), "");
    EXPECT_EQ(ConfirmationText(s).substr(0, 46), "Please confirm you want to export and you have");
    s.Components = {"Calendar", "Contacts"};
    EXPECT_EQ(ConfirmationComponentText(s), "Calendar and Contacts/Groups ");
    s.Components = {"Mail", "Calendar", "Tasks", "Contacts"};
    EXPECT_EQ(ConfirmationComponentText(s), "Mail/Calendar/Tasks and Contacts/Groups ");
}

}  // namespace
}  // namespace qb
