// Calendar entries and tasks converted into the in-memory store: instances,
// all-day timing in several zones and across clock changes, reminders,
// single date items, bodies, recipients, counting and the failures that end
// one item only.

#include <gtest/gtest.h>

#include <stdexcept>

#include "CalendarTestSupport.h"

namespace qb {
namespace {

using test::EntryDxl;
using test::Number;
using test::TextItem;
using test::TextListItem;
using test::Times;
using test::Utc;

constexpr std::time_t kHour = 3600;
constexpr std::time_t kDay = 86400;

class CalendarConverterTest : public test::CalendarFixture {};

// A zone and how many hours its local midnight lies after UTC midnight, in
// winter and in summer.
struct Zone {
    const char* name;
    int winterHours;
    int summerHours;
};

class AllDayZoneTest : public test::CalendarFixture, public ::testing::WithParamInterface<Zone> {};

TEST_P(AllDayZoneTest, AllDayItemsRunFromLocalMidnightToTheNext) {
    const Zone zone = GetParam();
    const test::ScopedEnv tz("TZ", zone.name);
    Load(
        // Three days as Notes writes them: one start, one end, a date per day.
        EntryDxl(1, "Appointment",
                 TextItem("Subject", "Trade fair") + TextItem("AppointmentType", "2") +
                     Times("StartDateTime", {"20300701T000000,00+02"}) +
                     Times("EndDateTime", {"20300703T235900,00+02"}) +
                     Times("CalendarDateTime",
                           {"20300701T000000,00+02", "20300702T000000,00+02", "20300703T000000,00+02"})) +
        // Winter, as a date alone.
        EntryDxl(2, "Appointment",
                 TextItem("Subject", "Winter day") + TextItem("AppointmentType", "2") + Times("StartDateTime", {"20300115"}) +
                     Times("CalendarDateTime", {"20300115"})) +
        // The day Europe leaves summer time, and the one America does.
        EntryDxl(3, "Appointment",
                 TextItem("Subject", "Clock change") + TextItem("AppointmentType", "2") + TextItem("Repeats", "1") +
                     Times("StartDateTime", {"20301027", "20301103"}) +
                     Times("CalendarDateTime", {"20301027", "20301103"})));
    for (int n = 1; n <= 3; ++n) ConvertEntry(n);
    const auto items = Items();
    ASSERT_EQ(items.size(), 6u) << Log();
    for (int day = 0; day < 3; ++day) {
        SCOPED_TRACE(day);
        const auto& item = items[day];
        EXPECT_EQ(item.messageClass, "IPM.Appointment");
        EXPECT_EQ(item.allDay, true);
        EXPECT_EQ(item.start, Utc(2030, 7, 1 + day) + zone.summerHours * kHour);
        EXPECT_EQ(item.end, *item.start + kDay);
        EXPECT_EQ(item.duration, 1440);
    }
    EXPECT_EQ(items[3].start, Utc(2030, 1, 15) + zone.winterHours * kHour);
    EXPECT_EQ(items[3].end, Utc(2030, 1, 16) + zone.winterHours * kHour);
    // Across a clock change the day is 25 hours long where the change falls
    // on it, and still one day of 1440 minutes.
    const bool europe = std::string(zone.name).starts_with("Europe/");
    EXPECT_EQ(items[4].start, Utc(2030, 10, 27) + zone.summerHours * kHour);
    EXPECT_EQ(items[4].end, Utc(2030, 10, 28) + (europe ? zone.winterHours : zone.summerHours) * kHour);
    EXPECT_EQ(items[5].start, Utc(2030, 11, 3) + (europe ? zone.winterHours : zone.summerHours) * kHour);
    EXPECT_EQ(items[5].end, Utc(2030, 11, 4) + zone.winterHours * kHour);
    EXPECT_EQ(items[4].duration, 1440);
    EXPECT_EQ(run.exportedCount, 3);
}

INSTANTIATE_TEST_SUITE_P(Zones, AllDayZoneTest,
                         ::testing::Values(Zone{"Europe/Berlin", -1, -2}, Zone{"America/New_York", 5, 4}),
                         [](const auto& info) { return std::string(info.param.name).substr(0, 6); });

TEST_F(CalendarConverterTest, TimedEntriesKeepTheirInstantAndRemindBeforeTheStart) {
    const test::ScopedEnv tz("TZ", "America/Los_Angeles");
    Load(EntryDxl(1, "Appointment",
                  TextItem("Subject", "Besprechung München") + TextItem("AppointmentType", "3") +
                      Times("StartDateTime", {"20300915T133000,00+02"}) +
                      Times("EndDateTime", {"20300915T153000,00+02"}) +
                      Times("CalendarDateTime", {"20300915T133000,00+02"}) +
                      TextItem("Location", "Besprechung München") + TextItem("Alarms", "1") + Number("$AlarmOffset", -30) +
                      TextItem("OrgConfidential", "1") + TextItem("Categories", "PC")) +
         EntryDxl(2, "Appointment",
                  TextItem("Subject", "Past") + TextItem("AppointmentType", "0") +
                      Times("StartDateTime", {"20240312T100000,00+01"}) + TextItem("Alarms", "1") +
                      Number("$AlarmOffset", -15)) +
         EntryDxl(3, "Appointment",
                  TextItem("Subject", "Alarm after the start") + TextItem("AppointmentType", "4") +
                      Times("StartDateTime", {"20310131T160000,00+01"}) + TextItem("Alarms", "1") +
                      Number("$AlarmOffset", 5)));
    for (int n = 1; n <= 3; ++n) ConvertEntry(n);
    const auto items = Items();
    ASSERT_EQ(items.size(), 3u) << Log();
    const auto& meeting = items[0];
    EXPECT_EQ(meeting.start, Utc(2030, 9, 15, 11, 30));
    EXPECT_EQ(meeting.end, Utc(2030, 9, 15, 13, 30));
    EXPECT_EQ(meeting.duration, 120);
    EXPECT_EQ(meeting.allDay, false);
    EXPECT_EQ(meeting.subject, "Besprechung München");
    EXPECT_EQ(meeting.location, "Besprechung München");
    EXPECT_EQ(meeting.reminderSet, true);
    EXPECT_EQ(meeting.reminderDelta, 30);
    EXPECT_EQ(meeting.signal, Utc(2030, 9, 15, 11, 0)) << "the reminder fires 30 minutes before the start";
    EXPECT_EQ(meeting.reminderTime, meeting.start);
    EXPECT_EQ(meeting.sensitivity, 2);
    EXPECT_EQ(meeting.busy, 2);

    EXPECT_EQ(items[1].reminderSet, false) << "an entry in the past gets no reminder";
    EXPECT_EQ(items[1].start, Utc(2024, 3, 12, 9, 0));
    EXPECT_EQ(items[2].reminderSet, true);
    EXPECT_EQ(items[2].reminderDelta, 0) << "an alarm after the start rings at the start";
    EXPECT_EQ(items[2].signal, items[2].start);
    EXPECT_EQ(items[2].end, items[2].start) << "without an end the end is the start";
}

TEST_F(CalendarConverterTest, DamagedEntriesAreLoggedAndTheNextOneExports) {
    Load(EntryDxl(1, "Appointment", TextItem("Subject", "No start") + TextItem("AppointmentType", "0") +
                                        Times("CalendarDateTime", {"20300101T090000,00+01"})) +
         EntryDxl(2, "Appointment", TextItem("Subject", "Bad days") + TextItem("AppointmentType", "2") +
                                        Times("StartDateTime", {"20300101T000000,00+01"}) +
                                        TextItem("CalendarDateTime", "not a date")) +
         EntryDxl(3, "Appointment", TextItem("Subject", "No type") + Times("StartDateTime", {"20300101T090000,00+01"})) +
         EntryDxl(4, "Appointment", TextItem("Subject", "Fine") + TextItem("AppointmentType", "0") +
                                        Times("StartDateTime", {"20300101T090000,00+01"})));
    for (int n = 1; n <= 4; ++n) ConvertEntry(n);
    const std::string log = Log();
    EXPECT_NE(log.find("..Exporting Entry 1 Subject: No start....Calendar Entry contained no StartDateTime. "
                       "Can not export.\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Subject: Bad days....Calendar Entry can not get CalendarDateTime. Can not export.\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Subject: No type....Non Calendar Entry so not exported\n"), std::string::npos) << log;
    const auto items = Items();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].subject, "Fine");
    EXPECT_EQ(run.exportedCount, 1);
    EXPECT_EQ(run.filteredCount, 1) << "an entry without a type is left out by rule, not lost";
}

