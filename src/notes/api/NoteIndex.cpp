// The spilled note index (see NoteIndex.h). A record in the spill file:
// UNID (32 bytes), DXL start and end (8 bytes each), created and modified
// (the LNDatetime as held in memory), the count of skipped ranges (4 bytes)
// and the ranges (offset and length, 8 bytes each), then the summary
// buffer up to the record's end.

#include "notes/api/NoteIndex.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "shell/platform/Paths.h"

namespace qb::notes {

static_assert(std::is_trivially_copyable_v<LNDatetime>, "dates are spilled as they are held");

namespace {

constexpr std::size_t kFixedRecord = 32 + 8 + 8 + 2 * sizeof(LNDatetime) + 4;
constexpr std::size_t kSpillPiece = 1 << 20;   // written at once
constexpr std::size_t kScanWindow = 1 << 18;   // read at once by a scan

template <typename T>
void Put(std::string& out, const T& value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

template <typename T>
T Get(std::string_view data, std::size_t offset) {
    T value;
    std::memcpy(&value, data.data() + offset, sizeof value);
    return value;
}

std::string SpillFailure(const std::string& folder, const char* what, int error) {
    return "the note index in " + folder + ": " + what + ": " + std::strerror(error);
}

}  // namespace

void AssignUniqueIds(std::vector<NOTEID>& ids) {
    NOTEID highest = 0;
    for (NOTEID id : ids) highest = std::max(highest, id);
    // Positions ordered by id, then file order: of equal ids the first keeps it.
    std::vector<std::uint32_t> byId(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) byId[i] = static_cast<std::uint32_t>(i);
    std::stable_sort(byId.begin(), byId.end(), [&](std::uint32_t a, std::uint32_t b) { return ids[a] < ids[b]; });
    std::vector<bool> fresh(ids.size(), false);
    for (std::size_t k = 0; k < byId.size(); ++k)
        fresh[byId[k]] = ids[byId[k]] == 0 || (k > 0 && ids[byId[k - 1]] == ids[byId[k]]);
    // Fresh ids lie above every id of the file, so they meet none of them.
    NOTEID next = (highest / 4 + 1) * 4;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (!fresh[i]) continue;
        ids[i] = next;
        next += 4;
    }
}

std::uint32_t UnidSeed(const std::string& path) {
    std::uint32_t hash = 2166136261u;
    for (char c : path) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash;
}

std::array<char, 32> SynthesizedUnid(std::uint32_t seed, NOTEID noteId) {
    char text[40];
    std::snprintf(text, sizeof text, "%08X%08X%08X%08X", seed, 0x51424F58u, 0u, noteId);
    std::array<char, 32> unid{};
    std::memcpy(unid.data(), text, 32);
    return unid;
}

void NoteIndex::Changed() {
    static std::atomic<std::uint64_t> generations{0};
    generation_ = generations.fetch_add(1, std::memory_order_relaxed) + 1;
}

NoteIndex::NoteIndex(NoteIndex&& other) noexcept { *this = std::move(other); }

NoteIndex& NoteIndex::operator=(NoteIndex&& other) noexcept {
    if (this == &other) return *this;
    Clear();
    slots_ = std::move(other.slots_);
    byId_ = std::move(other.byId_);
    held_ = std::move(other.held_);
    spill_ = std::exchange(other.spill_, -1);
    spillFolder_ = std::move(other.spillFolder_);
    spillSize_ = std::exchange(other.spillSize_, 0);
    pending_ = std::move(other.pending_);
    unidSeed_ = other.unidSeed_;
    idsAscending_ = other.idsAscending_;
    other.Clear();
    Changed();
    return *this;
}

NoteIndex::~NoteIndex() { Clear(); }

void NoteIndex::Clear() {
    if (spill_ >= 0) ::close(spill_);
    spill_ = -1;
    spillSize_ = 0;
    std::vector<Slot>().swap(slots_);
    std::vector<std::pair<NOTEID, std::uint32_t>>().swap(byId_);
    idsAscending_ = true;
    held_.clear();
    std::string().swap(pending_);
    cache_ = {};
    Changed();
}

LNSTATUS NoteIndex::OpenSpill(std::string* detail) {
    std::string why;
    spillFolder_ = platform::TempFolder(&why);
    if (spillFolder_.empty()) {
        *detail = "the note index: " + why;
        return LNERR_FILE_WRITE;
    }
    // Without a name from the start where the system allows it; otherwise
    // named only until it is open.
    spill_ = ::open(spillFolder_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (spill_ < 0) {
        std::string path = platform::JoinPath(spillFolder_, "note-index-XXXXXX");
        spill_ = ::mkostemp(path.data(), O_CLOEXEC);
        if (spill_ < 0) {
            *detail = SpillFailure(spillFolder_, "cannot create", errno);
            return LNERR_FILE_WRITE;
        }
        ::unlink(path.c_str());
    }
    return LNNOERROR;
}

LNSTATUS NoteIndex::Append(const NoteIndexEntry& entry, std::string* detail) {
    if (spill_ < 0)
        if (LNSTATUS status = OpenSpill(detail)) return status;
    Slot slot;
    slot.spillOffset = spillSize_ + pending_.size();
    slot.noteId = entry.noteId;
    slot.noteClass = entry.noteClass;
    if (entry.unid[0] == '\0') slot.flags |= kNoUnid;
    if (entry.deleted) slot.flags |= kDeleted;
    slots_.push_back(slot);
    Changed();
    pending_.append(entry.unid.data(), entry.unid.size());
    Put(pending_, entry.start);
    Put(pending_, entry.end);
    Put(pending_, entry.created);
    Put(pending_, entry.modified);
    Put(pending_, static_cast<std::uint32_t>(entry.skipped.size()));
    for (const ByteRange& range : entry.skipped) {
        Put(pending_, range.offset);
        Put(pending_, range.length);
    }
    pending_ += entry.summary.Data();
    return pending_.size() >= kSpillPiece ? FlushSpill(detail) : LNNOERROR;
}

LNSTATUS NoteIndex::FlushSpill(std::string* detail) {
    std::size_t done = 0;
    while (done < pending_.size()) {
        ssize_t wrote = ::pwrite(spill_, pending_.data() + done, pending_.size() - done,
                                 static_cast<off_t>(spillSize_ + done));
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) {
            *detail = SpillFailure(spillFolder_, "cannot write", wrote < 0 ? errno : ENOSPC);
            return LNERR_FILE_WRITE;
        }
        done += static_cast<std::size_t>(wrote);
    }
    spillSize_ += pending_.size();
    pending_.clear();
    return LNNOERROR;
}

LNSTATUS NoteIndex::AppendIndex(NoteIndex&& later, std::string* detail) {
    if (later.slots_.empty()) return LNNOERROR;
    if (spill_ < 0)
        if (LNSTATUS status = OpenSpill(detail)) return status;
    if (LNSTATUS status = FlushSpill(detail)) return status;
    if (later.spill_ >= 0 && later.spillSize_ > 0)
        if (LNSTATUS status = CopySpillFrom(later, detail)) return status;
    // Records keep their order and lengths: only where they begin moves.
    const std::uint64_t base = spillSize_;
    slots_.reserve(slots_.size() + later.slots_.size());
    for (Slot slot : later.slots_) {
        slot.spillOffset += base;
        slots_.push_back(slot);
    }
    spillSize_ += later.spillSize_;
    pending_ = std::move(later.pending_);
    later.Clear();
    return LNNOERROR;
}

// Copies the other index's spill file after this one's records, in the
// kernel where it can; this index's size is left to the caller.
LNSTATUS NoteIndex::CopySpillFrom(const NoteIndex& other, std::string* detail) {
    loff_t from = 0;
    loff_t to = static_cast<loff_t>(spillSize_);
    const loff_t end = static_cast<loff_t>(other.spillSize_);
    while (from < end) {
        ssize_t copied = ::copy_file_range(other.spill_, &from, spill_, &to, static_cast<std::size_t>(end - from), 0);
        if (copied > 0) continue;
        if (copied < 0 && errno == EINTR) continue;
        if (copied == 0 || (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) break;
        *detail = SpillFailure(spillFolder_, "cannot write", copied < 0 ? errno : ENOSPC);
        return LNERR_FILE_WRITE;
    }
    std::string piece;
    while (from < end) {
        const std::size_t length = static_cast<std::size_t>(std::min<loff_t>(end - from, kSpillPiece));
        if (LNSTATUS status = other.ReadAt(static_cast<std::uint64_t>(from), length, &piece, detail)) return status;
        std::size_t done = 0;
        while (done < length) {
            ssize_t wrote = ::pwrite(spill_, piece.data() + done, length - done, static_cast<off_t>(to + done));
            if (wrote < 0 && errno == EINTR) continue;
            if (wrote <= 0) {
                *detail = SpillFailure(spillFolder_, "cannot write", wrote < 0 ? errno : ENOSPC);
                return LNERR_FILE_WRITE;
            }
            done += static_cast<std::size_t>(wrote);
        }
        from += static_cast<loff_t>(length);
        to += static_cast<loff_t>(length);
    }
    return LNNOERROR;
}

LNSTATUS NoteIndex::Finish(const std::string& unidSeedPath, std::string* detail) {
    if (spill_ >= 0)
        if (LNSTATUS status = FlushSpill(detail)) return status;
    std::string().swap(pending_);
    slots_.shrink_to_fit();  // growth leaves up to half the slots unused for good
    std::vector<NOTEID> ids;
    ids.reserve(slots_.size());
    for (const Slot& slot : slots_) ids.push_back(slot.noteId);
    AssignUniqueIds(ids);
    for (std::size_t i = 0; i < slots_.size(); ++i) slots_[i].noteId = ids[i];
    unidSeed_ = UnidSeed(unidSeedPath);
    Rebuild();
    return LNNOERROR;
}

void NoteIndex::Rebuild() {
    cache_ = {};
    Changed();
    // Files list notes by rising id as a rule; then the slots are their own lookup.
    idsAscending_ = std::adjacent_find(slots_.begin(), slots_.end(), [](const Slot& a, const Slot& b) {
                        return a.noteId >= b.noteId;
                    }) == slots_.end();
    if (idsAscending_) {
        std::vector<std::pair<NOTEID, std::uint32_t>>().swap(byId_);
        return;
    }
    byId_.clear();
    byId_.reserve(slots_.size());
    for (std::size_t i = 0; i < slots_.size(); ++i) byId_.emplace_back(slots_[i].noteId, static_cast<std::uint32_t>(i));
    std::stable_sort(byId_.begin(), byId_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    // Of notes sharing an id the last in the file wins.
    std::size_t kept = 0;
    for (const auto& entry : byId_) {
        if (kept > 0 && byId_[kept - 1].first == entry.first) byId_[kept - 1] = entry;
        else byId_[kept++] = entry;
    }
    byId_.resize(kept);
    byId_.shrink_to_fit();
}

const NoteIndex::Slot* NoteIndex::FindSlot(NOTEID noteId) const {
    if (idsAscending_) {
        auto slot = std::lower_bound(slots_.begin(), slots_.end(), noteId,
                                     [](const Slot& known, NOTEID id) { return known.noteId < id; });
        return slot != slots_.end() && slot->noteId == noteId ? &*slot : nullptr;
    }
    auto found = std::lower_bound(byId_.begin(), byId_.end(), noteId,
                                  [](const auto& entry, NOTEID id) { return entry.first < id; });
    return found != byId_.end() && found->first == noteId ? &slots_[found->second] : nullptr;
}

std::uint64_t NoteIndex::RecordEnd(std::size_t index) const {
    return index + 1 < slots_.size() ? slots_[index + 1].spillOffset : spillSize_;
}

bool NoteIndex::Decode(std::size_t index, std::string_view record, NoteIndexEntry* entry) const {
    const Slot& slot = slots_[index];
    if (record.size() < kFixedRecord) return false;
    std::uint32_t skippedCount = Get<std::uint32_t>(record, kFixedRecord - 4);
    if ((record.size() - kFixedRecord) / 16 < skippedCount) return false;
    entry->noteId = slot.noteId;
    entry->noteClass = slot.noteClass;
    entry->deleted = slot.Deleted();
    if (slot.flags & kNoUnid) entry->unid = SynthesizedUnid(unidSeed_, slot.noteId);
    else std::memcpy(entry->unid.data(), record.data(), 32);
    std::size_t offset = 32;
    entry->start = Get<std::uint64_t>(record, offset);
    entry->end = Get<std::uint64_t>(record, offset + 8);
    entry->created = Get<LNDatetime>(record, offset + 16);
    entry->modified = Get<LNDatetime>(record, offset + 16 + sizeof(LNDatetime));
    offset = kFixedRecord;
    entry->skipped.resize(skippedCount);
    for (ByteRange& range : entry->skipped) {
        range.offset = Get<std::uint64_t>(record, offset);
        range.length = Get<std::uint64_t>(record, offset + 8);
        offset += 16;
    }
    entry->summary.Assign(record.substr(offset));
    entry->written.reset();
    return true;
}

LNSTATUS NoteIndex::ReadAt(std::uint64_t offset, std::size_t length, std::string* into, std::string* detail) const {
    into->resize(length);
    std::size_t done = 0;
    while (done < length) {
        ssize_t got = ::pread(spill_, into->data() + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            *detail = SpillFailure(spillFolder_, "cannot read", got < 0 ? errno : EIO);
            return LNERR_FILE_READ;
        }
        done += static_cast<std::size_t>(got);
    }
    return LNNOERROR;
}

LNSTATUS NoteIndex::Read(const Slot& slot, IndexEntryPtr* entry, std::string* detail) const {
    std::size_t index = IndexOf(slot);
    if (slot.flags & kHeld) {
        *entry = held_.at(static_cast<std::uint32_t>(index));
        return LNNOERROR;
    }
    for (const auto& [cached, record] : cache_)
        if (record && cached == index) {
            *entry = record;
            return LNNOERROR;
        }
    auto decoded = std::make_shared<NoteIndexEntry>();
    if (LNSTATUS status = ReadUncached(slot, decoded.get(), detail)) return status;
    cache_[cacheNext_] = {index, decoded};
    cacheNext_ = (cacheNext_ + 1) % kCacheSize;
    *entry = std::move(decoded);
    return LNNOERROR;
}

LNSTATUS NoteIndex::ReadUncached(const Slot& slot, NoteIndexEntry* entry, std::string* detail) const {
    const std::size_t index = IndexOf(slot);
    if (slot.flags & kHeld) {
        *detail = "a note held in memory";
        return LNERR_NOTE_NOT_FOUND;
    }
    std::string bytes;
    const std::uint64_t end = RecordEnd(index);
    if (LNSTATUS status = ReadAt(slot.spillOffset, static_cast<std::size_t>(end - slot.spillOffset), &bytes, detail))
        return status;
    if (!Decode(index, bytes, entry)) {
        *detail = SpillFailure(spillFolder_, "damaged record", EIO);
        return LNERR_FILE_READ;
    }
    return LNNOERROR;
}

LNSTATUS NoteIndex::Scan(const std::function<bool(const Slot&)>& wanted,
                         const std::function<bool(const NoteIndexEntry&)>& visit, std::string* detail) const {
    std::string window;
    std::uint64_t windowStart = 0;
    NoteIndexEntry entry;  // reused, so that its buffers are allocated once
    for (std::size_t index = 0; index < slots_.size(); ++index) {
        const Slot& slot = slots_[index];
        if (!wanted(slot)) continue;
        if (slot.flags & kHeld) {
            if (!visit(*held_.at(static_cast<std::uint32_t>(index)))) return LNNOERROR;
            continue;
        }
        std::uint64_t end = RecordEnd(index);
        if (slot.spillOffset < windowStart || end > windowStart + window.size()) {
            windowStart = slot.spillOffset;
            std::uint64_t length = std::max<std::uint64_t>(end - windowStart, kScanWindow);
            length = std::min<std::uint64_t>(length, std::max(end, spillSize_) - windowStart);
            if (LNSTATUS status = ReadAt(windowStart, static_cast<std::size_t>(length), &window, detail)) return status;
        }
        std::string_view record(window.data() + (slot.spillOffset - windowStart), end - slot.spillOffset);
        if (!Decode(index, record, &entry)) {
            *detail = SpillFailure(spillFolder_, "damaged record", EIO);
            return LNERR_FILE_READ;
        }
        if (!visit(entry)) return LNNOERROR;
    }
    return LNNOERROR;
}

void NoteIndex::Hold(NoteIndexEntry entry) {
    cache_ = {};
    Changed();
    std::uint32_t index;
    if (const Slot* known = FindSlot(entry.noteId)) {
        index = static_cast<std::uint32_t>(IndexOf(*known));
    } else {
        index = static_cast<std::uint32_t>(slots_.size());
        Slot slot;
        slot.spillOffset = spillSize_;  // an empty record: offsets stay in slot order
        slot.noteId = entry.noteId;
        const bool staysAscending = slots_.empty() || slots_.back().noteId < entry.noteId;
        slots_.push_back(slot);
        if (idsAscending_ && !staysAscending) {
            Rebuild();
        } else if (!idsAscending_) {
            auto position = std::lower_bound(byId_.begin(), byId_.end(), entry.noteId,
                                             [](const auto& known, NOTEID id) { return known.first < id; });
            byId_.emplace(position, entry.noteId, index);
        }
    }
    Slot& slot = slots_[index];
    slot.noteClass = entry.noteClass;
    slot.flags = kHeld;
    entry.deleted = false;
    held_[index] = std::make_shared<const NoteIndexEntry>(std::move(entry));
}

void NoteIndex::MarkDeleted(const Slot& slot) {
    cache_ = {};
    Changed();
    std::size_t index = IndexOf(slot);
    slots_[index].flags |= kDeleted;
    if (auto found = held_.find(static_cast<std::uint32_t>(index)); found != held_.end()) {
        auto copy = std::make_shared<NoteIndexEntry>(*found->second);
        copy->deleted = true;
        found->second = std::move(copy);
    }
}

NOTEID NoteIndex::HighestId() const {
    NOTEID highest = 0;
    for (const Slot& slot : slots_) highest = std::max(highest, slot.noteId);
    return highest;
}

}  // namespace qb::notes
