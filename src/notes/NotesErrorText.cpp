#include "notes/NotesErrorText.h"

namespace qb {

std::string NotesErrorText(LNSTATUS status) {
    char buffer[kNotesErrorBufferSize] = {};
    const std::size_t length = LNGetErrorMessageText(status, buffer, sizeof buffer, 0);
    return std::string(buffer, std::min(length, sizeof buffer - 1));
}

}  // namespace qb
