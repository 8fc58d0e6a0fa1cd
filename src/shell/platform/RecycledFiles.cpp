#include "shell/platform/RecycledFiles.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "shell/platform/FileInfo.h"
#include "shell/platform/Paths.h"

namespace qb::platform {
namespace {

// rename() that never replaces an existing file.
bool RenameNoReplace(const std::string& from, const std::string& to) {
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
}

uid_t EffectiveUser() {
    static const uid_t user = ::geteuid();
    return user;
}

// Empties the plain file of ours at `path` (no symbolic link, folder or
// device, and no other name) and makes it private. The emptying goes through
// a descriptor that is closed right after: ext4 marks a file truncated to
// empty for a flush at its next close, and that close is this one, while the
// file holds nothing to flush.
bool EmptyOwnPlainFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    const bool plain =
        ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_uid == EffectiveUser();
    const bool emptied = plain && (st.st_size == 0 || ::ftruncate(fd, 0) == 0) &&
                         ((st.st_mode & 07777) == 0600 || ::fchmod(fd, 0600) == 0);
    ::close(fd);
    return emptied;
}

}  // namespace

RecycledFiles::RecycledFiles(std::string folder, std::size_t capacity)
    : folder_(std::move(folder)), capacity_(capacity) {
    if (!folder_.empty()) keptPrefix_ = JoinPath(folder_, kKeptPrefix);
    kept_.reserve(capacity_);
}

RecycledFiles::~RecycledFiles() { Clear(); }

void RecycledFiles::Clear() {
    for (const std::string& path : kept_) DeleteFile(path);
    kept_.clear();
}

bool RecycledFiles::Provide(const std::string& path) {
    while (!kept_.empty()) {
        if (RenameNoReplace(kept_.back(), path)) {
            kept_.pop_back();
            return true;
        }
        // `path` exists already: leave both alone and let the writer decide.
        if (errno == EEXIST) return false;
        // The kept file is gone or cannot be moved: forget it.
        DeleteFile(kept_.back());
        kept_.pop_back();
    }
    return false;
}

bool RecycledFiles::Remove(const std::string& path) {
    if (Keep(path)) return true;
    return DeleteFile(path);
}

bool RecycledFiles::Keep(const std::string& path) {
    if (folder_.empty() || kept_.size() >= capacity_) return false;
    // Only a plain file of ours with no other name is kept: a symbolic link,
    // a folder or a hard-linked file is deleted as before.
    if (!EmptyOwnPlainFile(path)) return false;
    // A name taken meanwhile (an attachment may carry any name) is skipped.
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::string kept = keptPrefix_ + std::to_string(++nextNumber_);
        if (RenameNoReplace(path, kept)) {
            kept_.push_back(std::move(kept));
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

bool ProvideFile(RecycledFiles* files, const std::string& path) { return files && files->Provide(path); }

bool RemoveFile(RecycledFiles* files, const std::string& path) {
    return files ? files->Remove(path) : DeleteFile(path);
}

}  // namespace qb::platform
