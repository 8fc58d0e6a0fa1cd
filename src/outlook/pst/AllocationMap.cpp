#include "outlook/pst/AllocationMap.h"

#include <algorithm>

#include "outlook/pst/Checksum.h"
#include "outlook/pst/PageBTree.h"

namespace qb::pst {
namespace {
constexpr std::uint64_t kUnit = 64;
std::uint64_t RegionStart(std::size_t region) { return kFirstAMapOffset + region * kAMapCoverage; }
}  // namespace

std::uint64_t AllocationMap::PMapOffset(std::size_t region) {
    return region % 8 == 0 ? RegionStart(region) + 0x200 : 0;
}
std::uint64_t AllocationMap::FMapOffset(std::size_t region) {
    return region >= 128 && (region - 128) % 496 == 0 ? RegionStart(region) + 0x400 : 0;
}
std::uint64_t AllocationMap::FPMapOffset(std::size_t region) {
    return region >= 128 * 496 && (region - 128 * 496) % (496 * 496) == 0 ? RegionStart(region) + 0x600 : 0;
}

void AllocationMap::InitEmpty() {
    regionCount_ = 0;
    loaded_.clear();
    usedUnits_ = 0;
    densityListWritten_ = !traits_.unicode;
    AddRegion();
}

void AllocationMap::AddRegion() {
    const std::size_t region = regionCount_++;
    Region& fresh = loaded_[region];
    fresh.bits.fill(0);
    fresh.dirty = true;
    fresh.lastUse = ++clock_;
    std::uint64_t start = RegionStart(region);
    SetBits(start, kPageSize, true);
    if (PMapOffset(region)) SetBits(PMapOffset(region), kPageSize, true);
    if (FMapOffset(region)) SetBits(FMapOffset(region), kPageSize, true);
    if (FPMapOffset(region)) SetBits(FPMapOffset(region), kPageSize, true);
    if (next_ < start) next_ = start;
}

AllocationMap::Bits AllocationMap::ReadRegion(std::size_t region) const {
    std::uint8_t raw[kPageSize];
    file_.Read(RegionStart(region), raw, kPageSize);
    std::string problem = CheckPage(raw, traits_, kPageAMap, RegionStart(region), RegionStart(region), false);
    if (!problem.empty()) throw PstError("allocation map: " + problem, PstErrorKind::Damaged);
    Bits bits;
    std::copy_n(raw + BitsOffset(), bits.size(), bits.begin());
    return bits;
}

AllocationMap::Region& AllocationMap::RegionAt(std::size_t region) const {
    auto it = loaded_.find(region);
    if (it == loaded_.end()) {
        Region read;
        read.bits = ReadRegion(region);
        it = loaded_.emplace(region, read).first;
    }
    it->second.lastUse = ++clock_;
    return it->second;
}

void AllocationMap::Trim() const {
    if (loaded_.size() <= trimAt_) return;
    std::vector<std::pair<std::uint64_t, std::size_t>> clean;
    for (const auto& [region, r] : loaded_)
        if (!r.dirty) clean.emplace_back(r.lastUse, region);
    std::sort(clean.begin(), clean.end());
    const std::size_t target = budget_ - budget_ / 4;
    for (const auto& [lastUse, region] : clean) {
        if (loaded_.size() <= target) break;
        loaded_.erase(region);
    }
    trimAt_ = std::max(budget_, loaded_.size() + budget_ / 4);
}

void AllocationMap::Load(std::uint64_t fileEof) {
    loaded_.clear();
    usedUnits_ = 0;
    regionCount_ = std::size_t((fileEof - kFirstAMapOffset + kAMapCoverage - 1) / kAMapCoverage);
    std::uint64_t highest = kFirstAMapOffset;
    for (std::size_t region = 0; region < regionCount_; ++region) {
        const Bits bits = ReadRegion(region);
        for (std::size_t i = 0; i < 496 * 8; ++i)
            if (bits[i / 8] & (0x80 >> (i % 8))) {
                highest = RegionStart(region) + (i + 1) * kUnit;
                ++usedUnits_;
            }
    }
    next_ = highest;
    densityListWritten_ = true;
}

void AllocationMap::SetBits(std::uint64_t ib, std::size_t size, bool used) {
    std::size_t lastRegion = regionCount_;
    Region* r = nullptr;
    for (std::uint64_t off = ib; off < ib + size; off += kUnit) {
        std::size_t region = std::size_t((off - kFirstAMapOffset) / kAMapCoverage);
        if (region != lastRegion) {
            r = &RegionAt(region);
            r->dirty = true;
            lastRegion = region;
        }
        std::size_t bit = std::size_t((off - RegionStart(region)) / kUnit);
        std::uint8_t mask = std::uint8_t(0x80 >> (bit % 8));
        std::uint8_t& byte = r->bits[bit / 8];
        if (used && !(byte & mask)) {
            byte |= mask;
            ++usedUnits_;
        } else if (!used && (byte & mask)) {
            byte &= std::uint8_t(~mask);
            --usedUnits_;
        }
    }
}

bool AllocationMap::IsAllocated(std::uint64_t ib, std::size_t size) const {
    bool allocated = true;
    std::size_t lastRegion = regionCount_;
    const Region* r = nullptr;
    for (std::uint64_t off = ib; off < ib + size && allocated; off += kUnit) {
        std::size_t region = std::size_t((off - kFirstAMapOffset) / kAMapCoverage);
        if (region >= regionCount_) return false;
        if (region != lastRegion) {
            r = &RegionAt(region);
            lastRegion = region;
        }
        std::size_t bit = std::size_t((off - RegionStart(region)) / kUnit);
        if (!(r->bits[bit / 8] & (0x80 >> (bit % 8)))) allocated = false;
    }
    Trim();
    return allocated;
}

void AllocationMap::MarkUsed(std::uint64_t ib, std::size_t size) {
    SetBits(ib, size, true);
    Trim();
}

bool AllocationMap::FitsInRegion(std::uint64_t ib, std::size_t size) const {
    std::size_t region = std::size_t((ib - kFirstAMapOffset) / kAMapCoverage);
    if (region >= regionCount_) return false;
    if ((ib + size - 1 - kFirstAMapOffset) / kAMapCoverage != region) return false;
    const Region& r = RegionAt(region);
    for (std::uint64_t off = ib; off < ib + size; off += kUnit) {
        std::size_t bit = std::size_t((off - RegionStart(region)) / kUnit);
        if (r.bits[bit / 8] & (0x80 >> (bit % 8))) return false;
    }
    return true;
}

std::uint64_t AllocationMap::Allocate(std::size_t size, std::size_t alignment) {
    const std::uint64_t ib = AllocateUntrimmed(size, alignment);
    Trim();
    return ib;
}

std::uint64_t AllocationMap::AllocateUntrimmed(std::size_t size, std::size_t alignment) {
    size = std::size_t(AlignUp(size, kUnit));
    std::size_t units = size / kUnit;
    if (alignment == kUnit && units < freeLists_.size() && !freeLists_[units].empty()) {
        std::uint64_t ib = freeLists_[units].back();
        freeLists_[units].pop_back();
        SetBits(ib, size, true);
        return ib;
    }
    if (alignment == kPageSize && !freeLists_[8].empty()) {
        auto& list = freeLists_[8];
        for (std::size_t i = list.size(); i-- > 0;) {
            if (list[i] % kPageSize == 0) {
                std::uint64_t ib = list[i];
                list.erase(list.begin() + long(i));
                SetBits(ib, size, true);
                return ib;
            }
        }
    }
    for (;;) {
        std::uint64_t ib = AlignUp(next_, alignment);
        std::size_t region = std::size_t((ib - kFirstAMapOffset) / kAMapCoverage);
        while (region >= regionCount_) AddRegion();
        if (FitsInRegion(ib, size)) {
            SetBits(ib, size, true);
            next_ = ib + size;
            return ib;
        }
        // Skip a map page or the end of the region.
        if (ib + size > RegionStart(region) + kAMapCoverage) next_ = RegionStart(region + 1);
        else next_ = ib + kUnit;
    }
}

void AllocationMap::Release(std::uint64_t ib, std::size_t size) {
    pending_.emplace_back(ib, std::size_t(AlignUp(size, kUnit)));
}

void AllocationMap::CommitFinished(std::uint64_t header) {
    if (pending_.empty()) return;
    waiting_.push_back(Waiting{header, std::move(pending_)});
    pending_.clear();
}

void AllocationMap::HeaderDurable(std::uint64_t header) {
    std::size_t done = 0;
    for (; done < waiting_.size() && waiting_[done].header <= header; ++done) {
        for (const auto& [ib, size] : waiting_[done].space) {
            SetBits(ib, size, false);
            std::size_t units = size / kUnit;
            if (units < freeLists_.size()) freeLists_[units].push_back(ib);
        }
    }
    if (done == 0) return;
    waiting_.erase(waiting_.begin(), waiting_.begin() + std::ptrdiff_t(done));
    Trim();
}

std::uint64_t AllocationMap::freeBytes() const { return regionCount_ * kAMapCoverage - usedUnits_ * kUnit; }

void AllocationMap::WriteMaps(PstFile& file, Bid densityListBid) {
    std::vector<std::size_t> dirty;
    for (const auto& [region, r] : loaded_)
        if (r.dirty) dirty.push_back(region);
    // In file order, so that the writes of neighbouring regions' pages gather.
    std::sort(dirty.begin(), dirty.end());
    for (std::size_t region : dirty) {
        Region& r = loaded_.at(region);
        std::uint8_t raw[kPageSize] = {};
        std::copy(r.bits.begin(), r.bits.end(), raw + BitsOffset());
        std::uint64_t ib = RegionStart(region);
        SealPage(raw, traits_, kPageAMap, 0, ib);
        file.Write(ib, raw, kPageSize);
        if (std::uint64_t pmap = PMapOffset(region)) {
            std::uint8_t p[kPageSize];
            std::fill_n(p, kPageSize, 0);
            std::fill_n(p + BitsOffset(), 496, 0xFF);
            SealPage(p, traits_, kPagePMap, 0, pmap);
            file.Write(pmap, p, kPageSize);
        }
        if (std::uint64_t fmap = FMapOffset(region)) {
            std::uint8_t p[kPageSize] = {};
            SealPage(p, traits_, kPageFMap, 0, fmap);
            file.Write(fmap, p, kPageSize);
        }
        if (std::uint64_t fpmap = FPMapOffset(region)) {
            std::uint8_t p[kPageSize] = {};
            SealPage(p, traits_, kPageFPMap, 0, fpmap);
            file.Write(fpmap, p, kPageSize);
        }
    }
    for (std::size_t region : dirty) loaded_.at(region).dirty = false;
    if (!densityListWritten_) {
        // An empty density list: readers fall back to the AMaps.
        std::uint8_t p[kPageSize] = {};
        SealPage(p, traits_, kPageDList, ComputeSig(kDListOffset, densityListBid), densityListBid);
        file.Write(kDListOffset, p, kPageSize);
        densityListWritten_ = true;
    }
    trimAt_ = budget_;
    Trim();
}

}  // namespace qb::pst
