#pragma once
// Which documents every folder holds, worked out in one pass over the note
// index for all folders of a database instead of one pass per folder: a
// document is in a folder when the first $FolderRefs item of its summary
// names the folder's UNID (as LNItem::GetNoteRefs reads it, case ignored).
//
// Invariants: the members are slot positions of the index in file order,
// once each; they are served only for the index generation they were worked
// out from (NoteIndex::Generation), so a note held, deleted or an index
// replaced since makes the next Members work them out again. Memory: one
// position per place of a document in a folder, bounded by the index's
// summaries.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "notes/api/NoteIndex.h"
#include "notes/api/NotesFormat.h"

namespace qb::notes {

class FolderMembership {
public:
    // The slot positions of the documents (not deleted) in the folder of
    // that UNID, in file order: valid until the index changes. A spill file
    // that cannot be read gives its status and detail.
    LNSTATUS Members(const NoteIndex& index, std::string_view folderUnid, const std::vector<std::uint32_t>** members,
                     std::string* detail);
    // Frees the memory; the next Members works them out again.
    void Clear();

private:
    struct UnidHash {
        std::size_t operator()(const StoredUnid& unid) const noexcept;
    };

    LNSTATUS Build(const NoteIndex& index, std::string* detail);

    bool built_ = false;
    std::uint64_t generation_ = 0;
    std::unordered_map<StoredUnid, std::vector<std::uint32_t>, UnidHash> byFolder_;
    const std::vector<std::uint32_t> none_;
};

}  // namespace qb::notes
