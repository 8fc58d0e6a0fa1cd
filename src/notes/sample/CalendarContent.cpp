#include "notes/sample/CalendarContent.h"

#include <fmt/format.h>

#include "notes/sample/SamplePeople.h"

namespace qb::notes::sample {
namespace {

const std::vector<std::string>& Notes() {
    static const std::vector<std::string> notes = {
        "Please bring the latest figures.",
        "Agenda follows by mail.",
        "Dial-in: +49 40 1234 5678, code 4711.",
        "Grüße aus Hamburg — bis bald.",
        "Room booked until noon & coffee ordered.",
    };
    return notes;
}

std::vector<SampleTime> Every(SampleTime first, int count, int days) {
    std::vector<SampleTime> times;
    for (int i = 0; i < count; ++i) times.push_back(first.PlusDays(i * days));
    return times;
}

}  // namespace

SampleDocument NewMailboxDocument(SampleRandom& random, SampleDatabase& database, const std::string& form,
                                  const SampleTime& created, bool noteForm) {
    SampleDocument doc;
    doc.form = form;
    doc.noteForm = noteForm;
    doc.created = created;
    doc.modified = created.PlusMinutes(random.Between(1, 600));
    doc.updatedBy = MailboxOwner().notesName;
    doc.unid = database.NewUnid();
    return doc;
}

SampleTime CalendarContent::RandomStart() {
    static const std::vector<int> years = {2024, 2025, 2029, 2030, 2031};
    return SampleTime::Local(random_.Pick(years), random_.Between(1, 12), random_.Between(1, 28),
                             random_.Between(7, 17), random_.Chance(50) ? 0 : 30);
}

void CalendarContent::AddBasics(SampleDocument& doc, const std::string& type, const std::vector<SampleTime>& starts,
                                int durationMinutes, bool repeats) {
    doc.AddText("AppointmentType", type);
    std::vector<SampleTime> ends;
    for (const SampleTime& start : starts) ends.push_back(start.PlusMinutes(durationMinutes));
    doc.AddTimes("StartDateTime", starts);
    doc.AddTimes("EndDateTime", ends);
    doc.AddTimes("CalendarDateTime", starts);
    doc.AddTimes("StartDate", {starts.front()});
    doc.AddTimes("EndDate", {ends.front()});
    if (repeats) {
        doc.AddText("Repeats", "1");
        doc.AddTimes("RepeatInstanceDates", starts);
    }
    doc.AddText("$CSVersion", "2");
}

void CalendarContent::AddMeeting(SampleDocument& doc, const SampleTime& created, bool chair, long long index) {
    const SamplePerson& other = SamplePeople()[static_cast<std::size_t>(index) % SamplePeople().size()];
    doc.AddTextList("Chair", {chair ? MailboxOwner().notesName : other.notesName.empty() ? other.internet
                                                                                          : other.notesName});
    doc.AddTextList("RequiredAttendees",
                    {MailboxOwner().notesName, SamplePeople()[0].notesName, SamplePeople()[7].internet});
    doc.AddTextList("OptionalAttendees", {SamplePeople()[3].notesName});
    doc.AddTextList("FYIAttendees", {SamplePeople()[4].notesName});
    doc.AddTextList("SendTo", {SamplePeople()[0].notesName, SamplePeople()[7].internet});
    doc.AddTextList("CopyTo", {SamplePeople()[3].notesName, ""});
    doc.AddText("From", chair ? MailboxOwner().notesName : other.notesName.empty() ? other.internet : other.notesName);
    doc.AddTimes("PostedDate", {created});
}

void CalendarContent::AddBody(SampleDocument& doc, long long index) {
    if (index % 2 == 0) {
        // Notes keeps a short plain description as a text item.
        SampleItem& body = doc.AddText("Body", random_.Pick(Notes()));
        body.summary = false;
        return;
    }
    SampleItem& body = doc.Add("Body", ItemKind::RichText);
    for (int i = 0; i < 2; ++i) {
        RichParagraph paragraph;
        RichRun run;
        run.text = random_.Pick(Notes());
        if (i == 1) run.style = "bold";
        paragraph.runs.push_back(run);
        body.paragraphs.push_back(paragraph);
    }
}

void CalendarContent::WriteEntry(long long index) {
    const SampleTime created = SampleTime::Local(2023, 11, 1, 9, 0).PlusDays(static_cast<int>(index % 700));
    SampleDocument doc = NewMailboxDocument(random_, db_, "Appointment", created, index % 3 == 1);
    std::string subject;
    switch (index) {
    case 0:
        subject = "Dentist";
        AddBasics(doc, "0", {SampleTime::Local(2024, 3, 12, 10, 0)}, 60, false);
        doc.AddText("Alarms", "1");
        doc.AddNumber("$AlarmOffset", -15);
        break;
    case 1:
        subject = "Call with the bank";
        AddBasics(doc, "0", {SampleTime::Local(2031, 5, 20, 14, 0)}, 90, false);
        doc.AddText("Alarms", "1");
        doc.AddNumber("$AlarmOffset", -10);
        doc.AddText("OrgConfidential", "1");
        doc.AddText("Categories", "PC");
        break;
    case 2: {
        // Three days: one start, one end, a calendar date per day.
        subject = "Trade fair (three days)";
        doc.AddText("AppointmentType", "2");
        doc.AddTimes("StartDateTime", {SampleTime::Local(2030, 7, 1, 0, 0)});
        doc.AddTimes("EndDateTime", {SampleTime::Local(2030, 7, 3, 23, 59)});
        doc.AddTimes("CalendarDateTime", Every(SampleTime::Local(2030, 7, 1, 0, 0), 3, 1));
        doc.AddText("Categories", "V");
        doc.AddText("Location", "Messe München");
        break;
    }
    case 3:
        subject = "Team stand-up (weekly)";
        AddBasics(doc, "0", Every(SampleTime::Local(2025, 2, 3, 9, 0), 4, 7), 15, true);
        break;
    case 4:
        subject = "Besprechung München";
        AddBasics(doc, "3", {SampleTime::Local(2030, 9, 15, 13, 30)}, 120, false);
        AddMeeting(doc, created, true, index);
        doc.AddText("Location", "Besprechung München, Raum 4.12 \"Isar\"");
        doc.AddText("Alarms", "1");
        doc.AddNumber("$AlarmOffset", -30);
        break;
    case 5:
        subject = "Budget review";
        AddBasics(doc, "3", {SampleTime::Local(2030, 10, 2, 11, 0)}, 60, false);
        AddMeeting(doc, created, false, index);
        doc.AddText("NoticeType", "A");
        doc.AddText("$BusyPriority", "2");
        break;
    case 6:
        subject = "Partner workshop";
        AddBasics(doc, "3", {SampleTime::Local(2024, 6, 4, 9, 0)}, 240, false);
        AddMeeting(doc, created, false, index);
        doc.AddText("NoticeType", "A");
        doc.AddText("$BusyPriority", "1");
        break;
    case 7: {
        subject = "Anna's birthday";
        std::vector<SampleTime> years;
        for (int y = 0; y < 5; ++y) years.push_back(SampleTime::DateOnly(2028 + y, 4, 17));
        AddBasics(doc, "1", years, 0, true);
        doc.AddText("Categories", "Birthday");
        break;
    }
    case 8:
        subject = "Submit expense report";
        AddBasics(doc, "4", {SampleTime::Local(2031, 1, 31, 16, 0)}, 0, false);
        doc.AddText("Alarms", "1");
        doc.AddNumber("$AlarmOffset", 5);
        break;
    case 9:
        // No CalendarDateTime: not selected by the calendar search.
        subject = "Broken entry without calendar date";
        doc.AddText("AppointmentType", "0");
        doc.AddTimes("StartDateTime", {SampleTime::Local(2025, 8, 1, 8, 0)});
        break;
    case 10:
        // No AppointmentType: selected, but the converter leaves it out.
        subject = "Entry without a type";
        doc.AddTimes("StartDateTime", {SampleTime::Local(2025, 8, 2, 8, 0)});
        doc.AddTimes("CalendarDateTime", {SampleTime::Local(2025, 8, 2, 8, 0)});
        break;
    case 11:
        // A public holiday as a date alone; the week of a clock change.
        subject = "Public holiday";
        AddBasics(doc, "2", {SampleTime::DateOnly(2030, 10, 27)}, 0, false);
        doc.AddText("BookFreeTime", "1");
        doc.AddText("Categories", "H");
        break;
    case 12:
        subject = "Summer party";
        AddBasics(doc, "2", {SampleTime::Local(2030, 6, 21, 0, 0)}, 24 * 60, false);
        break;
    default: {
        static const std::vector<std::string> types = {"0", "0", "3", "4", "2", "1", "0"};
        const std::string type = random_.Pick(types);
        SampleTime start = RandomStart();
        if (type == "2") {
            int year, month, day;
            CivilFromDays(DaysFromCivil(2024, 1, 1) + random_.Between(0, 8 * 365), year, month, day);
            start = SampleTime::Local(year < 2026 ? year : year + 2, month, day, 0, 0);
        }
        const bool repeats = random_.Chance(20);
        const std::vector<SampleTime> starts = repeats ? Every(start, random_.Between(2, 5), 7) : std::vector{start};
        AddBasics(doc, type, starts, type == "2" ? 24 * 60 : 30 * random_.Between(1, 4), repeats);
        if (type == "3") AddMeeting(doc, created, random_.Chance(50), index);
        if (type == "3" && random_.Chance(50)) doc.AddText("NoticeType", "A");
        if (random_.Chance(30)) {
            doc.AddText("Alarms", "1");
            doc.AddNumber("$AlarmOffset", -5.0 * random_.Between(0, 12));
        }
        if (random_.Chance(20)) doc.AddText("Categories", random_.Chance(50) ? "T" : "Customers");
        subject = fmt::format("{} {}", type == "3" ? "Meeting" : type == "2" ? "Event" : "Appointment", index);
    }
    }
    doc.AddText("Subject", subject);
    if (!doc.Find("From")) doc.AddText("From", MailboxOwner().notesName);
    if (index % 4 == 0 && !doc.Find("Location")) doc.AddText("Location", "Head office");
    AddBody(doc, index);
    db_.Write(doc);
}

void CalendarContent::WriteTask(long long index) {
    const SampleTime created = SampleTime::Local(2023, 12, 1, 9, 0).PlusDays(static_cast<int>(index % 900));
    SampleDocument doc = NewMailboxDocument(random_, db_, "Task", created, index % 4 == 2);
    std::string subject;
    auto dated = [&](SampleTime start, int days) {
        doc.AddTimes("StartDateTime", {start});
        doc.AddTimes("DueDateTime", {start.PlusDays(days)});
    };
    switch (index) {
    case 0:
        subject = "Prepare offer";
        dated(SampleTime::Local(2024, 2, 5, 0, 0), 4);
        doc.AddText("Importance", "1");
        break;
    case 1:
        subject = "Renew passport";
        dated(SampleTime::Local(2031, 3, 1, 9, 0), 30);
        doc.AddText("Alarms", "1");
        doc.AddNumber("$AlarmOffset", -30);
        doc.AddText("Importance", "2");
        break;
    case 2: subject = "Someday: tidy the archive"; break;
    case 3:
        subject = "Send minutes (done)";
        dated(SampleTime::Local(2024, 5, 6, 0, 0), 1);
        doc.AddTimes("CompletedDateTime", {SampleTime::Local(2024, 5, 7, 15, 20)});
        doc.AddNumber("DueState", 9);
        break;
    case 4:
        subject = "Cancelled follow-up";
        dated(SampleTime::Local(2024, 7, 1, 0, 0), 2);
        doc.AddNumber("DueState", 8);
        break;
    case 5: {
        // The parent of a repeating series: not exported itself, its instances are.
        subject = "Monthly report (series)";
        doc.AddText("Repeats", "1");
        doc.AddText("OrgRepeat", "1");
        std::vector<SampleTime> starts;
        for (int m = 0; m < 3; ++m) starts.push_back(SampleTime::Local(2030, 1 + m, 1, 0, 0));
        doc.AddTimes("StartDateTime", starts);
        doc.AddTimes("DueDateTime", starts);
        repeatingTaskUnid_ = doc.unid;
        break;
    }
    case 6: case 7: case 8: {
        subject = fmt::format("Monthly report ({})", index - 5);
        doc.AddText("OrgRepeat", "1");
        dated(SampleTime::Local(2030, static_cast<int>(index) - 5, 1, 0, 0), 0);
        if (!repeatingTaskUnid_.empty()) {
            SampleItem& ref = doc.Add("$REF", ItemKind::NoteRefs);
            ref.texts = {repeatingTaskUnid_};
            ref.summary = true;
        }
        break;
    }
    case 9: subject = "Hidden task"; doc.AddText("ExcludeFromView", "T"); break;
    case 10:
        subject = "Assigned: check the figures";
        doc.AddTextList("SendTo", {MailboxOwner().notesName, ""});
        doc.AddTextList("CopyTo", {SamplePeople()[3].notesName, ""});
        doc.AddTextList("BlindCopyTo", {SamplePeople()[8].internet});
        doc.AddText("From", SamplePeople()[0].notesName);
        dated(SampleTime::Local(2030, 11, 10, 0, 0), 5);
        break;
    case 11:
        subject = "Confidential: salary review";
        doc.AddText("OrgConfidential", "1");
        doc.AddText("Categories", "P");
        break;
    case 12: {
        // Three repeats, due dates for the first two only.
        subject = "Water the plants";
        doc.AddText("Repeats", "1");
        const std::vector<SampleTime> starts = Every(SampleTime::Local(2030, 8, 4, 0, 0), 3, 7);
        doc.AddTimes("StartDateTime", starts);
        doc.AddTimes("DueDateTime", {starts[0].PlusDays(1), starts[1].PlusDays(1)});
        break;
    }
    case 13:
        subject = "Repeating without dates";
        doc.AddText("Repeats", "1");
        break;
    default:
        subject = fmt::format("Task {}", index);
        if (random_.Chance(70)) dated(RandomStart(), random_.Between(0, 14));
        if (random_.Chance(25)) {
            doc.AddTimes("CompletedDateTime", {created.PlusDays(3)});
            doc.AddNumber("DueState", 9);
        }
        if (random_.Chance(10)) doc.AddText("ExcludeFromView", "T");
        doc.AddText("Importance", std::to_string(random_.Between(1, 3)));
    }
    doc.AddText("Subject", subject);
    if (!doc.Find("From")) doc.AddText("From", MailboxOwner().notesName);
    AddBody(doc, index + 1);
    db_.Write(doc);
}

}  // namespace qb::notes::sample
