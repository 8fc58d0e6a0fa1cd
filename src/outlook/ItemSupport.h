#pragma once
// Small pieces every item writer shares: calendar fields as MAPI file times,
// texts handed to SetProps, one-off SMTP entry identifiers, and the recipient
// rows of unresolved display names.

#include <string>
#include <vector>

#include "outlook/mapi/MapiAlloc.h"
#include "outlook/OutlookSession.h"
#include "outlook/mapi/MapiInterfaces.h"
#include "shell/platform/LocalTime.h"

namespace qb {

// The fields as they are (no zone shift); zero for fields out of range.
FILETIME ToFileTime(const platform::SystemTime& time);
FILETIME UnixToFileTimeValue(std::time_t when);

// SetProps reads texts without changing them.
inline char* Text(const std::string& text) { return const_cast<char*>(text.c_str()); }

// A one-off SMTP entry identifier in a MAPI buffer.
HRESULT OneOff(IAddrBook& book, const std::string& name, const std::string& address, ULONG& size,
               mapi::MapiBuffer<ENTRYID>& id);

// A new message in the folder; null when the folder refuses, `error` then
// saying why (the store's own text).
mapi::MapiPtr<IMessage> CreateFolderMessage(const FolderHandle& folder, std::string* error);

// A name list of one recipient type (MAPI_TO, MAPI_CC, MAPI_BCC).
struct RecipientNames {
    const std::vector<std::string>& names;
    ULONG type;
};

// One row per non-empty name: PR_DISPLAY_NAME and PR_RECIPIENT_TYPE, nothing
// resolved. False when memory ran out.
bool BuildNameRows(const std::vector<RecipientNames>& lists, mapi::MapiBuffer<ADRLIST>& rows);

}  // namespace qb
