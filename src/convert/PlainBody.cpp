#include "convert/PlainBody.h"

#include "notes/NotesErrorText.h"
#include "notes/api/LNRichText.h"
#include "shell/log/ExportLog.h"

namespace qb {
namespace {

// Rich text of this size or more is read piece by piece.
constexpr std::size_t kPieceWiseSize = 0x10000;

std::string RichTextOf(const LNRichText& rich, const ExportLog& log) {
    LNString text;
    if (rich.GetSize() < kPieceWiseSize) {
        if (rich.GetText(&text) != LNNOERROR) {
            log.Write("....BODY UNABLE TO GET BODY TEXT\n");
            return {};
        }
        return text;
    }
    LNRTCursor start, end;
    if (rich.GetCursor(&start) != LNNOERROR || rich.GetEndCursor(&end) != LNNOERROR) {
        log.Write("....BODY UNABLE TO GET BODY TEXT\n");
        return {};
    }
    // Pieces end where the reader's buffer ends, not where a line does: they
    // are joined as they come.
    std::string body;
    LNSTATUS status = LNWARN_TOO_MUCH_TEXT;
    while (status == LNWARN_TOO_MUCH_TEXT) {
        LNString piece;
        status = rich.GetText(&start, end, &piece);
        if (status == LNNOERROR || status == LNWARN_TOO_MUCH_TEXT) body += piece;
    }
    return body;
}

}  // namespace

std::string ReadPlainBody(const LNDocument& document, const char* itemName, const ExportLog& log) {
    ScopedNotesThrowMode returnCodes(false);
    if (!document.HasItem(itemName)) return {};
    LNITEMTYPE type = TYPE_INVALID_OR_UNKNOWN;
    if (document.GetItemType(itemName, &type) != LNNOERROR) return {};
    if (type == TYPE_TEXT || type == TYPE_TEXT_LIST) {
        LNText values;
        if (document.GetItem(itemName, &values) != LNNOERROR) return {};
        std::string text;
        for (std::size_t i = 0; i < values.GetTexts().size(); ++i) text += (i ? "\n" : "") + values.GetTexts()[i];
        return text;
    }
    LNRichText rich;
    if (document.GetItem(itemName, &rich) != LNNOERROR || rich.IsNull()) {
        log.Write("....UNABLE TO GET BODY TO RICH TEXT ITEM\n");
        return {};
    }
    return RichTextOf(rich, log);
}

}  // namespace qb
