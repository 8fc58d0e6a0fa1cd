#pragma once
// Opening one Notes database for the inspection commands: through notes.ini
// when one is given (a path that is not a file from the current folder is
// then relative to its data directory), else as a file path.

#include <ostream>
#include <string>

#include "notes/api/LNNotes.h"
#include "text/JsonText.h"

namespace qb::cli {

// Initialises the session and opens the database; on failure writes the
// Notes error text to err and returns false.
bool OpenNotesDatabase(LNNotesSession& session, const std::string& notesIni, const std::string& path,
                       LNDatabase* database, std::ostream& err);

std::string NotesStatusText(LNSTATUS status);
std::string ItemTypeName(LNITEMTYPE type);
using text::JsonString;

}  // namespace qb::cli
