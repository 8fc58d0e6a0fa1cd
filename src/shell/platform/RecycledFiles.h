#pragma once
// The temporary files of the documents (RTF bodies, pictures, attachments)
// live for a moment each: written under their name, read back into the
// message and gone again. Creating and deleting a file per document makes
// the file system allocate a fresh inode each time, which on ext4 scans
// further past the recently deleted ones the longer a run goes. RecycledFiles
// keeps the inodes instead: a file that is done with is emptied and renamed
// to a kept name of its own in the run's private folder, and the next file is
// that kept file renamed to the new name before its writer opens it. The
// writer must not truncate it (OutputFile and the picture writer do not
// truncate an empty file): ext4 writes a file truncated to empty out to disk
// when it is closed.
//
// Why not plain create and delete: each new inode makes ext4 look past every
// free inode deleted in the last minutes, so the cost per file climbs with
// the files deleted before it. Measured on the 160,000-document sample, the
// plain way spent 48 s of processor time against 41 s with the kept files;
// on runs of a few tens of thousands of files the two cost about the same.
//
// Invariants: a kept file is empty, a regular file of mode 0600 named
// ".recycled-<n>" in the folder, and made by this object (never a file it did
// not take itself); a rename never replaces an existing file; at most
// `capacity` files are kept; the destructor deletes every kept file. The
// folder is held open and files inside it are named relative to it.

#include <cstddef>
#include <string>
#include <vector>

namespace qb::platform {

class RecycledFiles {
public:
    static constexpr std::size_t kDefaultCapacity = 16;
    static constexpr const char* kKeptPrefix = ".recycled-";

    // `folder` is a private folder of this run; empty: nothing is kept and
    // Remove only deletes.
    explicit RecycledFiles(std::string folder, std::size_t capacity = kDefaultCapacity);
    ~RecycledFiles();
    RecycledFiles(const RecycledFiles&) = delete;
    RecycledFiles& operator=(const RecycledFiles&) = delete;

    // Before a writer creates `path` (which does not exist): moves a kept
    // file there, so that the writer's create reuses its inode. False when
    // none is kept or it could not be moved; the writer then creates the
    // file itself as usual.
    bool Provide(const std::string& path);
    // Instead of deleting `path`: empties it and keeps it, or deletes it when
    // enough are kept or it cannot be kept (or lies outside the folder). True when nothing is left under
    // `path` afterwards (a missing file counts as removed), as DeleteFile.
    bool Remove(const std::string& path);
    // Deletes every kept file.
    void Clear();

    std::size_t keptCount() const { return kept_.size(); }

private:
    // A file as the *at system calls take it: a folder's descriptor (or
    // AT_FDCWD) and a name relative to it.
    struct Place {
        int dir;
        const char* name;
    };

    bool Keep(const std::string& path);
    Place PlaceOf(const std::string& path) const;
    static bool RenameNoReplace(Place from, Place to);
    static bool EmptyOwnPlainFile(Place place);

    std::string folder_;
    int folderFd_ = -1;  // the folder, opened as a path only; -1: none
    std::size_t capacity_;
    std::vector<std::string> kept_;  // names inside the folder
    unsigned long nextNumber_ = 0;
};

// The file helpers of the converters, with or without recycling.
bool ProvideFile(RecycledFiles* files, const std::string& path);
bool RemoveFile(RecycledFiles* files, const std::string& path);

}  // namespace qb::platform
