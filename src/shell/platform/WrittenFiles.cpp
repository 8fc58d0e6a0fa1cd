#include "shell/platform/WrittenFiles.h"

#include <algorithm>

#include "shell/platform/EnvironmentSwitch.h"

namespace qb::platform {
namespace {

EnvironmentSwitch writtenFilesSwitch("QUILLBOX_WRITTEN_FILES");

bool SameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

bool SameFileState(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_mode == b.st_mode && a.st_size == b.st_size &&
           SameTime(a.st_mtim, b.st_mtim) && SameTime(a.st_ctim, b.st_ctim);
}

WrittenFiles::WrittenFiles() { entries_.reserve(kMaxEntries); }

WrittenFiles& WrittenFiles::Shared() {
    static WrittenFiles files;
    return files;
}

bool WrittenFiles::Enabled() { return writtenFilesSwitch.Enabled(); }

void WrittenFiles::ForceEnabled(std::optional<bool> enabled) {
    writtenFilesSwitch.Force(enabled);
    if (!Enabled()) Shared().Clear();
}

void WrittenFiles::Remember(const std::string& path, const struct stat& closed,
                            std::shared_ptr<const std::string> bytes) {
    if (!Enabled() || !bytes || bytes->size() > kMaxBytes || static_cast<std::size_t>(closed.st_size) != bytes->size())
        return Forget(path);
    std::lock_guard lock(mutex_);
    auto same = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.path == path; });
    if (same != entries_.end()) entries_.erase(same);
    else if (entries_.size() >= kMaxEntries) entries_.erase(entries_.begin());
    entries_.push_back(Entry{path, closed, std::move(bytes)});
}

std::shared_ptr<const std::string> WrittenFiles::Recall(const std::string& path, struct stat* now) {
    std::shared_ptr<const std::string> bytes;
    struct stat closed {};
    {
        std::lock_guard lock(mutex_);
        auto entry = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.path == path; });
        if (entry == entries_.end()) return nullptr;
        bytes = entry->bytes;
        closed = entry->closed;
    }
    struct stat current {};
    if (::stat(path.c_str(), &current) != 0 || !SameFileState(closed, current)) return nullptr;
    if (now) *now = current;
    return bytes;
}

void WrittenFiles::Forget(const std::string& path) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [&](const Entry& e) { return e.path == path; });
}

void WrittenFiles::Clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

}  // namespace qb::platform
