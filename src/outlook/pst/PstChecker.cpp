#include "outlook/pst/PstChecker.h"

#include <algorithm>
#include <map>
#include <set>

#include "outlook/pst/Checksum.h"
#include "outlook/pst/PstStore.h"
#include "outlook/pst/PstTags.h"

namespace qb::pst {
namespace {

class Checker {
public:
    Checker(const std::string& path, CheckReport& report) : path_(path), r_(report) {}

    void Run() {
        try {
            db_ = NodeDatabase::Open(path_, false);
        } catch (const PstError& e) {
            Error(e.what());
            return;
        }
        const FormatTraits& traits = db_->traits();
        r_.format = traits.unicode ? "Unicode" : "ANSI";
        r_.fileSize = db_->file().Size();
        CheckTreeOrder();
        CountReferences();
        CheckBlocks();
        CheckAllocation();
        try {
            CheckMessaging();
        } catch (const PstError& e) {
            Error(std::string("messaging layer: ") + e.what());
        }
    }

private:
    void Error(const std::string& text) {
        if (r_.errors.size() < 200) r_.errors.push_back(text);
    }
    void Warning(const std::string& text) {
        if (r_.warnings.size() < 200) r_.warnings.push_back(text);
    }

    void CheckTreeOrder() {
        std::uint64_t last = 0;
        bool first = true;
        db_->nbt().ForEach([&](const NbtEntry& e) {
            if (!first && e.nid <= last) Error("node B-tree is out of order at " + HexId(e.nid));
            last = e.nid;
            first = false;
            ++r_.nodes;
        });
        first = true;
        db_->bbt().ForEach([&](const BbtEntry& e) {
            if (!first && e.bid <= last) Error("block B-tree is out of order at " + HexId(e.bid));
            last = e.bid;
            first = false;
            ++r_.blocks;
        });
        db_->nbt().ForEachPage([&](const NodeBTree::Page&) { ++r_.pages; });
        db_->bbt().ForEachPage([&](const BlockBTree::Page&) { ++r_.pages; });
    }

    void Reference(Bid bid, const std::string& from) {
        if (bid == 0) return;
        if (!db_->FindBlock(bid)) {
            Error(from + " points to block " + HexId(bid) + ", which is not in the block B-tree");
            return;
        }
        ++refs_[bid & ~Bid(1)];
    }

    // References inside a data or subnode tree, following each internal block once.
    void WalkTree(Bid bid, const std::string& from) {
        Reference(bid, from);
        if (bid == 0 || !(bid & 2) || !db_->FindBlock(bid) || !walked_.insert(bid & ~Bid(1)).second) return;
        Bytes block;
        try {
            block = db_->ReadBlock(bid);
        } catch (const PstError& e) {
            return;  // reported by CheckBlocks
        }
        const FormatTraits& t = db_->traits();
        std::size_t id = t.idSize;
        if (block.size() < 4) {
            Error("internal block " + HexId(bid) + " is too short");
            return;
        }
        std::size_t count = Get16(&block[2]);
        std::string me = "block " + HexId(bid);
        if (block[0] == 1) {
            if (8 + count * id > block.size()) return Error(me + " (data tree) is truncated");
            for (std::size_t i = 0; i < count; ++i) WalkTree(GetId(&block[8 + i * id], id), me);
        } else if (block[0] == 2 && block[1] == 0) {
            if (t.sxHeader + count * t.slEntry > block.size()) return Error(me + " (subnodes) is truncated");
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint8_t* p = &block[t.sxHeader + i * t.slEntry];
                WalkTree(GetId(p + id, id), me);
                WalkTree(GetId(p + 2 * id, id), me);
            }
        } else if (block[0] == 2 && block[1] == 1) {
            if (t.sxHeader + count * t.siEntry > block.size()) return Error(me + " (subnode index) is truncated");
            for (std::size_t i = 0; i < count; ++i) WalkTree(GetId(&block[t.sxHeader + i * t.siEntry + id], id), me);
        } else {
            Error(me + " is internal but of unknown type " + std::to_string(block[0]));
        }
    }

    void CountReferences() {
        db_->nbt().ForEach([&](const NbtEntry& e) {
            WalkTree(e.bidData, "node " + HexId(e.nid));
            WalkTree(e.bidSub, "node " + HexId(e.nid));
        });
    }

