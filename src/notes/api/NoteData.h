#pragma once
// The in-memory form of notes behind the LN classes.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "notes/api/DxlFile.h"
#include "notes/api/ItemTypes.h"
#include "notes/api/LNDatetime.h"
#include "notes/api/NotesFormat.h"

namespace qb::notes {

// Where a file object's content is: a base64 range of the DXL file (read and
// decoded only when the attachment is detached), or bytes held in memory for
// notes created by this process.
struct FileContent {
    std::string dxlPath;
    // The file as the database's reader has it open; read again by path when null.
    std::shared_ptr<const DxlFile> dxlFile;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    bool inMemory = false;
    Bytes bytes;
    // The range decoded ahead by the thread that read the note ahead
    // (NotePrefetcher), set before the note is handed over and never after;
    // null when it was not (too large, bad base64, read error): the range is
    // then decoded when needed, and meets any error there.
    std::shared_ptr<const Bytes> prepared;
    // dxlFile's stamp from before the range was read for `prepared`.
    DxlFileStamp preparedStamp;
};

// Decodes the DXL range of content whole into *bytes; false on any error
// (the caller then decodes it the usual way and reports the error).
bool DecodeFileContentRange(const FileContent& content, Bytes* bytes);

// content's bytes decoded ahead when dxlFile has not changed since they were
// read (so that decoding the range now gives the very same bytes); null
// otherwise: the range is then decoded now, meeting the file as it is.
const Bytes* PreparedBytes(const FileContent& content);

// The decoded content of a file object in memory (for contents that are
// read whole, such as MIME parts kept in objects).
LNSTATUS ReadFileContent(const FileContent& content, Bytes* bytes, std::string* detail);

struct FileObject {
    std::string name;
    std::uint64_t size = 0;
    LNDatetime created;
    LNDatetime modified;
    std::shared_ptr<const FileContent> content;
};

struct ItemData {
    std::string name;
    LNITEMTYPE type = TYPE_INVALID_OR_UNKNOWN;
    LNITEMFLAGS flags = 0;
    Bytes value;  // canonical layout (NotesFormat.h)
    std::shared_ptr<const FileObject> file;  // TYPE_OBJECT items only
};

// A rich text body rendered to RTF ahead (NotePrefetcher), with the very
// inputs it was rendered from: used only for exactly these inputs.
struct PreparedRtf {
    std::string value, links, fonts;
    std::size_t begin = 0, end = 0;
    std::string rtf;
    std::vector<std::uint8_t> compressedRtf;  // rtf as compressed RTF (text/Lzfu.h); empty when not made

    bool Matches(std::string_view otherValue, std::size_t otherBegin, std::size_t otherEnd,
                 std::string_view otherLinks, std::string_view otherFonts) const {
        return begin == otherBegin && end == otherEnd && value == otherValue && links == otherLinks &&
               fonts == otherFonts;
    }
};

struct NoteData {
    NOTEID noteId = 0;
    std::string unid;  // 32 hex digits
    LNNOTECLASS noteClass = NOTE_CLASS_DOCUMENT;
    LNDatetime created;
    LNDatetime modified;
    std::vector<ItemData> items;
    // Defects met while presenting the note (damaged MIME, pictures left
    // out); the note is still read best effort.
    std::vector<std::string> readWarnings;
    // The Body rendered to RTF by the thread that read the note ahead; null when not.
    std::shared_ptr<const PreparedRtf> preparedRtf;

    const ItemData* FindItem(std::string_view name) const;  // first of that name, case ignored
    ItemData* FindItem(std::string_view name);
};

// Item names held once per process: the index stores a name's number
// instead of its text, as the same few dozen names recur in every note.
// The table is bounded (kMaxInterned names of at most kMaxInternedLength
// bytes); a name beyond that is kept in the note's summary itself. Names
// once interned stay, at fixed addresses, for the life of the process.
class ItemNameTable {
public:
    static constexpr std::uint16_t kNotInterned = 0xFFFF;
    static constexpr std::size_t kMaxInterned = 4096;
    static constexpr std::size_t kMaxInternedLength = 64;
    // The name's number, or kNotInterned when the table is full or the name long.
    static std::uint16_t Intern(std::string_view name);
    // The name of a number Intern returned.
    static std::string_view Name(std::uint16_t id);
};

// Summary items of one note packed into one buffer: per item WORD name
// number (ItemNameTable; kNotInterned is followed by WORD name length and
// the name), WORD type, WORD flags, the value length (7 bits a byte, low
// first, high bit set on all but the last), value. The index keeps one per
// note, so its memory follows the summary values, not the item names.
class SummaryBuffer {
public:
    void Add(const ItemData& item);
    // Calls visit(name, type, flags, value) for each item in order until it returns false.
    template <typename Visit>
    void ForEach(Visit visit) const;
    bool Find(std::string_view name, ItemData* item) const;
    void ShrinkToFit() { data_.shrink_to_fit(); }
    std::size_t Size() const { return data_.size(); }
    // The packed form, to keep the buffer elsewhere and take it back.
    const Bytes& Data() const { return data_; }
    void Assign(std::string_view data) { data_.assign(data); }

private:
    static std::size_t GetLength(std::string_view data, std::size_t* offset);
    Bytes data_;
};

template <typename Visit>
void SummaryBuffer::ForEach(Visit visit) const {
    std::string_view data(data_);
    std::size_t offset = 0;
    while (offset + 2 <= data.size()) {
        std::uint16_t nameId = GetWord(data, offset);
        offset += 2;
        std::string_view name;
        if (nameId == ItemNameTable::kNotInterned) {
            std::size_t nameLength = GetWord(data, offset);
            name = data.substr(offset + 2, nameLength);
            offset += 2 + nameLength;
        } else {
            name = ItemNameTable::Name(nameId);
        }
        LNITEMTYPE type = GetWord(data, offset);
        LNITEMFLAGS flags = GetWord(data, offset + 2);
        offset += 4;
        std::size_t valueLength = GetLength(data, &offset);
        std::string_view value = data.substr(offset, valueLength);
        offset += valueLength;
        if (!visit(name, type, flags, value)) return;
    }
}

bool NameEquals(std::string_view a, std::string_view b);

struct ByteRange {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

// One note of a database as the index knows it.
struct NoteIndexEntry {
    NOTEID noteId = 0;
    std::array<char, 32> unid{};
    LNNOTECLASS noteClass = NOTE_CLASS_DOCUMENT;
    bool deleted = false;
    std::uint64_t start = 0;  // byte range of the note's element in the DXL file
    std::uint64_t end = 0;
    // Attachment data inside that range, left out when the note is parsed again.
    std::vector<ByteRange> skipped;
    LNDatetime created;
    LNDatetime modified;
    SummaryBuffer summary;
    // Notes written by this process (local databases) are held whole.
    std::shared_ptr<NoteData> written;

    std::string Unid() const { return std::string(unid.data(), unid.size()); }
};

}  // namespace qb::notes
