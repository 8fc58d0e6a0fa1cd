#pragma once
// The shared state behind LNDatabase, LNDocument and LNViewFolder handles.

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "notes/api/DxlReader.h"
#include "notes/api/NoteData.h"

namespace qb::notes {

struct DatabaseImpl {
    std::string notesPath;  // as given to GetDatabase
    std::string filePath;   // on disk
    std::string server;
    bool open = false;
    DxlDatabaseInfo info;
    std::vector<NoteIndexEntry> notes;
    // Note id -> position in notes, sorted by id, one per id (the last note
    // of that id): eight bytes a note where a hash map takes some forty.
    std::vector<std::pair<NOTEID, std::uint32_t>> byId;
    // Kept open while the database is, for reading notes.
    mutable std::unique_ptr<DxlNoteReader> reader;

    LNSTATUS Open(std::string* detail);
    void Close();
    const NoteIndexEntry* Find(NOTEID noteId) const;
    const NoteIndexEntry* FindByUnid(const std::string& unid) const;
    // Reads a note whole: parsed from the file, or the copy held for a note
    // written by this process.
    LNSTATUS LoadNote(NOTEID noteId, std::shared_ptr<NoteData>* note, std::string* detail) const;
    // Stores a note (new or changed) and rewrites the file.
    LNSTATUS SaveNote(NoteData& note, std::string* detail);
    LNSTATUS DeleteNote(NOTEID noteId, std::string* detail);
    // Rewrites the DXL file from the index, notes written here in full.
    LNSTATUS WriteFile(std::string* detail);
    NOTEID NextNoteId() const;
    void Reindex();

private:
    // The position of the note with that id in notes, or nullptr.
    const std::uint32_t* IndexOf(NOTEID noteId) const;
};

struct DocumentImpl {
    std::shared_ptr<DatabaseImpl> database;
    NOTEID noteId = 0;
    std::shared_ptr<NoteData> note;  // set while open
    bool isNew = false;
};

struct ViewImpl {
    std::shared_ptr<DatabaseImpl> database;
    NOTEID noteId = 0;
    std::string unid;
    std::string title;
    std::string flags;
    std::string formula;
    bool formulaCompiled = false;  // only the compiled form is present
    std::string sortItem;
    bool sortDescending = false;
    bool open = false;
    std::vector<NOTEID> entries;
};

// The view design note's description, from its summary items.
std::shared_ptr<ViewImpl> DescribeView(const std::shared_ptr<DatabaseImpl>& database, const NoteIndexEntry& entry);
inline constexpr DWORD LNSEARCH_SHARED_VIEWS_VALUE = 0xE8008;
inline constexpr DWORD LNSEARCH_FOLDERS_VALUE = 0xE0008;
inline constexpr DWORD LNSEARCH_PRIVATE_VIEWS_VALUE = 0xE1008;
// Whether a view design note is returned for a search with the note type.
bool MatchesNoteType(const NoteIndexEntry& entry, DWORD noteType);

}  // namespace qb::notes
