#pragma once
// The temporary files of a document (RTF body, pictures, attachments) are
// written through OutputFile and read back into the message a moment later
// by the same process. WrittenFiles remembers the bytes of the last few
// small files OutputFile closed, with the file's identity as it was closed
// (device, inode, size, modification and change times). A reader that finds
// the file under its name with that same identity takes the bytes from
// memory instead of opening and reading the file again; the file itself is
// written, named and removed exactly as before.
//
// Invariants: an entry is handed out only while one stat of its name shows
// the identity recorded at close; anything that rewrites the file through
// OutputFile replaces the entry first, and a file renamed, replaced, grown,
// cut or touched no longer matches. What is held is bounded: at most
// kMaxEntries files of at most kMaxBytes each, the oldest dropped first.
// The temporary files live in the run's private folder (mode 0700), which
// only this process writes; a change by another writer within one clock
// tick that keeps size and inode is the one change a stat cannot see.
//
// Safe from any thread.

#include <sys/stat.h>

#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace qb::platform {

class WrittenFiles {
public:
    static constexpr std::size_t kMaxEntries = 8;
    static constexpr std::size_t kMaxBytes = 1 << 20;

    // The memory of this process's OutputFile and file streams.
    static WrittenFiles& Shared();

    // `bytes` are the whole content of `path` as closed; `closed` its fstat
    // after the last write. A file above kMaxBytes is not kept.
    void Remember(const std::string& path, const struct stat& closed, std::shared_ptr<const std::string> bytes);
    // The bytes of `path` when the file under that name is still the one
    // remembered; `now` gets its status then. Null otherwise (the caller
    // reads the file as usual).
    std::shared_ptr<const std::string> Recall(const std::string& path, struct stat* now);
    // The file is going away: its bytes are no longer needed.
    void Forget(const std::string& path);
    void Clear();

    // On unless the environment variable QUILLBOX_WRITTEN_FILES is "0"
    // (for comparing runs); off, nothing is remembered and Recall finds
    // nothing. Tests force it either way; nullopt follows the environment.
    static bool Enabled();
    static void ForceEnabled(std::optional<bool> enabled);

private:
    WrittenFiles();

    struct Entry {
        std::string path;
        struct stat closed;
        std::shared_ptr<const std::string> bytes;
    };

    std::mutex mutex_;
    std::vector<Entry> entries_;  // oldest first
};

// Whether two statuses name the same file with the same content as far as
// the system tells: device, inode, type, size, modification and change times.
bool SameFileState(const struct stat& a, const struct stat& b);

}  // namespace qb::platform
