#include "outlook/pst/Heap.h"

#include <algorithm>
#include <functional>
#include <set>

namespace qb::pst {
namespace {
constexpr std::uint8_t kHeapSig = 0xEC;
}  // namespace

std::size_t HeapPageHeaderSize(std::size_t page) {
    if (page == 0) return 12;
    if (page >= 8 && (page - 8) % 128 == 0) return 66;
    return 2;
}

std::uint8_t HeapFillLevel(std::size_t freeBytes) {
    static const std::size_t limits[] = {3584, 2560, 2048, 1792, 1536, 1280, 1024, 768, 512, 256, 128, 64, 32, 16, 8};
    for (std::uint8_t level = 0; level < 15; ++level)
        if (freeBytes >= limits[level]) return level;
    return 15;
}

std::size_t HeapPageFree(std::size_t index, std::size_t dataSize, std::size_t count, std::size_t maxPageSize) {
    std::size_t used = std::size_t(AlignUp(HeapPageHeaderSize(index) + dataSize, 2)) + 4 + 2 * (count + 1);
    return used >= maxPageSize ? 0 : maxPageSize - used;
}

Bytes SerializeHeapPage(std::size_t index, std::span<const std::uint8_t> data, std::span<const std::uint16_t> sizes,
                        std::span<const std::uint8_t> fill, std::uint8_t clientSig, Hid userRoot) {
    const std::size_t header = HeapPageHeaderSize(index);
    Bytes b;
    b.reserve(header + data.size() + 1 + 4 + 2 * (sizes.size() + 1));
    b.resize(header, 0);
    b.insert(b.end(), data.begin(), data.end());
    if (b.size() % 2) b.push_back(0);
    Put16(b.data(), std::uint16_t(b.size()));
    auto level = [&](std::size_t k) { return k < fill.size() ? fill[k] : std::uint8_t(0); };
    if (index == 0) {
        b[2] = kHeapSig;
        b[3] = clientSig;
        Put32(&b[4], userRoot);
        for (std::size_t k = 0; k < 8; ++k) b[8 + k / 2] |= std::uint8_t(level(k) << (4 * (k % 2)));
    } else if (header == 66) {
        for (std::size_t k = 0; k < 128; ++k) b[2 + k / 2] |= std::uint8_t(level(k) << (4 * (k % 2)));
    }
    Append16(b, std::uint16_t(sizes.size()));
    Append16(b, 0);
    std::uint16_t offset = std::uint16_t(header);
    Append16(b, offset);
    for (std::uint16_t size : sizes) {
        offset = std::uint16_t(offset + size);
        Append16(b, offset);
    }
    return b;
}

HeapReader::HeapReader(std::vector<Bytes> pages) : pages_(std::move(pages)) {
    if (pages_.empty() || pages_[0].size() < 12) throw PstError("heap-on-node without a header");
    if (pages_[0][2] != kHeapSig) throw PstError("heap-on-node with a bad signature");
    clientSig_ = pages_[0][3];
    userRoot_ = Get32(&pages_[0][4]);
    for (const Bytes& page : pages_) {
        if (page.size() < 2) throw PstError("heap page too short");
        std::size_t ib = Get16(page.data());
        if (ib + 4 > page.size()) throw PstError("heap page map outside its page");
        std::size_t cAlloc = Get16(&page[ib]);
        if (ib + 4 + 2 * (cAlloc + 1) > page.size()) throw PstError("heap page map truncated");
        std::vector<std::uint16_t> offsets(cAlloc + 1);
        for (std::size_t i = 0; i <= cAlloc; ++i) {
            offsets[i] = Get16(&page[ib + 4 + 2 * i]);
            if (offsets[i] > ib || (i > 0 && offsets[i] < offsets[i - 1])) throw PstError("heap page map out of order");
        }
        offsets_.push_back(std::move(offsets));
    }
}

std::span<const std::uint8_t> HeapReader::Get(Hid hid) const {
    if (hid == 0) return {};
    if ((hid & 0x1F) != 0) throw PstError("HID " + HexId(hid) + " is not a heap id");
    std::size_t index = (hid >> 5) & 0x7FF;
    std::size_t page = hid >> 16;
    if (page >= pages_.size() || index == 0 || index >= offsets_[page].size())
        throw PstError("HID " + HexId(hid) + " is outside the heap");
    const auto& o = offsets_[page];
    return {pages_[page].data() + o[index - 1], std::size_t(o[index] - o[index - 1])};
}

HeapBuilder::HeapBuilder(std::uint8_t clientSig, std::size_t maxPageSize)
    : clientSig_(clientSig), maxPageSize_(maxPageSize) {
    pages_.emplace_back();
}

std::size_t HeapBuilder::FreeSpace(const Page& page, std::size_t index) const {
    return HeapPageFree(index, page.data.size(), page.sizes.size(), maxPageSize_);
}

Hid HeapBuilder::Allocate(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxHeapAllocation) throw PstError("heap allocation of " + std::to_string(size) + " bytes is too large");
    std::size_t index = pages_.size() - 1;
    if (FreeSpace(pages_[index], index) < size + 2 || pages_[index].sizes.size() >= 2047) {
        pages_.emplace_back();
        ++index;
    }
    Page& page = pages_[index];
    if (page.data.capacity() < maxPageSize_) page.data.reserve(maxPageSize_);
    page.data.insert(page.data.end(), data, data + size);
    page.sizes.push_back(std::uint16_t(size));
    return Hid((index << 16) | (page.sizes.size() << 5));
}

