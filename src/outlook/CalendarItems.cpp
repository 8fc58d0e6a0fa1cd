#include "outlook/CalendarItems.h"

#include "outlook/ItemSupport.h"
#include "outlook/MessageRecord.h"
#include "outlook/NamedProperties.h"
#include "outlook/mapi/MapiTags.h"
#include "outlook/mapi/PropUtil.h"

namespace qb {
namespace {

SPropValue Value(ULONG tag) {
    SPropValue v{};
    v.ulPropTag = tag;
    return v;
}

SPropValue TimeValue(ULONG tag, std::time_t when) {
    SPropValue v = Value(tag);
    v.Value.ft = UnixToFileTimeValue(when);
    return v;
}

SPropValue LongValue(ULONG tag, std::int32_t value) {
    SPropValue v = Value(tag);
    v.Value.l = value;
    return v;
}

SPropValue BoolValue(ULONG tag, bool value) {
    SPropValue v = Value(tag);
    v.Value.b = value ? 1 : 0;
    return v;
}

SPropValue TextValue(ULONG tag, const std::string& text) {
    SPropValue v = Value(tag);
    v.Value.lpszA = Text(text);
    return v;
}

// Unresolved names drop out: SetProps skips PR_NULL, so leave them out here.
void Keep(std::vector<SPropValue>& values, SPropValue value) {
    if (value.ulPropTag != PR_NULL) values.push_back(value);
}

}  // namespace

HRESULT CalendarItemRecord::Save(ULONG_PTR, const char* messageClass, std::int32_t responseStatus,
                                 std::vector<SPropValue> ownValues) {
    if (!session_.session || !message_) return E_FAIL;

    mapi::MapiBuffer<ADRLIST> rows;
    if (!BuildNameRows({{requiredNames, MAPI_TO}, {optionalNames, MAPI_CC}, {blindNames, MAPI_BCC}}, rows)) {
        lastError = "MAPIAllocateBuffer FAILED";
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    const FILETIME created = UnixToFileTimeValue(creationTime);
    lostAttachments.clear();
    for (const std::string& path : attachmentFiles) {
        std::string why;
        if (FAILED(AttachFile(message_.get(), path, created, &why))) lostAttachments.push_back(path + ": " + why);
    }
    if (rows->cEntries > 0) message_->ModifyRecipients(MODRECIP_ADD, rows.get());

    IAddrBook* book = nullptr;
    if (HRESULT hr = session_.GetAddressBook(&book); FAILED(hr) || !book) {
        lastError = "the address book cannot be opened";
        return FAILED(hr) ? hr : E_POINTER;
    }
    ULONG senderSize = 0;
    mapi::MapiBuffer<ENTRYID> senderId;
    if (HRESULT hr = OneOff(*book, senderName, senderAddress, senderSize, senderId); FAILED(hr)) {
        lastError = "CreateOneOff failed for the sender " + senderName;
        return hr;
    }

    static const std::string kSmtp = "SMTP";
    const std::string className = messageClass;
    const NamedPropertyTags& named = NamedTags();
    std::vector<SPropValue> values = std::move(ownValues);
    Keep(values, TextValue(PR_BODY, body));
    Keep(values, TextValue(PR_SUBJECT, subject));
    Keep(values, TextValue(PR_MESSAGE_CLASS, className));
    Keep(values, TimeValue(PR_MESSAGE_DELIVERY_TIME, creationTime));
    Keep(values, TimeValue(PR_CREATION_TIME, creationTime));
    Keep(values, LongValue(PR_MESSAGE_FLAGS, MSGFLAG_READ));
    SPropValue sender = Value(PR_SENDER_ENTRYID);
    sender.Value.bin = SBinary{senderSize, reinterpret_cast<LPBYTE>(senderId.get())};
    Keep(values, sender);
    Keep(values, TextValue(PR_SENDER_EMAIL_ADDRESS, senderAddress));
    Keep(values, TextValue(PR_SENDER_NAME, senderName));
    Keep(values, TextValue(PR_SENDER_ADDRTYPE, kSmtp));
    Keep(values, TextValue(PR_SENT_REPRESENTING_NAME, senderName));
    Keep(values, TextValue(PR_SENT_REPRESENTING_EMAIL_ADDRESS, senderAddress));
    Keep(values, TimeValue(PR_CLIENT_SUBMIT_TIME, postedTime));
    Keep(values, BoolValue(PR_REPLY_REQUESTED, true));
    Keep(values, BoolValue(PR_RESPONSE_REQUESTED, true));
    Keep(values, LongValue(PR_SENSITIVITY, isPrivate ? 2 : 0));
    // Keywords holds the category as its one value, also when it is empty.
    char* keyword = Text(category);
    SPropValue keywords = Value(named.keywords);
    keywords.Value.MVszA = SLPSTRArray{1, &keyword};
    Keep(values, keywords);
    Keep(values, BoolValue(named.Tag(PidLidPrivate), isPrivate));
    Keep(values, BoolValue(named.Tag(PidLidReminderSet), reminderSet));
    Keep(values, LongValue(named.Tag(PidLidReminderDelta), reminderMinutes));
    Keep(values, LongValue(named.Tag(PidLidResponseStatus), responseStatus));
    Keep(values, BoolValue(named.Tag(PidLidRecurring), recurring));

    if (HRESULT hr = message_->SetProps(static_cast<ULONG>(values.size()), values.data(), nullptr); FAILED(hr)) {
        // Not fatal: the item is saved with what was set, and the reason kept.
        lastError = mapi::LastErrorTextWithCode(*message_, hr, "cannot set the item's properties");
    }
    if (markAsRead) message_->SetReadFlag(MAPI_DEFERRED_ERRORS);
    const HRESULT hr = message_->SaveChanges(0);
    if (FAILED(hr)) lastError = mapi::LastErrorTextWithCode(*message_, hr, "cannot save the item");
    return hr;
}

HRESULT AppointmentRecord::SaveAppointment(ULONG_PTR uiHandle) {
    const NamedPropertyTags& named = NamedTags();
    // Whole days: the converter gives local midnights, so an all-day event
    // lasts one day even when a clock change makes it 23 or 25 hours long.
    const std::int32_t duration =
        allDay ? 1440 : static_cast<std::int32_t>((end - start) / 60);
    std::vector<SPropValue> values;
    Keep(values, BoolValue(named.Tag(PidLidAppointmentSubType), allDay));
    for (ULONG tag : {named.Tag(PidLidAppointmentStartWhole), named.Tag(PidLidCommonStart), ULONG{PR_START_DATE},
                      named.Tag(PidLidClipStart), named.Tag(PidLidReminderTime)})
        Keep(values, TimeValue(tag, start));
    for (ULONG tag : {named.Tag(PidLidAppointmentEndWhole), named.Tag(PidLidCommonEnd), ULONG{PR_END_DATE},
                      named.Tag(PidLidClipEnd)})
        Keep(values, TimeValue(tag, end));
    // The reminder fires its minutes before the start.
    Keep(values, TimeValue(named.Tag(PidLidReminderSignalTime), start - std::time_t{reminderMinutes} * 60));
    Keep(values, LongValue(named.Tag(PidLidAppointmentDuration), duration));
    Keep(values, TextValue(named.Tag(PidLidLocation), location));
    Keep(values, LongValue(named.Tag(PidLidBusyStatus), busyStatus));
    Keep(values, LongValue(named.Tag(PidLidAppointmentStateFlags),
                           (meeting ? 1 : 0) | (received ? 2 : 0) | (cancelled ? 4 : 0)));
    return Save(uiHandle, "IPM.Appointment", responseStatus, std::move(values));
}

HRESULT TaskRecord::SaveTask(ULONG_PTR uiHandle) {
    const NamedPropertyTags& named = NamedTags();
    std::vector<SPropValue> values;
    Keep(values, TextValue(named.Tag(PidLidTaskOwner), owner));
    if (duePresent) Keep(values, TimeValue(named.Tag(PidLidTaskDueDate), due));
    if (startPresent) Keep(values, TimeValue(named.Tag(PidLidTaskStartDate), start));
    if (completedPresent) Keep(values, TimeValue(named.Tag(PidLidTaskDateCompleted), completed));
    SPropValue percent = Value(named.Tag(PidLidPercentComplete));
    percent.Value.dbl = percentComplete;
    Keep(values, percent);
    Keep(values, LongValue(named.Tag(PidLidTaskStatus), status));
    Keep(values, BoolValue(named.Tag(PidLidTaskComplete), complete));
    // A reminder is only ever written with the moment it fires.
    if (reminderSet && reminderTime != 0) {
        Keep(values, TimeValue(named.Tag(PidLidReminderSignalTime), reminderTime));
        Keep(values, TimeValue(named.Tag(PidLidReminderTime), reminderTime));
    } else {
        reminderSet = false;
    }
    Keep(values, LongValue(PR_PRIORITY, priority));
    Keep(values, LongValue(PR_IMPORTANCE, priority + 1));
    return Save(uiHandle, "IPM.Task", 5, std::move(values));
}

std::unique_ptr<AppointmentRecord> NewAppointmentRecord(CMapiSession& session, const FolderHandle& folder,
                                                        std::string* error) {
    mapi::MapiPtr<IMessage> message = CreateFolderMessage(folder, error);
    if (!message) return nullptr;
    return std::make_unique<AppointmentRecord>(session, std::move(message));
}

std::unique_ptr<TaskRecord> NewTaskRecord(CMapiSession& session, const FolderHandle& folder, std::string* error) {
    mapi::MapiPtr<IMessage> message = CreateFolderMessage(folder, error);
    if (!message) return nullptr;
    return std::make_unique<TaskRecord>(session, std::move(message));
}

}  // namespace qb
