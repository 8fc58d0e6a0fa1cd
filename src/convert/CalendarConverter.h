#pragma once
// One Notes calendar document (Form "Appointment") into Outlook appointments:
// one per repeat instance, and one per day of an all-day event that spans
// several days. Each instance is guarded by itself: what goes wrong with one
// ends that instance, logged with its step, and the next one follows.
//
// A document counts as exported when every instance the date filter let
// through was saved; as left out when the filter let none through.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "convert/DocumentDispatcher.h"
#include "convert/EntryFields.h"
#include "outlook/CalendarItems.h"

namespace qb {

class CalendarConverter : public DocumentConverter {
public:
    explicit CalendarConverter(EntryContext context) : context_(std::move(context)) {}

    // True when the document went through conversion.
    bool Convert(const FolderHandle& folder, LNNotesSession& session, LNDocument& document) override;

    std::int32_t stepCode() const { return step_; }

protected:
    // The appointment writer; a seam for tests that watch what is saved.
    virtual HRESULT Save(AppointmentRecord& record) { return record.SaveAppointment(); }

private:
    // What steps 1 to 4 find out about the document.
    struct Entry {
        std::string subject, type;
        std::vector<LNDatetime> starts, ends;
        // Set for an all-day event over several days: one date per day.
        std::vector<LNDatetime> days;
        bool spansDays = false;
        std::size_t instances = 0;
    };
    bool ReadEntry(LNDocument& document, Entry& entry);
    // The instance's start as written, for the date filter.
    LNDatetimeParts InstanceStart(const Entry& entry, std::size_t index) const;
    // True when the instance was saved.
    bool ExportInstance(const FolderHandle& folder, LNNotesSession& session, LNDocument& document,
                        const Entry& entry, std::size_t index, const std::string& statusText);
    void FillNames(const LNDocument& document, LNNotesSession& session, AppointmentRecord& record);
    void FillSender(const LNDocument& document, LNNotesSession& session, AppointmentRecord& record);
    void FillTiming(const Entry& entry, std::size_t index, AppointmentRecord& record);
    void FillKind(const LNDocument& document, const Entry& entry, AppointmentRecord& record);
    void FillReminder(const LNDocument& document, const Entry& entry, AppointmentRecord& record);
    void Step(std::int32_t value) { step_ = value; }

    EntryContext context_;
    std::int32_t step_ = 0;
};

}  // namespace qb