TEST_F(CalendarConverterTest, BodiesOfEveryKindAndNoBlankAttendees) {
    std::string longText;
    while (longText.size() < 70000) longText += "Zeile mit Text über den Termin. ";
    Load(EntryDxl(1, "Appointment",
                  TextItem("Subject", "Plain") + TextItem("AppointmentType", "3") +
                      Times("StartDateTime", {"20300101T090000,00+01"}) + TextItem("Body", "Agenda follows") +
                      TextListItem("SendTo", {"CN=User One/O=Org", ""}) + TextListItem("CopyTo", {""}) +
                      TextListItem("RequiredAttendees", {"CN=User One/O=Org", "someone@example.com"})) +
         EntryDxl(2, "Appointment",
                  TextItem("Subject", "List") + TextItem("AppointmentType", "0") +
                      Times("StartDateTime", {"20300101T090000,00+01"}) + TextListItem("Body", {"one", "two"})) +
         EntryDxl(3, "Appointment",
                  TextItem("Subject", "Rich") + TextItem("AppointmentType", "0") +
                      Times("StartDateTime", {"20300101T090000,00+01"}) +
                      "<item name='Body'><richtext><par>" + longText + "</par></richtext></item>"));
    for (int n = 1; n <= 3; ++n) ConvertEntry(n);
    const auto items = Items();
    ASSERT_EQ(items.size(), 3u) << Log();
    EXPECT_EQ(items[0].body, "Agenda follows");
    EXPECT_EQ(items[0].recipients,
              (std::vector<std::pair<std::string, LONG>>{{"User One/Org", 1}, {"someone@example.com", 1}}))
        << "no chair, empty names and repeats give no rows";
    EXPECT_EQ(items[1].body, "one\ntwo");
    EXPECT_GE(items[2].body.size(), longText.size() - 2) << "rich text longer than 64 KB is read whole";
    EXPECT_NE(items[2].body.find("über den Termin"), std::string::npos);
}

