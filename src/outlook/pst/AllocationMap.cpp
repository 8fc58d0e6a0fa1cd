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
    regions_.clear();
    dirty_.clear();
    usedUnits_ = 0;
    densityListWritten_ = !traits_.unicode;
    AddRegion();
}

void AllocationMap::AddRegion() {
    std::size_t region = regions_.size();
    regions_.emplace_back();
    regions_.back().fill(0);
    std::uint64_t start = RegionStart(region);
    SetBits(start, kPageSize, true);
    if (PMapOffset(region)) SetBits(PMapOffset(region), kPageSize, true);
    if (FMapOffset(region)) SetBits(FMapOffset(region), kPageSize, true);
    if (FPMapOffset(region)) SetBits(FPMapOffset(region), kPageSize, true);
    MarkDirty(region);
    if (next_ < start) next_ = start;
}

void AllocationMap::Load(const PstFile& file, std::uint64_t fileEof) {
    regions_.clear();
    dirty_.clear();
    usedUnits_ = 0;
    std::size_t count = std::size_t((fileEof - kFirstAMapOffset + kAMapCoverage - 1) / kAMapCoverage);
    std::uint64_t highest = kFirstAMapOffset;
    for (std::size_t region = 0; region < count; ++region) {
        std::uint8_t raw[kPageSize];
        file.Read(RegionStart(region), raw, kPageSize);
        std::string problem = CheckPage(raw, traits_, kPageAMap, RegionStart(region), RegionStart(region), false);
        if (!problem.empty()) throw PstError("allocation map: " + problem, PstErrorKind::Damaged);
        regions_.emplace_back();
        const std::uint8_t* bits = raw + BitsOffset();
        std::copy_n(bits, 496, regions_.back().begin());
        for (std::size_t i = 0; i < 496 * 8; ++i)
            if (bits[i / 8] & (0x80 >> (i % 8))) {
                highest = RegionStart(region) + (i + 1) * kUnit;
                ++usedUnits_;
            }
    }
    next_ = highest;
    densityListWritten_ = true;
}

void AllocationMap::MarkDirty(std::size_t region) {
    if (dirty_.size() <= region) dirty_.resize(region + 1, false);
    dirty_[region] = true;
}

void AllocationMap::SetBits(std::uint64_t ib, std::size_t size, bool used) {
    std::size_t lastRegion = regions_.size();
    for (std::uint64_t off = ib; off < ib + size; off += kUnit) {
        std::size_t region = std::size_t((off - kFirstAMapOffset) / kAMapCoverage);
        std::size_t bit = std::size_t((off - RegionStart(region)) / kUnit);
        std::uint8_t mask = std::uint8_t(0x80 >> (bit % 8));
        std::uint8_t& byte = regions_[region][bit / 8];
        if (used && !(byte & mask)) {
            byte |= mask;
            ++usedUnits_;
        } else if (!used && (byte & mask)) {
            byte &= std::uint8_t(~mask);
            --usedUnits_;
        }
        if (region != lastRegion) {
            MarkDirty(region);
            lastRegion = region;
        }
    }
}

bool AllocationMap::IsAllocated(std::uint64_t ib, std::size_t size) const {
    for (std::uint64_t off = ib; off < ib + size; off += kUnit) {
        std::size_t region = std::size_t((off - kFirstAMapOffset) / kAMapCoverage);
        if (region >= regions_.size()) return false;
        std::size_t bit = std::size_t((off - RegionStart(region)) / kUnit);
        if (!(regions_[region][bit / 8] & (0x80 >> (bit % 8)))) return false;
    }
    return true;
}

void AllocationMap::MarkUsed(std::uint64_t ib, std::size_t size) { SetBits(ib, size, true); }

bool AllocationMap::FitsInRegion(std::uint64_t ib, std::size_t size) const {
    std::size_t region = std::size_t((ib - kFirstAMapOffset) / kAMapCoverage);
    if (region >= regions_.size()) return false;
    if ((ib + size - 1 - kFirstAMapOffset) / kAMapCoverage != region) return false;
    for (std::uint64_t off = ib; off < ib + size; off += kUnit) {
        std::size_t bit = std::size_t((off - RegionStart(region)) / kUnit);
        if (regions_[region][bit / 8] & (0x80 >> (bit % 8))) return false;
    }
    return true;
}

std::uint64_t AllocationMap::Allocate(std::size_t size, std::size_t alignment) {
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
        while (region >= regions_.size()) AddRegion();
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

void AllocationMap::CommitFinished() {
    for (const auto& [ib, size] : pending_) {
        SetBits(ib, size, false);
        std::size_t units = size / kUnit;
        if (units < freeLists_.size()) freeLists_[units].push_back(ib);
    }
    pending_.clear();
}

std::uint64_t AllocationMap::freeBytes() const { return regions_.size() * kAMapCoverage - usedUnits_ * kUnit; }

void AllocationMap::WriteMaps(PstFile& file, Bid densityListBid) {
    for (std::size_t region = 0; region < dirty_.size(); ++region) {
        if (!dirty_[region]) continue;
        std::uint8_t raw[kPageSize] = {};
        std::copy(regions_[region].begin(), regions_[region].end(), raw + BitsOffset());
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
    std::fill(dirty_.begin(), dirty_.end(), false);
    if (!densityListWritten_) {
        // An empty density list: readers fall back to the AMaps.
        std::uint8_t p[kPageSize] = {};
        SealPage(p, traits_, kPageDList, ComputeSig(kDListOffset, densityListBid), densityListBid);
        file.Write(kDListOffset, p, kPageSize);
        densityListWritten_ = true;
    }
}

}  // namespace qb::pst
