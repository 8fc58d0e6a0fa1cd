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

uid_t EffectiveUser() {
    static const uid_t user = ::geteuid();
    return user;
}

}  // namespace

RecycledFiles::RecycledFiles(std::string folder, std::size_t capacity)
    : folder_(std::move(folder)), capacity_(capacity) {
    // The files are named from the folder's descriptor: the system then
    // walks only the name inside the folder, not the whole path each time.
    if (!folder_.empty()) folderFd_ = ::open(folder_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    kept_.reserve(capacity_);
}

RecycledFiles::~RecycledFiles() {
    Clear();
    if (folderFd_ >= 0) ::close(folderFd_);
}

void RecycledFiles::Clear() {
    for (const std::string& name : kept_) ::unlinkat(folderFd_, name.c_str(), 0);
    kept_.clear();
}

RecycledFiles::Place RecycledFiles::PlaceOf(const std::string& path) const {
    // A path inside the folder is named relative to it; any other as it is.
    if (folderFd_ >= 0 && path.size() > folder_.size() + 1 && path.compare(0, folder_.size(), folder_) == 0 &&
        path[folder_.size()] == kPathSeparator)
        return Place{folderFd_, path.c_str() + folder_.size() + 1};
    return Place{AT_FDCWD, path.c_str()};
}

bool RecycledFiles::RenameNoReplace(Place from, Place to) {
    return ::renameat2(from.dir, from.name, to.dir, to.name, RENAME_NOREPLACE) == 0;
}

// Empties the plain file of ours at `place` (no symbolic link, folder or
// device, and no other name) and makes it private. The emptying goes through
// a descriptor that is closed right after: ext4 marks a file truncated to
// empty for a flush at its next close, and that close is this one, while the
// file holds nothing to flush.
bool RecycledFiles::EmptyOwnPlainFile(Place place) {
    const int fd = ::openat(place.dir, place.name, O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    const bool plain =
        ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_uid == EffectiveUser();
    const bool emptied = plain && (st.st_size == 0 || ::ftruncate(fd, 0) == 0) &&
                         ((st.st_mode & 07777) == 0600 || ::fchmod(fd, 0600) == 0);
    ::close(fd);
    return emptied;
}

bool RecycledFiles::Provide(const std::string& path) {
    const Place target = PlaceOf(path);
    while (!kept_.empty()) {
        if (RenameNoReplace(Place{folderFd_, kept_.back().c_str()}, target)) {
            kept_.pop_back();
            return true;
        }
        // `path` exists already: leave both alone and let the writer decide.
        if (errno == EEXIST) return false;
        // The kept file is gone or cannot be moved: forget it.
        ::unlinkat(folderFd_, kept_.back().c_str(), 0);
        kept_.pop_back();
    }
    return false;
}

bool RecycledFiles::Remove(const std::string& path) {
    if (Keep(path)) return true;
    return DeleteFile(path);
}

bool RecycledFiles::Keep(const std::string& path) {
    if (folderFd_ < 0 || kept_.size() >= capacity_) return false;
    // Only a plain file of ours with no other name is kept: a symbolic link,
    // a folder or a hard-linked file is deleted as before.
    const Place from = PlaceOf(path);
    if (from.dir != folderFd_ || !EmptyOwnPlainFile(from)) return false;
    // A name taken meanwhile (an attachment may carry any name) is skipped.
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::string kept = kKeptPrefix + std::to_string(++nextNumber_);
        if (RenameNoReplace(from, Place{folderFd_, kept.c_str()})) {
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
