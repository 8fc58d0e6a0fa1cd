#pragma once
// Indexes of DXL files kept after their database was closed, so that the
// next open of the same unchanged file in this process takes the index
// instead of parsing the whole file again (an export opens the mailbox once
// to check it and once to export it).
//
// Invariants: an index is handed back only for the file it was built from,
// unchanged: same path as given, same canonical path, device, inode, size,
// modification and change time; any difference indexes the file again. An
// index is owned either by one open database or by the cache, never by
// both, so it is never shared between threads. Only the index of a file
// last changed some time (settleTime) before it was identified is kept:
// file times have a coarse granularity, so a file written just before and
// again just after it was indexed could otherwise keep its size and times.
// Any write after that changes the change time. The cache holds at most
// kKept indexes (the most recently closed), whatever the number of
// databases a batch opens. Every member is safe to call from any thread.

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

#include "notes/api/DxlFile.h"
#include "notes/api/DxlReader.h"
#include "notes/api/NoteIndex.h"

namespace qb::notes {

// What identifies the state of a file on disk.
struct DxlFileIdentity {
    std::string path;       // as the database names it (seeds synthesized UNIDs)
    std::string canonical;  // symbolic links and ".." resolved
    DxlFileStamp stamp;  // device, inode, size and times

    // Last changed at least the cache's settle time before it was identified.
    bool settled = false;

    bool operator==(const DxlFileIdentity&) const = default;
};

// The identity of the file at path now; false when it cannot be read.
bool IdentifyDxlFile(const std::string& path, DxlFileIdentity* identity);

class DxlIndexCache {
public:
    static constexpr std::size_t kKept = 2;  // a mailbox and its address book

    // The one cache of the process.
    static DxlIndexCache& Process();

    // Moves out the index kept for that identity; false when none is.
    bool Take(const DxlFileIdentity& identity, DxlDatabaseInfo* info, NoteIndex* index);
    // Keeps an index of an unchanged file, in place of one of the same file,
    // dropping the least recently kept when full.
    // An index of a file that is not settled is not kept.
    void Keep(DxlFileIdentity identity, DxlDatabaseInfo info, NoteIndex index);
    // Drops what is kept for the file at that path (this process rewrote it).
    void Forget(const std::string& path);
    void Clear();

    struct Counts {
        std::uint64_t taken = 0;   // opens that reused an index
        std::uint64_t missed = 0;  // opens that found none
    };
    Counts GetCounts() const;

    // How long ago a file must have been changed for its index to be kept
    // (default two seconds, the coarsest time stamps of common file
    // systems; tests set zero).
    static void SetSettleTime(std::chrono::nanoseconds time);
    static std::chrono::nanoseconds SettleTime();

private:
    struct Kept {
        DxlFileIdentity identity;
        DxlDatabaseInfo info;
        NoteIndex index;
    };
    mutable std::mutex mutex_;
    std::deque<Kept> kept_;  // least recently kept first
    Counts counts_;
};

}  // namespace qb::notes
