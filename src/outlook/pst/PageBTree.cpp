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
PageBTree<Entry>::PageBTree(const FormatTraits& traits, const PstFile& file) : traits_(traits), file_(file) {
    Clear();
}

template <class Entry>
void PageBTree<Entry>::Clear() {
    root_ = std::make_unique<Page>();
    pendingRelease_.clear();
    size_ = 0;
    loaded_ = 1;
    evictAt_ = budget_;
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
void PageBTree<Entry>::Load(const Bref& root) {
    Clear();
    // A tree of distinct pages holds no more pages than the file: a damaged
    // file whose pages point to one another many times is refused.
    std::size_t budget = std::size_t(file_.Size() / kPageSize) + 1;
    CheckSubtree(root, -1, 0, budget);
    root_ = ReadPage(root, -1);
}

template <class Entry>
void PageBTree<Entry>::CheckSubtree(const Bref& bref, int level, std::uint64_t key, std::size_t& budget) {
    if (budget-- == 0) throw PstError("a B-tree refers to more pages than the file holds");
    auto page = ReadPage(bref, level);
    if (level >= 0 && page->Count() > 0 && page->FirstKey() < key)
        throw PstError("B-tree page at " + HexId(bref.ib) + " holds keys below its parent's key");
    if (page->level == 0) {
        size_ += page->entries.size();
        return;
    }
    const std::vector<std::uint64_t> keys = std::move(page->keys);
    const std::vector<Bref> refs = std::move(page->childRefs);
    const int childLevel = page->level - 1;
    page.reset();
    for (std::size_t i = 0; i < keys.size(); ++i) CheckSubtree(refs[i], childLevel, keys[i], budget);
}

template <class Entry>
std::unique_ptr<typename PageBTree<Entry>::Page> PageBTree<Entry>::ReadPage(const Bref& bref, int expectLevel) const {
    if (bref.bid == 0 || bref.ib == 0 || bref.ib % kPageSize != 0)
        throw PstError("a B-tree page reference (id " + HexId(bref.bid) + ", offset " + HexId(bref.ib) + ") is invalid");
    std::uint8_t raw[kPageSize];
    file_.Read(bref.ib, raw, kPageSize);
    std::string problem = CheckPage(raw, traits_, Ptype(), bref.ib, bref.bid, true);
    if (!problem.empty()) throw PstError(problem);
    const std::uint8_t* meta = raw + traits_.btEntryArea;
    std::size_t cEnt = meta[0], cEntMax = meta[1], cbEnt = meta[2];
    auto page = std::make_unique<Page>();
    page->level = meta[3];
    page->bref = bref;
    page->dirty = false;
    page->lastUse = ++clock_;
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
    // of every loaded leaf unused.
    if (page->level == 0) {
        page->entries.reserve(cEnt);
    } else {
        page->keys.reserve(cEnt);
        page->childRefs.reserve(cEnt);
        page->children.resize(cEnt);
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
        } else {
            std::size_t id = traits_.idSize;
            std::uint64_t key = GetId(p, id);
            if (i > 0 && key <= page->keys.back())
                throw PstError("B-tree page at " + HexId(bref.ib) + " is out of order");
            page->keys.push_back(key);
            page->childRefs.push_back(Bref{GetId(p + id, id), GetId(p + 2 * id, id)});
        }
    }
    return page;
}

template <class Entry>
std::unique_ptr<typename PageBTree<Entry>::Page> PageBTree<Entry>::ReadChild(const Page& parent,
                                                                             std::size_t index) const {
    auto child = ReadPage(parent.childRefs[index], parent.level - 1);
    if (child->Count() > 0 && child->FirstKey() < parent.keys[index])
        throw PstError("B-tree page at " + HexId(parent.childRefs[index].ib) + " holds keys below its parent's key");
    return child;
}

template <class Entry>
typename PageBTree<Entry>::Page& PageBTree<Entry>::Child(Page& parent, std::size_t index) const {
    std::unique_ptr<Page>& slot = parent.children[index];
    if (!slot) {
        slot = ReadChild(parent, index);
        ++loaded_;
    }
    slot->lastUse = ++clock_;
    return *slot;
}

template <class Entry>
std::size_t PageBTree<Entry>::CountLoaded(const Page& page) {
    std::size_t n = 1;
    for (const auto& child : page.children)
        if (child) n += CountLoaded(*child);
    return n;
}

