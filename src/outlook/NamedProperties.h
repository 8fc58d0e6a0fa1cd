#pragma once
// The Outlook named properties the item writers use, resolved through the
// store's name-to-id map once per export run and kept as property tags.

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "outlook/OutlookSession.h"

namespace qb {

// Our own property set: every item the export writes carries the universal
// id of the Notes document it came from, so that a resumed export can tell
// an item it already saved from one it has still to write.
inline constexpr GUID PSETID_QuillboxSource = {
    0x5A1C7E93, 0x2F4B, 0x4D6E, {0x9A, 0x31, 0x7C, 0x05, 0xE8, 0xD2, 0x41, 0xB6}};
inline constexpr char16_t kUniversalIdName[] = u"NotesUniversalID";

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
inline constexpr NamedId PidLidEmail1EmailAddress{PropertySet::Address, 0x8083};
inline constexpr NamedId PidLidEmail1AddressType{PropertySet::Address, 0x8082};
inline constexpr NamedId PidLidEmail1DisplayName{PropertySet::Address, 0x8080};
inline constexpr NamedId PidLidEmail1OriginalDisplayName{PropertySet::Address, 0x8084};
inline constexpr NamedId PidLidEmail1OriginalEntryId{PropertySet::Address, 0x8085};
inline constexpr NamedId PidLidEmail2EmailAddress{PropertySet::Address, 0x8093};
inline constexpr NamedId PidLidEmail2AddressType{PropertySet::Address, 0x8092};
inline constexpr NamedId PidLidEmail2DisplayName{PropertySet::Address, 0x8090};
inline constexpr NamedId PidLidEmail2OriginalDisplayName{PropertySet::Address, 0x8094};
inline constexpr NamedId PidLidEmail2OriginalEntryId{PropertySet::Address, 0x8095};
inline constexpr NamedId PidLidEmail3EmailAddress{PropertySet::Address, 0x80A3};
inline constexpr NamedId PidLidEmail3AddressType{PropertySet::Address, 0x80A2};
inline constexpr NamedId PidLidEmail3DisplayName{PropertySet::Address, 0x80A0};
inline constexpr NamedId PidLidEmail3OriginalDisplayName{PropertySet::Address, 0x80A4};
inline constexpr NamedId PidLidEmail3OriginalEntryId{PropertySet::Address, 0x80A5};
inline constexpr NamedId PidLidHtml{PropertySet::Address, 0x802B};
inline constexpr NamedId PidLidHomeAddress{PropertySet::Address, 0x801A};
inline constexpr NamedId PidLidWorkAddress{PropertySet::Address, 0x801B};
inline constexpr NamedId PidLidWorkAddressStreet{PropertySet::Address, 0x8045};
inline constexpr NamedId PidLidWorkAddressCity{PropertySet::Address, 0x8046};
inline constexpr NamedId PidLidWorkAddressState{PropertySet::Address, 0x8047};
inline constexpr NamedId PidLidWorkAddressPostalCode{PropertySet::Address, 0x8048};
inline constexpr NamedId PidLidWorkAddressCountry{PropertySet::Address, 0x8049};
inline constexpr NamedId PidLidFileUnder{PropertySet::Address, 0x8005};
inline constexpr NamedId PidLidFileUnderId{PropertySet::Address, 0x8006};
inline constexpr NamedId PidLidDistributionListMembers{PropertySet::Address, 0x8055};
inline constexpr NamedId PidLidDistributionListOneOffMembers{PropertySet::Address, 0x8054};
inline constexpr NamedId PidLidAddressBookProviderArrayType{PropertySet::Address, 0x8029};
inline constexpr NamedId PidLidAddressBookProviderEmailList{PropertySet::Address, 0x8028};
inline constexpr NamedId PidLidContactUserField1{PropertySet::Address, 0x804F};
inline constexpr NamedId PidLidContactUserField2{PropertySet::Address, 0x8050};
inline constexpr NamedId PidLidContactUserField3{PropertySet::Address, 0x8051};
inline constexpr NamedId PidLidContactUserField4{PropertySet::Address, 0x8052};

struct NamedPropertyTags {
    ULONG keywords = PR_NULL;           // PS_PUBLIC_STRINGS "Keywords", PT_MV_STRING8
    std::vector<ULONG> appointment;     // PSETID_Appointment, request order
    std::vector<ULONG> common;          // PSETID_Common
    std::vector<ULONG> task;            // PSETID_Task
    std::vector<ULONG> address;         // PSETID_Address
    ULONG universalId = PR_NULL;        // PSETID_QuillboxSource "NotesUniversalID", PT_STRING8

    // The tag of a named property with its type; PR_NULL when the store did
    // not resolve its group (SetProps then skips the value).
    ULONG Tag(NamedId name) const;
};

// The tags of the current run (process-wide, as the writers read them).
const NamedPropertyTags& NamedTags();

// Resolves the five groups on the top folder of the store; false when a call
// fails, with the reason in the session's lastError.
bool InitNamedProps(CMapiSession& session);

// The universal ids of the items saved last in the folder, newest first, up
// to (not including) the item carrying `stopAt`, an item without a universal
// id, or `limit` items, whichever comes first. Needs InitNamedProps; an empty
// set when the folder cannot be read.
std::set<std::string> RecentUniversalIds(const FolderHandle& folder, const std::string& stopAt, std::size_t limit);

}  // namespace qb
