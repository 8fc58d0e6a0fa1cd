#include "outlook/pst/PageBTree.h"

#include "outlook/pst/Checksum.h"

#include <type_traits>

namespace qb::pst {

void SealPage(std::uint8_t* page, const FormatTraits& traits, std::uint8_t ptype, std::uint16_t sig, Bid bid) {
    if (traits.unicode) {
        std::uint8_t* t = page + 496;
        t[0] = ptype;
        t[1] = ptype;
        Put16(t + 2, sig);
        Put32(t + 4, Crc32(page, 496));
        Put64(t + 8, bid);
    } else {
        std::uint8_t* t = page + 500;
        t[0] = ptype;
        t[1] = ptype;
        Put16(t + 2, sig);
        Put32(t + 4, std::uint32_t(bid));
        Put32(t + 8, Crc32(page, 500));
    }
}

Bid PageBid(const std::uint8_t* page, const FormatTraits& traits) {
    return traits.unicode ? Get64(page + 504) : Get32(page + 504);
}

std::string CheckPage(const std::uint8_t* page, const FormatTraits& traits, std::uint8_t ptype, std::uint64_t ib,
                      Bid expectedBid, bool checkSig) {
    const std::uint8_t* t = page + (traits.unicode ? 496 : 500);
    std::size_t covered = traits.unicode ? 496 : 500;
    std::uint32_t crc = traits.unicode ? Get32(t + 4) : Get32(t + 8);
    Bid bid = PageBid(page, traits);
    if (t[0] != ptype || t[1] != ptype)
        return "page at " + HexId(ib) + " has type " + HexId(t[0]) + "/" + HexId(t[1]) + ", expected " + HexId(ptype);
    if (CheckFails(Crc32(page, covered), crc)) return "page at " + HexId(ib) + " fails its CRC";
    if (expectedBid != 0 && bid != expectedBid)
        return "page at " + HexId(ib) + " has id " + HexId(bid) + ", expected " + HexId(expectedBid);
    if (checkSig && CheckFails(ComputeSig(ib, bid), Get16(t + 2))) return "page at " + HexId(ib) + " has a wrong signature";
    return {};
}

template <class Entry>
PageBTree<Entry>::PageBTree(const FormatTraits& traits) : traits_(traits) { Clear(); }

template <class Entry>
void PageBTree<Entry>::Clear() {
    root_ = std::make_unique<Page>();
    pendingRelease_.clear();
    size_ = 0;
}

template <class Entry>
std::size_t PageBTree<Entry>::EntrySize() const {
    if constexpr (std::is_same_v<Entry, NbtEntry>) return traits_.nbtEntry;
    else return traits_.bbtEntry;
}

template <class Entry>
std::uint8_t PageBTree<Entry>::Ptype() {
    if constexpr (std::is_same_v<Entry, NbtEntry>) return kPageNbt;
    else return kPageBbt;
}

template <class Entry>
void PageBTree<Entry>::EncodeEntry(const Entry& e, std::uint8_t* p) const {
    std::size_t id = traits_.idSize;
    if constexpr (std::is_same_v<Entry, NbtEntry>) {
        PutId(p, id, e.nid);
        PutId(p + id, id, e.bidData);
        PutId(p + 2 * id, id, e.bidSub);
        Put32(p + 3 * id, e.nidParent);
    } else {
        PutId(p, id, e.bid);
        PutId(p + id, id, e.ib);
        Put16(p + 2 * id, e.cb);
        Put16(p + 2 * id + 2, e.cRef);
    }
}

template <class Entry>
Entry PageBTree<Entry>::DecodeEntry(const std::uint8_t* p) const {
    std::size_t id = traits_.idSize;
    if constexpr (std::is_same_v<Entry, NbtEntry>)
        return NbtEntry{std::uint32_t(GetId(p, id)), GetId(p + id, id), GetId(p + 2 * id, id), Get32(p + 3 * id)};
    else
        return BbtEntry{GetId(p, id), GetId(p + id, id), Get16(p + 2 * id), Get16(p + 2 * id + 2)};
}

template <class Entry>
void PageBTree<Entry>::Load(const PstFile& file, const Bref& root) {
    size_ = 0;
    root_ = LoadPage(file, root, -1);
}

template <class Entry>
std::unique_ptr<typename PageBTree<Entry>::Page> PageBTree<Entry>::LoadPage(const PstFile& file, const Bref& bref,
                                                                            int expectLevel) {
    if (bref.bid == 0 || bref.ib == 0 || bref.ib % kPageSize != 0)
        throw PstError("a B-tree page reference (id " + HexId(bref.bid) + ", offset " + HexId(bref.ib) + ") is invalid");
    std::uint8_t raw[kPageSize];
    file.Read(bref.ib, raw, kPageSize);
    std::string problem = CheckPage(raw, traits_, Ptype(), bref.ib, bref.bid, true);
    if (!problem.empty()) throw PstError(problem);
    const std::uint8_t* meta = raw + traits_.btEntryArea;
    std::size_t cEnt = meta[0], cEntMax = meta[1], cbEnt = meta[2];
    auto page = std::make_unique<Page>();
    page->level = meta[3];
    page->bref = bref;
    page->dirty = false;
    if (expectLevel >= 0 && page->level != expectLevel)
        throw PstError("B-tree page at " + HexId(bref.ib) + " has level " + std::to_string(page->level) +
                       ", expected " + std::to_string(expectLevel));
    std::size_t want = page->level ? traits_.btEntry : EntrySize();
    if (cbEnt != want || cEnt * cbEnt > traits_.btEntryArea)
        throw PstError("B-tree page at " + HexId(bref.ib) + " has a bad entry size or count");
    // Readers size their entry arrays by cEntMax: it must be what fits.
    if (cEntMax != traits_.btEntryArea / cbEnt || cEnt > cEntMax)
        throw PstError("B-tree page at " + HexId(bref.ib) + " says it holds at most " + std::to_string(cEntMax) +
                       " entries, where " + std::to_string(traits_.btEntryArea / cbEnt) + " fit");
    // Sized to what the page holds: growing by doubling would leave a third
    // of every loaded leaf unused, and the trees are held whole.
    if (page->level == 0) {
        page->entries.reserve(cEnt);
    } else {
        page->keys.reserve(cEnt);
        page->children.reserve(cEnt);
    }
    for (std::size_t i = 0; i < cEnt; ++i) {
        const std::uint8_t* p = raw + i * cbEnt;
        // Node ids are 32 bits; in the 64-bit key of a Unicode file the rest is zero.
        if (std::is_same_v<Entry, NbtEntry> && traits_.idSize == 8 && Get32(p + 4) != 0)
            throw PstError("B-tree page at " + HexId(bref.ib) + " has a node key " + HexId(Get64(p)) +
                           " wider than 32 bits");
        if (page->level == 0) {
            page->entries.push_back(DecodeEntry(p));
            if (i > 0 && page->entries[i].Key() <= page->entries[i - 1].Key())
                throw PstError("B-tree page at " + HexId(bref.ib) + " is out of order");
            ++size_;
        } else {
            std::size_t id = traits_.idSize;
            std::uint64_t key = GetId(p, id);
            Bref child{GetId(p + id, id), GetId(p + 2 * id, id)};
            if (i > 0 && key <= page->keys.back())
                throw PstError("B-tree page at " + HexId(bref.ib) + " is out of order");
            auto loaded = LoadPage(file, child, page->level - 1);
            if (loaded->Count() > 0 && loaded->FirstKey() < key)
                throw PstError("B-tree page at " + HexId(child.ib) + " holds keys below its parent's key");
            page->keys.push_back(key);
            page->children.push_back(std::move(loaded));
        }
    }
    return page;
}

template <class Entry>
const Entry* PageBTree<Entry>::Find(std::uint64_t key) const {
    const Page* page = root_.get();
    while (page->level > 0) {
        auto it = std::upper_bound(page->keys.begin(), page->keys.end(), key);
        if (it == page->keys.begin()) return nullptr;
        page = page->children[std::size_t(it - page->keys.begin()) - 1].get();
    }
    auto it = std::lower_bound(page->entries.begin(), page->entries.end(), key,
                               [](const Entry& e, std::uint64_t k) { return e.Key() < k; });
    if (it == page->entries.end() || it->Key() != key) return nullptr;
    return &*it;
}

template <class Entry>
void PageBTree<Entry>::Upsert(const Entry& entry) {
    auto sibling = Insert(*root_, entry);
    if (sibling) {
        auto top = std::make_unique<Page>();
        top->level = std::uint8_t(root_->level + 1);
        top->keys = {root_->FirstKey(), sibling->FirstKey()};
        top->children.push_back(std::move(root_));
        top->children.push_back(std::move(sibling));
        root_ = std::move(top);
    }
}

template <class Entry>
std::unique_ptr<typename PageBTree<Entry>::Page> PageBTree<Entry>::Insert(Page& page, const Entry& entry) {
    const std::uint64_t key = entry.Key();
    page.dirty = true;
    std::size_t pos;
    bool atEnd;
    if (page.level == 0) {
        auto it = std::lower_bound(page.entries.begin(), page.entries.end(), key,
                                   [](const Entry& e, std::uint64_t k) { return e.Key() < k; });
        if (it != page.entries.end() && it->Key() == key) {
            *it = entry;
            return nullptr;
        }
        pos = std::size_t(it - page.entries.begin());
        atEnd = pos == page.entries.size();
        // A leaf never holds more than one entry beyond what fits (then it
        // splits), so it grows to that at once rather than by doubling.
        if (page.entries.size() == page.entries.capacity()) page.entries.reserve(LeafCapacity() + 1);
        page.entries.insert(page.entries.begin() + long(pos), entry);
        ++size_;
        if (page.entries.size() <= LeafCapacity()) return nullptr;
        std::size_t mid = atEnd ? page.entries.size() - 1 : page.entries.size() / 2;
        auto right = std::make_unique<Page>();
        right->entries.assign(page.entries.begin() + long(mid), page.entries.end());
        page.entries.resize(mid);
        return right;
    }
    auto it = std::upper_bound(page.keys.begin(), page.keys.end(), key);
    std::size_t idx = it == page.keys.begin() ? 0 : std::size_t(it - page.keys.begin()) - 1;
    auto sibling = Insert(*page.children[idx], entry);
    page.keys[idx] = page.children[idx]->FirstKey();
    if (!sibling) return nullptr;
    atEnd = idx + 1 == page.children.size();
    page.keys.insert(page.keys.begin() + long(idx) + 1, sibling->FirstKey());
    page.children.insert(page.children.begin() + long(idx) + 1, std::move(sibling));
    if (page.children.size() <= BranchCapacity()) return nullptr;
    std::size_t mid = atEnd ? page.children.size() - 1 : page.children.size() / 2;
    auto right = std::make_unique<Page>();
    right->level = page.level;
    right->keys.assign(page.keys.begin() + long(mid), page.keys.end());
    for (std::size_t i = mid; i < page.children.size(); ++i) right->children.push_back(std::move(page.children[i]));
    page.keys.resize(mid);
    page.children.resize(mid);
    return right;
}

template <class Entry>
bool PageBTree<Entry>::Erase(std::uint64_t key) {
    if (!EraseIn(*root_, key)) return false;
    while (root_->level > 0 && root_->children.size() == 1) {
        auto child = std::move(root_->children.front());
        child->dirty = true;
        pendingRelease_.push_back(root_->bref);
        root_ = std::move(child);
    }
    if (root_->level > 0 && root_->children.empty()) {
        pendingRelease_.push_back(root_->bref);
        root_ = std::make_unique<Page>();
    }
    return true;
}

template <class Entry>
bool PageBTree<Entry>::EraseIn(Page& page, std::uint64_t key) {
    if (page.level == 0) {
        auto it = std::lower_bound(page.entries.begin(), page.entries.end(), key,
                                   [](const Entry& e, std::uint64_t k) { return e.Key() < k; });
        if (it == page.entries.end() || it->Key() != key) return false;
        page.entries.erase(it);
        page.dirty = true;
        --size_;
        return true;
    }
    auto it = std::upper_bound(page.keys.begin(), page.keys.end(), key);
    if (it == page.keys.begin()) return false;
    std::size_t idx = std::size_t(it - page.keys.begin()) - 1;
    Page& child = *page.children[idx];
    if (!EraseIn(child, key)) return false;
    page.dirty = true;
    if (child.Count() == 0) {
        ReleaseSubtree(child);
        page.children.erase(page.children.begin() + long(idx));
        page.keys.erase(page.keys.begin() + long(idx));
    } else {
        page.keys[idx] = child.FirstKey();
    }
    return true;
}

template <class Entry>
void PageBTree<Entry>::ReleaseSubtree(const Page& page) {
    if (page.bref.bid != 0) pendingRelease_.push_back(page.bref);
    for (const auto& child : page.children) ReleaseSubtree(*child);
}

template <class Entry>
Bref PageBTree<Entry>::Commit(const PageSink& sink) {
    for (const Bref& old : pendingRelease_)
        if (old.bid != 0) sink.release(old);
    pendingRelease_.clear();
    if (root_->dirty) CommitPage(*root_, sink);
    return root_->bref;
}

template <class Entry>
void PageBTree<Entry>::CommitPage(Page& page, const PageSink& sink) {
    for (auto& child : page.children)
        if (child->dirty) CommitPage(*child, sink);
    std::uint8_t raw[kPageSize] = {};
    std::size_t cbEnt = page.level ? traits_.btEntry : EntrySize();
    for (std::size_t i = 0; i < page.Count(); ++i) {
        std::uint8_t* p = raw + i * cbEnt;
        if (page.level == 0) {
            EncodeEntry(page.entries[i], p);
        } else {
            std::size_t id = traits_.idSize;
            PutId(p, id, page.keys[i]);
            PutId(p + id, id, page.children[i]->bref.bid);
            PutId(p + 2 * id, id, page.children[i]->bref.ib);
        }
    }
    std::uint8_t* meta = raw + traits_.btEntryArea;
    meta[0] = std::uint8_t(page.Count());
    meta[1] = std::uint8_t(page.level ? BranchCapacity() : LeafCapacity());
    meta[2] = std::uint8_t(cbEnt);
    meta[3] = page.level;
    Bref old = page.bref;
    page.bref = sink.allocate();
    SealPage(raw, traits_, Ptype(), ComputeSig(page.bref.ib, page.bref.bid), page.bref.bid);
    sink.write(page.bref.ib, raw);
    if (old.bid != 0) sink.release(old);
    page.dirty = false;
}

template class PageBTree<NbtEntry>;
template class PageBTree<BbtEntry>;

}  // namespace qb::pst
