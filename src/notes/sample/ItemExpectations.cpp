#include "notes/sample/ItemExpectations.h"

#include <fmt/format.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <stdexcept>

#include "notes/api/LNNotesSession.h"
#include "notes/sample/SampleGenerator.h"
#include "text/JsonText.h"

namespace qb::notes::sample {

using text::JsonString;

namespace {

const SampleItem* TimesItem(const SampleDocument& doc, const char* name) {
    const SampleItem* item = doc.Find(name);
    return item && item->kind == ItemKind::Datetime ? item : nullptr;
}

std::string First(const SampleDocument& doc, const char* name) {
    const SampleItem* item = doc.Find(name);
    if (!item || (item->kind != ItemKind::Text && item->kind != ItemKind::TextList) || item->texts.empty()) return {};
    return item->texts.front();
}

std::optional<double> Number(const SampleDocument& doc, const char* name) {
    const SampleItem* item = doc.Find(name);
    if (!item || item->kind != ItemKind::Number || item->numbers.empty()) return std::nullopt;
    return item->numbers.front();
}

std::string CategoryName(const std::string& value) {
    static const std::pair<const char*, const char*> kNames[] = {{"H", "Holiday"},  {"V", "Vacation"},
                                                                 {"P", "Projects"}, {"C", "Clients"},
                                                                 {"PC", "Phone Calls"}, {"T", "Travel"}};
    for (const auto& [code, name] : kNames)
        if (value == code) return name;
    return value;
}

// The name form of the shipped settings (UseAbbNotesNames=1).
void AddNames(const SampleDocument& doc, const char* item, const char* type,
              std::vector<std::pair<std::string, std::string>>& names, bool* added = nullptr) {
    const SampleItem* values = doc.Find(item);
    if (!values) return;
    for (const std::string& value : values->texts) {
        if (value.empty()) continue;
        if (added) *added = true;
        const std::pair<std::string, std::string> entry{LNAbbreviateName(value), type};
        if (std::find(names.begin(), names.end(), entry) == names.end()) names.push_back(entry);
    }
}

std::string NamesJson(const std::vector<std::pair<std::string, std::string>>& names) {
    std::string out = "[";
    for (std::size_t i = 0; i < names.size(); ++i)
        out += fmt::format("{}[{}, {}]", i ? ", " : "", JsonString(names[i].first), JsonString(names[i].second));
    return out + "]";
}

std::string FoldersJson(const std::vector<std::string>& folders) {
    std::string out = "[";
    for (std::size_t i = 0; i < folders.size(); ++i) out += (i ? ", " : "") + JsonString(folders[i]);
    return out + "]";
}

// A moment as the export writes it: UTC for a time of day, the local date
// (local midnight) for a date alone.
std::string MomentJson(const SampleTime& time) {
    return time.hasTime ? fmt::format("{{\"utc\": {}}}", JsonString(time.UtcText()))
                        : fmt::format("{{\"local_date\": {}}}", JsonString(time.DateText()));
}

SampleTime NextDay(const SampleTime& date) {
    int year, month, day;
    CivilFromDays(DaysFromCivil(std::stoi(date.DateText().substr(0, 4)), std::stoi(date.DateText().substr(5, 2)),
                                std::stoi(date.DateText().substr(8, 2))) + 1,
                  year, month, day);
    return SampleTime::DateOnly(year, month, day);
}

bool Passes(const SampleTime& start, const std::optional<SampleDateRange>& filter) {
    return !filter || (start.utcSeconds >= filter->from && start.utcSeconds <= filter->to);
}

struct CalendarInstances {
    std::vector<SampleTime> starts;  // the start of each instance (all-day: the day)
    bool allDayDays = false;
};

CalendarInstances InstancesOf(const SampleDocument& doc) {
    CalendarInstances result;
    const std::string type = First(doc, "AppointmentType");
    const SampleItem* starts = TimesItem(doc, "StartDateTime");
    if (type.empty() || !starts || starts->times.empty()) return result;
    if (First(doc, "Repeats") == "1") {
        result.starts = starts->times;
    } else if (type[0] != '2') {
        result.starts = {starts->times.front()};
    } else if (const SampleItem* days = TimesItem(doc, "CalendarDateTime")) {
        result.starts = days->times;
        result.allDayDays = true;
    }
    return result;
}

std::size_t TaskInstances(const SampleDocument& doc) {
    const SampleItem* starts = TimesItem(doc, "StartDateTime");
    if (First(doc, "Repeats") == "1" && starts && !starts->times.empty()) return starts->times.size();
    return 1;
}

}  // namespace

int CalendarItemCount(const SampleDocument& document, std::optional<SampleDateRange> dateFilter) {
    const DocumentRoute route = RouteOf(document);
    if (route == DocumentRoute::Calendar) {
        int count = 0;
        for (const SampleTime& start : InstancesOf(document).starts) count += Passes(start, dateFilter) ? 1 : 0;
        return count;
    }
    if (route == DocumentRoute::Task) {
        const SampleItem* starts = TimesItem(document, "StartDateTime");
        int count = 0;
        for (std::size_t i = 0; i < TaskInstances(document); ++i)
            count += !starts || i >= starts->times.size() || Passes(starts->times[i], dateFilter) ? 1 : 0;
        return count;
    }
    return 0;
}

ComponentSelection::ComponentSelection() {
    FormulaCompileError error;
    calendar_ = CompiledFormula::Compile(kCalendarSearch, error);
    tasks_ = CompiledFormula::Compile(kTaskSearch, error);
    if (!calendar_ || !tasks_) throw std::logic_error("component formula does not compile: " + error.text);
}

ComponentSelection::~ComponentSelection() = default;

std::optional<std::string> ComponentSelection::FolderOf(const SampleDocument& document) const {
    const MapFormulaDocument values = document.ForFormula();
    if (calendar_->Selects(values)) return std::string("Calendar");
    if (tasks_->Selects(values)) return std::string("Tasks");
    return std::nullopt;
}

void ItemExpectationWriter::Add(const SampleDocument& doc, const std::vector<std::string>& folders) {
    if (folders.empty()) return;
    const std::time_t now = std::time(nullptr);
    const std::string subject = First(doc, "Subject");
    const std::string confidential = First(doc, "OrgConfidential");
    const std::string categories = fmt::format("[{}]", JsonString(CategoryName(First(doc, "Categories"))));
    const std::string owner = First(doc, "From").empty() ? "unknown" : LNAbbreviateName(First(doc, "From"));
    const bool alarm = First(doc, "Alarms") == "1";
    const std::optional<double> alarmOffset = Number(doc, "$AlarmOffset");

    if (RouteOf(doc) == DocumentRoute::Calendar) {
        const CalendarInstances instances = InstancesOf(doc);
        const std::string type = First(doc, "AppointmentType");
        const SampleItem* ends = TimesItem(doc, "EndDateTime");
        std::vector<std::pair<std::string, std::string>> names;
        AddNames(doc, "Chair", "To", names);
        bool sendTo = false;
        AddNames(doc, "SendTo", "To", names, &sendTo);
        if (!sendTo) AddNames(doc, "EnterSendTo", "To", names);
        AddNames(doc, "RequiredAttendees", "To", names);
        bool copyTo = false;
        AddNames(doc, "CopyTo", "Cc", names, &copyTo);
        if (!copyTo) AddNames(doc, "EnterCopyTo", "Cc", names);
        AddNames(doc, "OptionalAttendees", "Cc", names);
        bool blind = false;
        AddNames(doc, "BlindCopyTo", "Bcc", names, &blind);
        if (!blind) AddNames(doc, "EnterBlindCopyTo", "Bcc", names);
        AddNames(doc, "FYIAttendees", "Bcc", names);
        const bool allDay = type[0] == '2';
        const int busy = First(doc, "BookFreeTime") == "1" ? 0 : 2;
        for (std::size_t i = 0; i < instances.starts.size(); ++i) {
            const SampleTime& start = instances.starts[i];
            std::string startJson, endJson;
            if (allDay) {
                SampleTime day = SampleTime::DateOnly(std::stoi(start.DateText().substr(0, 4)),
                                                      std::stoi(start.DateText().substr(5, 2)),
                                                      std::stoi(start.DateText().substr(8, 2)));
                startJson = MomentJson(day);
                endJson = MomentJson(NextDay(day));
            } else {
                startJson = MomentJson(start);
                endJson = MomentJson(ends && i < ends->times.size() ? ends->times[i] : start);
            }
            const bool future = start.utcSeconds >= now;
            const bool reminder = future && alarm;
            int minutes = 15;
            if (reminder && alarmOffset) minutes = std::max(0, static_cast<int>(-*alarmOffset));
            appointmentText_ += fmt::format(
                "{}\n    {{\"folders\": {}, \"subject\": {}, \"all_day\": {}, \"start\": {}, \"end\": {},"
                " \"location\": {}, \"busy_status\": {}, \"sensitivity\": {}, \"reminder_set\": {},"
                " \"reminder_minutes\": {}, \"categories\": {}, \"attendees\": {}}}",
                appointments_ ? "," : "", FoldersJson(folders), JsonString(subject), allDay ? "true" : "false",
                startJson, endJson, JsonString(First(doc, "Location")), busy, confidential == "1" ? 2 : 0,
                reminder ? "true" : "false", minutes, categories, NamesJson(names));
            ++appointments_;
        }
        return;
    }
    if (RouteOf(doc) != DocumentRoute::Task) return;
    const SampleItem* starts = TimesItem(doc, "StartDateTime");
    const SampleItem* dues = TimesItem(doc, "DueDateTime");
    std::vector<std::pair<std::string, std::string>> names;
    AddNames(doc, "SendTo", "To", names);
    AddNames(doc, "CopyTo", "Cc", names);
    AddNames(doc, "BlindCopyTo", "Bcc", names);
    const std::string importance = First(doc, "Importance");
    const int outlookImportance = importance == "1" ? 2 : importance == "2" ? 1 : 0;
    const std::optional<double> dueState = Number(doc, "DueState");
    const bool completed = TimesItem(doc, "CompletedDateTime") != nullptr;
    double percent = completed ? 1.0 : 0.0;
    int status = 0;
    if (dueState) {
        const int state = static_cast<int>(*dueState);
        status = state == 8 || state == 9 ? 2 : 0;
        percent = state == 9 ? 1.0 : 0.0;
    }
    for (std::size_t i = 0; i < TaskInstances(doc); ++i) {
        const bool hasStart = starts && i < starts->times.size();
        const bool hasDue = dues && i < dues->times.size();
        const bool reminder = hasStart && alarm && starts->times[i].utcSeconds >= now;
        taskText_ += fmt::format(
            "{}\n    {{\"folders\": {}, \"subject\": {}, \"start\": {}, \"due\": {}, \"status\": {},"
            " \"percent_complete\": {}, \"importance\": {}, \"owner\": {}, \"sensitivity\": {},"
            " \"reminder_set\": {}, \"categories\": {}, \"attendees\": {}}}",
            tasks_ ? "," : "", FoldersJson(folders), JsonString(subject),
            hasStart ? MomentJson(starts->times[i]) : "null", hasDue ? MomentJson(dues->times[i]) : "null", status,
            percent, outlookImportance, JsonString(owner), confidential == "1" ? 2 : 0, reminder ? "true" : "false",
            categories, NamesJson(names));
        ++tasks_;
    }
}

void ItemExpectationWriter::Close() {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out << "{\n  \"appointments\": [" << appointmentText_ << "\n  ],\n  \"tasks\": [" << taskText_ << "\n  ]\n}\n";
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path_);
}

}  // namespace qb::notes::sample
