// The component runs on the in-memory store: selection by the fixed
// formulas, the destination folder with its class, the rights check, the
// messages and the counting.

#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

#include "CalendarTestSupport.h"
#include "convert/ComponentRunner.h"
#include "convert/ContactConverter.h"
#include "convert/GroupConverter.h"

namespace qb {
namespace {

using test::EntryDxl;
using test::TextItem;
using test::Times;

// The folders of another session, without the right to create items.
class ReadOnlyFolders : public CMapiSession {
public:
    explicit ReadOnlyFolders(CMapiSession& real) : real_(real) {}
    std::optional<FolderHandle> OpenFolderPath(const std::string& path, const std::string& containerClass) override {
        auto folder = real_.OpenFolderPath(path, containerClass);
        if (folder) {
            folder->rightsKnown = true;
            folder->rights = 0x1;
        }
        return folder;
    }

private:
    CMapiSession& real_;
};

// Records what a run writes into the journal.
class JournalRecorder : public RecoveryHooks {
public:
    bool IsOn() const override { return true; }
    bool ShouldExportView(std::uint32_t, const std::string&, ResumePoint&) override { return true; }
    bool StartView(std::uint32_t, const std::string&) override { return true; }
    bool RecordDocument(std::int32_t index, std::uint32_t, const std::string& universalId) override {
        recorded.emplace_back(index, universalId);
        return true;
    }
    bool MarkViewFolderComplete() override { return true; }
    bool MarkComplete() override { return true; }
    std::vector<std::pair<std::int32_t, std::string>> recorded;
};

class ComponentRunnerTest : public test::CalendarFixture {
protected:
    void Documents() {
        Load(EntryDxl(1, "Appointment",
                      TextItem("Subject", "Selected") + TextItem("AppointmentType", "0") +
                          Times("StartDateTime", {"20300101T090000,00+01"}) +
                          Times("CalendarDateTime", {"20300101T090000,00+01"})) +
             EntryDxl(2, "Appointment",
                      TextItem("Subject", "Without a calendar date") + TextItem("AppointmentType", "0") +
                          Times("StartDateTime", {"20300102T090000,00+01"})) +
             EntryDxl(3, "Task", TextItem("Subject", "Hidden") + TextItem("ExcludeFromView", "T")));
    }
    void RunCalendar(CMapiSession& session, const std::optional<ResumePoint>& resume = std::nullopt) {
        CalendarConverter calendar(EntryContext{run, settings, log, progress, session, tempFolder});
        TaskConverter task(EntryContext{run, settings, log, progress, session, tempFolder});
        UnavailableConverter mail(log, "Mail");
        FormDispatcher dispatcher(mail, calendar, task);
        ComponentRunner runner(ComponentContext{run, log, progress, session}, dispatcher);
        if (resume) runner.ResumeAt(journal, *resume);
        runner.ExportCalendarEntries(this->session, database, "Calendar");
        runner.ExportTaskEntries(this->session, database, "Tasks");
        runner.ExportContactEntries(this->session, database, "Contacts");
    }
    // Contacts and groups of the mailbox into one folder.
    void RunContactsAndGroups(CMapiSession& session) {
        Load(EntryDxl(1, "Person", TextItem("FirstName", "Ann") + TextItem("LastName", "Lee")) +
             EntryDxl(2, "Group", TextItem("ListName", "Board") + TextItem("Members", "a@example.com")) +
             EntryDxl(3, "Memo", TextItem("Subject", "Not an address")));
        AddressTranslator translator;
        const AddressBookContext context{run, settings, log, progress, session, translator, tempFolder};
        ContactConverter contacts(context);
        GroupConverter groups(context);
        UnavailableConverter unused(log, "Mail");
        FormDispatcher dispatcher(unused, unused, unused);
        ComponentRunner runner(ComponentContext{run, log, progress, session}, dispatcher, &contacts, &groups);
        runner.ExportContactEntries(this->session, database, "Contacts");
        runner.ExportGroupEntries(this->session, database, "Contacts");
    }
    std::optional<std::string> ContainerClass(const std::string& name) {
        auto found = outlook.OpenFolder(outlook.specialFolders[kTopOfStoreFolder].get(), name);
        if (!found) return std::nullopt;
        mapi::MapiBuffer<SPropValue> value;
        if (FAILED(HrGetOneProp(found->folder.get(), PR_CONTAINER_CLASS, value.Put()))) return std::string();
        return std::string(value->Value.lpszA);
    }
    ULONG ItemsIn(const std::string& name) {
        auto found = outlook.OpenFolder(outlook.specialFolders[kTopOfStoreFolder].get(), name);
        if (!found) return 0;
        mapi::MapiPtr<IMAPITable> contents;
        ULONG count = 0;
        if (SUCCEEDED(found->folder->GetContentsTable(0, contents.Put()))) contents->GetRowCount(0, &count);
        return count;
    }
    JournalRecorder journal;
};

TEST_F(ComponentRunnerTest, RunsSelectByFormulaIntoFoldersOfTheirClass) {
    // Besides these, the mailbox holds a meeting without a type and a task.
    Documents();
    RunCalendar(outlook);
    const std::string log = Log();
    EXPECT_NE(log.find("\nExporting Calendar Entry Documents\nExporting 2 Calendar Entries\n"
                       "..Export Entry 0..Exporting Entry 1 Subject: Meeting....Non Calendar Entry so not exported\n"
                       "..Export Entry 1..Exporting Entry 1 Subject: Selected\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("\nExporting Task Documents\nExporting 1, Task Entries\n..Exporting Task Entries\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("Hidden"), std::string::npos) << "a task excluded from view is not selected";
    EXPECT_EQ(log.find("Without a calendar date"), std::string::npos);
    EXPECT_NE(log.find("The Contacts component is not available"), std::string::npos) << log;
    EXPECT_EQ(run.processedCount, 3);
    EXPECT_EQ(run.exportedCount, 2);
    EXPECT_EQ(run.filteredCount, 1);
    EXPECT_EQ(ContainerClass("Calendar"), "IPF.Appointment");
    EXPECT_EQ(ContainerClass("Tasks"), "IPF.Task");
}

TEST_F(ComponentRunnerTest, FolderWithoutCreateRightStopsTheRun) {
    Documents();
    ReadOnlyFolders readOnly(outlook);
    RunCalendar(readOnly);
    EXPECT_NE(Log().find("..ERROR with Outlook/Exchange RIGHTS. You do not have create rights in folder 'Calendar'\n"),
              std::string::npos)
        << Log();
    EXPECT_EQ(run.processedCount, 0);
}

TEST_F(ComponentRunnerTest, ContactsAndGroupsGoIntoOneContactFolderWithTheirRights) {
    RunContactsAndGroups(outlook);
    EXPECT_NE(Log().find("\nExporting Contact Documents\nExporting 1, Contact Entries\n..Exporting Contact Entries\n"),
              std::string::npos)
        << Log();
    EXPECT_NE(Log().find("\nExporting Group Documents\nExporting 1, Group Entries\n..Exporting Contact Entries\n"),
              std::string::npos)
        << Log();
    EXPECT_EQ(ContainerClass("Contacts"), "IPF.Contact");
    EXPECT_EQ(ItemsIn("Contacts"), 2u);
    EXPECT_EQ(run.exportedCount, 2);
}

TEST_F(ComponentRunnerTest, AContactFolderWithoutCreateRightStopsTheRun) {
    ReadOnlyFolders readOnly(outlook);
    RunContactsAndGroups(readOnly);
    EXPECT_NE(Log().find("..ERROR with Outlook/Exchange RIGHTS. You do not have create rights in folder 'Contacts'\n"),
              std::string::npos)
        << Log();
    EXPECT_EQ(run.exportedCount, 0);
}

// A resumed run starts where its journal says, records every entry it takes,
// and does not write again an entry saved after the last recorded one.
TEST_F(ComponentRunnerTest, AResumedRunStartsAtItsPointAndWritesNothingTwice) {
    Documents();
    ResumePoint fresh;
    RunCalendar(outlook, fresh);
    ASSERT_EQ(ItemsIn("Calendar"), 1u);
    ASSERT_EQ(journal.recorded.size(), 2u) << "both calendar entries (the task run was not resumed)";
    EXPECT_EQ(journal.recorded[0].first, 0);
    EXPECT_EQ(journal.recorded[1].first, 1);
    const std::string meetingId = journal.recorded[0].second;
    ASSERT_FALSE(meetingId.empty());

    // As if the run had been killed after saving entry 1 but before
    // recording it: the journal's last entry is entry 0.
    journal.recorded.clear();
    const auto exportedBefore = run.exportedCount;
    ResumePoint interrupted;
    interrupted.startIndex = 1;
    interrupted.resumed = true;
    interrupted.lastUniversalId = meetingId;
    RunCalendar(outlook, interrupted);
    EXPECT_EQ(ItemsIn("Calendar"), 1u) << "the saved entry is not written again";
    EXPECT_NE(Log().find("....Instance 1 was saved before the interruption: not written again\n"), std::string::npos)
        << Log();
    ASSERT_FALSE(journal.recorded.empty());
    EXPECT_EQ(journal.recorded[0].first, 1) << "the run starts at its point";
    EXPECT_EQ(run.exportedCount - exportedBefore, 1 + 1) << "the entry found counts as exported, and so does the task";
}

}  // namespace
}  // namespace qb
