#pragma once
// Heap-on-node: a node's data blocks seen as pages of small allocations
// addressed by HIDs; and the BTree-on-heap that property and table contexts
// keep their keys in.

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "outlook/pst/PstTypes.h"

namespace qb::pst {

using Hid = std::uint32_t;

enum HeapClient : std::uint8_t {
    kHeapClientTc = 0x7C,
    kHeapClientBth = 0xB5,
    kHeapClientPc = 0xBC,
};

inline constexpr std::size_t kMaxHeapAllocation = 3580;

// Bytes before the first allocation of heap page `index` (the heap header on
// page 0, a fill-level bitmap on pages 8, 136, 264, ...).
std::size_t HeapPageHeaderSize(std::size_t index);
// The fill level (0 = 3584 or more bytes free ... 15 = fewer than 8) of a page with `freeBytes` free.
std::uint8_t HeapFillLevel(std::size_t freeBytes);
// One heap page as written: header, allocations laid end to end (`data`,
// their sizes in order), the page map. `fill` gives the fill levels that
// page 0 or a bitmap page records, starting with its own page (pages past
// its end record 0, as the mail client writes them). `clientSig` and `userRoot` go into page 0 only.
Bytes SerializeHeapPage(std::size_t index, std::span<const std::uint8_t> data, std::span<const std::uint16_t> sizes,
                        std::span<const std::uint8_t> fill, std::uint8_t clientSig, Hid userRoot);
// The free bytes of a page holding `dataSize` bytes in `count` allocations.
std::size_t HeapPageFree(std::size_t index, std::size_t dataSize, std::size_t count, std::size_t maxPageSize);

class HeapReader {
public:
    explicit HeapReader(std::vector<Bytes> pages);
    std::span<const std::uint8_t> Get(Hid hid) const;
    std::uint8_t clientSig() const { return clientSig_; }
    Hid userRoot() const { return userRoot_; }
    std::size_t pageCount() const { return pages_.size(); }

private:
    std::vector<Bytes> pages_;
    std::vector<std::vector<std::uint16_t>> offsets_;  // rgibAlloc per page
    std::uint8_t clientSig_ = 0;
    Hid userRoot_ = 0;
};

class HeapBuilder {
public:
    HeapBuilder(std::uint8_t clientSig, std::size_t maxPageSize);
    Hid Allocate(const std::uint8_t* data, std::size_t size);
    Hid Allocate(const Bytes& data) { return Allocate(data.data(), data.size()); }
    // Bytes of an earlier allocation, for patching references in place.
    std::uint8_t* Mutable(Hid hid);
    void SetUserRoot(Hid hid) { userRoot_ = hid; }
    std::vector<Bytes> Build() const;

private:
    struct Page {
        Bytes data;  // allocations only
        std::vector<std::uint16_t> sizes;
    };
    std::size_t FreeSpace(const Page& page, std::size_t index) const;

    std::uint8_t clientSig_;
    std::size_t maxPageSize_;
    Hid userRoot_ = 0;
    std::vector<Page> pages_;
};

// BTree-on-heap records: key bytes followed by data bytes.
struct BthRecord {
    Bytes key;
    Bytes data;
};

// Reads every record of the BTH whose header is at `header`.
std::vector<BthRecord> ReadBth(const HeapReader& heap, Hid header, std::size_t* keySize = nullptr,
                               std::size_t* dataSize = nullptr);
// Builds a BTH of sorted records and returns its header's HID.
Hid BuildBth(HeapBuilder& heap, std::size_t keySize, std::size_t dataSize, const std::vector<BthRecord>& sorted);
// The same from records laid end to end (key then data), already sorted.
Hid BuildBthFlat(HeapBuilder& heap, std::size_t keySize, std::size_t dataSize, const Bytes& records);

}  // namespace qb::pst
