#pragma once
// Converted calendar entries and tasks, and the writers that save them as
// IPM.Appointment and IPM.Task items: recipients as rows of display names,
// the sender as a one-off SMTP identity, attachments by value, and the
// standard and named properties Outlook reads for its calendar and its task
// list. Each record holds its new message; destroyed unsaved, it leaves
// nothing in the folder.
//
// Times are seconds since 1970 UTC; the converters have applied the run's
// time zone, so the writers shift nothing.

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "outlook/OutlookSession.h"

namespace qb {

// What both kinds of item carry.
class CalendarItemRecord {
public:
    CalendarItemRecord(CMapiSession& session, mapi::MapiPtr<IMessage> message)
        : session_(session), message_(std::move(message)) {}
    virtual ~CalendarItemRecord() = default;
    CalendarItemRecord(const CalendarItemRecord&) = delete;
    CalendarItemRecord& operator=(const CalendarItemRecord&) = delete;

    std::vector<std::string> requiredNames, optionalNames, blindNames;  // empty names write no row
    std::time_t postedTime = 0, creationTime = 0, modificationTime = 0;
    bool reminderSet = false;
    std::int32_t reminderMinutes = 15;
    std::string senderName, senderAddress;
    std::string subject, category, body;
    bool recurring = false;
    bool isPrivate = false;
    bool markAsRead = false;
    std::vector<std::string> attachmentFiles;

    // Set by the save: the attachment files that could not be attached (each
    // with its cause), and the reason of a failed save.
    std::vector<std::string> lostAttachments;
    std::string lastError;

    IMessage* message() const { return message_.get(); }

protected:
    // Writes the recipients, attachments and properties and saves; 0 on
    // success. `values` are the item's own properties besides the common ones.
    HRESULT Save(ULONG_PTR uiHandle, const char* messageClass, std::int32_t responseStatus,
                 std::vector<SPropValue> values);

private:
    CMapiSession& session_;
    mapi::MapiPtr<IMessage> message_;
};

class AppointmentRecord : public CalendarItemRecord {
public:
    using CalendarItemRecord::CalendarItemRecord;

    std::time_t start = 0, end = 0;
    bool allDay = false;
    std::int32_t busyStatus = 2;  // 0 free, 2 busy
    std::string location;
    bool meeting = false;
    bool received = false;
    bool cancelled = false;
    std::int32_t responseStatus = 5;

    // The reminder fires `reminderMinutes` before the start.
    HRESULT SaveAppointment(ULONG_PTR uiHandle = 0);
};

class TaskRecord : public CalendarItemRecord {
public:
    using CalendarItemRecord::CalendarItemRecord;

    std::string owner;
    std::int32_t priority = 0;  // -1 low, 0 normal, 1 high
    std::time_t start = 0, due = 0, completed = 0;
    bool startPresent = false, duePresent = false, completedPresent = false;
    // When the reminder fires; a reminder is written only with one.
    std::time_t reminderTime = 0;
    double percentComplete = 0.0;
    std::int32_t status = 0;
    bool complete = false;

    HRESULT SaveTask(ULONG_PTR uiHandle = 0);
};

// A new, empty record on a new message of the folder; null when the folder
// refuses to create one, `error` then saying why.
std::unique_ptr<AppointmentRecord> NewAppointmentRecord(CMapiSession& session, const FolderHandle& folder,
                                                        std::string* error = nullptr);
std::unique_ptr<TaskRecord> NewTaskRecord(CMapiSession& session, const FolderHandle& folder,
                                          std::string* error = nullptr);

}  // namespace qb
