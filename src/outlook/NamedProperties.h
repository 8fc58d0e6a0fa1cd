#pragma once
// The Outlook named properties the item writers use, resolved through the
// store's name-to-id map once per export run and kept as property tags.

#include <vector>

#include "outlook/OutlookSession.h"

namespace qb {

// A named property by its set and identifier; the writers name the ones
// they set with the constants below and get their tags with Tag().
enum class PropertySet { Appointment, Common, Task, Address };
struct NamedId {
    PropertySet set;
    LONG id;
};

inline constexpr NamedId PidLidBusyStatus{PropertySet::Appointment, 0x8205};
inline constexpr NamedId PidLidLocation{PropertySet::Appointment, 0x8208};
inline constexpr NamedId PidLidAppointmentStartWhole{PropertySet::Appointment, 0x820D};
inline constexpr NamedId PidLidAppointmentEndWhole{PropertySet::Appointment, 0x820E};
inline constexpr NamedId PidLidAppointmentDuration{PropertySet::Appointment, 0x8213};
inline constexpr NamedId PidLidAppointmentSubType{PropertySet::Appointment, 0x8215};
inline constexpr NamedId PidLidAppointmentStateFlags{PropertySet::Appointment, 0x8217};
inline constexpr NamedId PidLidResponseStatus{PropertySet::Appointment, 0x8218};
inline constexpr NamedId PidLidRecurring{PropertySet::Appointment, 0x8223};
inline constexpr NamedId PidLidClipStart{PropertySet::Appointment, 0x8235};
inline constexpr NamedId PidLidClipEnd{PropertySet::Appointment, 0x8236};
inline constexpr NamedId PidLidReminderDelta{PropertySet::Common, 0x8501};
inline constexpr NamedId PidLidReminderTime{PropertySet::Common, 0x8502};
inline constexpr NamedId PidLidReminderSet{PropertySet::Common, 0x8503};
inline constexpr NamedId PidLidPrivate{PropertySet::Common, 0x8506};
inline constexpr NamedId PidLidCommonStart{PropertySet::Common, 0x8516};
inline constexpr NamedId PidLidCommonEnd{PropertySet::Common, 0x8517};
inline constexpr NamedId PidLidReminderSignalTime{PropertySet::Common, 0x8560};
inline constexpr NamedId PidLidTaskStatus{PropertySet::Task, 0x8101};
inline constexpr NamedId PidLidPercentComplete{PropertySet::Task, 0x8102};
inline constexpr NamedId PidLidTaskStartDate{PropertySet::Task, 0x8104};
inline constexpr NamedId PidLidTaskDueDate{PropertySet::Task, 0x8105};
inline constexpr NamedId PidLidTaskDateCompleted{PropertySet::Task, 0x810F};
inline constexpr NamedId PidLidTaskComplete{PropertySet::Task, 0x811C};
inline constexpr NamedId PidLidTaskOwner{PropertySet::Task, 0x811F};

struct NamedPropertyTags {
    ULONG keywords = PR_NULL;           // PS_PUBLIC_STRINGS "Keywords", PT_MV_STRING8
    std::vector<ULONG> appointment;     // PSETID_Appointment, request order
    std::vector<ULONG> common;          // PSETID_Common
    std::vector<ULONG> task;            // PSETID_Task
    std::vector<ULONG> address;         // PSETID_Address

    // The tag of a named property with its type; PR_NULL when the store did
    // not resolve its group (SetProps then skips the value).
    ULONG Tag(NamedId name) const;
};

// The tags of the current run (process-wide, as the writers read them).
const NamedPropertyTags& NamedTags();

// Resolves the five groups on the top folder of the store; false when a call
// fails, with the reason in the session's lastError.
bool InitNamedProps(CMapiSession& session);

}  // namespace qb
