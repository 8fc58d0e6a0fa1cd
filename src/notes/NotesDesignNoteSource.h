#pragma once
// The view and folder catalogue's access to an open Notes database.

#include "notes/DesignNoteSource.h"
#include "notes/api/LNDatabase.h"

namespace qb {

class NotesDesignNoteSource : public DesignNoteSource {
public:
    explicit NotesDesignNoteSource(const LNDatabase& database) : database_(database) {}
    bool IsOpen() const override;
    DesignSearchResult SearchDesignNotes(std::uint32_t noteType) override;
    DesignNoteResult ReadDesignNote(std::uint32_t noteId) override;

private:
    const LNDatabase& database_;
};

}  // namespace qb
