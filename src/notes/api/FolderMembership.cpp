// Folder membership of all folders from one pass (FolderMembership.h).

#include "notes/api/FolderMembership.h"

#include <cstring>

namespace qb::notes {

std::size_t FolderMembership::UnidHash::operator()(const StoredUnid& unid) const noexcept {
    // UNIDs are close to random: their low bytes make a good hash.
    std::uint64_t low, high;
    std::memcpy(&low, unid.data(), 8);
    std::memcpy(&high, unid.data() + 8, 8);
    return static_cast<std::size_t>(low ^ (high * 0x9E3779B97F4A7C15ull));
}

void FolderMembership::Clear() {
    built_ = false;
    std::unordered_map<StoredUnid, std::vector<std::uint32_t>, UnidHash>().swap(byFolder_);
}

LNSTATUS FolderMembership::Members(const NoteIndex& index, std::string_view folderUnid,
                                   const std::vector<std::uint32_t>** members, std::string* detail) {
    if (!built_ || generation_ != index.Generation()) {
        Clear();
        if (LNSTATUS status = Build(index, detail)) return status;
        built_ = true;
        generation_ = index.Generation();
    }
    StoredUnid unid;
    // A folder UNID that is not 32 hex digits equals no reference's text.
    auto found = UnidFromText(folderUnid, &unid) ? byFolder_.find(unid) : byFolder_.end();
    *members = found == byFolder_.end() ? &none_ : &found->second;
    return LNNOERROR;
}

LNSTATUS FolderMembership::Build(const NoteIndex& index, std::string* detail) {
    // Scan visits each slot it wanted right after accepting it.
    std::uint32_t position = 0;
    return index.Scan(
        [&](const NoteIndex::Slot& slot) {
            if (slot.Deleted() || slot.noteClass != NOTE_CLASS_DOCUMENT) return false;
            position = static_cast<std::uint32_t>(index.IndexOf(slot));
            return true;
        },
        [&](const NoteIndexEntry& entry) {
            entry.summary.ForEach([&](std::string_view name, LNITEMTYPE type, LNITEMFLAGS, std::string_view value) {
                if (!NameEquals(name, "$FolderRefs")) return true;
                ForEachNoteRef(type, value, [&](const StoredUnid& folder) {
                    std::vector<std::uint32_t>& members = byFolder_[folder];
                    // A folder named twice by one document holds it once.
                    if (members.empty() || members.back() != position) members.push_back(position);
                    return true;
                });
                return false;  // only the first item of the name counts
            });
            return true;
        },
        detail);
}

}  // namespace qb::notes
