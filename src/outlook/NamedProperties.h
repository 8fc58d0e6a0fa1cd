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

struct NamedPropertyTags {
    ULONG keywords = PR_NULL;           // PS_PUBLIC_STRINGS "Keywords", PT_MV_STRING8
    std::vector<ULONG> appointment;     // PSETID_Appointment, request order
    std::vector<ULONG> common;          // PSETID_Common
    std::vector<ULONG> task;            // PSETID_Task
    std::vector<ULONG> address;         // PSETID_Address
    ULONG universalId = PR_NULL;        // PSETID_QuillboxSource "NotesUniversalID", PT_STRING8
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
