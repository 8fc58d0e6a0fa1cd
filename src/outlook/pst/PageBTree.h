#pragma once
// The node and block B-trees (NBT, BBT), held in memory as a mirror of their
// 512-byte pages. Changes mark pages dirty; a commit writes every dirty page
// to a new place (copy-on-write) and releases the old places, so the tree the
// header still points to stays intact until the header moves.

#include <algorithm>
#include <functional>
#include <memory>
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
        std::vector<std::uint64_t> keys;                 // intermediate: first key of each child
        std::vector<std::unique_ptr<Page>> children;     // intermediate
        std::vector<Entry> entries;                      // leaf
        std::uint64_t FirstKey() const { return level ? keys.front() : entries.front().Key(); }
        std::size_t Count() const { return level ? children.size() : entries.size(); }
    };

    explicit PageBTree(const FormatTraits& traits);

    void Load(const PstFile& file, const Bref& root);
    void Clear();
    const Entry* Find(std::uint64_t key) const;
    void Upsert(const Entry& entry);
    bool Erase(std::uint64_t key);
    std::size_t size() const { return size_; }
    bool dirty() const { return root_->dirty; }
    Bref Commit(const PageSink& sink);
    const Page& root() const { return *root_; }

    template <class F>
    void ForEach(F&& visit) const { Walk(*root_, visit); }
    // Visits every page (for allocation accounting and checking).
    void ForEachPage(const std::function<void(const Page&)>& visit) const { WalkPages(*root_, visit); }

    std::size_t LeafCapacity() const { return traits_.btEntryArea / EntrySize(); }
    std::size_t BranchCapacity() const { return traits_.btEntryArea / traits_.btEntry; }

private:
    std::size_t EntrySize() const;
    static std::uint8_t Ptype();
    void EncodeEntry(const Entry& e, std::uint8_t* p) const;
    Entry DecodeEntry(const std::uint8_t* p) const;
    std::unique_ptr<Page> LoadPage(const PstFile& file, const Bref& bref, int expectLevel);
    std::unique_ptr<Page> Insert(Page& page, const Entry& entry);
    bool EraseIn(Page& page, std::uint64_t key);
    void CommitPage(Page& page, const PageSink& sink);
    template <class F>
    static void Walk(const Page& page, F& visit) {
        if (page.level == 0) {
            for (const Entry& e : page.entries) visit(e);
        } else {
            for (const auto& child : page.children) Walk(*child, visit);
        }
    }
    static void WalkPages(const Page& page, const std::function<void(const Page&)>& visit) {
        visit(page);
        for (const auto& child : page.children) WalkPages(*child, visit);
    }

    void ReleaseSubtree(const Page& page);

    const FormatTraits& traits_;
    std::unique_ptr<Page> root_;
    std::vector<Bref> pendingRelease_;
    std::size_t size_ = 0;
};

using NodeBTree = PageBTree<NbtEntry>;
using BlockBTree = PageBTree<BbtEntry>;

extern template class PageBTree<NbtEntry>;
extern template class PageBTree<BbtEntry>;

}  // namespace qb::pst
