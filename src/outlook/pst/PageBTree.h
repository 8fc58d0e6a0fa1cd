#pragma once
// The node and block B-trees (NBT, BBT), paged: memory holds the root, the
// pages changed since the last commit, and at most a budget of other pages
// (the most recently used); any other page is read from the file when needed
// and checked as at opening. Changes mark pages dirty, and a page is dirty
// whenever one below it is, so a clean page's whole subtree is on disk and may
// be dropped. A commit writes every dirty page to a new place (copy-on-write)
// and releases the old places, so the tree the header still points to stays
// intact until the header moves.

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "outlook/pst/PstFile.h"
#include "outlook/pst/PstTypes.h"

namespace qb::pst {

struct NbtEntry {
    Nid nid = 0;
    Bid bidData = 0;
    Bid bidSub = 0;
    Nid nidParent = 0;
    std::uint64_t Key() const { return nid; }
};

struct BbtEntry {
    Bid bid = 0;
    std::uint64_t ib = 0;
    std::uint16_t cb = 0;
    std::uint16_t cRef = 0;
    std::uint64_t Key() const { return bid; }
};

enum PageType : std::uint8_t {
    kPageBbt = 0x80,
    kPageNbt = 0x81,
    kPageFMap = 0x82,
    kPagePMap = 0x83,
    kPageAMap = 0x84,
    kPageFPMap = 0x85,
    kPageDList = 0x86,
};

// Writes the trailer (type, signature, CRC, id) of a 512-byte page.
void SealPage(std::uint8_t* page, const FormatTraits& traits, std::uint8_t ptype, std::uint16_t sig, Bid bid);
// Checks a page's trailer; returns an empty string or what is wrong.
std::string CheckPage(const std::uint8_t* page, const FormatTraits& traits, std::uint8_t ptype, std::uint64_t ib,
                      Bid expectedBid, bool checkSig);
Bid PageBid(const std::uint8_t* page, const FormatTraits& traits);

// Where a commit puts pages: allocates a slot (with a fresh page id), writes
// it, and releases the slot of a page that was replaced.
struct PageSink {
    std::function<Bref()> allocate;
    std::function<void(std::uint64_t ib, const std::uint8_t* page)> write;
    std::function<void(const Bref& old)> release;
};

template <class Entry>
class PageBTree {
public:
    struct Page {
        std::uint8_t level = 0;
        Bref bref;
        bool dirty = true;
        std::uint64_t lastUse = 0;                       // clock of the last visit, for eviction
        std::vector<std::uint64_t> keys;                 // intermediate: first key of each child
        std::vector<Bref> childRefs;                     // intermediate: where each child was last written
        std::vector<std::unique_ptr<Page>> children;     // intermediate: loaded children (null: read on demand)
        std::vector<Entry> entries;                      // leaf
        std::uint64_t FirstKey() const { return level ? keys.front() : entries.front().Key(); }
        std::size_t Count() const { return level ? keys.size() : entries.size(); }
    };

    // Pages held in memory beyond those changed since the last commit.
    static constexpr std::size_t kDefaultPageBudget = 1024;

    PageBTree(const FormatTraits& traits, const PstFile& file);

    // Reads and checks every page under `root` (nothing is kept but the root).
    void Load(const Bref& root);
    void Clear();
    // The entry with `key`; reads pages on demand (PstError when one fails its checks).
    std::optional<Entry> Find(std::uint64_t key) const;
    void Upsert(const Entry& entry);
    bool Erase(std::uint64_t key);
    std::size_t size() const { return size_; }
    bool dirty() const { return root_->dirty; }
    Bref Commit(const PageSink& sink);
    const Page& root() const { return *root_; }

    // Visits every entry in key order. The visitor may use the tree (pages
    // are read one leaf at a time and nothing it holds is evicted under it).
    void ForEach(const std::function<void(const Entry&)>& visit) const;
    // Visits every page (for allocation accounting and checking); pages not
    // in memory are read for the visit only.
    void ForEachPage(const std::function<void(const Page&)>& visit) const;

    std::size_t LeafCapacity() const { return traits_.btEntryArea / EntrySize(); }
    std::size_t BranchCapacity() const { return traits_.btEntryArea / traits_.btEntry; }
    // Pages in memory now (clean and changed).
    std::size_t loadedPages() const { return loaded_; }
    void SetPageBudget(std::size_t pages) {
        budget_ = std::max<std::size_t>(pages, 4);
        evictAt_ = budget_;
    }

private:
    std::size_t EntrySize() const;
    static std::uint8_t Ptype();
    void EncodeEntry(const Entry& e, std::uint8_t* p) const;
    Entry DecodeEntry(const std::uint8_t* p) const;
    // Reads one page and checks it; its children stay on disk.
    std::unique_ptr<Page> ReadPage(const Bref& bref, int expectLevel) const;
    std::unique_ptr<Page> ReadChild(const Page& parent, std::size_t index) const;
    // Child `index` of an intermediate page, read when not in memory.
    Page& Child(Page& parent, std::size_t index) const;
    void CheckSubtree(const Bref& bref, int level, std::uint64_t key, std::size_t& budget);
    std::unique_ptr<Page> Insert(Page& page, const Entry& entry);
    bool EraseIn(Page& page, std::uint64_t key);
    void CommitPage(Page& page, const PageSink& sink);
    void WalkPages(const Page& page, const std::function<void(const Page&)>& visit) const;
    // Drops the least recently used clean pages once more than the budget are held.
    void MaybeEvict() const;
    static std::size_t CountLoaded(const Page& page);

    const FormatTraits& traits_;
    const PstFile& file_;
    std::unique_ptr<Page> root_;
    std::vector<Bref> pendingRelease_;
    std::size_t size_ = 0;
    std::size_t budget_ = kDefaultPageBudget;
    mutable std::size_t loaded_ = 1;
    // Eviction runs when more pages than this are held: the budget, or what
    // the last eviction had to keep (changed pages) plus a quarter budget, so
    // that each eviction pass is paid for by as many reads.
    mutable std::size_t evictAt_ = kDefaultPageBudget;
    mutable std::uint64_t clock_ = 0;
    mutable int pinned_ = 0;  // walks in progress that hold pages: no eviction
};

using NodeBTree = PageBTree<NbtEntry>;
using BlockBTree = PageBTree<BbtEntry>;

extern template class PageBTree<NbtEntry>;
extern template class PageBTree<BbtEntry>;

}  // namespace qb::pst
