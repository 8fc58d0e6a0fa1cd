#pragma once
// Space accounting of the file: the AMap bits (one per 64 bytes), the fixed
// map pages (AMap, PMap, FMap, FPMap) and the density list. The file grows by
// whole AMap regions. Space released by a transaction becomes reusable only
// after the header that no longer needs it is on disk.

#include <array>
#include <cstdint>
#include <set>
#include <vector>

#include "outlook/pst/Header.h"
#include "outlook/pst/PstFile.h"

namespace qb::pst {

class AllocationMap {
public:
    explicit AllocationMap(const FormatTraits& traits) : traits_(traits) {}

    // Starts an empty file of one region (maps and density list only).
    void InitEmpty();
    // Reads every AMap of an existing file (up to ibFileEof).
    void Load(const PstFile& file, std::uint64_t fileEof);

    std::uint64_t Allocate(std::size_t size, std::size_t alignment);
    // Freed space stays allocated on disk until CommitFinished.
    void Release(std::uint64_t ib, std::size_t size);
    // Marks space in use (while loading an existing file's accounting).
    void MarkUsed(std::uint64_t ib, std::size_t size);
    bool IsAllocated(std::uint64_t ib, std::size_t size) const;

    // Writes every changed map page. Returns false when nothing changed.
    void WriteMaps(PstFile& file, Bid densityListBid);
    void CommitFinished();

    std::uint64_t fileEof() const { return kFirstAMapOffset + regions_.size() * kAMapCoverage; }
    std::uint64_t lastAMap() const { return kFirstAMapOffset + (regions_.size() - 1) * kAMapCoverage; }
    std::uint64_t freeBytes() const;
    std::size_t regionCount() const { return regions_.size(); }
    const std::array<std::uint8_t, 496>& Bits(std::size_t region) const { return regions_[region]; }
    // Offsets of the fixed map pages of a region (0 when the region has none).
    static std::uint64_t PMapOffset(std::size_t region);
    static std::uint64_t FMapOffset(std::size_t region);
    static std::uint64_t FPMapOffset(std::size_t region);

    // Where the 496 bytes of bits start in a map page (ANSI pages lead with padding).
    std::size_t BitsOffset() const { return traits_.unicode ? 0 : 4; }

private:
    void AddRegion();
    void MarkDirty(std::size_t region);
    void SetBits(std::uint64_t ib, std::size_t size, bool used);
    bool FitsInRegion(std::uint64_t ib, std::size_t size) const;

    const FormatTraits& traits_;
    std::vector<std::array<std::uint8_t, 496>> regions_;
    std::vector<bool> dirty_;  // by region: map pages to write at the next commit
    std::uint64_t next_ = 0;  // bump pointer
    std::uint64_t usedUnits_ = 0;  // set bits over all regions
    std::vector<std::vector<std::uint64_t>> freeLists_ = std::vector<std::vector<std::uint64_t>>(129);
    std::vector<std::pair<std::uint64_t, std::size_t>> pending_;
    bool densityListWritten_ = false;
};

}  // namespace qb::pst