// Saves that fail or throw for chosen calls.
class FailingCalendarConverter : public CalendarConverter {
public:
    using CalendarConverter::CalendarConverter;
    int calls = 0;
    int failAt = -1, throwAt = -1;

protected:
    HRESULT Save(AppointmentRecord& record) override {
        const int call = calls++;
        if (call == failAt) return E_FAIL;
        if (call == throwAt) throw std::runtime_error("disk on fire");
        return CalendarConverter::Save(record);
    }
};

TEST_F(CalendarConverterTest, OnlySavedItemsCountAndAFailureEndsOneInstance) {
    Load(EntryDxl(1, "Appointment",
                  TextItem("Subject", "Weekly") + TextItem("AppointmentType", "0") + TextItem("Repeats", "1") +
                      Times("StartDateTime", {"20300107T090000,00+01", "20300114T090000,00+01",
                                              "20300121T090000,00+01"})) +
         EntryDxl(2, "Appointment",
                  TextItem("Subject", "Once") + TextItem("AppointmentType", "0") +
                      Times("StartDateTime", {"20300107T090000,00+01"})));
    FailingCalendarConverter converter(Context());
    converter.throwAt = 1;
    Convert(converter, 1);
    EXPECT_EQ(Items().size(), 2u) << "the instances before and after the failure are saved";
    EXPECT_NE(Log().find("....~#>ERROR Unexpected error while saving calendar entry: [1700]"), std::string::npos)
        << Log();
    EXPECT_NE(Log().find(" [Repeats = 3]\n"), std::string::npos);
    EXPECT_EQ(run.exportedCount, 0) << "an entry with a lost instance is not exported in full";
    converter.failAt = 3;
    Convert(converter, 2);
    EXPECT_EQ(run.exportedCount, 0) << "a failed save is not counted";
    EXPECT_NE(Log().find("....~#>ERROR Unable to save calendar entry"), std::string::npos) << Log();
}

