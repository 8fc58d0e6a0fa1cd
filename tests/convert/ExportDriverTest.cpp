#include <fmt/format.h>
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <set>
#include <stdexcept>
#include <thread>

#include "../notes/MailboxFixture.h"
#include "RecordingJournal.h"
#include "convert/DocumentDispatcher.h"
#include "convert/ExportDriver.h"
#include "convert/ExportWorker.h"
#include "support/TempDir.h"

namespace qb {
namespace {

using test::ReadFile;

// Outlook folders without a store: records which paths were asked for and
// fails the ones a test names.
class FakeOutlook : public CMapiSession {
public:
    std::vector<std::string> opened;
    std::set<std::string> failing;
    std::set<std::string> readOnly;
    std::optional<FolderHandle> OpenFolderPath(const std::string& path, const std::string&) override {
        opened.push_back(path);
        if (failing.count(path)) {
            if (runErrorText) *runErrorText = "Unable to Open or Create Folder: '" + path + "'";
            return std::nullopt;
        }
        FolderHandle handle;
        handle.rightsKnown = readOnly.count(path) > 0;
        handle.rights = 0;
        return handle;
    }
};

class RecordingDispatcher : public DocumentDispatcher {
public:
    explicit RecordingDispatcher(ExportRun& run) : run_(run) {}
    std::vector<NOTEID> seen;
    std::map<NOTEID, LNSTATUS> notesErrors;
    std::set<NOTEID> otherErrors;
    std::optional<std::size_t> cancelAfter;  // documents
    std::optional<std::size_t> stopAfter;    // documents: a write failure ends the run
    std::set<NOTEID> incomplete;             // saved without an attachment
    int endRuns = 0;
    void EndRun() override { ++endRuns; }
    void Dispatch(const FolderHandle&, LNNotesSession&, LNDocument& document) override {
        seen.push_back(document.GetNoteID());
        if (cancelAfter && seen.size() == *cancelAfter) run_.cancelRequested = true;
        if (stopAfter && seen.size() == *stopAfter) run_.stopText = "~#>ERROR disk full: /x/y.pst";
        if (incomplete.count(document.GetNoteID())) ++run_.incompleteCount;
        if (auto it = notesErrors.find(document.GetNoteID()); it != notesErrors.end()) throw LNStatusError(it->second);
        if (otherErrors.count(document.GetNoteID())) throw std::runtime_error("converter fault");
        ++run_.exportedCount;
    }

private:
    ExportRun& run_;
};

struct RecordingComponents : ComponentRuns {
    std::vector<std::string> calls;
    bool calendarThrowsNonStandard = false;
    std::atomic<bool>* cancelInCalendar = nullptr;
    std::vector<std::int32_t> resumedAt;
    void ResumeAt(RecoveryHooks&, const ResumePoint& point) override { resumedAt.push_back(point.startIndex); }
    void ExportCalendarEntries(LNNotesSession&, LNDatabase& db, const std::string& f) override {
        if (calendarThrowsNonStandard) throw 42;
        if (cancelInCalendar) *cancelInCalendar = true;
        calls.push_back("Calendar:" + db.GetTitle() + ":" + f);
    }
    void ExportTaskEntries(LNNotesSession&, LNDatabase& db, const std::string& f) override {
        calls.push_back("Tasks:" + db.GetTitle() + ":" + f);
    }
    void ExportContactEntries(LNNotesSession&, LNDatabase& db, const std::string& f) override {
        calls.push_back("Contacts:" + db.GetTitle() + ":" + f);
    }
    void ExportGroupEntries(LNNotesSession&, LNDatabase& db, const std::string& f) override {
        calls.push_back("Groups:" + db.GetTitle() + ":" + f);
    }
};

// Resumes `current` at resumeAt and skips the finished views.
struct FakeJournal : test::RecordingJournal {
    std::set<std::string> finished;
    std::string current;
    std::int32_t resumeAt = 0;
    std::string failsAt;  // StartView of this view throws
    bool ShouldExportView(std::uint32_t, const std::string& name, ResumePoint& point) override {
        point = ResumePoint();
        point.startIndex = name == current ? resumeAt : 0;
        point.resumed = name == current;
        return !finished.count(name);
    }
    bool StartView(std::uint32_t id, const std::string& name) override {
        if (name == failsAt) throw std::runtime_error("journal broken");
        return RecordingJournal::StartView(id, name);
    }
};

struct FakeNamedProperties : NamedPropertySetup {
    bool ok = true;
    bool Setup(CMapiSession& session) override {
        if (!ok) session.lastError = "no store";
        return ok;
    }
};

struct StatusRecorder : NullProgressSink {
    std::vector<std::string> lines;
    void SetStatusText(std::string_view text) override { lines.emplace_back(text); }
};

class ExportDriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir.Write("notes.ini", "[Notes]\nDirectory=" + dir.path() + "\n");
        dir.Write("mail.dxl", test::MailboxDxl());
        dir.Write("names.dxl",
                  "<?xml version='1.0'?><database xmlns='http://www.lotus.com/dxl' title='Address Book'></database>");
        ASSERT_EQ(session.Initialize(dir.File("notes.ini")), LNNOERROR);
        log.logToFile = true;
        log.SetSingleDatabasePath(dir.File("exportlog.txt"));
        settings.Components = {"Mail"};
        inputs.mailFile = "mail.dxl";
        inputs.addressBookPath = "names.dxl";
        outlook.runErrorText = &run.lastErrorText;
    }
    void TearDown() override { LNSetThrowAllErrorsGlobal(false); }

