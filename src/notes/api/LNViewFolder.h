#pragma once
// Views and folders. A view's entries are the documents its selection
// formula selects, ordered by its first sorted column (else note order); a
// folder's entries are the documents whose $FolderRefs names the folder's
// UNID (DXL keeps no other record of folder membership).

#include <memory>
#include <vector>

#include "notes/api/LNNote.h"

namespace qb::notes {
struct DatabaseImpl;
struct ViewImpl;
}

class LNVFEntry {
public:
    LNVFEntry() = default;
    LNVFEntry(std::shared_ptr<qb::notes::DatabaseImpl> database, NOTEID noteId)
        : database_(std::move(database)), noteId_(noteId) {}
    bool IsNull() const { return database_ == nullptr; }
    NOTEID GetNoteID() const { return noteId_; }
    // A handle to the entry's document, not open.
    LNSTATUS GetDocument(LNDocument* document) const;

private:
    std::shared_ptr<qb::notes::DatabaseImpl> database_;
    NOTEID noteId_ = 0;
};

class LNViewFolder {
public:
    LNViewFolder() = default;
    explicit LNViewFolder(std::shared_ptr<qb::notes::ViewImpl> impl) : impl_(std::move(impl)) {}

    bool IsNull() const { return impl_ == nullptr; }
    // Works out the entries. A selection formula that cannot be compiled or
    // evaluated gives its status and text.
    LNSTATUS Open();
    LNSTATUS Close();
    bool IsOpen() const;

    // The title up to its first "|".
    LNString GetName() const;
    // The whole $TITLE ("Title|alias").
    LNString GetTitle() const;
    LNString GetAlias() const;
    LNString GetFlags() const;
    LNString GetSelectionFormula() const;
    bool IsFolder() const;
    bool IsCalendar() const;
    NOTEID GetNoteID() const;
    LNString GetUniversalID() const;
    // The design note itself.
    LNSTATUS GetNote(LNNote* note) const;

    LNINT GetEntryCount() const;
    LNSTATUS GetEntry(LNINT index, LNVFEntry* entry) const;
    LNVFEntry operator[](LNINT index) const;

private:
    std::shared_ptr<qb::notes::ViewImpl> impl_;
};