class TaskConverterTest : public test::CalendarFixture {};

TEST_F(TaskConverterTest, SingleDatesRepeatsAndCompletion) {
    const test::ScopedEnv tz("TZ", "Asia/Tokyo");
    Load(EntryDxl(1, "Task",
                  TextItem("Subject", "Renew passport") + Times("StartDateTime", {"20310301T090000,00+01"}) +
                      Times("DueDateTime", {"20310331T090000,00+02"}) + TextItem("Alarms", "1") +
                      Number("$AlarmOffset", -30) + TextItem("Importance", "1") + TextItem("From", "CN=User Two/O=Org") +
                      TextListItem("SendTo", {"CN=User One/O=Org", ""}) + TextListItem("CopyTo", {""})) +
         EntryDxl(2, "Task",
                  TextItem("Subject", "Water the plants") + TextItem("Repeats", "1") +
                      Times("StartDateTime", {"20300804T000000,00+02", "20300811T000000,00+02",
                                              "20300818T000000,00+02"}) +
                      Times("DueDateTime", {"20300805T000000,00+02", "20300812T000000,00+02"})) +
         EntryDxl(3, "Task", TextItem("Subject", "Repeating without dates") + TextItem("Repeats", "1")) +
         EntryDxl(4, "Task",
                  TextItem("Subject", "Done") + Times("StartDateTime", {"20240506T000000,00+02"}) +
                      Times("CompletedDateTime", {"20240507T152000,00+02"}) + Number("DueState", 9) +
                      TextItem("Importance", "3")));
    for (int n = 1; n <= 4; ++n) ConvertTask(n);
    const auto items = Items();
    ASSERT_EQ(items.size(), 6u) << Log();
    const auto& passport = items[0];
    EXPECT_EQ(passport.messageClass, "IPM.Task");
    EXPECT_EQ(passport.taskStart, Utc(2031, 3, 1, 8, 0)) << "a single date item counts like a list";
    EXPECT_EQ(passport.due, Utc(2031, 3, 31, 7, 0));
    EXPECT_EQ(passport.reminderSet, true);
    EXPECT_EQ(passport.reminderTime, Utc(2031, 3, 1, 7, 30));
    EXPECT_EQ(passport.signal, passport.reminderTime);
    EXPECT_EQ(passport.importance, 2);
    EXPECT_EQ(passport.owner, "User Two/Org");
    EXPECT_EQ(passport.recipients, (std::vector<std::pair<std::string, LONG>>{{"User One/Org", 1}}));

    EXPECT_EQ(items[1].due, Utc(2030, 8, 4, 22, 0));
    EXPECT_EQ(items[2].due, Utc(2030, 8, 11, 22, 0));
    EXPECT_EQ(items[3].taskStart, Utc(2030, 8, 17, 22, 0));
    EXPECT_FALSE(items[3].due) << "the third repeat has no due date";
    EXPECT_FALSE(items[4].taskStart);
    EXPECT_FALSE(items[4].due);
    EXPECT_FALSE(items[4].signal) << "no reminder time without a date (no 1601 dates)";
    EXPECT_NE(Log().find("....Repeating task without a start date exported once, undated: Repeating without dates"),
              std::string::npos)
        << Log();
    EXPECT_EQ(items[5].complete, true);
    EXPECT_EQ(items[5].status, 2);
    EXPECT_EQ(items[5].percent, 1.0);
    EXPECT_EQ(items[5].importance, 0);
    EXPECT_EQ(items[5].reminderSet, false);
    EXPECT_EQ(run.exportedCount, 4);
}

}  // namespace
}  // namespace qb
