#pragma once
// The Outlook named properties the item writers use, resolved through the
// store's name-to-id map once per export run and kept as property tags.

#include <vector>

#include "outlook/OutlookSession.h"

namespace qb {

struct NamedPropertyTags {
    ULONG keywords = PR_NULL;           // PS_PUBLIC_STRINGS "Keywords", PT_MV_STRING8
    std::vector<ULONG> appointment;     // PSETID_Appointment, request order
    std::vector<ULONG> common;          // PSETID_Common
    std::vector<ULONG> task;            // PSETID_Task
    std::vector<ULONG> address;         // PSETID_Address
};

// The tags of the current run (process-wide, as the writers read them).
const NamedPropertyTags& NamedTags();

// The tag of one PSETID_Address or PSETID_Common property of the current run
// by its identifier (0x8005...); PR_NULL when it was not resolved.
ULONG AddressTag(LONG id);
ULONG CommonTag(LONG id);

// Resolves the five groups on the top folder of the store; false when a call
// fails, with the reason in the session's lastError.
bool InitNamedProps(CMapiSession& session);

}  // namespace qb
