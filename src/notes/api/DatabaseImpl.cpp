#include "notes/api/DatabaseImpl.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>

#include "notes/api/DxlWriter.h"
#include "text/TextCase.h"

namespace qb::notes {

LNSTATUS DatabaseImpl::Open(std::string* detail) {
    if (open) return LNNOERROR;
    if (LooksLikeNativeNsf(filePath)) {
        *detail = filePath;
        return LNERR_NATIVE_NSF;
    }
    DxlDatabaseInfo newInfo;
    std::vector<NoteIndexEntry> newNotes;
    LNSTATUS status = IndexDxlFile(filePath, &newInfo, &newNotes, detail);
    if (status != LNNOERROR) return status;
    info = std::move(newInfo);
    notes = std::move(newNotes);
    Reindex();
    reader = std::make_unique<DxlNoteReader>(filePath, info.encoding, info.entityDeclarations);
    open = true;
    return LNNOERROR;
}

void DatabaseImpl::Close() {
    open = false;
    reader.reset();
    notes.clear();
    notes.shrink_to_fit();
    byId.clear();
    byId.shrink_to_fit();
}

void DatabaseImpl::Reindex() {
    byId.clear();
    byId.reserve(notes.size());
    for (std::size_t i = 0; i < notes.size(); ++i) byId.emplace_back(notes[i].noteId, static_cast<std::uint32_t>(i));
    std::stable_sort(byId.begin(), byId.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    // Of notes sharing an id the last in the file wins.
    std::size_t kept = 0;
    for (const auto& entry : byId) {
        if (kept > 0 && byId[kept - 1].first == entry.first) byId[kept - 1] = entry;
        else byId[kept++] = entry;
    }
    byId.resize(kept);
    byId.shrink_to_fit();
}

const std::uint32_t* DatabaseImpl::IndexOf(NOTEID noteId) const {
    auto found = std::lower_bound(byId.begin(), byId.end(), noteId,
                                  [](const auto& entry, NOTEID id) { return entry.first < id; });
    return found != byId.end() && found->first == noteId ? &found->second : nullptr;
}

const NoteIndexEntry* DatabaseImpl::Find(NOTEID noteId) const {
    const std::uint32_t* index = IndexOf(noteId);
    if (!index || notes[*index].deleted) return nullptr;
    return &notes[*index];
}

const NoteIndexEntry* DatabaseImpl::FindByUnid(const std::string& unid) const {
    for (const NoteIndexEntry& entry : notes) {
        const std::string_view entryUnid(entry.unid.data(), entry.unid.size());
        if (!entry.deleted && text::EqualsIgnoreCase(entryUnid, unid)) return &entry;
    }
    return nullptr;
}

LNSTATUS DatabaseImpl::LoadNote(NOTEID noteId, std::shared_ptr<NoteData>* note, std::string* detail) const {
    const NoteIndexEntry* entry = Find(noteId);
    if (!entry) {
        char text[64];
        std::snprintf(text, sizeof text, "note id 0x%X", noteId);
        *detail = text;
        return LNERR_NOTE_NOT_FOUND;
    }
    if (entry->written) {
        *note = std::make_shared<NoteData>(*entry->written);
        return LNNOERROR;
    }
    auto parsed = std::make_shared<NoteData>();
    LNSTATUS status = reader ? reader->Read(*entry, parsed.get(), detail)
                             : ParseDxlNote(filePath, info, *entry, parsed.get(), detail);
    if (status != LNNOERROR) return status;
    if (parsed->created.IsNull()) parsed->created = entry->created;
    if (parsed->modified.IsNull()) parsed->modified = entry->modified;
    *note = std::move(parsed);
    return LNNOERROR;
}

NOTEID DatabaseImpl::NextNoteId() const {
    NOTEID highest = 0;
    for (const NoteIndexEntry& entry : notes) highest = std::max(highest, entry.noteId);
    return (highest / 4 + 1) * 4;
}

LNSTATUS DatabaseImpl::SaveNote(NoteData& note, std::string* detail) {
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
    if (const std::uint32_t* index = IndexOf(note.noteId)) {
        notes[*index] = std::move(entry);
    } else {
        auto position = std::lower_bound(byId.begin(), byId.end(), note.noteId,
                                         [](const auto& known, NOTEID id) { return known.first < id; });
        byId.emplace(position, note.noteId, static_cast<std::uint32_t>(notes.size()));
        notes.push_back(std::move(entry));
    }
    return WriteFile(detail);
}

LNSTATUS DatabaseImpl::DeleteNote(NOTEID noteId, std::string* detail) {
    const std::uint32_t* index = IndexOf(noteId);
    if (!index || notes[*index].deleted) {
        char text[64];
        std::snprintf(text, sizeof text, "note id 0x%X", noteId);
        *detail = text;
        return LNERR_NOTE_NOT_FOUND;
    }
    notes[*index].deleted = true;
    return WriteFile(detail);
}

LNSTATUS DatabaseImpl::WriteFile(std::string* detail) {
    // Written beside the file and renamed over it, so a failure never leaves
    // half a database; notes read from the old file are loaded first.
    std::string temporary = filePath + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            *detail = temporary;
            return LNERR_FILE_WRITE;
        }
        WriteDatabaseStart(out, info);
        for (const NoteIndexEntry& entry : notes) {
            if (entry.deleted) continue;
            std::shared_ptr<NoteData> note;
            LNSTATUS status = LoadNote(entry.noteId, &note, detail);
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
    open = false;
    return Open(detail);
}

bool MatchesNoteType(const NoteIndexEntry& entry, DWORD noteType) {
    LNNOTECLASS classes = static_cast<LNNOTECLASS>(noteType & 0xFFFF);
    if (noteType == LNSEARCH_SHARED_VIEWS_VALUE || noteType == LNSEARCH_FOLDERS_VALUE ||
        noteType == LNSEARCH_PRIVATE_VIEWS_VALUE) {
        if (entry.noteClass != NOTE_CLASS_VIEW) return false;
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
    if (classes == 0) classes = NOTE_CLASS_DOCUMENT;
    return (entry.noteClass & classes) != 0;
}

}  // namespace qb::notes
