#include "notes/api/DatabaseImpl.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>

#include "notes/api/DxlWriter.h"
#include "text/TextCase.h"

namespace qb::notes {

DatabaseImpl::~DatabaseImpl() { prefetcher.reset(); }

LNSTATUS DatabaseImpl::Open(std::string* detail) {
    if (open) return LNNOERROR;
    prefetcher.reset();
    if (LooksLikeNativeNsf(filePath)) {
        *detail = filePath;
        return LNERR_NATIVE_NSF;
    }
    DxlDatabaseInfo newInfo;
    NoteIndex newNotes;
    // Identified before it is read: a change while it is indexed makes the
    // next open index it again.
    DxlFileIdentity newIdentity;
    const bool newIdentified = IdentifyDxlFile(filePath, &newIdentity);
    if (!newIdentified || !DxlIndexCache::Process().Take(newIdentity, &newInfo, &newNotes)) {
        LNSTATUS status = IndexDxlFile(filePath, &newInfo, &newNotes, detail);
        if (status != LNNOERROR) return status;
    }
    info = std::move(newInfo);
    notes = std::move(newNotes);
    identity = std::move(newIdentity);
    identified = newIdentified;
    changed = false;
    reader = std::make_unique<DxlNoteReader>(filePath, info.encoding, info.entityDeclarations);
    open = true;
    return LNNOERROR;
}

void DatabaseImpl::Close() {
    prefetcher.reset();
    reader.reset();
    // The database's description stays readable after Close (its title), so it is copied.
    if (open && identified && !changed) DxlIndexCache::Process().Keep(std::move(identity), info, std::move(notes));
    open = false;
    identified = false;
    notes.Clear();
    folders.Clear();
}

void DatabaseImpl::FollowView(const void* owner, const std::shared_ptr<const std::vector<NOTEID>>& ids,
                              std::size_t at) const {
    if (!open || !ids || at + 1 >= ids->size() || !NotePrefetchEnabled()) return;
    if (!prefetcher) prefetcher = std::make_unique<NotePrefetcher>(notes, filePath, info, NotePrefetcher::Limits{});
    prefetcher->Follow(owner, ids, at);
}

void DatabaseImpl::StopPrefetch(const void* owner) const {
    if (!prefetcher) return;
    if (owner) prefetcher->Stop(owner);
    else prefetcher->Stop();
}

ViewImpl::~ViewImpl() {
    if (database) database->StopPrefetch(this);
}

LNSTATUS ReadIndexedNote(DxlNoteReader& reader, const NoteIndexEntry& entry, NoteData* note, std::string* detail) {
    if (LNSTATUS status = reader.Read(entry, note, detail)) return status;
    if (note->created.IsNull()) note->created = entry.created;
    if (note->modified.IsNull()) note->modified = entry.modified;
    return LNNOERROR;
}

namespace {

LNSTATUS NotFound(NOTEID noteId, std::string* detail) {
    char text[64];
    std::snprintf(text, sizeof text, "note id 0x%X", noteId);
    *detail = text;
    return LNERR_NOTE_NOT_FOUND;
}

}  // namespace

bool DatabaseImpl::Contains(NOTEID noteId) const {
    const NoteIndex::Slot* slot = notes.FindSlot(noteId);
    return slot && !slot->Deleted();
}

LNSTATUS DatabaseImpl::Find(NOTEID noteId, IndexEntryPtr* entry, std::string* detail) const {
    const NoteIndex::Slot* slot = notes.FindSlot(noteId);
    if (!slot || slot->Deleted()) return NotFound(noteId, detail);
    return notes.Read(*slot, entry, detail);
}

IndexEntryPtr DatabaseImpl::Find(NOTEID noteId) const {
    IndexEntryPtr entry;
    std::string detail;
    return Find(noteId, &entry, &detail) == LNNOERROR ? entry : nullptr;
}

LNSTATUS DatabaseImpl::FindByUnid(const std::string& unid, IndexEntryPtr* found, std::string* detail) const {
    found->reset();
    LNSTATUS status = notes.Scan([](const NoteIndex::Slot& slot) { return !slot.Deleted(); },
                                 [&](const NoteIndexEntry& entry) {
                                     const std::string_view entryUnid(entry.unid.data(), entry.unid.size());
                                     if (!text::EqualsIgnoreCase(entryUnid, unid)) return true;
                                     *found = std::make_shared<const NoteIndexEntry>(entry);
                                     return false;
                                 },
                                 detail);
    if (status != LNNOERROR) return status;
    if (!*found) {
        *detail = "UNID " + unid;
        return LNERR_NOTE_NOT_FOUND;
    }
    return LNNOERROR;
}

LNSTATUS DatabaseImpl::LoadNote(NOTEID noteId, std::shared_ptr<NoteData>* note, std::string* detail,
                                bool* presented) const {
    if (presented) *presented = false;
    // A note parsed ahead from this very index: its record need not be read again.
    bool takenPresented = false;
    if (prefetcher && prefetcher->Take(noteId, notes.Generation(), note, &takenPresented)) {
        if (!takenPresented || presented) {
            if (presented) *presented = takenPresented;
            return LNNOERROR;
        }
        note->reset();  // wanted as stored: parsed again
    }
    IndexEntryPtr entry;
    if (LNSTATUS status = Find(noteId, &entry, detail)) return status;
    if (entry->written) {
        *note = std::make_shared<NoteData>(*entry->written);
        return LNNOERROR;
    }
    auto parsed = std::make_shared<NoteData>();
    LNSTATUS status;
    if (reader) {
        status = ReadIndexedNote(*reader, *entry, parsed.get(), detail);
    } else {
        DxlNoteReader once(filePath, info.encoding, info.entityDeclarations);
        status = ReadIndexedNote(once, *entry, parsed.get(), detail);
    }
    if (status != LNNOERROR) return status;
    *note = std::move(parsed);
    return LNNOERROR;
}

NOTEID DatabaseImpl::NextNoteId() const {
    return (notes.HighestId() / 4 + 1) * 4;
}

LNSTATUS DatabaseImpl::SaveNote(NoteData& note, std::string* detail) {
    prefetcher.reset();
    changed = true;
    if (note.noteId == 0) note.noteId = NextNoteId();
    if (note.unid.size() != 32) {
        std::random_device random;
        char text[40];
        std::snprintf(text, sizeof text, "%08X%08X%08X%08X", random(), random(), random(), random());
        note.unid = text;
    }
    if (note.created.IsNull()) note.created = LNDatetime::Now();
    note.modified = LNDatetime::Now();
    NoteIndexEntry entry;
    entry.noteId = note.noteId;
    std::memcpy(entry.unid.data(), note.unid.data(), 32);
    entry.noteClass = note.noteClass;
    entry.created = note.created;
    entry.modified = note.modified;
    for (const ItemData& item : note.items) {
        if (item.type == TYPE_OBJECT) {
            // Indexed by file name only, as when the file is read.
            ItemData marker;
            marker.name = item.name;
            marker.type = item.type;
            marker.flags = item.flags;
            marker.value = item.file ? item.file->name : std::string();
            entry.summary.Add(marker);
        } else if (item.type != TYPE_COMPOSITE && item.type != TYPE_MIME_PART) {
            entry.summary.Add(item);
        }
    }
    entry.written = std::make_shared<NoteData>(note);
    notes.Hold(std::move(entry));
    return WriteFile(detail);
}

LNSTATUS DatabaseImpl::DeleteNote(NOTEID noteId, std::string* detail) {
    const NoteIndex::Slot* slot = notes.FindSlot(noteId);
    if (!slot || slot->Deleted()) return NotFound(noteId, detail);
    prefetcher.reset();
    changed = true;
    notes.MarkDeleted(*slot);
    return WriteFile(detail);
}

LNSTATUS DatabaseImpl::WriteFile(std::string* detail) {
    // Written beside the file and renamed over it, so a failure never leaves
    // half a database; notes read from the old file are loaded first.
    prefetcher.reset();
    changed = true;
    std::string temporary = filePath + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            *detail = temporary;
            return LNERR_FILE_WRITE;
        }
        WriteDatabaseStart(out, info);
        for (std::size_t i = 0; i < notes.Size(); ++i) {
            const NoteIndex::Slot& slot = notes.At(i);
            if (slot.Deleted()) continue;
            std::shared_ptr<NoteData> note;
            LNSTATUS status = LoadNote(slot.noteId, &note, detail);
            if (status != LNNOERROR) {
                std::remove(temporary.c_str());
                return status;
            }
            if (!WriteNote(out, *note, detail)) {
                std::remove(temporary.c_str());
                return LNERR_FILE_READ;
            }
        }
        WriteDatabaseEnd(out);
        out.close();
        if (!out) {
            std::remove(temporary.c_str());
            *detail = temporary;
            return LNERR_FILE_WRITE;
        }
    }
    reader.reset();
    if (std::rename(temporary.c_str(), filePath.c_str()) != 0) {
        std::remove(temporary.c_str());
        *detail = filePath;
        return LNERR_FILE_WRITE;
    }
    DxlIndexCache::Process().Forget(filePath);
    open = false;
    return Open(detail);
}