template <class Entry>
void PageBTree<Entry>::MaybeEvict() const {
    if (loaded_ <= evictAt_ || pinned_ > 0) return;
    struct Candidate {
        std::uint64_t lastUse;
        std::uint8_t level;
        Page* parent;
        std::size_t index;
    };
    std::vector<Candidate> candidates;
    // The most recent use within each subtree, so that a page never goes
    // before a page under it that was used earlier.
    std::function<std::uint64_t(Page&)> collect = [&](Page& page) {
        std::uint64_t latest = page.lastUse;
        for (std::size_t i = 0; i < page.children.size(); ++i) {
            Page* child = page.children[i].get();
            if (!child) continue;
            std::uint64_t used = collect(*child);
            if (!child->dirty) candidates.push_back(Candidate{used, child->level, &page, i});
            latest = std::max(latest, used);
        }
        return latest;
    };
    collect(*root_);
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        return a.lastUse != b.lastUse ? a.lastUse < b.lastUse : a.level < b.level;
    });
    // Down to three quarters, so that eviction runs once per many reads.
    const std::size_t target = budget_ - budget_ / 4;
    for (const Candidate& c : candidates) {
        if (loaded_ <= target) break;
        std::unique_ptr<Page>& slot = c.parent->children[c.index];
        if (!slot) continue;
        c.parent->childRefs[c.index] = slot->bref;
        loaded_ -= CountLoaded(*slot);
        slot.reset();
    }
    evictAt_ = std::max(budget_, loaded_ + budget_ / 4);
}

template <class Entry>
std::optional<Entry> PageBTree<Entry>::Find(std::uint64_t key) const {
    Page* page = root_.get();
    while (page->level > 0) {
        auto it = std::upper_bound(page->keys.begin(), page->keys.end(), key);
        if (it == page->keys.begin()) return std::nullopt;
        page = &Child(*page, std::size_t(it - page->keys.begin()) - 1);
    }
    auto it = std::lower_bound(page->entries.begin(), page->entries.end(), key,
                               [](const Entry& e, std::uint64_t k) { return e.Key() < k; });
    std::optional<Entry> found;
    if (it != page->entries.end() && it->Key() == key) found = *it;
    MaybeEvict();
    return found;
}

template <class Entry>
void PageBTree<Entry>::Upsert(const Entry& entry) {
    auto sibling = Insert(*root_, entry);
    if (sibling) {
        auto top = std::make_unique<Page>();
        top->level = std::uint8_t(root_->level + 1);
        top->keys = {root_->FirstKey(), sibling->FirstKey()};
        top->childRefs = {root_->bref, Bref{}};
        top->children.push_back(std::move(root_));
        top->children.push_back(std::move(sibling));
        root_ = std::move(top);
        ++loaded_;
    }
    MaybeEvict();
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
        right->lastUse = ++clock_;
        right->entries.reserve(LeafCapacity() + 1);
        right->entries.assign(page.entries.begin() + long(mid), page.entries.end());
        page.entries.resize(mid);
        ++loaded_;
        return right;
    }
    auto it = std::upper_bound(page.keys.begin(), page.keys.end(), key);
    std::size_t idx = it == page.keys.begin() ? 0 : std::size_t(it - page.keys.begin()) - 1;
    Page& child = Child(page, idx);
    auto sibling = Insert(child, entry);
    page.keys[idx] = child.FirstKey();
    if (!sibling) return nullptr;
    atEnd = idx + 1 == page.keys.size();
    page.keys.insert(page.keys.begin() + long(idx) + 1, sibling->FirstKey());
    page.childRefs.insert(page.childRefs.begin() + long(idx) + 1, Bref{});
    page.children.insert(page.children.begin() + long(idx) + 1, std::move(sibling));
    if (page.keys.size() <= BranchCapacity()) return nullptr;
    std::size_t mid = atEnd ? page.keys.size() - 1 : page.keys.size() / 2;
    auto right = std::make_unique<Page>();
    right->level = page.level;
    right->lastUse = ++clock_;
    right->keys.assign(page.keys.begin() + long(mid), page.keys.end());
    right->childRefs.assign(page.childRefs.begin() + long(mid), page.childRefs.end());
    for (std::size_t i = mid; i < page.children.size(); ++i) right->children.push_back(std::move(page.children[i]));
    page.keys.resize(mid);
    page.childRefs.resize(mid);
    page.children.resize(mid);
    ++loaded_;
    return right;
}