    int Run() {
        ExportDriver::PrepareComponentFlags(settings, run);
        ExportDriver driver(Environment());
        return driver.RunExport(inputs, session, resultText);
    }
    ExportEnvironment Environment() {
        return ExportEnvironment{run,     settings,  log,        progress,   outlook,         catalogue,
                                 dispatcher, components, *journal, translator, namedProperties};
    }
    std::string Log() { return ReadFile(dir.File("exportlog.txt")); }

    test::TempDir dir;
    LNNotesSession session;
    ExportRun run;
    ExportSettings settings;
    ExportLog log;
    StatusRecorder progress;
    FakeOutlook outlook;
    ViewFolderCatalogue catalogue;
    RecordingDispatcher dispatcher{run};
    RecordingComponents components;
    RecoveryOff off;
    RecoveryHooks* journal = &off;
    AddressTranslator translator;
    FakeNamedProperties namedProperties;
    RunInputs inputs;
    std::string resultText;
};

TEST_F(ExportDriverTest, ExportsEveryViewOnceInCatalogueOrder) {
    ASSERT_EQ(Run(), kRunCompleted) << resultText;
    const std::string log = Log();
    EXPECT_EQ(log.find("Begin Export of database: mail.dxl\n"), 0u) << log;
    // ($Inbox) appears as the special Inbox node and as a plain view: once.
    std::size_t inboxLines = 0;
    for (std::size_t at = 0; (at = log.find("'($Inbox)' - VFEC", at)) != std::string::npos; ++at) ++inboxLines;
    EXPECT_EQ(inboxLines, 1u);
    EXPECT_NE(log.find("..Exporting view/folder, 'Projects\\Alpha' - VFEC1\n"), std::string::npos);
    EXPECT_NE(log.find("..Error: Unable to open view"), std::string::npos) << "the view whose formula fails";
    EXPECT_NE(log.find("....About to export document Entry Count = 1\n"), std::string::npos);
    EXPECT_EQ(log.substr(log.size() - 42), "\nCompleted exporting a total of 10 from 10");
    EXPECT_EQ(run.processedCount, 10);  // ($All) 6, ($Inbox) 2, Meetings 1, Projects\\Alpha 1
    EXPECT_EQ(progress.lines.back(), "Completed exporting a total of 10 from 10");
    EXPECT_NE(std::find(outlook.opened.begin(), outlook.opened.end(), "Projects\\Alpha"), outlook.opened.end());
    EXPECT_TRUE(components.calls.empty());
}

TEST_F(ExportDriverTest, CancelAtADocumentEndsTheViewAndSkipsComponents) {
    settings.Components = {"Mail", "Calendar", "Tasks"};
    dispatcher.cancelAfter = 2;
    ASSERT_EQ(Run(), kRunCancelled);
    EXPECT_EQ(resultText, "Export cancelled (2 exported from 2 before cancel).");
    EXPECT_NE(Log().find("...Export was manually cancelled"), std::string::npos);
    EXPECT_EQ(dispatcher.seen.size(), 2u);
    EXPECT_TRUE(components.calls.empty());
}