std::uint8_t* HeapBuilder::Mutable(Hid hid) {
    Page& page = pages_[hid >> 16];
    std::size_t index = (hid >> 5) & 0x7FF;
    std::size_t offset = 0;
    for (std::size_t i = 0; i + 1 < index; ++i) offset += page.sizes[i];
    return page.data.data() + offset;
}

std::vector<Bytes> HeapBuilder::Build() const {
    std::vector<std::uint8_t> fill;
    for (std::size_t i = 0; i < pages_.size(); ++i) fill.push_back(HeapFillLevel(FreeSpace(pages_[i], i)));
    std::vector<Bytes> out;
    for (std::size_t i = 0; i < pages_.size(); ++i)
        out.push_back(SerializeHeapPage(i, pages_[i].data, pages_[i].sizes, std::span(fill).subspan(i), clientSig_,
                                        userRoot_));
    return out;
}

std::vector<BthRecord> ReadBth(const HeapReader& heap, Hid header, std::size_t* keySize, std::size_t* dataSize) {
    auto h = heap.Get(header);
    if (h.size() < 8 || h[0] != kHeapClientBth) throw PstError("BTree-on-heap header is damaged");
    std::size_t cbKey = h[1], cbEnt = h[2], levels = h[3];
    Hid root = Get32(&h[4]);
    if (keySize) *keySize = cbKey;
    if (dataSize) *dataSize = cbEnt;
    if (cbKey == 0 || (cbKey != 2 && cbKey != 4 && cbKey != 8 && cbKey != 16)) throw PstError("BTree-on-heap with a bad key size");
    std::vector<BthRecord> out;
    if (root == 0) return out;
    // Each node once: index records of a damaged tree may name a node again,
    // which with up to 255 levels costs exponential time.
    std::set<Hid> seen;
    std::function<void(Hid, std::size_t)> walk = [&](Hid hid, std::size_t level) {
        if (!seen.insert(hid).second) throw PstError("BTree-on-heap node " + HexId(hid) + " is reached twice");
        auto node = heap.Get(hid);
        if (level == 0) {
            std::size_t rec = cbKey + cbEnt;
            if (node.size() % rec) throw PstError("BTree-on-heap leaf with a partial record");
            for (std::size_t off = 0; off < node.size(); off += rec)
                out.push_back({Bytes(node.begin() + long(off), node.begin() + long(off + cbKey)),
                               Bytes(node.begin() + long(off + cbKey), node.begin() + long(off + rec))});
        } else {
            std::size_t rec = cbKey + 4;
            if (node.size() % rec) throw PstError("BTree-on-heap index with a partial record");
            for (std::size_t off = 0; off < node.size(); off += rec) walk(Get32(&node[off + cbKey]), level - 1);
        }
    };
    walk(root, levels);
    return out;
}

Hid BuildBth(HeapBuilder& heap, std::size_t keySize, std::size_t dataSize, const std::vector<BthRecord>& sorted) {
    Bytes flat;
    flat.reserve(sorted.size() * (keySize + dataSize));
    for (const BthRecord& r : sorted) {
        flat.insert(flat.end(), r.key.begin(), r.key.end());
        flat.insert(flat.end(), r.data.begin(), r.data.end());
    }
    return BuildBthFlat(heap, keySize, dataSize, flat);
}

Hid BuildBthFlat(HeapBuilder& heap, std::size_t keySize, std::size_t dataSize, const Bytes& records) {
    Bytes header(8, 0);
    header[0] = kHeapClientBth;
    header[1] = std::uint8_t(keySize);
    header[2] = std::uint8_t(dataSize);
    const std::size_t rec = keySize + dataSize;
    const std::size_t count = records.size() / rec;
    if (count == 0) return heap.Allocate(header);
    // Leaves, then index levels until one node holds everything.
    std::vector<std::pair<std::size_t, Hid>> level;  // offset of the first key in `keys`, node
    Bytes keys;
    const std::size_t leafCap = kMaxHeapAllocation / rec;
    for (std::size_t first = 0; first < count; first += leafCap) {
        std::size_t n = std::min(leafCap, count - first);
        level.emplace_back(keys.size(), heap.Allocate(records.data() + first * rec, n * rec));
        keys.insert(keys.end(), records.begin() + long(first * rec), records.begin() + long(first * rec + keySize));
    }
    std::uint8_t levels = 0;
    const std::size_t indexCap = kMaxHeapAllocation / (keySize + 4);
    while (level.size() > 1) {
        std::vector<std::pair<std::size_t, Hid>> up;
        for (std::size_t first = 0; first < level.size(); first += indexCap) {
            Bytes node;
            for (std::size_t i = first; i < std::min(level.size(), first + indexCap); ++i) {
                node.insert(node.end(), keys.begin() + long(level[i].first), keys.begin() + long(level[i].first + keySize));
                Append32(node, level[i].second);
            }
            up.emplace_back(level[first].first, heap.Allocate(node));
        }
        level = std::move(up);
        ++levels;
    }
    header[3] = levels;
    Put32(&header[4], level.front().second);
    return heap.Allocate(header);
}

}  // namespace qb::pst
