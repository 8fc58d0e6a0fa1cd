// The component runs on the in-memory store: selection by the fixed
// formulas, the destination folder with its class, the rights check, the
// messages and the counting.

#include <gtest/gtest.h>

#include "CalendarTestSupport.h"
#include "convert/ComponentRunner.h"

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
    void RunCalendar(CMapiSession& session) {
        CalendarConverter calendar(EntryContext{run, settings, log, progress, session, tempFolder});
        TaskConverter task(EntryContext{run, settings, log, progress, session, tempFolder});
        UnavailableConverter mail(log, "Mail");
        FormDispatcher dispatcher(mail, calendar, task);
        ComponentRunner runner(ComponentContext{run, log, progress, session}, dispatcher);
        runner.ExportCalendarEntries(this->session, database, "Calendar");
        runner.ExportTaskEntries(this->session, database, "Tasks");
        runner.ExportContactEntries(this->session, database, "Contacts");
    }
    std::optional<std::string> ContainerClass(const std::string& name) {
        auto found = outlook.OpenFolder(outlook.specialFolders[kTopOfStoreFolder].get(), name);
        if (!found) return std::nullopt;
        mapi::MapiBuffer<SPropValue> value;
        if (FAILED(HrGetOneProp(found->folder.get(), PR_CONTAINER_CLASS, value.Put()))) return std::string();
        return std::string(value->Value.lpszA);
    }
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

}  // namespace
}  // namespace qb