TEST_F(ExportDriverTest, DocumentFailuresAreLoggedAndTheViewGoesOn) {
    dispatcher.notesErrors[0x104] = LNERR_ITEM_NOT_FOUND;
    dispatcher.otherErrors.insert(0x100);
    ASSERT_EQ(Run(), kRunCompleted);
    const std::string log = Log();
    EXPECT_NE(log.find("....~#>ERROR Unable to export document Entry Count = "), std::string::npos);
    EXPECT_NE(log.find("[" + std::to_string(LNERR_ITEM_NOT_FOUND) + "]\n"), std::string::npos);
    EXPECT_NE(log.find("....~#>ERROR Unexpected error while processing view\n"), std::string::npos);
    EXPECT_EQ(run.processedCount, 10) << "failed documents are still counted as processed";
}

TEST_F(ExportDriverTest, OutlookFolderFailuresSkipTheViewOnly) {
    outlook.failing.insert("Projects\\Alpha");
    outlook.readOnly.insert("($All)");
    ASSERT_EQ(Run(), kRunCompleted);
    const std::string log = Log();
    EXPECT_NE(log.find("..ERROR with Outlook/Exchange. Unable to Open or Create Folder: 'Projects\\Alpha'"),
              std::string::npos);
    EXPECT_NE(log.find("..ERROR with Outlook/Exchange RIGHTS. You do not have create rights in folder '($All)'"),
              std::string::npos);
    EXPECT_NE(log.find("'($Inbox)' - VFEC2"), std::string::npos) << "other views still export";
}

TEST_F(ExportDriverTest, NoComponentsAndOnlyContacts) {
    settings.Components = {};
    ASSERT_EQ(Run(), kRunCompleted);
    EXPECT_EQ(resultText, "");
    EXPECT_EQ(progress.lines.back(), "Completed exporting a total of 0 from 0");
    EXPECT_FALSE(run.mailDatabase.IsOpen());

    settings.Components = {"Contacts"};
    ASSERT_EQ(Run(), kRunCompleted);
    EXPECT_EQ(components.calls,
              (std::vector<std::string>{"Contacts:Address Book:Contacts", "Groups:Address Book:Contacts"}));
    EXPECT_FALSE(catalogue.loaded) << "no catalogue without the mail database";

    components.calls.clear();
    settings.ContactsFormat = 1;  // contacts live in the mailbox
    ASSERT_EQ(Run(), kRunCompleted);
    EXPECT_EQ(components.calls,
              (std::vector<std::string>{"Contacts:Mail of User One:Contacts", "Groups:Mail of User One:Contacts"}));
}

TEST_F(ExportDriverTest, DatabasesThatCannotBeFoundOrOpenedStopBeforeAnyView) {
    inputs.mailServer = "Nowhere";
    EXPECT_EQ(Run(), kRunMailDatabaseNotFound);
    EXPECT_EQ(resultText, "Unable to get specified database. Check server and filename are correct.");

    inputs.mailServer = "";
    dir.Write("mail.dxl", "<database><broken");
    EXPECT_EQ(Run(), kRunDatabaseNotOpened);
    EXPECT_EQ(resultText, "Unable to open specified mailbox mail.dxl on server Local");
    EXPECT_TRUE(dispatcher.seen.empty());
}

TEST_F(ExportDriverTest, NamedPropertiesAndTranslationFileFailures) {
    namedProperties.ok = false;
    EXPECT_EQ(Run(), kRunNamedPropertiesFailed);
    EXPECT_EQ(resultText, "Unable to initialize properties:no store. Unable to continue.");

    namedProperties.ok = true;
    settings.TranslateEmailAddresses = true;
    settings.TranslationFilePath = dir.Write("map.csv", "a,b,c\n");
    EXPECT_EQ(Run(), kRunTranslationOrThreadFailed);
    EXPECT_EQ(resultText,
              "Translation File Error. To Many Delimiters Line 1 See Options - Translate Email Address Options.");
}

