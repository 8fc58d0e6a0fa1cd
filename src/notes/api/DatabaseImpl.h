#pragma once
// The shared state behind LNDatabase, LNDocument and LNViewFolder handles.

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "notes/api/DxlIndexCache.h"
#include "notes/api/DxlReader.h"
#include "notes/api/FolderMembership.h"
#include "notes/api/NoteData.h"
#include "notes/api/NoteIndex.h"
#include "notes/api/NotePrefetcher.h"

namespace qb::notes {

struct DatabaseImpl {
    std::string notesPath;  // as given to GetDatabase
    std::string filePath;   // on disk
    std::string server;
    bool open = false;
    DxlDatabaseInfo info;
    NoteIndex notes;
    // Kept open while the database is, for reading notes.
    mutable std::unique_ptr<DxlNoteReader> reader;
    // The file as it was indexed; its index goes to DxlIndexCache on Close
    // unless this process changed the database since.
    DxlFileIdentity identity;
    bool identified = false;
    bool changed = false;
    // Every folder's documents, worked out by the first folder opened.
    FolderMembership folders;

    DatabaseImpl() = default;
    DatabaseImpl(const DatabaseImpl&) = delete;
    DatabaseImpl& operator=(const DatabaseImpl&) = delete;
    ~DatabaseImpl();

    LNSTATUS Open(std::string* detail);
    void Close();
    // Whether a note of that id exists (not deleted), without reading its record.
    bool Contains(NOTEID noteId) const;
    // The index record of the note, or nullptr when there is none or it
    // cannot be read (the getters that cannot report a failure use this).
    IndexEntryPtr Find(NOTEID noteId) const;
    LNSTATUS Find(NOTEID noteId, IndexEntryPtr* entry, std::string* detail) const;
    LNSTATUS FindByUnid(const std::string& unid, IndexEntryPtr* entry, std::string* detail) const;
    // Reads a note whole: parsed from the file, or the copy held for a note
    // written by this process. A reader that presents the note (PresentNote)
    // passes `presented`: it is set when the thread reading ahead did that
    // already; without it the note always comes as stored.
    LNSTATUS LoadNote(NOTEID noteId, std::shared_ptr<NoteData>* note, std::string* detail,
                      bool* presented = nullptr) const;
    // Stores a note (new or changed) and rewrites the file.
    LNSTATUS SaveNote(NoteData& note, std::string* detail);
    LNSTATUS DeleteNote(NOTEID noteId, std::string* detail);
    // Rewrites the DXL file from the index, notes written here in full.
    LNSTATUS WriteFile(std::string* detail);
    NOTEID NextNoteId() const;

    // Reading ahead (NotePrefetcher.h): the reader of a view is at position
    // `at` of its entries `ids`; `owner` is the view.
    void FollowView(const void* owner, const std::shared_ptr<const std::vector<NOTEID>>& ids, std::size_t at) const;
    // Stops reading ahead for that view (nullptr: for any).
    void StopPrefetch(const void* owner = nullptr) const;

    // Last, so that it is destroyed (its thread joined) before the index it reads.
    mutable std::unique_ptr<NotePrefetcher> prefetcher;
};

// Parses a note of the file from its index record, with the record's dates
// where the note has none. LoadNote and the prefetcher both read notes so.
LNSTATUS ReadIndexedNote(DxlNoteReader& reader, const NoteIndexEntry& entry, NoteData* note, std::string* detail);

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
    // Shared with the database's prefetcher while it reads ahead.
    std::shared_ptr<const std::vector<NOTEID>> entries = std::make_shared<const std::vector<NOTEID>>();

    ViewImpl() = default;
    ViewImpl(const ViewImpl&) = delete;
    ViewImpl& operator=(const ViewImpl&) = delete;
    ~ViewImpl();
};

// The view design note's description, from its summary items.
std::shared_ptr<ViewImpl> DescribeView(const std::shared_ptr<DatabaseImpl>& database, const NoteIndexEntry& entry);
inline constexpr DWORD LNSEARCH_SHARED_VIEWS_VALUE = 0xE8008;
inline constexpr DWORD LNSEARCH_FOLDERS_VALUE = 0xE0008;
inline constexpr DWORD LNSEARCH_PRIVATE_VIEWS_VALUE = 0xE1008;
// Whether a view design note is returned for a search with the note type.
bool MatchesNoteType(const NoteIndexEntry& entry, DWORD noteType);
// The part of MatchesNoteType that needs only the note's class.
bool MayMatchNoteType(LNNOTECLASS noteClass, DWORD noteType);

}  // namespace qb::notes
