#include "notes/api/LNGlobal.h"

#include "notes/api/formula/FormulaStatus.h"
#include "text/TextCase.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

std::atomic<bool> g_throwAll{false};

struct LastFailure {
    LNSTATUS status = 0;
    std::string detail;
};
thread_local LastFailure t_lastFailure;

const char* BaseText(LNSTATUS status) {
    switch (status) {
    case LNNOERROR: return "No error";
    case LNWARN_NOT_FOUND: return "No documents found";
    case LNWARN_TOO_MUCH_TEXT: return "More text follows";
    case LNERR_NOT_INITIALIZED: return "The Notes session has not been initialized";
    case LNERR_THREAD_NOT_INITIALIZED: return "Notes has not been initialized for this thread";
    case LNERR_INVALID_PARAMETER: return "Invalid argument";
    case LNERR_FILE_NOT_FOUND: return "File does not exist";
    case LNERR_FILE_READ: return "Cannot read the database file";
    case LNERR_FILE_WRITE: return "Cannot write the file";
    case LNERR_SERVER_NOT_REACHABLE: return "Unable to find path to server";
    case LNERR_NATIVE_NSF:
        return "This is a native Notes database (.nsf); export it to DXL with Notes first and open the .dxl file";
    case LNERR_BAD_DXL: return "The database file is not valid DXL";
    case LNERR_DATABASE_NOT_OPEN: return "Database is not open";
    case LNERR_NOTE_NOT_OPEN: return "Document is not open";
    case LNERR_NOTE_NOT_FOUND: return "Invalid or nonexistent document";
    case LNERR_ITEM_NOT_FOUND: return "Note item not found";
    case LNERR_WRONG_ITEM_TYPE: return "Item is not of the requested type";
    case LNERR_INDEX_OUT_OF_RANGE: return "Index is out of range";
    case LNERR_VIEW_NOT_FOUND: return "View or folder not found";
    case LNERR_FORMULA_COMPILE: return "Formula error";
    case LNERR_FORMULA_EVALUATE: return "Formula cannot be evaluated";
    case LNERR_BAD_BASE64: return "Invalid base64 data";
    case LNERR_BAD_ITEM_VALUE: return "Item value is damaged";
    case LNERR_CANNOT_DECRYPT: return "You cannot decrypt this document: the key is not available";
    case LNERR_DATABASE_EXISTS: return "Database already exists";
    case LNERR_READ_ONLY_DATABASE: return "Database is read-only";
    case LNERR_UNSUPPORTED: return "Operation is not supported";
    case LNERR_BAD_DATETIME: return "Invalid date/time value";
    case LNERR_ATTACHMENT_NOT_FOUND: return "Attachment not found";
    case LNERR_DIRECTORY_NOT_FOUND: return "Directory does not exist";
    case LNERR_NO_GRAPHIC: return "There is no picture in the rich text range";
    case LNERR_BAD_IMAGE: return "The picture cannot be converted";
    case LNERR_EXPORT_FORMAT: return "No export filter is available for this file type";
    case LNERR_EXPORT_WRITE: return "Cannot write the export file";
    default: return nullptr;
    }
}

std::string FullText(LNSTATUS status) {
    std::string text;
    if (const char* formula = qb::notes::FormulaStatusText(status)) {
        // The compiler's own text already starts with the status text.
        if (t_lastFailure.status == status && !t_lastFailure.detail.empty()) return t_lastFailure.detail;
        text = formula;
    } else if (const char* base = BaseText(status)) {
        text = base;
    } else {
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "Notes error 0x%08X", status);
        text = buffer;
    }
    if (t_lastFailure.status == status && !t_lastFailure.detail.empty()) text += ": " + t_lastFailure.detail;
    return text;
}

}  // namespace

LNStatusError::LNStatusError(LNSTATUS status) : status_(status), text_(FullText(status)) {}

void LNSetThrowAllErrorsGlobal(LNBOOL throwErrors) { g_throwAll = throwErrors; }
LNBOOL LNGetThrowAllErrorsGlobal() { return g_throwAll; }

std::size_t LNGetErrorMessageText(LNSTATUS status, char* buffer, std::size_t bufferSize, int) {
    if (buffer == nullptr || bufferSize == 0) return 0;
    std::string text = FullText(status);
    std::size_t length = std::min(text.size(), bufferSize - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return length;
}

LNString LNGetErrorMessageText(LNSTATUS status) { return FullText(status); }

int LNStringCompare(const LNString& a, const LNString& b, int options) {
    int result = options == 0 ? a.compare(b) : qb::text::CompareIgnoreCase(a, b);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

namespace qb::notes {

LNSTATUS Fail(LNSTATUS status, std::string_view detail) {
    if (status == LNNOERROR) return status;
    RecordFailure(status, detail);
    // Warnings (more text follows, nothing found) are answers, not failures.
    if (g_throwAll && status != LNWARN_NOT_FOUND && status != LNWARN_TOO_MUCH_TEXT) throw LNStatusError(status);
    return status;
}

void RecordFailure(LNSTATUS status, std::string_view detail) {
    t_lastFailure.status = status;
    t_lastFailure.detail.assign(detail);
}

LNSTATUS Raise(LNSTATUS status) {
    if (status != LNNOERROR && status != LNWARN_NOT_FOUND && status != LNWARN_TOO_MUCH_TEXT && g_throwAll)
        throw LNStatusError(status);
    return status;
}

}  // namespace qb::notes
