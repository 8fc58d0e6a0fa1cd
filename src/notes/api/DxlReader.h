#pragma once
// Reading DXL files with expat.
//
// Expat is a streaming parser: opening a database is one pass over the file
// that keeps, per note, its ids, class, byte range and summary items (in
// the note index's spill file, NoteIndex.h), and throws everything else away as it goes (rich text, MIME parts and
// attachment data never reach memory). Opening a document parses only its
// byte range again. A DOM parser would hold the whole file, which for a
// mailbox of gigabytes is not an option.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "notes/api/LNDatetime.h"
#include "notes/api/NoteData.h"

struct XML_ParserStruct;

namespace qb::notes {

struct AclEntryData {
    std::string name;
    int level = 0;  // 0 no access ... 6 manager
};

struct DxlDatabaseInfo {
    std::string title;
    std::string replicaId;  // 16 hex digits
    LNDatetime created;
    std::string encoding;  // as declared, empty for UTF-8
    // The internal general entities the file declares, as declarations
    // again ("<!ENTITY name "value">..."), so that a note read alone from its
    // byte range can use them; empty when there are none.
    std::string entityDeclarations;
    std::vector<AclEntryData> acl;
    int defaultAccess = 6;
};

// True when the file starts like a native Notes database.
bool LooksLikeNativeNsf(const std::string& path);

class NoteIndex;

// The indexing pass. On failure returns a status and a detail text (for bad
// DXL: "file, line L, column C: expat message"; for an index that cannot be
// kept: "file: the note index in folder: cannot write: reason").
//
// A file of at least DxlIndexSplitThreshold() bytes is parsed in two parts
// at once, its second half on a second thread, when the split is confirmed to
// fall between two notes; the result is always the one a single parse gives,
// errors included (any fault in the second half has that part parsed again
// by the first parser). QUILLBOX_NOTES_SPLIT_INDEX=0 turns that off;
// QUILLBOX_NOTES_SPLIT_INDEX_MIN_BYTES=N sets the threshold (tests).
LNSTATUS IndexDxlFile(const std::string& path, DxlDatabaseInfo* info, NoteIndex* notes, std::string* detail);

bool DxlIndexSplitEnabled();
void SetDxlIndexSplitEnabled(std::optional<bool> enabled);  // nullopt: as the environment says
std::uint64_t DxlIndexSplitThreshold();
// For tests: a lower threshold (nullopt: the default), and where the search
// for a split begins (nullopt: the middle of the file).
void SetDxlIndexSplitThreshold(std::optional<std::uint64_t> bytes);
void SetDxlIndexSplitSearchStart(std::optional<std::uint64_t> offset);

// How the last IndexDxlFile of the calling thread went.
enum class DxlIndexSplit {
    NotTried,  // one parse from start to end (small file, switched off, no split found)
    Discarded, // the second half was parsed apart but that result thrown away
    Used,      // the index was built from two parts
};
DxlIndexSplit LastDxlIndexSplit();

// Reads notes of one file whole, each from its byte range. Keeps the file and
// one parser open for all of them.
class DxlNoteReader {
public:
    DxlNoteReader(std::string path, std::string encoding, std::string entityDeclarations = {});
    ~DxlNoteReader();
    DxlNoteReader(const DxlNoteReader&) = delete;
    DxlNoteReader& operator=(const DxlNoteReader&) = delete;
    LNSTATUS Read(const NoteIndexEntry& entry, NoteData* note, std::string* detail);
    // The file it reads (and its notes' attachments read); null when it could not be opened.
    const std::shared_ptr<const DxlFile>& File() const { return file_; }

private:
    bool ReadRange(std::uint64_t offset, std::uint64_t length);
    std::string path_;
    std::string encoding_;
    std::string prologue_;  // the file's entities, declared again for a note alone
    std::shared_ptr<const DxlFile> file_;
    int openError_ = 0;
    XML_ParserStruct* parser_ = nullptr;
    unsigned long salt_ = 0;
    std::string buffer_;
};

// Parses one note whole (opening the file for this one note).
LNSTATUS ParseDxlNote(const std::string& path, const DxlDatabaseInfo& info, const NoteIndexEntry& entry,
                      NoteData* note, std::string* detail);

// The title of a database file: the <database> element's title attribute,
// read without parsing further; empty when there is none.
std::string ReadDxlTitle(const std::string& path);

// Parses a whole DXL text held in memory (tests, fuzzing): the same pass as
// IndexDxlFile, then every note whole.
LNSTATUS ParseDxlText(const std::string& text, DxlDatabaseInfo* info, std::vector<NoteData>* notes,
                      std::string* detail);

}  // namespace qb::notes
