#include "convert/TaskConverter.h"

#include <fmt/format.h>

#include <memory>
#include <optional>

#include "convert/AttachmentExtractor.h"
#include "convert/DateFilter.h"
#include "convert/TimeReaders.h"
#include "notes/NotesErrorText.h"
#include "shell/log/ExportLog.h"
#include "shell/report/ProgressSink.h"
#include "shell/settings/ExportSettings.h"

namespace qb {
namespace {

constexpr const char* kUnknownOwner = "unknown";

// The values of a date item; nullopt (with the line logged) when the item is
// there but cannot be read.
std::optional<std::vector<LNDatetime>> TaskDates(const LNDocument& document, const char* name,
                                                 const ExportLog& log) {
    try {
        return ReadDatetimes(document, name).value_or(std::vector<LNDatetime>{});
    } catch (const LNStatusError&) {
        log.Write(fmt::format("....Task Entry can not get {}. Can not export.\n", name));
        return std::nullopt;
    }
}

std::optional<double> FirstNumber(const LNDocument& document, const char* name) {
    ScopedNotesThrowMode returnCodes(false);
    LNNumbers numbers;
    if (!document.HasItem(name) || document.GetItem(name, &numbers) != LNNOERROR || numbers.GetCount() == 0)
        return std::nullopt;
    return numbers[0];
}

}  // namespace

bool TaskConverter::Convert(const FolderHandle& folder, LNNotesSession& session, LNDocument& document) {
    ExportRun& run = context_.run;
    const ExportLog& log = context_.log;
    Dates dates;
    std::size_t instances = 1;
    try {
        std::optional<std::vector<LNDatetime>> starts = TaskDates(document, "StartDateTime", log);
        if (!starts) return true;
        std::optional<std::vector<LNDatetime>> dues = TaskDates(document, "DueDateTime", log);
        if (!dues) return true;
        dates.starts = std::move(*starts);
        dates.dues = std::move(*dues);
        if (FirstText(document, "Repeats").value_or("") == "1") {
            if (dates.starts.empty()) {
                log.Write(fmt::format("....Repeating task without a start date exported once, undated: {}\n",
                                      FirstText(document, "Subject").value_or("")));
            } else {
                instances = dates.starts.size();
            }
        }
    } catch (const LNStatusError& e) {
        log.Write(fmt::format("....~#>ERROR LOTUS NOTES ERROR: {} [{}]\n", NotesErrorText(e.GetStatus()), step_));
        return true;
    } catch (...) {
        log.Write(fmt::format("....~#>ERROR Unexpected Error [C:{}]\n", step_));
        return true;
    }

    const DateFilter filter = DateFilter::FromSettings(context_.settings);
    std::size_t passed = 0, saved = 0;
    for (std::size_t i = 0; i < instances; ++i) {
        if (i < dates.starts.size()) {
            const LNDatetimeParts start = dates.starts[i].GetParts();
            if (!filter.Passes(start.year, start.month, start.day, start.hour, start.minute, start.second)) continue;
        }
        ++passed;
        if (ExportInstance(folder, session, document, dates, i)) ++saved;
        if (!run.stopText.empty()) break;  // the store takes nothing more
    }
    CountInstances(run, passed, saved);
    return true;
}

bool TaskConverter::ExportInstance(const FolderHandle& folder, LNNotesSession& session, LNDocument& document,
                                   const Dates& dates, std::size_t index) {
    const ExportLog& log = context_.log;
    std::unique_ptr<TaskRecord> record;
    std::optional<AttachmentExtractor> extractor;
    bool saved = false;
    const std::string itemId = ItemId(std::string(document.GetUniversalID()), index);
    if (InstanceSavedBefore(context_.run, log, itemId, index)) return true;
    try {
        std::string createError;
        record = NewTaskRecord(context_.outlook, folder, &createError);
        if (!record) {
            ReportCreateFailure(context_.run, log, createError, step_);
            return false;
        }
        record->universalId = itemId;
        extractor.emplace(context_.settings.AttachmentsRenameEXEs, record->attachmentFiles, context_.recycled);
        if (!extractor->Extract(context_.tempFolder, document)) {
            for (const std::string& line : extractor->messages()) log.Write(line + "\n");
        }
        Step(20);
        const std::string subject = FirstText(document, "Subject").value_or("");
        log.Write(fmt::format("...Exporting {} Subject: {}\n", context_.run.exportedCount, subject));
        const std::string statusText =
            fmt::format("Exporting Document {} Subject: {}", context_.run.exportedCount, subject);
        FillNames(document, session, *record);
        Step(500);
        record->body = PlainBody(document, log);
        Step(600);
        const std::string importance = FirstText(document, "Importance").value_or("");
        record->priority = importance == "1" ? 1 : importance == "2" ? 0 : -1;
        const TimeZoneOffsets& offsets = context_.run.offsets;
        std::int32_t daylight = 0;
        record->postedTime = ReadTimeItem(document, TimeFallback::Created, "PostedDate", offsets, daylight);
        Step(700);
        record->creationTime = ReadTimeItem(document, TimeFallback::Created, "", offsets, daylight);
        record->modificationTime = ReadTimeItem(document, TimeFallback::Modified, "", offsets, daylight);
        FillDates(document, dates, index, *record);
        Step(1200);
        record->markAsRead = false;
        context_.progress.SetSecondaryText(1, statusText);
        record->subject = subject;
        Step(1300);
        record->isPrivate = FirstText(document, "OrgConfidential").value_or("") == "1";
        record->recurring = false;
        FillReminder(document, *record);
        Step(1500);
        record->category = CategoryName(FirstText(document, "Categories").value_or(""));
        Step(1700);
        const HRESULT hr = Save(*record);
        Step(1800);
        saved = ReportItemSave(context_.run, log, hr, *record, extractor->lostAttachment(), step_, "task");
        if (!extractor->writeFailure().empty()) StopRun(context_.run, extractor->writeFailure());
    } catch (const LNStatusError& e) {
        log.Write(fmt::format("....~#>ERROR LOTUS NOTES ERROR: {} [{}]\n", NotesErrorText(e.GetStatus()), step_));
    } catch (...) {
        log.Write(fmt::format("....~#>ERROR Unexpected Error [C:{}]\n", step_));
    }
    Step(1900);
    if (extractor) extractor->RemoveFiles();
    return saved;
}

void TaskConverter::FillNames(const LNDocument& document, LNNotesSession& session, TaskRecord& record) {
    const bool abbreviated = context_.settings.UseAbbNotesNames;
    Step(100);
    AppendNames(document, "SendTo", session, abbreviated, record.requiredNames);
    Step(200);
    AppendNames(document, "CopyTo", session, abbreviated, record.optionalNames);
    Step(300);
    AppendNames(document, "BlindCopyTo", session, abbreviated, record.blindNames);
    Step(399);
    std::optional<std::string> sender;
    if (document.HasItem("From")) {
        sender = FirstText(document, "From");
    } else {
        sender = FirstText(document, "$UpdatedBy");
    }
    Step(498);
    record.owner = sender && !sender->empty() ? NameForm(session, *sender, abbreviated) : std::string(kUnknownOwner);
    record.senderName = record.owner;
    record.senderAddress = record.owner;
}

void TaskConverter::FillDates(const LNDocument& document, const Dates& dates, std::size_t index, TaskRecord& record) {
    const TimeZoneOffsets& offsets = context_.run.offsets;
    Step(800);
    record.startPresent = index < dates.starts.size();
    if (record.startPresent) record.start = ConvertDatetime(dates.starts[index], offsets).utc;
    Step(930);
    // A repeat with fewer due dates than starts: that instance has none.
    record.duePresent = index < dates.dues.size();
    if (record.duePresent) record.due = ConvertDatetime(dates.dues[index], offsets).utc;
    Step(1000);
    std::optional<std::vector<LNDatetime>> completed;
    try {
        completed = ReadDatetimes(document, "CompletedDateTime");
    } catch (const LNStatusError&) {
    }
    record.completedPresent = completed && !completed->empty();
    if (record.completedPresent) record.completed = ConvertDatetime(completed->front(), offsets).utc;
    record.percentComplete = record.completedPresent ? 1.0 : 0.0;
    record.status = 0;
    record.complete = false;
    Step(1010);
    Step(1100);
    if (const std::optional<double> state = FirstNumber(document, "DueState")) {
        const auto value = static_cast<std::int32_t>(*state);
        record.complete = value == 8 || value == 9;
        record.status = record.complete ? 2 : 0;
        record.percentComplete = value == 9 ? 1.0 : 0.0;
    }
}

void TaskConverter::FillReminder(const LNDocument& document, TaskRecord& record) {
    Step(1400);
    record.reminderSet = false;
    record.reminderMinutes = 15;
    record.reminderTime = 0;
    if (!record.startPresent || std::time(nullptr) > record.start) return;
    if (FirstText(document, "Alarms").value_or("") != "1") {
        const std::int32_t minutes = context_.settings.ToDoDefaultReminder;
        if (!context_.settings.DefaultRemindersEnabled || minutes < 0) return;
        record.reminderSet = true;
        record.reminderMinutes = minutes;
        // Before the due date when there is one, else before the start.
        record.reminderTime = (record.duePresent ? record.due : record.start) - std::time_t{minutes} * 60;
        return;
    }
    Step(1490);
    // Notes counts the alarm in minutes from the start.
    const std::optional<double> offset = FirstNumber(document, "$AlarmOffset");
    record.reminderSet = true;
    record.reminderMinutes = 0;
    record.reminderTime = record.start + (offset ? static_cast<std::time_t>(static_cast<std::int32_t>(*offset)) * 60 : 0);
}

}  // namespace qb
