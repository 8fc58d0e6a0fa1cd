#pragma once
// The index of an open database with a flat memory cost: per note it keeps
// in memory only what lookups and scans filter on (id, class, deleted flag)
// and where the note's full index record (UNID, dates, DXL byte range,
// skipped attachment ranges, summary items) lies in a spill file. The spill
// file is written once, in file order, while the database is indexed, and
// read back with pread: one record for a lookup, windows of many records for
// a scan over every note.
//
// Invariants: the spill file has no name from the moment it exists (it
// cannot outlive the process nor be left behind by a crash); records lie in
// slot order, so a slot's record ends where the next slot's begins; notes
// written by this process are held in memory whole and never spilled. The
// summary buffers in the spill file use this process's ItemNameTable numbers,
// which is why the file never leaves the process.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "notes/api/NoteData.h"

namespace qb::notes {

using IndexEntryPtr = std::shared_ptr<const NoteIndexEntry>;

// Makes ids unique in file order: a missing (0) or repeated id gets a fresh
// one above the highest.
void AssignUniqueIds(std::vector<NOTEID>& ids);
// The UNID given to a note whose DXL has none: from the file and the note id.
std::uint32_t UnidSeed(const std::string& path);
std::array<char, 32> SynthesizedUnid(std::uint32_t seed, NOTEID noteId);

class NoteIndex {
public:
    // What is kept in memory for one note.
    struct Slot {
        std::uint64_t spillOffset = 0;
        NOTEID noteId = 0;
        LNNOTECLASS noteClass = 0;
        std::uint8_t flags = 0;
        bool Deleted() const { return flags & kDeleted; }
    };

    NoteIndex() = default;
    NoteIndex(NoteIndex&&) noexcept;
    NoteIndex& operator=(NoteIndex&&) noexcept;
    NoteIndex(const NoteIndex&) = delete;
    NoteIndex& operator=(const NoteIndex&) = delete;
    ~NoteIndex();

    // Indexing: Append each note in file order, then Finish.
    LNSTATUS Append(const NoteIndexEntry& entry, std::string* detail);
    // Appends the notes of an index of the rest of the same file, built
    // apart (and not finished), after this one's: as if they had been
    // appended here one by one. On failure this index is as it was.
    LNSTATUS AppendIndex(NoteIndex&& later, std::string* detail);
    // Writes what is buffered, makes ids unique and builds the id lookup.
    LNSTATUS Finish(const std::string& unidSeedPath, std::string* detail);

    std::size_t Size() const { return slots_.size(); }
    const Slot& At(std::size_t index) const { return slots_[index]; }
    // The slot of that id (the last note of the id), deleted or not; nullptr when none.
    const Slot* FindSlot(NOTEID noteId) const;
    // The full record of a slot; a spill file that cannot be read gives
    // LNERR_FILE_READ and a detail.
    LNSTATUS Read(const Slot& slot, IndexEntryPtr* entry, std::string* detail) const;
    // The full record of a slot read from the spill file, not through the
    // cache of Read: safe from another thread while nothing changes the
    // index. A note held in memory gives LNERR_NOTE_NOT_FOUND.
    LNSTATUS ReadUncached(const Slot& slot, NoteIndexEntry* entry, std::string* detail) const;
    // Visits, in file order, the full record of every slot `wanted` accepts
    // until `visit` returns false. Reads the spill file in large windows.
    LNSTATUS Scan(const std::function<bool(const Slot&)>& wanted,
                  const std::function<bool(const NoteIndexEntry&)>& visit, std::string* detail) const;

    // A note written by this process replaces the note of its id, or is added.
    void Hold(NoteIndexEntry entry);
    void MarkDeleted(const Slot& slot);
    NOTEID HighestId() const;
    void Clear();

    // Where a slot lies, in file order: stable while Generation() is.
    std::size_t IndexOf(const Slot& slot) const { return static_cast<std::size_t>(&slot - slots_.data()); }
    // Changes with everything that changes what Read and Scan return (and
    // with a move), to a value no index of this process had before: what
    // was worked out from the index holds while it stays the same.
    std::uint64_t Generation() const { return generation_; }

private:
    static constexpr std::uint8_t kDeleted = 0x01;
    static constexpr std::uint8_t kHeld = 0x02;
    static constexpr std::uint8_t kNoUnid = 0x04;  // synthesized when read

    void Changed();
    std::uint64_t RecordEnd(std::size_t index) const;
    bool Decode(std::size_t index, std::string_view record, NoteIndexEntry* entry) const;
    LNSTATUS ReadAt(std::uint64_t offset, std::size_t length, std::string* into, std::string* detail) const;
    LNSTATUS FlushSpill(std::string* detail);
    LNSTATUS CopySpillFrom(const NoteIndex& other, std::string* detail);
    LNSTATUS OpenSpill(std::string* detail);
    void Rebuild();

    std::vector<Slot> slots_;
    // Note id -> slot, sorted by id, one per id (the last note of that id);
    // empty while the slots' ids rise strictly, as they then serve as it.
    std::vector<std::pair<NOTEID, std::uint32_t>> byId_;
    bool idsAscending_ = true;
    std::unordered_map<std::uint32_t, IndexEntryPtr> held_;
    int spill_ = -1;
    std::string spillFolder_;  // for messages
    std::uint64_t spillSize_ = 0;
    std::string pending_;  // written to the spill file in large pieces
    std::uint32_t unidSeed_ = 0;
    std::uint64_t generation_ = 0;
    // The last records read by Read, so that the getters of one note read it once.
    static constexpr std::size_t kCacheSize = 8;
    mutable std::array<std::pair<std::size_t, IndexEntryPtr>, kCacheSize> cache_{};
    mutable std::size_t cacheNext_ = 0;
};

}  // namespace qb::notes
