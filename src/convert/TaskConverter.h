#pragma once
// One Notes task document (Form "Task") into Outlook tasks: one per repeat
// instance. Each instance is guarded by itself; what goes wrong with one ends
// that instance, logged with its step, and the next one follows.
//
// A document counts as exported when every instance the date filter let
// through was saved; as left out when the filter let none through.

#include <cstdint>
#include <string>
#include <vector>

#include "convert/DocumentDispatcher.h"
#include "convert/EntryFields.h"
#include "outlook/CalendarItems.h"

namespace qb {

class TaskConverter : public DocumentConverter {
public:
    explicit TaskConverter(EntryContext context) : context_(std::move(context)) {}

    bool Convert(const FolderHandle& folder, LNNotesSession& session, LNDocument& document) override;

    std::int32_t stepCode() const { return step_; }

protected:
    // The task writer; a seam for tests that watch what is saved.
    virtual HRESULT Save(TaskRecord& record) { return record.SaveTask(); }

private:
    struct Dates {
        std::vector<LNDatetime> starts, dues;
    };
    // True when the instance was saved.
    bool ExportInstance(const FolderHandle& folder, LNNotesSession& session, LNDocument& document,
                        const Dates& dates, std::size_t index);
    void FillNames(const LNDocument& document, LNNotesSession& session, TaskRecord& record);
    void FillDates(const LNDocument& document, const Dates& dates, std::size_t index, TaskRecord& record);
    void FillReminder(const LNDocument& document, TaskRecord& record);
    void Step(std::int32_t value) { step_ = value; }

    EntryContext context_;
    std::int32_t step_ = 0;
};

}  // namespace qb
