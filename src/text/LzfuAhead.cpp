#include "text/LzfuAhead.h"

#include <algorithm>
#include <cstring>

#include "text/Lzfu.h"

namespace qb::text::lzfu {

CompressedAhead& CompressedAhead::Shared() {
    static CompressedAhead ahead;
    return ahead;
}

void CompressedAhead::Offer(std::string_view raw, std::span<const std::uint8_t> compressed) {
    Entry entry{std::string(raw), std::vector<std::uint8_t>(compressed.begin(), compressed.end())};
    std::lock_guard lock(mutex_);
    if (entries_.size() >= kMaxEntries) entries_.erase(entries_.begin());
    entries_.push_back(std::move(entry));
}

std::optional<std::vector<std::uint8_t>> CompressedAhead::Take(std::span<const std::uint8_t> raw) {
    std::lock_guard lock(mutex_);
    auto same = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) {
        return e.raw.size() == raw.size() && (raw.empty() || std::memcmp(e.raw.data(), raw.data(), raw.size()) == 0);
    });
    if (same == entries_.end()) return std::nullopt;
    std::vector<std::uint8_t> compressed = std::move(same->compressed);
    entries_.erase(same);
    return compressed;
}

void CompressedAhead::Clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

std::vector<std::uint8_t> CompressTakingAhead(std::span<const std::uint8_t> raw) {
    if (auto taken = CompressedAhead::Shared().Take(raw)) return std::move(*taken);
    return Compress(raw);
}

}  // namespace qb::text::lzfu
