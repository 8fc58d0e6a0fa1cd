#pragma once
// Reading the items of calendar entries and tasks (and the other documents
// that are not mail): first values, name lists in the user's name form,
// date/time items, the plain text body, categories and the sender; and what
// those converters share in a run.

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "convert/ExportRun.h"
#include "outlook/CalendarItems.h"
#include "notes/api/LNNotesSession.h"
#include "shell/platform/RecycledFiles.h"

namespace qb {

class ExportLog;
class ProgressSink;
class CMapiSession;
struct ExportSettings;

// What the calendar and task converters work with during a run.
struct EntryContext {
    ExportRun& run;  // counters and time zone offsets
    const ExportSettings& settings;
    const ExportLog& log;
    ProgressSink& progress;  // secondary line 1: the entry
    CMapiSession& outlook;
    std::string tempFolder;  // where attachments are extracted
    platform::RecycledFiles* recycled = nullptr;  // the run's kept temporary files; null: none kept
};

// The first text value of an item. nullopt when the item is missing or
// cannot be read as text; an item without values reads as the empty text.
std::optional<std::string> FirstText(const LNDocument& document, const char* name);

// Every text value of an item; nullopt when it is missing or unreadable.
std::optional<std::vector<std::string>> AllTexts(const LNDocument& document, const char* name);

// A person name as the user wants it: abbreviated (CN=User One/O=Org becomes
// User One/Org), whole with UseAbbNotesNames, else its part before the first "/".
std::string NameForm(LNNotesSession& session, const std::string& name, bool useAbbreviated);

// Appends the name form of every non-empty value of the item that is not in
// the list yet; true when it added at least one.
bool AppendNames(const LNDocument& document, const char* item, LNNotesSession& session, bool useAbbreviated,
                 std::vector<std::string>& names);

// The values of a date/time item, a single value (0x0400) as well as a list
// (0x0401). nullopt when the item is missing or of another type; throws (or
// gives an empty list) as the Notes interface does when it cannot be read.
std::optional<std::vector<LNDatetime>> ReadDatetimes(const LNDocument& document, const char* name);

// The plain text of Body: text and text lists as text (list entries on lines
// of their own), rich text whatever its length, any other type through the
// field reader. Failures to read rich text are logged with their lines.
std::string PlainBody(const LNDocument& document, const ExportLog& log);
// The same for another body-like item (a contact's Comment or Briefcase).
std::string PlainBody(const LNDocument& document, const char* itemName, const ExportLog& log);

// Ends the run after this document, keeping the first cause: the store
// refused a write and would refuse every one after it.
void StopRun(ExportRun& run, const std::string& text);

// True (and logged) when a resumed run finds the instance's item in the
// folder already: it is not written again.
bool InstanceSavedBefore(const ExportRun& run, const ExportLog& log, const std::string& itemId, std::size_t index);
// The same for a document that becomes one item; such a document counts as
// exported.
bool DocumentSavedBefore(ExportRun& run, const ExportLog& log, const std::string& itemId);
// Logs that no item could be created in the folder and stops the run: the
// store refuses every later item the same way.
void ReportCreateFailure(ExportRun& run, const ExportLog& log, const std::string& createError, std::int32_t step);
// Counts a document that became `passed` instances after the date filter, of
// which `saved` were saved: filtered out when none passed, exported only
// when every one that passed was saved.
void CountInstances(ExportRun& run, std::size_t passed, std::size_t saved);

// Logs what the save of an item left out or why it failed, and counts an
// item saved without an attachment; true when the item was saved. `kind`
// names the item in the failure line ("calendar entry", "task").
bool ReportItemSave(ExportRun& run, const ExportLog& log, HRESULT hr, const CalendarItemRecord& record,
                    bool lostAttachment, std::int32_t step, const char* kind);

// "H" Holiday, "V" Vacation, "P" Projects, "C" Clients, "PC" Phone Calls,
// "T" Travel; any other value unchanged.
std::string CategoryName(const std::string& value);

}  // namespace qb
