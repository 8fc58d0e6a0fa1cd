#pragma once
// What the export of the sample must put into Outlook, worked out from the
// generator's own data: for every view and folder the shipped rules select,
// its Outlook folder, and per Outlook folder the number of items the export
// writes there. Each document is placed as it is written, from the views and
// folders that hold it, so nothing is kept per document.
//
// The export takes every document of every selected view or folder once per
// view (a memo in the Inbox and in a user folder becomes two items), skips a
// view whose Notes title it has exported already, and leaves out documents
// the date filter rejects. Calendar entries and tasks found in mail views are
// routed to their own converters and give one item per instance.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "notes/sample/SampleDatabase.h"
#include "notes/sample/SampleDocument.h"
#include "notes/sample/SampleExportSettings.h"

namespace qb::notes::sample {

// The converter a document of a mail view goes to, chosen by its form.
enum class DocumentRoute { Mail, Calendar, Task };
DocumentRoute RouteOf(const SampleDocument& document);

// Inclusive bounds, seconds since 1970 UTC.
struct SampleDateRange {
    std::int64_t from = 0;
    std::int64_t to = 0;
};

// The date the mail export files a document under: its first delivery time,
// else its creation time.
SampleTime DocumentDate(const SampleDocument& document);

// How many Outlook items the export writes for one document of a mail view.
using ItemCounter = std::function<int(const SampleDocument&)>;

// One item per mail document the date filter (when on) lets through; for
// calendar entries and tasks one per instance it lets through (one
// appointment per repeat, per day of a multi-day all-day event).
ItemCounter CountMailItems(std::optional<SampleDateRange> dateFilter = std::nullopt);

class OutlookFolderPlan {
public:
    explicit OutlookFolderPlan(const SampleExportSettings& settings, ItemCounter items = CountMailItems());

    // Declares the views and folders of the mail database in catalogue
    // order; every selected one gets its Outlook folder, even when empty.
    void AddViews(const std::vector<ViewDefinition>& views);

    // Counts one document and returns the Outlook folders it lands in (one
    // entry per selected view or folder holding it; none when it writes no
    // item), given the titles of the views and folders that hold it.
    std::vector<std::string> Place(const SampleDocument& document, const std::vector<std::string>& holders);

    // Outlook folder paths and item counts, in the order the views were declared.
    const std::vector<NamedCount>& folders() const { return folders_; }

private:
    struct ViewTarget {
        std::string title;
        std::size_t folder = 0;  // index into folders_
    };
    const ViewTarget* TargetOf(const std::string& title) const;

    const SampleExportSettings& settings_;
    ItemCounter items_;
    std::vector<ViewTarget> targets_;
    std::vector<NamedCount> folders_;
};

}  // namespace qb::notes::sample
