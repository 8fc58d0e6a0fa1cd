#include "shell/platform/RecycledFiles.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <iterator>

#include "shell/platform/FileInfo.h"
#include "shell/platform/Paths.h"
#include "shell/platform/WrittenFiles.h"

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
    free_.reserve(capacity_);
    lent_.reserve(capacity_);
}

RecycledFiles::~RecycledFiles() {
    Clear();
    if (folderFd_ >= 0) ::close(folderFd_);
}

void RecycledFiles::Clear() {
    for (const std::string& kept : free_) ::unlinkat(folderFd_, kept.c_str(), 0);
    for (const Lent& lent : lent_) ::unlinkat(folderFd_, lent.kept.c_str(), 0);
    free_.clear();
    lent_.clear();
}

RecycledFiles::Place RecycledFiles::PlaceOf(const std::string& path) const {
    // A path inside the folder is named relative to it; any other as it is.
    if (folderFd_ >= 0 && path.size() > folder_.size() + 1 && path.compare(0, folder_.size(), folder_) == 0 &&
        path[folder_.size()] == kPathSeparator)
        return Place{folderFd_, path.c_str() + folder_.size() + 1};
    return Place{AT_FDCWD, path.c_str()};
}

bool RecycledFiles::Provide(const std::string& path) {
    const Place target = PlaceOf(path);
    if (!InFolder(target)) return false;
    while (!free_.empty()) {
        if (::linkat(folderFd_, free_.back().c_str(), target.dir, target.name, 0) == 0) {
            std::string kept = std::move(free_.back());
            free_.pop_back();
            // The name was lent before and deleted by someone else since:
            // that kept file has only its hidden name left.
            for (auto it = lent_.begin(); it != lent_.end(); ++it) {
                if (it->path != path) continue;
                std::string earlier = std::move(it->kept);
                lent_.erase(it);
                TakeBack(std::move(earlier));
                break;
            }
            lent_.push_back(Lent{path, std::move(kept)});
            return true;
        }
        // `path` exists already: leave both alone and let the writer decide.
        if (errno == EEXIST) return false;
        // Any other failure is the name's while the kept file is there.
        struct stat st {};
        if (::fstatat(folderFd_, free_.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return false;
        free_.pop_back();
    }
    return false;
}

bool RecycledFiles::Remove(const std::string& path) {
    WrittenFiles::Shared().Forget(path);
    const Place place = PlaceOf(path);
    for (auto it = lent_.rbegin(); it != lent_.rend(); ++it) {
        if (it->path != path) continue;
        std::string kept = std::move(it->kept);
        lent_.erase(std::next(it).base());
        // Whatever the name holds now goes, as a delete would take it; the
        // kept file stays under its hidden name.
        const bool removed = ::unlinkat(place.dir, place.name, 0) == 0 || errno == ENOENT || DeleteFile(path);
        TakeBack(std::move(kept));
        return removed;
    }
    return Adopt(place) || DeleteFile(path);
}

// A kept file back from a lending is free again unless it still has another
// name (its lent name could not be removed) or grew too large to keep.
void RecycledFiles::TakeBack(std::string kept) {
    struct stat st {};
    if (::fstatat(folderFd_, kept.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
        st.st_nlink == 1 && st.st_size <= kMaxKeptBytes) {
        free_.push_back(std::move(kept));
        return;
    }
    ::unlinkat(folderFd_, kept.c_str(), 0);
}

// Takes a file the writer made itself into the pool under a hidden name.
// Only a small plain file of ours with no other name is kept: a symbolic
// link, a folder, a device or a hard-linked file is deleted as before.
bool RecycledFiles::Adopt(Place place) {
    if (!InFolder(place) || free_.size() + lent_.size() >= capacity_) return false;
    struct stat st {};
    if (::fstatat(place.dir, place.name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
        st.st_nlink != 1 || st.st_uid != EffectiveUser() || st.st_size > kMaxKeptBytes)
        return false;
    if ((st.st_mode & 07777) != 0600 && ::fchmodat(place.dir, place.name, 0600, 0) != 0) return false;
    // A name taken meanwhile (an attachment may carry any name) is skipped.
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::string kept = kKeptPrefix + std::to_string(++nextNumber_);
        if (::renameat2(place.dir, place.name, folderFd_, kept.c_str(), RENAME_NOREPLACE) == 0) {
            free_.push_back(std::move(kept));
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