TEST_F(ExportDriverTest, EmptyViewStillGetsItsFolderAndJournalSkipsFinishedViews) {
    FakeJournal fake;
    fake.finished.insert("($All)");
    fake.current = "Projects\\Alpha";
    fake.resumeAt = 1;
    journal = &fake;
    dir.Write("mail.dxl", test::MailboxDxl().replace(test::MailboxDxl().find("<folder name='Projects\\Alpha'>"), 0,
                                                     "<folder name='Empty'><noteinfo noteid='24' "
                                                     "unid='0F0F0F0F0F0F0F0F852500000000A024'/></folder>"));
    ASSERT_EQ(Run(), kRunCompleted);
    const std::string log = Log();
    EXPECT_NE(log.find("..Exporting view/folder, 'Empty' - VFEC0\n"), std::string::npos);
    EXPECT_NE(std::find(outlook.opened.begin(), outlook.opened.end(), "Empty"), outlook.opened.end());
    EXPECT_EQ(std::find(outlook.opened.begin(), outlook.opened.end(), "($All)"), outlook.opened.end())
        << "a finished view opens no Outlook folder";
    EXPECT_EQ(log.find("'($All)' - VFEC"), std::string::npos);
    EXPECT_EQ(fake.events.back(), "complete");
    // Resuming Projects\Alpha at index 1 skips its only document.
    const auto alpha = std::find(fake.events.begin(), fake.events.end(), "start Projects\\Alpha");
    ASSERT_NE(alpha, fake.events.end());
    EXPECT_EQ(*(alpha + 1), "view complete");
}

// A view whose Outlook folder could not be had is tried again by a resumed
// export: it is not marked complete; the others are.
TEST_F(ExportDriverTest, AViewWithoutItsOutlookFolderIsNotMarkedComplete) {
    FakeJournal fake;
    journal = &fake;
    outlook.failing = {"Meetings"};
    outlook.readOnly = {"Projects\\Alpha"};
    ASSERT_EQ(Run(), kRunCompleted);
    for (const char* view : {"start Meetings", "start Projects\\Alpha"}) {
        const auto at = std::find(fake.events.begin(), fake.events.end(), view);
        ASSERT_NE(at, fake.events.end()) << view;
        ASSERT_NE(at + 1, fake.events.end());
        EXPECT_NE(*(at + 1), "view complete") << view;
    }
    const auto inbox = std::find(fake.events.begin(), fake.events.end(), "start ($Inbox)");
    ASSERT_NE(inbox, fake.events.end());
    EXPECT_EQ(*(inbox + 3), "view complete") << "after its two documents";
}

// The export is complete only after every selected component; the component
// runs are journaled as views of their own, and a finished one is not run again.
TEST_F(ExportDriverTest, TheExportIsCompleteOnlyAfterEveryComponent) {
    settings.Components = {"Mail", "Calendar", "Tasks"};
    FakeJournal fake;
    fake.finished = {"Tasks"};
    fake.current = "Calendar";
    fake.resumeAt = 5;
    journal = &fake;
    ASSERT_EQ(Run(), kRunCompleted);
    EXPECT_EQ(components.calls, std::vector<std::string>{"Calendar:Mail of User One:Calendar"}) << "Tasks were done before";
    EXPECT_EQ(components.resumedAt, std::vector<std::int32_t>{5});
    ASSERT_GE(fake.events.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(fake.events.end() - 3, fake.events.end()),
              (std::vector<std::string>{"start Calendar", "view complete", "complete"}));

    // A cancel inside the calendar run: neither it nor the export is complete.
    fake.events.clear();
    fake.finished.clear();
    components.calls.clear();
    components.cancelInCalendar = &run.cancelRequested;
    ASSERT_EQ(Run(), kRunCancelled);
    EXPECT_EQ(fake.events.back(), "start Calendar");
    EXPECT_EQ(components.calls.size(), 1u) << "Tasks are not started after the cancel";
}

// Runs the export on a thread of its own, as the worker does, and tells
// whether that thread's Notes session was left initialised.
struct ThreadRun {
    int result = -1;
    bool threadSessionLeft = false;
};

