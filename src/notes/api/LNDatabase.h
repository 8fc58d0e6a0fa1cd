#pragma once
// Databases. A database is a DXL file (.dxl, or .xml) in the data directory
// of its server. Opening it reads the file once, keeping an index of its
// notes with their summary items; documents are read when they are opened.

#include <memory>
#include <vector>

#include "notes/api/LNNote.h"

namespace qb::notes {
struct DatabaseImpl;
}

class LNFormula;
class LNViewFolder;

// Note-type selection of a search. The low 16 bits are note classes
// (NOTE_CLASS_*); the design selectors pick view design notes:
//   LNSEARCH_SHARED_VIEWS   views that are not folders
//   LNSEARCH_FOLDERS        folders
//   LNSEARCH_PRIVATE_VIEWS  private views and folders ($Flags "V")
// Together the three give every view and folder design note once.
inline constexpr DWORD LNSEARCH_SHARED_VIEWS = 0xE8008;
inline constexpr DWORD LNSEARCH_FOLDERS = 0xE0008;
inline constexpr DWORD LNSEARCH_PRIVATE_VIEWS = 0xE1008;

class LNSearchOptions {
public:
    void SetNoteType(DWORD noteType) { noteType_ = noteType; }
    DWORD GetNoteType() const { return noteType_; }
    void SetMaxNotes(LNINT maxNotes) { maxNotes_ = maxNotes; }
    LNINT GetMaxNotes() const { return maxNotes_; }

private:
    DWORD noteType_ = NOTE_CLASS_DOCUMENT;
    LNINT maxNotes_ = 0;  // 0: no limit
};

enum LNACCESSLEVEL {
    LNACCESSLEVEL_NO_ACCESS = 0,
    LNACCESSLEVEL_DEPOSITOR = 1,
    LNACCESSLEVEL_READER = 2,
    LNACCESSLEVEL_AUTHOR = 3,
    LNACCESSLEVEL_EDITOR = 4,
    LNACCESSLEVEL_DESIGNER = 5,
    LNACCESSLEVEL_MANAGER = 6,
};

class LNACLEntry {
public:
    LNACLEntry() = default;
    LNACLEntry(std::shared_ptr<qb::notes::DatabaseImpl> database, LNString name);
    LNString GetName() const { return name_; }
    LNACCESSLEVEL GetAccessLevel() const;
    LNSTATUS SetAccessLevel(LNACCESSLEVEL level);

private:
    std::shared_ptr<qb::notes::DatabaseImpl> database_;
    LNString name_;
};

class LNACL {
public:
    LNACL() = default;
    explicit LNACL(std::shared_ptr<qb::notes::DatabaseImpl> database) : database_(std::move(database)) {}
    LNSTATUS GetDefaultEntry(LNACLEntry* entry) const;
    LNSTATUS GetEntry(const LNString& name, LNACLEntry* entry) const;
    LNINT GetEntryCount() const;
    // Writes the list to the database file.
    LNSTATUS Save();

private:
    std::shared_ptr<qb::notes::DatabaseImpl> database_;
};

class LNDatabase {
public:
    LNDatabase();
    explicit LNDatabase(std::shared_ptr<qb::notes::DatabaseImpl> impl);

    bool IsNull() const { return impl_ == nullptr; }
    // Reads the file. A native .nsf gives LNERR_NATIVE_NSF; malformed DXL
    // LNERR_BAD_DXL with the line and column in the error text.
    LNSTATUS Open();
    LNSTATUS Close();
    bool IsOpen() const;

    LNString GetTitle() const;
    // The path as given to GetDatabase (relative to the data directory).
    LNString GetFilepath() const;
    // The file on disk.
    LNString GetSystemPath() const;
    LNString GetServer() const;
    LNString GetReplicaID() const;
    LNDatetime GetCreated() const;
    LNINT GetNoteCount() const;

    LNSTATUS GetViewFolder(const LNString& name, LNViewFolder* view) const;
    // Every view and folder design note, in note order.
    LNSTATUS GetViewFolders(std::vector<LNViewFolder>* views) const;

    // Notes selected by the formula among those of the options' note type
    // (documents by default). LNWARN_NOT_FOUND (0xD0000132) when none matched.
    LNSTATUS Search(const LNFormula& formula, LNNoteArray* notes, const LNSearchOptions* options = nullptr) const;
    LNSTATUS Search(const LNString& formula, LNNoteArray* notes, const LNSearchOptions* options = nullptr) const;

    LNSTATUS GetDocument(NOTEID noteId, LNDocument* document) const;
    LNSTATUS GetDocumentByUNID(const LNString& unid, LNDocument* document) const;
    // A new document of this database (unsaved until Save).
    LNSTATUS CreateDocument(LNDocument* document, const LNString& form = "");
    // A copy of a document of any database, with all its items (unsaved).
    LNSTATUS CreateDocument(const LNDocument& source, LNDocument* copy);
    LNSTATUS DeleteDocument(NOTEID noteId);
    LNSTATUS DeleteDocument(const LNDocument& document);
    LNSTATUS GetACL(LNACL* acl) const;

    const std::shared_ptr<qb::notes::DatabaseImpl>& Impl() const { return impl_; }

private:
    std::shared_ptr<qb::notes::DatabaseImpl> impl_;
};
