#pragma once
// What the calendar entries and tasks of the sample must become in the
// Outlook file, worked out from the generator's own documents and the rules
// the export follows, and written as the "appointments" and "tasks" sections
// of expected_items.json:
//
// - one appointment per repeat instance, per day of a multi-day all-day
//   event; one task per repeat instance (one, undated, when a repeating task
//   has no start); an entry without AppointmentType none;
// - timed starts and ends as UTC instants; all-day items (and dates alone)
//   as local dates: the export puts them at local midnight wherever it runs;
// - reminders only for entries still to come; attendees as abbreviated Notes
//   names or Internet addresses, each once per recipient type, none empty.
//
// The items of each section are kept as text until Close; they are few
// beside the mail.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "notes/api/formula/CompiledFormula.h"
#include "notes/sample/OutlookFolderPlan.h"
#include "notes/sample/SampleDocument.h"

namespace qb::notes::sample {

// How many Outlook items the export makes of one calendar entry or task
// (0 for any other document), instances the date filter rejects left out.
int CalendarItemCount(const SampleDocument& document, std::optional<SampleDateRange> dateFilter = std::nullopt);

// The folders the Calendar and Tasks components put a document into ("Calendar", "Tasks" by the sample's settings).
class ComponentSelection {
public:
    ComponentSelection();
    ~ComponentSelection();
    // The component folder of the document, or nullopt when no component search selects it.
    std::optional<std::string> FolderOf(const SampleDocument& document) const;

private:
    std::unique_ptr<CompiledFormula> calendar_, tasks_;
};

class ItemExpectationWriter {
public:
    explicit ItemExpectationWriter(std::string path) : path_(std::move(path)) {}

    // Describes every item of a calendar entry or task in each of `folders`.
    void Add(const SampleDocument& document, const std::vector<std::string>& folders);
    // Writes the file; throws when it cannot be written.
    void Close();

    long long appointments() const { return appointments_; }
    long long tasks() const { return tasks_; }

private:
    std::string path_;
    std::string appointmentText_, taskText_;
    long long appointments_ = 0, tasks_ = 0;
};

}  // namespace qb::notes::sample