TEST_F(ExportDriverTest, EveryWayOutEndsTheThreadSessionAndClosesTheScratchDatabase) {
    auto runOnThread = [&] {
        ThreadRun out;
        std::thread([&] {
            out.result = Run();
            out.threadSessionLeft = session.IsThreadInitialized();
        }).join();
        return out;
    };
    inputs.mailServer = "Nowhere";
    ThreadRun r = runOnThread();
    EXPECT_EQ(r.result, kRunMailDatabaseNotFound);
    EXPECT_FALSE(r.threadSessionLeft) << "result 200";

    inputs.mailServer = "";
    dir.Write("names.dxl", "<database><broken");
    settings.Components = {"Contacts"};
    r = runOnThread();
    EXPECT_EQ(r.result, kRunDatabaseNotOpened);
    EXPECT_FALSE(r.threadSessionLeft) << "result 201";

    settings.Components = {"Mail"};
    r = runOnThread();
    EXPECT_EQ(r.result, kRunCompleted) << resultText;
    EXPECT_FALSE(r.threadSessionLeft);
    EXPECT_EQ(dispatcher.endRuns, 3) << "the converters' run ends with every run, failed or not";
}

TEST_F(ExportDriverTest, AddressBookThatCannotBeFoundOrOpenedInTheContactsStep) {
    settings.Components = {"Contacts"};
    inputs.addressBookServer = "Nowhere";
    EXPECT_EQ(Run(), kRunAddressBookNotFound);
    EXPECT_EQ(progress.lines.back(), "Unable to open specified address book names.dxl. Check filename is correct.");

    // Neither the mail database nor the first open: the Contacts & Groups step opens it.
    inputs.addressBookServer = "";
    settings.ContactsFormat = 2;
    dir.Write("names.dxl", "<database><broken");
    EXPECT_EQ(Run(), kRunAddressBookNotOpened);
    EXPECT_EQ(resultText, "Unable to open specified database. Make sure you have the appropriate ACL security.");
    EXPECT_TRUE(components.calls.empty());
}

TEST_F(ExportDriverTest, AnyFailureEscapingTheStepsIsCaughtWithItsStep) {
    settings.Components = {"Mail", "Calendar"};
    components.calendarThrowsNonStandard = true;
    EXPECT_EQ(Run(), kRunUnexpectedError);
    EXPECT_EQ(resultText, "~#>ERROR: Unexpected Error [EDCS A S=1497]");
    EXPECT_TRUE(run.errorRaised);
    EXPECT_NE(Log().find("~#>ERROR: Unexpected Error [EDCS A S=1497]\n"), std::string::npos);
    EXPECT_EQ(dispatcher.endRuns, 1);
}

TEST_F(ExportDriverTest, ViewsThatCannotBeLocatedOrFailOutsideTheDocumentsAreCountedAsLost) {
    ASSERT_EQ(Run(), kRunCompleted);
    EXPECT_EQ(run.lostViewCount, 1) << "the view whose formula fails";
    // The catalogue stays loaded for the database: rename one entry so that
    // the next run cannot locate it.
    CatalogueNode* alpha = nullptr;
    for (CatalogueNode* node : catalogue.exportList)
        if (node->outlookPath == "Projects\\Alpha") alpha = node;
    ASSERT_NE(alpha, nullptr);
    alpha->notesName = "No Such View";
    FakeJournal fake;
    fake.failsAt = "Meetings";
    journal = &fake;
    ASSERT_EQ(Run(), kRunCompleted);
    const std::string log = Log();
    EXPECT_NE(log.find("ERROR Unable to export view: Projects\\Alpha\n"), std::string::npos) << log;
    EXPECT_NE(log.find("~#>ERROR..UNEXPECTED VIEW/FOLDER ERROR 10"), std::string::npos) << log;
    EXPECT_EQ(run.lostViewCount, 3);
    EXPECT_FALSE(run.exportedInFull());
    EXPECT_NE(log.find("'($Inbox)' - VFEC2"), std::string::npos) << "the other views still export";
}

