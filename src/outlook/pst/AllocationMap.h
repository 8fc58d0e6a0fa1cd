#pragma once
// Space accounting of the file: the AMap bits (one per 64 bytes), the fixed
// map pages (AMap, PMap, FMap, FPMap) and the density list. The file grows by
// whole AMap regions. Space released by a transaction becomes reusable only
// after the header that no longer needs it is durable: until then a power
// loss may leave the header before it, which still points there.
//
// Memory holds the regions changed since maps were last written and at most
// a budget of others; a region that is not changed is as its AMap page on
// disk says, and is read from there (and checked) when needed again.

#include <algorithm>
#include <array>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "outlook/pst/Header.h"
#include "outlook/pst/PstFile.h"

namespace qb::pst {

class AllocationMap {
public:
    // Regions kept in memory beyond the changed ones.
    static constexpr std::size_t kRegionBudget = 64;

    AllocationMap(const FormatTraits& traits, const PstFile& file) : traits_(traits), file_(file) {}

    // Starts an empty file of one region (maps and density list only).
    void InitEmpty();
    // Reads and checks every AMap of an existing file (up to ibFileEof).
    void Load(std::uint64_t fileEof);

    std::uint64_t Allocate(std::size_t size, std::size_t alignment);
    // Freed space stays allocated until the header of the commit that freed
    // it is durable (CommitFinished, then HeaderDurable).
    void Release(std::uint64_t ib, std::size_t size);
    // Marks space in use (while loading an existing file's accounting).
    void MarkUsed(std::uint64_t ib, std::size_t size);
    bool IsAllocated(std::uint64_t ib, std::size_t size) const;

    // Writes every changed map page. Returns false when nothing changed.
    void WriteMaps(PstFile& file, Bid densityListBid);
    // The space released since the last call is no longer used from header
    // number `header` on; it waits for that header to be durable.
    void CommitFinished(std::uint64_t header);
    // Headers up to number `header` are durable: the space they stopped using is free.
    void HeaderDurable(std::uint64_t header);

    std::uint64_t fileEof() const { return kFirstAMapOffset + regionCount_ * kAMapCoverage; }
    std::uint64_t lastAMap() const { return kFirstAMapOffset + (regionCount_ - 1) * kAMapCoverage; }
    std::uint64_t freeBytes() const;
    std::size_t regionCount() const { return regionCount_; }
    // Regions in memory now (changed and clean).
    std::size_t loadedRegions() const { return loaded_.size(); }
    void SetRegionBudget(std::size_t regions) {
        budget_ = std::max<std::size_t>(regions, 2);
        trimAt_ = budget_;
    }
    // Offsets of the fixed map pages of a region (0 when the region has none).
    static std::uint64_t PMapOffset(std::size_t region);
    static std::uint64_t FMapOffset(std::size_t region);
    static std::uint64_t FPMapOffset(std::size_t region);

    // Where the 496 bytes of bits start in a map page (ANSI pages lead with padding).
    std::size_t BitsOffset() const { return traits_.unicode ? 0 : 4; }

private:
    using Bits = std::array<std::uint8_t, 496>;
    struct Region {
        Bits bits{};
        bool dirty = false;
        std::uint64_t lastUse = 0;
    };

    // The bits of a region, read from its AMap page when not in memory.
    Region& RegionAt(std::size_t region) const;
    Bits ReadRegion(std::size_t region) const;
    // Drops the least recently used clean regions beyond the budget.
    void Trim() const;
    void AddRegion();
    std::uint64_t AllocateUntrimmed(std::size_t size, std::size_t alignment);
    void SetBits(std::uint64_t ib, std::size_t size, bool used);
    bool FitsInRegion(std::uint64_t ib, std::size_t size) const;

    const FormatTraits& traits_;
    const PstFile& file_;
    std::size_t regionCount_ = 0;
    mutable std::unordered_map<std::size_t, Region> loaded_;
    mutable std::uint64_t clock_ = 0;
    std::size_t budget_ = kRegionBudget;
    mutable std::size_t trimAt_ = kRegionBudget;  // as PageBTree's eviction threshold
    std::uint64_t next_ = 0;  // bump pointer
    std::uint64_t usedUnits_ = 0;  // set bits over all regions
    std::vector<std::vector<std::uint64_t>> freeLists_ = std::vector<std::vector<std::uint64_t>>(129);
    std::vector<std::pair<std::uint64_t, std::size_t>> pending_;
    // Space released by commits whose header is not durable yet, oldest first
    // (a few commits at most: each sync makes the commit before it durable).
    struct Waiting {
        std::uint64_t header = 0;
        std::vector<std::pair<std::uint64_t, std::size_t>> space;
    };
    std::vector<Waiting> waiting_;
    bool densityListWritten_ = false;
};

}  // namespace qb::pst
