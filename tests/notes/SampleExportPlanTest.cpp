// What the sample promises about its export: which Outlook folders receive
// which documents under the shipped rules, and how senders, recipients and
// attachment names must read in the written file.

#include <gtest/gtest.h>

#include "notes/sample/ItemExpectations.h"
#include "notes/sample/MailExpectations.h"
#include "notes/sample/OutlookFolderPlan.h"

using namespace qb::notes::sample;

namespace {

std::vector<ViewDefinition> Views(std::initializer_list<const char*> titles) {
    std::vector<ViewDefinition> views;
    for (const char* title : titles) views.emplace_back().title = title;
    return views;
}

SampleDocument Document(const std::string& form) {
    SampleDocument doc;
    doc.form = form;
    doc.created = SampleTime::Local(2024, 3, 1, 12, 0);
    return doc;
}

long long CountOf(const OutlookFolderPlan& plan, const std::string& path) {
    for (const NamedCount& folder : plan.folders())
        if (folder.name == path) return folder.count;
    return -1;
}

TEST(OutlookFolderPlan, ShippedRulesSelectAndRenameTheViews) {
    OutlookFolderPlan plan(ShippedExportSettings());
    plan.AddViews(Views({"($Inbox)", "($All)", "(Discussion Threads)", "($Trash)", "($SoftDeletions)", "Projects\\Alpha",
                         "(Rules\\Archive)", "Empty", "Projects\\Alpha"}));
    std::vector<std::string> paths;
    for (const NamedCount& folder : plan.folders()) paths.push_back(folder.name);
    // Both trash views fill one folder; a title met twice gets one entry.
    EXPECT_EQ(paths, (std::vector<std::string>{"Inbox", "Deleted Items", "Projects\\Alpha", "(Rules\\Archive)", "Empty"}));
    EXPECT_EQ(CountOf(plan, "Empty"), 0);
}

TEST(OutlookFolderPlan, MailIsCountedOncePerSelectedViewHoldingIt) {
    OutlookFolderPlan plan(ShippedExportSettings());
    plan.AddViews(Views({"($Inbox)", "($All)", "($Trash)", "($SoftDeletions)", "Projects"}));
    const auto placed = plan.Place(Document("Memo"), {"($Inbox)", "($All)", "Projects", "Projects"});
    EXPECT_EQ(placed, (std::vector<std::string>{"Inbox", "Projects"}));
    // In both trash views: two items in one Outlook folder.
    EXPECT_EQ(plan.Place(Document(""), {"($Trash)", "($SoftDeletions)"}).size(), 2u);
    EXPECT_EQ(CountOf(plan, "Deleted Items"), 2);
    EXPECT_EQ(CountOf(plan, "Inbox"), 1);
}

TEST(OutlookFolderPlan, CalendarEntriesAndTasksCountTheirInstances) {
    OutlookFolderPlan plan(ShippedExportSettings());
    plan.AddViews(Views({"Important"}));
    // Without a type an entry is no calendar entry: nothing.
    EXPECT_TRUE(plan.Place(Document("Appointment"), {"Important"}).empty());
    // A task without dates is one undated task.
    EXPECT_EQ(plan.Place(Document("Task"), {"Important"}).size(), 1u);
    EXPECT_EQ(plan.Place(Document("Notice"), {"Important"}).size(), 1u);

    // Three days of one all-day event: one start, three calendar dates.
    SampleDocument fair = Document("Appointment");
    fair.AddText("AppointmentType", "2");
    fair.AddTimes("StartDateTime", {SampleTime::Local(2030, 7, 1, 0, 0)});
    fair.AddTimes("CalendarDateTime", {SampleTime::Local(2030, 7, 1, 0, 0), SampleTime::Local(2030, 7, 2, 0, 0),
                                       SampleTime::Local(2030, 7, 3, 0, 0)});
    EXPECT_EQ(CalendarItemCount(fair), 3);
    EXPECT_EQ(plan.Place(fair, {"Important"}).size(), 1u);
    EXPECT_EQ(CountOf(plan, "Important"), 5);

    // A repeating task: one per start, one undated without any.
    SampleDocument series = Document("Task");
    series.AddText("Repeats", "1");
    EXPECT_EQ(CalendarItemCount(series), 1);
    series.AddTimes("StartDateTime", {SampleTime::Local(2030, 8, 4, 0, 0), SampleTime::Local(2030, 8, 11, 0, 0)});
    EXPECT_EQ(CalendarItemCount(series), 2);
    // The date filter leaves out instances one by one.
    const SampleTime from = SampleTime::Local(2030, 8, 10, 0, 0);
    EXPECT_EQ(CalendarItemCount(series, SampleDateRange{from.utcSeconds, from.PlusDays(30).utcSeconds}), 1);
    EXPECT_EQ(CalendarItemCount(Document("Memo")), 0);
}

TEST(OutlookFolderPlan, DateFilterKeepsBothBoundsAndDatesByDelivery) {
    const SampleTime from = SampleTime::Local(2024, 1, 1, 0, 0);
    const SampleTime to = SampleTime::Local(2024, 12, 31, 23, 59, 59);
    OutlookFolderPlan plan(ShippedExportSettings(), CountMailItems(SampleDateRange{from.utcSeconds, to.utcSeconds}));
    plan.AddViews(Views({"Archive"}));
    auto delivered = [](SampleTime when) {
        SampleDocument doc = Document("Memo");
        doc.created = SampleTime::Local(2020, 1, 1, 0, 0);  // outside: the delivery date decides
        doc.AddTimes("DeliveredDate", {when});
        return doc;
    };
    EXPECT_EQ(plan.Place(delivered(from), {"Archive"}).size(), 1u);
    EXPECT_EQ(plan.Place(delivered(to), {"Archive"}).size(), 1u);
    EXPECT_TRUE(plan.Place(delivered(from.PlusMinutes(-1)), {"Archive"}).empty());
    EXPECT_TRUE(plan.Place(delivered(to.PlusMinutes(1)), {"Archive"}).empty());
    SampleDocument draft = Document("Memo");  // no delivery date: its creation time
    EXPECT_EQ(plan.Place(draft, {"Archive"}).size(), 1u);
    SampleDocument textDate = Document("Memo");
    textDate.created = SampleTime::Local(2019, 5, 1, 0, 0);
    textDate.AddText("DeliveredDate", "2024-06-01");  // not a time: the creation time again
    EXPECT_TRUE(plan.Place(textDate, {"Archive"}).empty());
    EXPECT_EQ(CountOf(plan, "Archive"), 3);
}

TEST(MailExpectations, AddressFormsOfSendersAndRecipients) {
    auto expect = [](const std::string& text, const std::string& name, const std::string& address) {
        const ExpectedAddress got = ExpectedAddressOf(text);
        EXPECT_EQ(got.name, name) << text;
        EXPECT_EQ(got.address, address) << text;
    };
    expect("CN=Anna Müller/OU=Berlin/O=Acme", "Anna Müller", "Anna Müller/Berlin/Acme");
    expect("CN=Olivier Dubois/OU=Paris/O=Acme@AcmeFrance", "Olivier Dubois", "Olivier Dubois/Paris/Acme@AcmeFrance");
    expect("CN=Sven O'Neill/O=Acme", "Sven O'Neill", "Sven O'Neill/Acme");
    expect("\"Bob Baker\" <bob@example.com>", "Bob Baker", "bob@example.com");
    expect("dana.kim@mail.example.net", "dana.kim@mail.example.net", "dana.kim@mail.example.net");
    expect("Sales Team", "Sales Team", "Sales Team");
    expect("", "", "");
}

TEST(MailExpectations, AttachmentNamesAreMadeSafe) {
    EXPECT_EQ(ExpectedAttachmentNames({"C:\\docs\\report.pdf", "notes: draft?*.txt", "setup.exe", "tool.EXE", "README"},
                                      true),
              (std::vector<std::string>{"report.pdf", "notes  draft  .txt", "setup.EX~", "tool.EX~", "README"}));
    EXPECT_EQ(ExpectedAttachmentNames({"setup.exe"}, false), std::vector<std::string>{"setup.exe"});
    // An empty safe name falls back to a numbered one with the last extension seen.
    EXPECT_EQ(ExpectedAttachmentNames({"?*", "a.pdf", "*", "|"}, true),
              (std::vector<std::string>{"FILE1.", "a.pdf", "FILE2.pdf", "FILE3.pdf"}));
}

}  // namespace