TEST_F(ExportDriverTest, AWriteFailureStopsTheRunAsAFailure) {
    settings.Components = {"Mail", "Calendar", "Tasks"};
    FakeJournal fake;
    journal = &fake;
    dispatcher.stopAfter = 3;
    EXPECT_EQ(Run(), kRunWriteFailed);
    EXPECT_EQ(dispatcher.seen.size(), 3u) << "no document after the failure is tried";
    EXPECT_TRUE(components.calls.empty());
    EXPECT_TRUE(run.errorRaised);
    EXPECT_EQ(resultText, "~#>ERROR disk full: /x/y.pst");
    // The status lines end with the failure, then how far the run came.
    ASSERT_GE(progress.lines.size(), 2u);
    EXPECT_EQ(progress.lines[progress.lines.size() - 2], "~#>ERROR disk full: /x/y.pst");
    EXPECT_EQ(progress.lines.back(), "Export stopped (3 exported from 3 before the failure).");
    const std::string log = Log();
    EXPECT_NE(log.find("\n~#>ERROR disk full: /x/y.pst\nExport stopped (3 exported from 3 before the failure)."),
              std::string::npos)
        << log;
    EXPECT_EQ(std::find(fake.events.begin(), fake.events.end(), "complete"), fake.events.end())
        << "a stopped export is resumed, not marked complete";
    EXPECT_EQ(fake.events.back().rfind("doc ", 0), 0u) << "the view is not marked complete either";
    EXPECT_EQ(std::count_if(fake.events.begin(), fake.events.end(),
                            [](const std::string& e) { return e.rfind("doc ", 0) == 0; }),
              2)
        << "the document whose save failed is not recorded: a resumed export tries it again";

    dispatcher.stopAfter.reset();
    dispatcher.seen.clear();
    journal = &off;
    EXPECT_EQ(Run(), kRunCompleted) << "the next run starts clear";
}

TEST_F(ExportDriverTest, DocumentsThatLostAPartAreSummarised) {
    dispatcher.incomplete = {0x100, 0x104};
    ASSERT_EQ(Run(), kRunCompleted);
    // A document shown in several views is exported (and counted) once per view.
    const auto times = std::count_if(dispatcher.seen.begin(), dispatcher.seen.end(),
                                     [&](NOTEID id) { return dispatcher.incomplete.count(id) > 0; });
    EXPECT_EQ(run.incompleteCount, times);
    EXPECT_FALSE(run.exportedInFull());
    const std::string log = Log();
    EXPECT_NE(log.find(fmt::format("Completed exporting a total of 10 from 10\n~#>Warning {} of the exported "
                                   "documents lost an attachment or part of their body.",
                                   times)),
              std::string::npos)
        << log;
}

// The worker on the fixture's run: a window that fails while the worker sets
// it up is reported with the worker's step and the error dialog.
struct ThrowingWindow : ExportWindow {
    std::optional<LNSTATUS> notesError;
    std::vector<std::string> shown;
    void SetExportingState(bool exporting) override {
        if (!exporting) return;
        if (notesError) throw LNStatusError(*notesError);
        throw 7;
    }
    void ShowExportError(const std::string& text) override { shown.push_back(text); }
};

TEST_F(ExportDriverTest, WorkerFailuresOutsideTheRunAreReported) {
    ExportDriver::PrepareComponentFlags(settings, run);
    ExportDriver driver(Environment());
    ThrowingWindow window;
    ExportWorker worker(driver, Environment(), window);
    EXPECT_EQ(worker.Run(inputs, session), 0);
    EXPECT_EQ(run.lastErrorText, "~#>ERROR: Unexpected Error [TF B:200]");
    EXPECT_EQ(window.shown, std::vector<std::string>{"~#>ERROR: Unexpected Error [TF B:200]"});
    EXPECT_FALSE(run.exportInProgress);

    run.errorRaised = false;
    window.shown.clear();
    window.notesError = LNERR_FILE_READ;
    worker.Run(inputs, session);
    EXPECT_EQ(run.lastErrorText.rfind("~#>ERROR: Cannot read", 0), 0u) << run.lastErrorText;
    EXPECT_NE(run.lastErrorText.find(" [TF A S=200]"), std::string::npos) << run.lastErrorText;
    EXPECT_NE(Log().find(run.lastErrorText + "\n"), std::string::npos);
    EXPECT_TRUE(dispatcher.seen.empty());
}

}  // namespace
}  // namespace qb
