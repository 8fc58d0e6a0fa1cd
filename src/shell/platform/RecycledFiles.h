#pragma once
// The temporary files of the documents (RTF bodies, pictures, attachments)
// live for a moment each: written under their name, read back into the
// message and gone again. Creating and deleting a file per document makes
// the file system allocate a fresh inode each time, which on ext4 scans
// further past the recently deleted ones the longer a run goes. RecycledFiles
// keeps the inodes instead, each under a hidden name of its own
// (".recycled-<n>") in the run's private folder, and lends them out as hard
// links: Provide links a free kept file to the name the writer is about to
// open, Remove unlinks that name again. The kept file keeps its hidden name,
// its blocks and its stale contents throughout; nothing is renamed, emptied
// or freed per document.
//
// Why hard links: a link and an unlink are the cheapest pair of operations
// that give an existing inode a name and take it away (measured on ext4:
// about half the cost of renaming the file there and back and emptying it).
//
// Why a kept file is never emptied: ext4 writes a file out to disk when it is
// closed after it was truncated to empty and written again (its guard for
// files replaced by truncation), which costs ten times the whole rest. So the
// writers (OutputFile, and the picture writer through it) never truncate to
// empty and then write: they write from the start over the stale bytes and
// then cut the file to the length written. A file that ends empty may be
// truncated to empty, since nothing is written after it.
//
// Why plain create and delete are not enough: each new inode makes ext4 look
// past every free inode deleted in the last minutes, so the cost per file
// climbs with the files deleted before it (on the 160,000-document sample
// 48 s of processor time against 41 s with kept files).
//
// Invariants: a kept file is a regular file of mode 0600 made or taken by
// this object, with exactly one name besides a lent one; free kept files have
// only their hidden name; a link or rename never replaces an existing file;
// at most `capacity` files are kept (free and lent together), each of at most
// kMaxKeptBytes, which bounds the stale bytes held on disk; the destructor
// deletes every hidden name. The folder is held open and files inside it are
// named relative to it; only names inside the folder are lent or taken.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qb::platform {

class RecycledFiles {
public:
    static constexpr std::size_t kDefaultCapacity = 16;
    static constexpr const char* kKeptPrefix = ".recycled-";
    // A larger file is deleted rather than kept: its stale bytes would hold
    // disk space for the rest of the run, and its own writing costs far more
    // than a new inode.
    static constexpr std::int64_t kMaxKeptBytes = 1 << 20;

    // `folder` is a private folder of this run; empty: nothing is kept and
    // Remove only deletes.
    explicit RecycledFiles(std::string folder, std::size_t capacity = kDefaultCapacity);
    ~RecycledFiles();
    RecycledFiles(const RecycledFiles&) = delete;
    RecycledFiles& operator=(const RecycledFiles&) = delete;

    // Before a writer creates `path` (inside the folder, not existing): links
    // a free kept file there, so that the writer's open reuses its inode. The
    // file holds stale bytes; the writer overwrites them and sets the length.
    // False when none is free, `path` exists already (it is left alone) or
    // the link fails; the writer then creates the file itself as usual.
    bool Provide(const std::string& path);
    // Instead of deleting `path`: a provided name is unlinked and its kept
    // file is free again; a file the writer made itself is taken into the
    // pool when there is room and it is a small plain file of ours, else
    // deleted. True when nothing is left under `path` afterwards (a missing
    // file counts as removed), as DeleteFile.
    bool Remove(const std::string& path);
    // Deletes every kept file's hidden name (a lent name stays with its
    // caller, as any file it wrote).
    void Clear();

    // Kept files free to be provided.
    std::size_t keptCount() const { return free_.size(); }
    // Kept files linked under a caller's name right now.
    std::size_t lentCount() const { return lent_.size(); }

private:
    // A file as the *at system calls take it: a folder's descriptor (or
    // AT_FDCWD) and a name relative to it.
    struct Place {
        int dir;
        const char* name;
    };
    struct Lent {
        std::string path;  // the caller's name, as given to Provide
        std::string kept;  // the hidden name inside the folder
    };

    bool Adopt(Place place);
    void TakeBack(std::string kept);
    Place PlaceOf(const std::string& path) const;
    bool InFolder(Place place) const { return folderFd_ >= 0 && place.dir == folderFd_; }

    std::string folder_;
    int folderFd_ = -1;  // the folder, opened as a path only; -1: none
    std::size_t capacity_;
    std::vector<std::string> free_;  // hidden names of kept files not lent
    std::vector<Lent> lent_;
    unsigned long nextNumber_ = 0;
};

// The file helpers of the converters, with or without recycling.
bool ProvideFile(RecycledFiles* files, const std::string& path);
bool RemoveFile(RecycledFiles* files, const std::string& path);

}  // namespace qb::platform