    void CheckBlocks() {
        db_->bbt().ForEach([&](const BbtEntry& e) {
            try {
                db_->ReadBlock(e.bid);
            } catch (const PstError& ex) {
                Error(ex.what());
            }
            std::size_t refs = refs_[e.bid & ~Bid(1)];
            if (refs == 0) Error("block " + HexId(e.bid) + " is not referenced by any node");
            else if (e.cRef < refs + 1) Error("block " + HexId(e.bid) + " has reference count " + std::to_string(e.cRef) + " but " + std::to_string(refs) + " references");
            else if (e.cRef != refs + 1) Warning("block " + HexId(e.bid) + " has reference count " + std::to_string(e.cRef) + " for " + std::to_string(refs) + " references");
        });
    }

    void Use(std::uint64_t ib, std::size_t size, const std::string& what) {
        used_.emplace_back(ib, ib + size, what);
    }

    void CheckAllocation() {
        const FormatTraits& t = db_->traits();
        const Header& h = db_->header();
        db_->nbt().ForEachPage([&](const NodeBTree::Page& p) { Use(p.bref.ib, kPageSize, "NBT page " + HexId(p.bref.bid)); });
        db_->bbt().ForEachPage([&](const BlockBTree::Page& p) { Use(p.bref.ib, kPageSize, "BBT page " + HexId(p.bref.bid)); });
        db_->bbt().ForEach([&](const BbtEntry& e) {
            Use(e.ib, std::size_t(AlignUp(e.cb + t.blockTrailer, 64)), "block " + HexId(e.bid));
        });
        std::uint64_t fileSize = db_->file().Size();
        if (h.ibFileEof > fileSize) Error("header says the file ends at " + HexId(h.ibFileEof) + " but it holds " + HexId(fileSize) + " bytes");
        // The maps are read as far as the file goes: the header's end is what
        // the file says, and a damaged one may name any size.
        const std::uint64_t mappedEof = std::min(h.ibFileEof, fileSize);
        std::size_t regions = mappedEof > kFirstAMapOffset
                                  ? std::size_t((mappedEof - kFirstAMapOffset + kAMapCoverage - 1) / kAMapCoverage)
                                  : 0;
        const std::uint64_t mappedEnd = kFirstAMapOffset + regions * kAMapCoverage;
        std::vector<std::array<std::uint8_t, 496>> bits(regions);
        std::uint64_t freeBits = 0;
        for (std::size_t i = 0; i < regions; ++i) {
            std::uint64_t ib = kFirstAMapOffset + i * kAMapCoverage;
            if (ib + kPageSize > fileSize) {
                bits[i].fill(0);
                continue;
            }
            Bytes page = db_->file().Read(ib, kPageSize);
            std::string problem = CheckPage(page.data(), t, kPageAMap, ib, ib, false);
            if (!problem.empty()) Error("AMap: " + problem);
            std::copy_n(page.begin() + (t.unicode ? 0 : 4), 496, bits[i].begin());
            Use(ib, kPageSize, "AMap page");
            for (std::uint8_t b : bits[i]) freeBits += 8 - std::uint64_t(__builtin_popcount(b));
            auto mapPage = [&](std::uint64_t off, std::uint8_t type, const char* name) {
                if (off == 0 || off + kPageSize > fileSize) return;
                Bytes p = db_->file().Read(off, kPageSize);
                std::string problem = CheckPage(p.data(), t, type, off, off, false);
                if (!problem.empty()) Error(std::string(name) + ": " + problem);
                Use(off, kPageSize, name);
            };
            mapPage(AllocationMap::PMapOffset(i), kPagePMap, "PMap page");
            mapPage(AllocationMap::FMapOffset(i), kPageFMap, "FMap page");
            mapPage(AllocationMap::FPMapOffset(i), kPageFPMap, "FPMap page");
        }
        if (t.unicode && fileSize >= kDListOffset + kPageSize) {
            Bytes p = db_->file().Read(kDListOffset, kPageSize);
            bool blank = std::all_of(p.begin(), p.end(), [](std::uint8_t b) { return b == 0; });
            if (!blank) {
                std::string problem = CheckPage(p.data(), t, kPageDList, kDListOffset, 0, true);
                if (!problem.empty()) Error("density list: " + problem);
            }
        }
        // Overlaps between anything in use.
        std::sort(used_.begin(), used_.end());
        for (std::size_t i = 1; i < used_.size(); ++i)
            if (std::get<0>(used_[i]) < std::get<1>(used_[i - 1]))
                Error(std::get<2>(used_[i]) + " at " + HexId(std::get<0>(used_[i])) + " overlaps " + std::get<2>(used_[i - 1]));
        if (h.fAMapValid == 0) {
            Warning("the allocation maps are marked invalid");
            return;
        }
        std::uint64_t usedBytes = 0;
        for (const auto& [begin, end, what] : used_) {
            if (begin < kFirstAMapOffset || end > h.ibFileEof || end > mappedEnd) {
                Error(what + " at " + HexId(begin) + " lies outside the mapped file");
                continue;
            }
            for (std::uint64_t off = begin; off < end; off += 64) {
                std::size_t region = std::size_t((off - kFirstAMapOffset) / kAMapCoverage);
                std::size_t bit = std::size_t((off - kFirstAMapOffset) % kAMapCoverage / 64);
                if (!(bits[region][bit / 8] & (0x80 >> (bit % 8)))) {
                    Error(what + " at " + HexId(begin) + " is in use but free in the AMap");
                    break;
                }
            }
            usedBytes += AlignUp(end - begin, 64);
        }
        std::uint64_t allocated = regions * kAMapCoverage - freeBits * 64;
        if (allocated > usedBytes)
            Warning(std::to_string(allocated - usedBytes) + " bytes are allocated in the AMap but not in use");
        if (h.cbAMapFree != freeBits * 64)
            Warning("header says " + std::to_string(h.cbAMapFree) + " bytes are free, the AMaps say " + std::to_string(freeBits * 64));
    }

