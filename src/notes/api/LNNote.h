#pragma once
// Notes and documents. An LNNote/LNDocument is a handle: copies share the
// note. A handle from a view entry, a note array or GetDocument is not open;
// Open reads the whole note from the database (its items, rich text and
// attachments), Close lets it go.

#include <memory>
#include <vector>

#include "notes/api/ItemTypes.h"
#include "notes/api/LNAttachment.h"
#include "notes/api/LNDatetime.h"
#include "notes/api/LNItem.h"
#include "notes/api/LNRichText.h"

namespace qb::notes {
struct NoteData;
struct DocumentImpl;
struct DatabaseImpl;
}  // namespace qb::notes

// The note behind a handle, for the C-level calls of NotesCore.h.
using NOTEHANDLE = const qb::notes::NoteData*;

// Open flags (accepted for compatibility; every open reads the whole note).
inline constexpr DWORD LNNOTEOPENFLAGS_DEFAULT = 0;

class LNDatabase;

class LNNote {
public:
    LNNote();
    explicit LNNote(std::shared_ptr<qb::notes::DocumentImpl> impl);

    bool IsNull() const;
    LNSTATUS Open(DWORD flags = LNNOTEOPENFLAGS_DEFAULT);
    LNSTATUS Close();
    bool IsOpen() const;

    NOTEID GetNoteID() const;
    LNString GetUniversalID() const;  // 32 hex digits
    LNNOTECLASS GetNoteClass() const;
    LNDatetime GetCreated() const;
    LNDatetime GetLastModified() const;
    NOTEHANDLE GetNoteHandle() const;  // null while not open

    bool HasItem(const LNString& name) const;
    LNSTATUS GetItemType(const LNString& name, LNITEMTYPE* type) const;
    // The first item of that name (names ignore case).
    LNSTATUS GetItem(const LNString& name, LNItem* item) const;
    LNSTATUS GetItem(const LNString& name, LNText* item) const;
    LNSTATUS GetItem(const LNString& name, LNNumbers* item) const;
    LNSTATUS GetItem(const LNString& name, LNDatetimes* item) const;
    // Rich text: every item of that name joined in order.
    LNSTATUS GetItem(const LNString& name, LNRichText* item) const;
    // Every item of the note in order, or every item of one name.
    LNSTATUS GetItems(std::vector<LNItem>* items) const;
    LNSTATUS GetItems(const LNString& name, std::vector<LNItem>* items) const;

    bool IsEncrypted() const;
    // Succeeds when the sealed items can be read; a note carrying only the
    // encrypted form ($Seal) cannot be decrypted without the user's key.
    LNSTATUS Decrypt();
    LNSTATUS GetAttachments(LNAttachmentArray* attachments) const;
    bool HasOLEObjects() const;
    // What could not be read whole from the exported document (damaged rich
    // text, MIME defects), one text each; empty for a sound document.
    std::vector<LNString> GetReadWarnings() const;

    // Writing (local databases).
    LNSTATUS SetItem(const LNItem& item);  // replaces every item of that name
    LNSTATUS AppendItem(const LNItem& item);
    LNSTATUS DeleteItem(const LNString& name);
    // A new empty rich text item.
    LNSTATUS CreateNoteBody(const LNString& name, LNRichText* body);
    LNSTATUS Save();

    LNDatabase GetDatabase() const;
    const std::shared_ptr<qb::notes::DocumentImpl>& Impl() const { return impl_; }

protected:
    std::shared_ptr<qb::notes::DocumentImpl> impl_;
};

class LNDocument : public LNNote {
public:
    LNDocument() = default;
    explicit LNDocument(std::shared_ptr<qb::notes::DocumentImpl> impl) : LNNote(std::move(impl)) {}
    LNDocument(const LNNote& note) : LNNote(note) {}
    LNString GetForm() const;
    bool IsResponse() const;
};

// The result of a search: note ids of one database, in note order.
class LNNoteArray {
public:
    LNINT GetCount() const { return static_cast<LNINT>(ids_.size()); }
    NOTEID GetNoteID(LNINT index) const { return ids_.at(static_cast<std::size_t>(index)); }
    // A document handle (not open) for the note at index.
    LNDocument operator[](LNINT index) const;
    void Clear() { ids_.clear(); }
    void Set(std::shared_ptr<qb::notes::DatabaseImpl> database, std::vector<NOTEID> ids);

private:
    std::shared_ptr<qb::notes::DatabaseImpl> database_;
    std::vector<NOTEID> ids_;
};
