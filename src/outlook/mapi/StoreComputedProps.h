#pragma once
// What a message store adds to a message when it is saved, as the mail
// client's own store does: search keys, the modification time, the body's
// code page, the sent-representing address type, the icon of the message
// class and state, the importance, priority and sensitivity defaults and the
// conversation topic. A value the writer set is never replaced, so every
// item writer gets these without writing them.

#include "outlook/mapi/PropUtil.h"

namespace qb::mapi {

// `unicodeStore`: strings are kept as PT_UNICODE (else Windows-1252).
// `now`: the save time as a file time.
void AddStoreComputedProperties(PropertyBag& props, bool unicodeStore, const FILETIME& now);

// The subject without its prefix ("RE: ", "FW: ", "AW: " ...: one to three
// characters other than a space or colon, a colon and a space), as the store
// normalizes it.
std::string NormalizedSubject(const std::string& subject, std::string* prefix = nullptr);

}  // namespace qb::mapi
