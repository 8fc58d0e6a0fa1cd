#include "convert/ItemText.h"

#include "notes/NotesErrorText.h"

namespace qb {

std::optional<std::string> FirstText(const LNDocument& document, const char* name) {
    ScopedNotesThrowMode returnCodes(false);
    if (!document.HasItem(name)) return std::nullopt;
    LNText text;
    if (document.GetItem(name, &text) != LNNOERROR || text.IsNull()) return std::nullopt;
    return text.GetCount() > 0 ? text[0] : std::string();
}

std::vector<std::string> AllTexts(const LNDocument& document, const char* name) {
    ScopedNotesThrowMode returnCodes(false);
    if (!document.HasItem(name)) return {};
    LNText text;
    if (document.GetItem(name, &text) != LNNOERROR || text.IsNull()) return {};
    return text.GetTexts();
}

}  // namespace qb
