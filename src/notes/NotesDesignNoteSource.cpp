#include "notes/NotesDesignNoteSource.h"

#include "notes/NotesErrorText.h"
#include "notes/api/LNFormula.h"

namespace qb {
namespace {

// The first text value of an item, nullopt when the note lacks it.
std::optional<std::string> FirstText(const LNNote& note, const char* name) {
    if (!note.HasItem(name)) return std::nullopt;
    LNText text;
    if (note.GetItem(name, &text) != LNNOERROR) return std::nullopt;
    return text.GetCount() > 0 ? text[0] : std::string();
}

}  // namespace

bool NotesDesignNoteSource::IsOpen() const { return database_.IsOpen(); }

DesignSearchResult NotesDesignNoteSource::SearchDesignNotes(std::uint32_t noteType) {
    ScopedNotesThrowMode returnCodes(false);
    DesignSearchResult result;
    LNSearchOptions options;
    options.SetNoteType(noteType);
    LNNoteArray notes;
    const LNSTATUS status = database_.Search("@All", &notes, &options);
    if (status == LNWARN_NOT_FOUND) return result;
    if (status != LNNOERROR) {
        result.errorText = NotesErrorText(status);
        return result;
    }
    for (LNINT i = 0; i < notes.GetCount(); ++i) result.noteIds.push_back(notes.GetNoteID(i));
    return result;
}

DesignNoteResult NotesDesignNoteSource::ReadDesignNote(std::uint32_t noteId) {
    ScopedNotesThrowMode returnCodes(false);
    DesignNoteResult result;
    LNDocument note;
    LNSTATUS status = database_.GetDocument(noteId, &note);
    if (status == LNNOERROR) status = note.Open();
    if (status != LNNOERROR) {
        result.errorText = NotesErrorText(status);
        return result;
    }
    result.items = DesignNoteItems{FirstText(note, "$Flags"), FirstText(note, "$Title")};
    note.Close();
    return result;
}

}  // namespace qb
