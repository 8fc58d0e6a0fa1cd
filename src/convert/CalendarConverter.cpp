#include "convert/CalendarConverter.h"

#include <fmt/format.h>

#include <optional>

#include "convert/AttachmentExtractor.h"
#include "convert/DateFilter.h"
#include "convert/TimeReaders.h"
#include "notes/NotesErrorText.h"
#include "shell/log/ExportLog.h"
#include "shell/platform/FileInfo.h"
#include "shell/report/ProgressSink.h"
#include "shell/settings/ExportSettings.h"

namespace qb {
namespace {

constexpr const char* kUnknownSender = "unknown";

// The day after a date.
void NextDay(int& year, int& month, int& day) {
    LNCivilDate(LNJulianDay(year, month, day) + 1, &year, &month, &day);
}

}  // namespace

bool CalendarConverter::Convert(const FolderHandle& folder, LNNotesSession& session, LNDocument& document) {
    ExportRun& run = context_.run;
    const ExportLog& log = context_.log;
    Step(5);
    const std::string statusText = fmt::format("Exporting Document {}", run.exportedCount + 1);
    Entry entry;
    try {
        if (!ReadEntry(document, entry)) return true;
    } catch (const LNStatusError& e) {
        log.Write(fmt::format("....~#>ERROR ECD LOTUS NOTES ERROR: {} [{}]\n", NotesErrorText(e.GetStatus()), step_));
        entry.instances = 0;
    } catch (...) {
        log.Write(fmt::format("....~#>ERROR Unexpected error: [{}]\n", step_));
        entry.instances = 0;
    }
    if (entry.instances == 0) return true;

    const DateFilter filter = DateFilter::FromSettings(context_.settings);
    std::size_t passed = 0, saved = 0;
    for (std::size_t i = 0; i < entry.instances; ++i) {
        Step(60);
        const LNDatetimeParts start = InstanceStart(entry, i);
        if (!filter.Passes(start.year, start.month, start.day, start.hour, start.minute, start.second)) continue;
        ++passed;
        if (ExportInstance(folder, session, document, entry, i, statusText)) ++saved;
        if (!run.stopText.empty()) break;  // the store takes nothing more
    }
    CountInstances(run, passed, saved);
    return true;
}

bool CalendarConverter::ReadEntry(LNDocument& document, Entry& entry) {
    const ExportLog& log = context_.log;
    entry.subject = FirstText(document, "Subject").value_or("");
    log.Write(fmt::format("..Exporting Entry {} Subject: {}", context_.run.exportedCount + 1, entry.subject));
    entry.type = FirstText(document, "AppointmentType").value_or("");
    if (entry.type.empty()) {
        log.Write("....Non Calendar Entry so not exported\n");
        // Not a calendar entry at all: left out by rule, not lost.
        ++context_.run.filteredCount;
        return false;
    }
    Step(10);
    if (!document.HasItem("StartDateTime")) {
        log.Write("....Calendar Entry contained no StartDateTime. Can not export.\n");
        return false;
    }
    std::optional<std::vector<LNDatetime>> starts;
    try {
        starts = ReadDatetimes(document, "StartDateTime");
    } catch (const LNStatusError&) {
    }
    if (!starts || starts->empty()) {
        log.Write("....Calendar Entry can not get StartDateTime. Can not export.\n");
        return false;
    }
    entry.starts = std::move(*starts);
    try {
        entry.ends = ReadDatetimes(document, "EndDateTime").value_or(std::vector<LNDatetime>{});
    } catch (const LNStatusError&) {
        entry.ends.clear();
    }

    Step(15);
    const bool repeats = FirstText(document, "Repeats").value_or("") == "1";
    Step(20);
    std::size_t shown = 0;
    if (repeats) {
        entry.instances = shown = entry.starts.size();
    } else if (entry.type[0] != '2') {
        entry.instances = 1;
    } else {
        // An all-day event over several days: Notes keeps one start and a
        // date per day.
        std::optional<std::vector<LNDatetime>> days;
        try {
            days = ReadDatetimes(document, "CalendarDateTime");
        } catch (const LNStatusError&) {
        }
        if (!days) {
            log.Write("....Calendar Entry can not get CalendarDateTime. Can not export.\n");
            return false;
        }
        entry.days = std::move(*days);
        entry.spansDays = true;
        entry.instances = shown = entry.days.size();
    }
    log.Write(shown >= 2 ? fmt::format(" [Repeats = {}]\n", shown) : std::string("\n"));
    return true;
}

LNDatetimeParts CalendarConverter::InstanceStart(const Entry& entry, std::size_t index) const {
    if (!entry.spansDays) return entry.starts[index].GetParts();
    // The day's date with the time of day of the one start.
    LNDatetimeParts parts = WrittenParts(entry.days[index]);
    const LNDatetimeParts time = WrittenParts(entry.starts.front());
    parts.hour = time.hour;
    parts.minute = time.minute;
    parts.second = time.second;
    return parts;
}

bool CalendarConverter::ExportInstance(const FolderHandle& folder, LNNotesSession& session, LNDocument& document,
                                       const Entry& entry, std::size_t index, const std::string& statusText) {
    const ExportLog& log = context_.log;
    std::unique_ptr<AppointmentRecord> record;
    std::optional<AttachmentExtractor> extractor;
    bool saved = false;
    const std::string itemId = ItemId(std::string(document.GetUniversalID()), index);
    if (InstanceSavedBefore(context_.run, log, itemId, index)) return true;
    try {
        Step(100);
        std::string createError;
        record = NewAppointmentRecord(context_.outlook, folder, &createError);
        if (!record) {
            ReportCreateFailure(context_.run, log, createError, step_);
            return false;
        }
        record->universalId = itemId;
        Step(160);
        extractor.emplace(context_.settings.AttachmentsRenameEXEs, record->attachmentFiles, context_.recycled);
        if (!extractor->Extract(context_.tempFolder, document)) {
            for (const std::string& line : extractor->messages()) log.Write(line + "\n");
        }
        FillNames(document, session, *record);
        FillSender(document, session, *record);
        Step(600);
        record->body = PlainBody(document, log);
        Step(700);
        const TimeZoneOffsets& offsets = context_.run.offsets;
        std::int32_t daylight = 0;
        record->postedTime = ReadTimeItem(document, TimeFallback::Created, "PostedDate", offsets, daylight);
        record->creationTime = ReadTimeItem(document, TimeFallback::Created, "", offsets, daylight);
        record->modificationTime = ReadTimeItem(document, TimeFallback::Modified, "", offsets, daylight);
        FillTiming(entry, index, *record);
        Step(900);
        record->markAsRead = false;
        Step(1000);
        context_.progress.SetSecondaryText(1, fmt::format("{}  Subject: {}", statusText, entry.subject));
        record->subject = entry.subject;
        FillKind(document, entry, *record);
        FillReminder(document, entry, *record);
        Step(1700);
        const HRESULT hr = Save(*record);
        Step(1800);
        saved = ReportItemSave(context_.run, log, hr, *record, extractor->lostAttachment(), step_, "calendar entry");
        if (!extractor->writeFailure().empty()) StopRun(context_.run, extractor->writeFailure());
    } catch (const LNStatusError& e) {
        log.Write(fmt::format("....~#>ERROR LOTUS NOTES ERROR: {} [{}]\n", NotesErrorText(e.GetStatus()), step_));
    } catch (const std::exception& e) {
        log.Write(step_ >= 1700 && step_ <= 1800
                      ? fmt::format("....~#>ERROR Unexpected error while saving calendar entry: [{}]\n", step_)
                      : fmt::format("....~#>ERROR Unexpected error: [{}] {}\n", step_, e.what()));
    } catch (...) {
        log.Write(step_ >= 1700 && step_ <= 1800
                      ? fmt::format("....~#>ERROR Unexpected error while saving calendar entry: [{}]\n", step_)
                      : fmt::format("....~#>ERROR Unexpected error: [{}]\n", step_));
    }
    if (extractor) extractor->RemoveFiles();
    return saved;
}

void CalendarConverter::FillNames(const LNDocument& document, LNNotesSession& session, AppointmentRecord& record) {
    const bool abbreviated = context_.settings.UseAbbNotesNames;
    Step(200);
    AppendNames(document, "Chair", session, abbreviated, record.requiredNames);
    const bool sendTo = AppendNames(document, "SendTo", session, abbreviated, record.requiredNames);
    Step(210);
    if (!sendTo) AppendNames(document, "EnterSendTo", session, abbreviated, record.requiredNames);
    AppendNames(document, "RequiredAttendees", session, abbreviated, record.requiredNames);
    Step(300);
    const bool copyTo = AppendNames(document, "CopyTo", session, abbreviated, record.optionalNames);
    Step(310);
    if (!copyTo) AppendNames(document, "EnterCopyTo", session, abbreviated, record.optionalNames);
    AppendNames(document, "OptionalAttendees", session, abbreviated, record.optionalNames);
    Step(400);
    const bool blindCopyTo = AppendNames(document, "BlindCopyTo", session, abbreviated, record.blindNames);
    Step(410);
    if (!blindCopyTo) AppendNames(document, "EnterBlindCopyTo", session, abbreviated, record.blindNames);
    AppendNames(document, "FYIAttendees", session, abbreviated, record.blindNames);
}

void CalendarConverter::FillSender(const LNDocument& document, LNNotesSession& session, AppointmentRecord& record) {
    Step(500);
    const char* item = document.HasItem("From") ? "From" : "$UpdatedBy";
    const std::optional<std::string> sender = FirstText(document, item);
    record.senderName = sender && !sender->empty() ? NameForm(session, *sender, context_.settings.UseAbbNotesNames)
                                                   : std::string(kUnknownSender);
    record.senderAddress = record.senderName;
}

void CalendarConverter::FillTiming(const Entry& entry, std::size_t index, AppointmentRecord& record) {
    const TimeZoneOffsets& offsets = context_.run.offsets;
    Step(800);
    record.allDay = !entry.type.empty() && entry.type[0] == '2';
    if (record.allDay) {
        // From the local midnight that starts the event's own date to the
        // next one, wherever the export runs.
        Step(810);
        const LNDatetimeParts date = entry.spansDays ? WrittenParts(entry.days[index]) : WrittenParts(entry.starts[index]);
        int year = date.year, month = date.month, day = date.day;
        record.start = LocalMidnight(year, month, day, offsets);
        NextDay(year, month, day);
        Step(840);
        record.end = LocalMidnight(year, month, day, offsets);
        return;
    }
    Step(801);
    record.start = ConvertDatetime(entry.starts.at(index), offsets).utc;
    Step(830);
    record.end = index < entry.ends.size() ? ConvertDatetime(entry.ends[index], offsets).utc : record.start;
}

void CalendarConverter::FillKind(const LNDocument& document, const Entry& entry, AppointmentRecord& record) {
    Step(1100);
    record.location = FirstText(document, "Location").value_or("");
    const std::string confidential = FirstText(document, "OrgConfidential").value_or("");
    Step(1200);
    const char kind = entry.type[0];
    record.meeting = kind == '3';
    if (record.meeting && FirstText(document, "NoticeType").value_or("") == "A")
        record.responseStatus = FirstText(document, "$BusyPriority").value_or("") == "2" ? 2 : 3;
    Step(1300);
    if (FirstText(document, "BookFreeTime").value_or("") == "1") {
        record.busyStatus = 0;
    } else if (kind == '1') {
        record.busyStatus = context_.settings.MarkAnniversariesFree ? 0 : 2;
    } else {
        record.busyStatus = 2;
    }
    Step(1500);
    record.isPrivate = confidential == "1";
    record.recurring = false;
    record.received = !record.senderName.empty();
    record.cancelled = false;
    Step(1600);
    record.category = CategoryName(FirstText(document, "Categories").value_or(""));
}

void CalendarConverter::FillReminder(const LNDocument& document, const Entry& entry, AppointmentRecord& record) {
    Step(1400);
    record.reminderSet = false;
    record.reminderMinutes = 15;
    if (std::time(nullptr) > record.start) return;  // the entry lies in the past
    if (FirstText(document, "Alarms").value_or("") == "1") {
        record.reminderSet = true;
        ScopedNotesThrowMode returnCodes(false);
        LNNumbers offset;
        if (document.HasItem("$AlarmOffset") && document.GetItem("$AlarmOffset", &offset) == LNNOERROR &&
            offset.GetCount() > 0) {
            // Notes counts minutes from the start, negative before it.
            const auto minutes = static_cast<std::int32_t>(-offset[0]);
            record.reminderMinutes = minutes < 0 ? 0 : minutes;
        }
        return;
    }
    if (!context_.settings.DefaultRemindersEnabled) return;
    std::int32_t minutes = -1;
    switch (entry.type[0]) {
    case '1': minutes = context_.settings.AnniversaryDefaultReminder; break;
    case '2': minutes = context_.settings.AllDayDefaultReminder; break;
    case '4': minutes = context_.settings.ReminderDefaultReminder; break;
    case '0':
    case '3': minutes = context_.settings.MeetingDefaultReminder; break;
    default: break;
    }
    record.reminderSet = minutes >= 0;
    record.reminderMinutes = minutes >= 0 ? minutes : 15;
}

}  // namespace qb
