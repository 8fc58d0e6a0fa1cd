#include "notes/sample/OutlookFolderPlan.h"

#include <algorithm>

#include "notes/sample/ItemExpectations.h"

namespace qb::notes::sample {

DocumentRoute RouteOf(const SampleDocument& document) {
    if (document.form == "Appointment") return DocumentRoute::Calendar;
    if (document.form == "Task") return DocumentRoute::Task;
    return DocumentRoute::Mail;
}

SampleTime DocumentDate(const SampleDocument& document) {
    const SampleItem* delivered = document.Find("DeliveredDate");
    if (delivered && delivered->kind == ItemKind::Datetime && !delivered->times.empty()) return delivered->times.front();
    return document.created;
}

ItemCounter CountMailItems(std::optional<SampleDateRange> dateFilter) {
    return [dateFilter](const SampleDocument& document) {
        if (RouteOf(document) != DocumentRoute::Mail) return CalendarItemCount(document, dateFilter);
        if (!dateFilter) return 1;
        const std::int64_t when = DocumentDate(document).utcSeconds;
        return when >= dateFilter->from && when <= dateFilter->to ? 1 : 0;
    };
}

OutlookFolderPlan::OutlookFolderPlan(const SampleExportSettings& settings, ItemCounter items)
    : settings_(settings), items_(std::move(items)) {}

void OutlookFolderPlan::AddViews(const std::vector<ViewDefinition>& views) {
    for (const ViewDefinition& view : views) {
        // A title met twice is exported once, under its first Outlook folder.
        if (TargetOf(view.title)) continue;
        const std::optional<std::string> path = settings_.OutlookPathOf(view.title);
        if (!path) continue;
        auto folder = std::find_if(folders_.begin(), folders_.end(),
                                   [&](const NamedCount& known) { return known.name == *path; });
        if (folder == folders_.end()) folder = folders_.insert(folders_.end(), NamedCount{*path, 0});
        targets_.push_back({view.title, static_cast<std::size_t>(folder - folders_.begin())});
    }
}

const OutlookFolderPlan::ViewTarget* OutlookFolderPlan::TargetOf(const std::string& title) const {
    const auto found =
        std::find_if(targets_.begin(), targets_.end(), [&](const ViewTarget& target) { return target.title == title; });
    return found == targets_.end() ? nullptr : &*found;
}

std::vector<std::string> OutlookFolderPlan::Place(const SampleDocument& document,
                                                  const std::vector<std::string>& holders) {
    std::vector<std::string> placed;
    const int items = items_(document);
    if (items <= 0) return placed;
    for (std::size_t i = 0; i < holders.size(); ++i) {
        const std::string& title = holders[i];
        const ViewTarget* target = TargetOf(title);
        if (!target || std::find(holders.begin(), holders.begin() + i, title) != holders.begin() + i) continue;
        NamedCount& folder = folders_[target->folder];
        folder.count += items;
        placed.push_back(folder.name);
    }
    return placed;
}

}  // namespace qb::notes::sample