template <class Entry>
bool PageBTree<Entry>::Erase(std::uint64_t key) {
    const bool erased = EraseIn(*root_, key);
    if (erased) {
        while (root_->level > 0 && root_->keys.size() == 1) {
            Child(*root_, 0);
            auto child = std::move(root_->children.front());
            child->dirty = true;
            pendingRelease_.push_back(root_->bref);
            root_ = std::move(child);
            --loaded_;
        }
        if (root_->level > 0 && root_->keys.empty()) {
            pendingRelease_.push_back(root_->bref);
            root_ = std::make_unique<Page>();
        }
    }
    MaybeEvict();
    return erased;
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
    Page& child = Child(page, idx);
    if (!EraseIn(child, key)) return false;
    page.dirty = true;
    if (child.Count() == 0) {
        // An empty page has nothing under it: only its own place goes.
        if (child.bref.bid != 0) pendingRelease_.push_back(child.bref);
        loaded_ -= CountLoaded(child);
        page.children.erase(page.children.begin() + long(idx));
        page.childRefs.erase(page.childRefs.begin() + long(idx));
        page.keys.erase(page.keys.begin() + long(idx));
    } else {
        page.keys[idx] = child.FirstKey();
    }
    return true;
}

template <class Entry>
Bref PageBTree<Entry>::Commit(const PageSink& sink) {
    for (const Bref& old : pendingRelease_)
        if (old.bid != 0) sink.release(old);
    pendingRelease_.clear();
    if (root_->dirty) CommitPage(*root_, sink);
    // Every page is clean now: back to the budget.
    evictAt_ = budget_;
    MaybeEvict();
    return root_->bref;
}

template <class Entry>
void PageBTree<Entry>::CommitPage(Page& page, const PageSink& sink) {
    for (std::size_t i = 0; i < page.children.size(); ++i) {
        Page* child = page.children[i].get();
        if (!child) continue;
        if (child->dirty) CommitPage(*child, sink);
        page.childRefs[i] = child->bref;
    }
    std::uint8_t raw[kPageSize] = {};
    std::size_t cbEnt = page.level ? traits_.btEntry : EntrySize();
    for (std::size_t i = 0; i < page.Count(); ++i) {
        std::uint8_t* p = raw + i * cbEnt;
        if (page.level == 0) {
            EncodeEntry(page.entries[i], p);
        } else {
            std::size_t id = traits_.idSize;
            PutId(p, id, page.keys[i]);
            PutId(p + id, id, page.childRefs[i].bid);
            PutId(p + 2 * id, id, page.childRefs[i].ib);
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

template <class Entry>
void PageBTree<Entry>::ForEach(const std::function<void(const Entry&)>& visit) const {
    // One leaf at a time by key: the visitor may read the tree, and so evict
    // any page, between two leaves.
    std::vector<Entry> leaf;
    std::uint64_t from = 0;
    for (;;) {
        Page* page = root_.get();
        std::optional<std::uint64_t> next;
        while (page->level > 0) {
            if (page->keys.empty()) break;
            auto it = std::upper_bound(page->keys.begin(), page->keys.end(), from);
            std::size_t idx = it == page->keys.begin() ? 0 : std::size_t(it - page->keys.begin()) - 1;
            if (idx + 1 < page->keys.size()) next = page->keys[idx + 1];
            page = &Child(*page, idx);
        }
        leaf.clear();
        if (page->level == 0)
            for (const Entry& e : page->entries)
                if (e.Key() >= from) leaf.push_back(e);
        MaybeEvict();
        for (const Entry& e : leaf) visit(e);
        // Keys only grow from a leaf to the next; a damaged order ends the walk.
        if (!next || *next <= from) return;
        from = *next;
    }
}

template <class Entry>
void PageBTree<Entry>::ForEachPage(const std::function<void(const Page&)>& visit) const {
    ++pinned_;
    try {
        WalkPages(*root_, visit);
    } catch (...) {
        --pinned_;
        throw;
    }
    --pinned_;
}

template <class Entry>
void PageBTree<Entry>::WalkPages(const Page& page, const std::function<void(const Page&)>& visit) const {
    visit(page);
    for (std::size_t i = 0; i < page.children.size(); ++i) {
        if (page.children[i]) {
            WalkPages(*page.children[i], visit);
        } else {
            // Read for this visit only, so a walk holds one path of pages.
            auto child = ReadChild(page, i);
            WalkPages(*child, visit);
        }
    }
}

template class PageBTree<NbtEntry>;
template class PageBTree<BbtEntry>;

}  // namespace qb::pst
