#include "convert/EntryFields.h"

#include <fmt/format.h>

#include <algorithm>

#include "convert/FieldText.h"
#include "notes/NotesErrorText.h"
#include "shell/log/ExportLog.h"

namespace qb {

std::optional<std::string> FirstText(const LNDocument& document, const char* name) {
    ScopedNotesThrowMode returnCodes(false);
    if (!document.HasItem(name)) return std::nullopt;
    LNText text;
    if (document.GetItem(name, &text) != LNNOERROR || text.IsNull()) return std::nullopt;
    return text.GetCount() > 0 ? text[0] : std::string();
}

std::optional<std::vector<std::string>> AllTexts(const LNDocument& document, const char* name) {
    ScopedNotesThrowMode returnCodes(false);
    if (!document.HasItem(name)) return std::nullopt;
    LNText text;
    if (document.GetItem(name, &text) != LNNOERROR || text.IsNull()) return std::nullopt;
    return text.GetTexts();
}

std::string NameForm(LNNotesSession& session, const std::string& name, bool useAbbreviated) {
    const std::string abbreviated = session.AbbreviateName(name);
    if (useAbbreviated) return abbreviated;
    return abbreviated.substr(0, abbreviated.find('/'));
}

bool AppendNames(const LNDocument& document, const char* item, LNNotesSession& session, bool useAbbreviated,
                 std::vector<std::string>& names) {
    bool added = false;
    for (const std::string& value : AllTexts(document, item).value_or(std::vector<std::string>{})) {
        if (value.empty()) continue;
        std::string name = NameForm(session, value, useAbbreviated);
        added = true;
        // The chair is usually among the attendees too: one row per person.
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(std::move(name));
    }
    return added;
}

std::optional<std::vector<LNDatetime>> ReadDatetimes(const LNDocument& document, const char* name) {
    LNITEMTYPE type = TYPE_INVALID_OR_UNKNOWN;
    {
        ScopedNotesThrowMode returnCodes(false);
        if (!document.HasItem(name) || document.GetItemType(name, &type) != LNNOERROR) return std::nullopt;
    }
    if (type != TYPE_TIME && type != TYPE_TIME_RANGE) return std::nullopt;
    LNDatetimes times;
    document.GetItem(name, &times);
    std::vector<LNDatetime> values;
    for (LNINT i = 0; i < times.GetCount(); ++i) values.push_back(times[i]);
    return values;
}

namespace {

// Rich text of any length, piece by piece from its start to its end.
std::optional<std::string> RichTextBody(const LNDocument& document, const char* itemName, const ExportLog& log) {
    ScopedNotesThrowMode returnCodes(false);
    LNRichText body;
    if (document.GetItem(itemName, &body) != LNNOERROR || body.IsNull()) {
        log.Write("....UNABLE TO GET BODY TO RICH TEXT ITEM\n");
        return std::nullopt;
    }
    LNRTCursor start, end;
    body.GetCursor(&start);
    body.GetEndCursor(&end);
    std::string text;
    for (;;) {
        LNString piece;
        const LNSTATUS status = body.GetText(&start, end, &piece);
        if (status != LNNOERROR && status != LNWARN_TOO_MUCH_TEXT) {
            log.Write("....BODY UNABLE TO GET BODY TEXT\n");
            return std::nullopt;
        }
        text += piece;
        if (status != LNWARN_TOO_MUCH_TEXT) break;
    }
    return text;
}

}  // namespace

std::string PlainBody(const LNDocument& document, const ExportLog& log) { return PlainBody(document, "Body", log); }

std::string PlainBody(const LNDocument& document, const char* itemName, const ExportLog& log) {
    LNITEMTYPE type = TYPE_INVALID_OR_UNKNOWN;
    {
        ScopedNotesThrowMode returnCodes(false);
        if (!document.HasItem(itemName) || document.GetItemType(itemName, &type) != LNNOERROR) return std::string();
    }
    if (type == TYPE_COMPOSITE) return RichTextBody(document, itemName, log).value_or(std::string());
    if (type == TYPE_TEXT || type == TYPE_TEXT_LIST) {
        std::string text;
        const std::vector<std::string> values = AllTexts(document, itemName).value_or(std::vector<std::string>{});
        for (std::size_t i = 0; i < values.size(); ++i) text += (i ? "\n" : "") + values[i];
        return text;
    }
    FieldTextOptions options;
    options.reportFailure = [&log](const std::string& failure) { log.Write("...." + failure + "\n"); };
    return GetFieldText(document.GetNoteHandle(), itemName, '\n', options);
}

void StopRun(ExportRun& run, const std::string& text) {
    if (run.stopText.empty()) run.stopText = "~#>ERROR " + text;
}

bool InstanceSavedBefore(const ExportRun& run, const ExportLog& log, const std::string& itemId, std::size_t index) {
    if (!run.SavedBefore(itemId)) return false;
    log.Write(fmt::format("....Instance {} was saved before the interruption: not written again\n", index + 1));
    return true;
}

bool DocumentSavedBefore(ExportRun& run, const ExportLog& log, const std::string& itemId) {
    if (!run.SavedBefore(itemId)) return false;
    log.Write("....The document was saved before the interruption: not written again\n");
    ++run.exportedCount;
    return true;
}

void CountInstances(ExportRun& run, std::size_t passed, std::size_t saved) {
    if (passed == 0) {
        ++run.filteredCount;
    } else if (saved == passed) {
        ++run.exportedCount;
    }
}

void ReportCreateFailure(ExportRun& run, const ExportLog& log, const std::string& createError, std::int32_t step) {
    log.Write(fmt::format("....~#>ERROR Unable to create an item in the Outlook folder: {} [{}]\n", createError, step));
    StopRun(run, "Unable to create a message in the Outlook store: " + createError);
}

bool ReportItemSave(ExportRun& run, const ExportLog& log, HRESULT hr, const CalendarItemRecord& record,
                    bool lostAttachment, std::int32_t step, const char* kind) {
    for (const std::string& lost : record.lostAttachments)
        log.Write(fmt::format("....~#>ERROR Unable to attach {}\n", lost));
    if (FAILED(hr)) {
        log.Write(fmt::format("....~#>ERROR Unable to save {} [{}:{}]\n", kind, step, record.lastError));
        if (record.storeRefused) StopRun(run, "Unable to save a message to the Outlook store: " + record.lastError);
        return false;
    }
    if (lostAttachment || !record.lostAttachments.empty()) {
        ++run.incompleteCount;
        log.Write(fmt::format("....~#>Warning This {} was exported without an attachment\n", kind));
    }
    return true;
}

std::string CategoryName(const std::string& value) {
    static const std::pair<const char*, const char*> kNames[] = {{"H", "Holiday"},  {"V", "Vacation"},
                                                                 {"P", "Projects"}, {"C", "Clients"},
                                                                 {"PC", "Phone Calls"}, {"T", "Travel"}};
    for (const auto& [code, name] : kNames)
        if (value == code) return name;
    return value;
}

}  // namespace qb