    // ---- messaging layer

    static bool SameValue(const PropValue& a, const PropValue& b) { return a.type == b.type && a.Encode() == b.Encode(); }

    void CheckMessaging() {
        try {
            store_ = PstStore::Open(path_, false);
        } catch (const PstError& e) {
            Error(std::string("message store: ") + e.what());
            return;
        }
        if (!db_->FindNode(kNidRootFolder)) return Error("the root folder is missing");
        if (store_->IpmSubtree() && !db_->FindNode(store_->IpmSubtree()))
            Error("the store's mail folder entry id points to missing node " + HexId(store_->IpmSubtree()));
        // Iterative, so that folders of any depth are checked; each folder once.
        WalkFolderTree(
            kNidRootFolder, [&](Nid nid, std::size_t) { return CheckFolder(nid); },
            [&](Nid nid, Nid listedBy) {
                Error("folder " + HexId(nid) + " is reached twice (again from folder " + HexId(listedBy) + ")");
            });
        // Every message must be listed by its folder.
        db_->nbt().ForEach([&](const NbtEntry& e) {
            std::uint32_t type = NidTypeOf(e.nid);
            if (type != kNidTypeNormalMessage && type != kNidTypeAssocMessage) return;
            if (!seenFolders_.count(e.nidParent)) return;  // search results and orphans of other tools
            if (!listedMessages_.count(e.nid))
                Error("message " + HexId(e.nid) + " is not in the contents table of folder " + HexId(e.nidParent));
        });
    }

