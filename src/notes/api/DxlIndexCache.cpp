// Indexes kept across opens of the same unchanged DXL file (DxlIndexCache.h).

#include "notes/api/DxlIndexCache.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <ctime>
#include <memory>

namespace qb::notes {
namespace {

std::atomic<std::int64_t> settleNanoseconds{2'000'000'000};

std::int64_t Nanoseconds(std::int64_t seconds, std::int64_t nanoseconds) {
    return seconds * 1'000'000'000 + nanoseconds;
}

}  // namespace

void DxlIndexCache::SetSettleTime(std::chrono::nanoseconds time) { settleNanoseconds.store(time.count()); }
std::chrono::nanoseconds DxlIndexCache::SettleTime() { return std::chrono::nanoseconds(settleNanoseconds.load()); }

bool IdentifyDxlFile(const std::string& path, DxlFileIdentity* identity) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return false;
    std::unique_ptr<char, decltype(&std::free)> canonical(::realpath(path.c_str(), nullptr), &std::free);
    if (!canonical) return false;
    identity->path = path;
    identity->canonical = canonical.get();
    identity->stamp = StampOfStatus(status);
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const std::int64_t lastChange =
        std::max(Nanoseconds(status.st_mtim.tv_sec, status.st_mtim.tv_nsec), Nanoseconds(status.st_ctim.tv_sec, status.st_ctim.tv_nsec));
    identity->settled = Nanoseconds(now.tv_sec, now.tv_nsec) - lastChange >= settleNanoseconds.load();
    return true;
}

DxlIndexCache& DxlIndexCache::Process() {
    static DxlIndexCache cache;
    return cache;
}

bool DxlIndexCache::Take(const DxlFileIdentity& identity, DxlDatabaseInfo* info, NoteIndex* index) {
    std::unique_lock lock(mutex_);
    for (auto kept = kept_.begin(); kept != kept_.end(); ++kept) {
        if (!(kept->identity == identity)) continue;
        *info = std::move(kept->info);
        NoteIndex taken = std::move(kept->index);
        kept_.erase(kept);
        ++counts_.taken;
        lock.unlock();
        *index = std::move(taken);  // the index it replaces is cleared outside the lock
        return true;
    }
    ++counts_.missed;
    return false;
}

void DxlIndexCache::Keep(DxlFileIdentity identity, DxlDatabaseInfo info, NoteIndex index) {
    std::deque<Kept> dropped;  // let go outside the lock
    std::lock_guard lock(mutex_);
    for (auto kept = kept_.begin(); kept != kept_.end();) {
        if (kept->identity.canonical == identity.canonical || kept->identity.path == identity.path) {
            dropped.push_back(std::move(*kept));
            kept = kept_.erase(kept);
        } else {
            ++kept;
        }
    }
    if (!identity.settled) return;
    while (kept_.size() >= kKept) {
        dropped.push_back(std::move(kept_.front()));
        kept_.pop_front();
    }
    kept_.push_back(Kept{std::move(identity), std::move(info), std::move(index)});
}

void DxlIndexCache::Forget(const std::string& path) {
    std::deque<Kept> dropped;
    std::lock_guard lock(mutex_);
    for (auto kept = kept_.begin(); kept != kept_.end();) {
        if (kept->identity.path == path) {
            dropped.push_back(std::move(*kept));
            kept = kept_.erase(kept);
        } else {
            ++kept;
        }
    }
}

void DxlIndexCache::Clear() {
    std::deque<Kept> dropped;
    std::lock_guard lock(mutex_);
    dropped.swap(kept_);
}

DxlIndexCache::Counts DxlIndexCache::GetCounts() const {
    std::lock_guard lock(mutex_);
    return counts_;
}

}  // namespace qb::notes
