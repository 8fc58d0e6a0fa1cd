#pragma once
// The plain text of a body-like item of a calendar entry, task, contact or
// group: rich text as its text (a large one read piece by piece, the pieces
// joined as they come), a text or text list as its values one a line.

#include <string>

#include "notes/api/LNNote.h"

namespace qb {

class ExportLog;

// Empty when the item is missing or unreadable; the two failures of reading
// rich text are written to the log.
std::string ReadPlainBody(const LNDocument& document, const char* itemName, const ExportLog& log);

}  // namespace qb