    // Checks one folder and its tables; returns the subfolders to check next.
    std::vector<Nid> CheckFolder(Nid nid) {
        std::vector<Nid> children;
        seenFolders_.insert(nid);
        ++r_.folders;
        FolderInfo info;
        Properties props;
        try {
            info = store_->Folder(nid);
            props = store_->FolderProperties(nid);
        } catch (const PstError& e) {
            Error("folder " + HexId(nid) + ": " + e.what());
            return children;
        }
        if (NidTypeOf(nid) == kNidTypeSearchFolder) return children;  // results are computed, not stored per row
        TableData hierarchy, contents, associated;
        try {
            hierarchy = store_->HierarchyTable(nid);
            contents = store_->ContentsTable(nid);
            associated = store_->AssociatedContentsTable(nid);
        } catch (const PstError& e) {
            Error("tables of folder " + HexId(nid) + ": " + e.what());
            return children;
        }
        if (props.count(TagId(tags::kContentCount)) && std::size_t(info.contentCount) != contents.rows.size())
            Error("folder " + HexId(nid) + " counts " + std::to_string(info.contentCount) + " messages, its contents table holds " + std::to_string(contents.rows.size()));
        for (const TableRow& row : contents.rows) CheckMessageRow(nid, row, contents.columns);
        for (const TableRow& row : associated.rows) CheckMessageRow(nid, row, associated.columns);
        for (const TableRow& row : hierarchy.rows) {
            const std::optional<NbtEntry> child = db_->FindNode(row.rowId);
            if (!child) {
                Error("hierarchy table of folder " + HexId(nid) + " lists missing folder " + HexId(row.rowId));
                continue;
            }
            if (child->nidParent != nid)
                Error("folder " + HexId(row.rowId) + " is listed under " + HexId(nid) + " but its parent is " + HexId(child->nidParent));
            if (NidTypeOf(row.rowId) == kNidTypeNormalFolder) {
                Properties childProps;
                try {
                    childProps = store_->FolderProperties(row.rowId);
                } catch (const PstError& e) {
                    Error("folder " + HexId(row.rowId) + ": " + e.what());
                    continue;
                }
                for (std::uint32_t tag : {tags::kContentCount, tags::kDisplayName}) {
                    const PropValue* a = FindProp(row.values, tag);
                    const PropValue* b = FindProp(childProps, tag);
                    if (a && b && !SameValue(*a, *b))
                        Error("hierarchy row of folder " + HexId(row.rowId) + " says " + TagText(tag) + " = " + a->Describe() + ", the folder says " + b->Describe());
                }
            }
            children.push_back(row.rowId);
        }
        return children;
    }

    static std::string TagText(std::uint32_t tag) { return HexId(tag); }

    void CheckMessageRow(Nid folder, const TableRow& row, const std::vector<TableColumn>& columns) {
        listedMessages_.insert(row.rowId);
        const std::optional<NbtEntry> entry = db_->FindNode(row.rowId);
        if (!entry) return Error("contents table of folder " + HexId(folder) + " lists missing message " + HexId(row.rowId));
        if (entry->nidParent != folder)
            Error("message " + HexId(row.rowId) + " is listed in folder " + HexId(folder) + " but its parent is " + HexId(entry->nidParent));
        MessageData m;
        try {
            m = store_->ReadMessage(row.rowId);
        } catch (const PstError& e) {
            return Error("message " + HexId(row.rowId) + ": " + e.what());
        }
        ++r_.messages;
        r_.attachments += m.attachments.size();
        for (const TableColumn& c : columns) {
            if (c.tag == kTagLtpRowId || c.tag == kTagLtpRowVer) continue;
            const PropValue* inRow = FindProp(row.values, c.tag);
            const PropValue* inMessage = FindProp(m.props, c.tag);
            if (inMessage && inMessage->type != TagType(c.tag)) inMessage = nullptr;
            if (inRow && inMessage && !SameValue(*inRow, *inMessage) && c.tag == tags::kMessageSize)
                Warning("contents row of message " + HexId(row.rowId) + " gives its size as " + inRow->Describe() + ", the message as " + inMessage->Describe());
            else if (inRow && inMessage && !SameValue(*inRow, *inMessage))
                Error("contents row of message " + HexId(row.rowId) + " says " + TagText(c.tag) + " = " + inRow->Describe() + ", the message says " + inMessage->Describe());
            else if (inRow && !inMessage && c.tag == tags::kMessageSize)
                Error("contents row of message " + HexId(row.rowId) + " has a size the message lacks");
            else if (!inRow && inMessage && (c.tag == tags::kMessageSize || c.tag == tags::kSubject || c.tag == tags::kMessageFlags))
                Error("contents row of message " + HexId(row.rowId) + " lacks " + TagText(c.tag));
        }
    }

    std::string path_;
    CheckReport& r_;
    std::unique_ptr<NodeDatabase> db_;
    std::unique_ptr<PstStore> store_;
    std::map<Bid, std::size_t> refs_;
    std::set<Bid> walked_;
    std::vector<std::tuple<std::uint64_t, std::uint64_t, std::string>> used_;
    std::set<Nid> seenFolders_;
    std::set<Nid> listedMessages_;
};

}  // namespace

CheckReport CheckPstFile(const std::string& path) {
    CheckReport report;
    Checker(path, report).Run();
    return report;
}

}  // namespace qb::pst
