#include "NotesOpen.h"

#include <filesystem>

namespace qb::cli {

std::string NotesStatusText(LNSTATUS status) {
    char text[512];
    LNGetErrorMessageText(status, text, sizeof text, 0);
    return text;
}

bool OpenNotesDatabase(LNNotesSession& session, const std::string& notesIni, const std::string& path,
                       LNDatabase* database, std::ostream& err) {
    LNSetThrowAllErrorsGlobal(false);
    LNSTATUS status = notesIni.empty() ? session.InitializeWithDataDirectory(".") : session.Initialize(notesIni);
    // A path that names a file from here is taken as it is; otherwise it is a
    // database path of the data directory.
    std::error_code error;
    std::string databasePath = path;
    if (!notesIni.empty() && std::filesystem::is_regular_file(path, error))
        databasePath = std::filesystem::absolute(path, error).string();
    if (status == LNNOERROR) status = session.GetDatabase(databasePath, database);
    if (status == LNNOERROR) status = database->Open();
    if (status != LNNOERROR) {
        err << "cannot open " << path << ": " << NotesStatusText(status) << "\n";
        return false;
    }
    return true;
}

std::string ItemTypeName(LNITEMTYPE type) {
    switch (type) {
    case TYPE_TEXT: return "text";
    case TYPE_TEXT_LIST: return "text list";
    case TYPE_NUMBER: return "number";
    case TYPE_NUMBER_RANGE: return "number list";
    case TYPE_TIME: return "time";
    case TYPE_TIME_RANGE: return "time list";
    case TYPE_COMPOSITE: return "rich text";
    case TYPE_OBJECT: return "file object";
    case TYPE_NOTEREF_LIST: return "note reference list";
    case TYPE_SIGNATURE: return "signature";
    case TYPE_RFC822_TEXT: return "RFC 822 text";
    case TYPE_MIME_PART: return "MIME part";
    case TYPE_FORMULA: return "formula";
    case TYPE_COLLATION: return "collation";
    case TYPE_VIEW_FORMAT: return "view format";
    case TYPE_USERID: return "user id";
    default: return "other";
    }
}

}  // namespace qb::cli