namespace {

bool IsViewSearch(DWORD noteType) {
    return noteType == LNSEARCH_SHARED_VIEWS_VALUE || noteType == LNSEARCH_FOLDERS_VALUE ||
           noteType == LNSEARCH_PRIVATE_VIEWS_VALUE;
}

}  // namespace

bool MayMatchNoteType(LNNOTECLASS noteClass, DWORD noteType) {
    if (IsViewSearch(noteType)) return noteClass == NOTE_CLASS_VIEW;
    LNNOTECLASS classes = static_cast<LNNOTECLASS>(noteType & 0xFFFF);
    if (classes == 0) classes = NOTE_CLASS_DOCUMENT;
    return (noteClass & classes) != 0;
}

bool MatchesNoteType(const NoteIndexEntry& entry, DWORD noteType) {
    if (!MayMatchNoteType(entry.noteClass, noteType)) return false;
    if (IsViewSearch(noteType)) {
        ItemData flags;
        std::string text;
        if (entry.summary.Find("$Flags", &flags)) {
            if (flags.type == TYPE_TEXT) {
                text = flags.value;
            } else if (flags.type == TYPE_TEXT_LIST) {
                std::vector<std::string> texts;
                if (DecodeTextList(flags.value, &texts) == LNNOERROR && !texts.empty()) text = texts[0];
            }
        }
        bool isPrivate = text.find('V') != std::string::npos;
        bool isFolder = text.find('F') != std::string::npos;
        if (noteType == LNSEARCH_PRIVATE_VIEWS_VALUE) return isPrivate;
        if (isPrivate) return false;
        return noteType == LNSEARCH_FOLDERS_VALUE ? isFolder : !isFolder;
    }
    return true;
}

}  // namespace qb::notes
