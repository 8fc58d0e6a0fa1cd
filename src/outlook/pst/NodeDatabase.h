#pragma once
// The node database: blocks (with trailers, signatures, CRCs and the data
// encoding), data trees (XBLOCK / XXBLOCK), subnode trees (SLBLOCK /
// SIBLOCK), and nodes kept in the NBT, blocks in the BBT.
//
// Writing is copy-on-write: new blocks go to free space, changed B-tree pages
// to new places, and Commit() publishes them through the header only after
// everything it points to is written.

#include <future>
#include <map>
#include <memory>
#include <string>

#include "outlook/pst/PstTypes.h"

#include "outlook/pst/AllocationMap.h"
#include "outlook/pst/Header.h"
#include "outlook/pst/PageBTree.h"
#include "outlook/pst/PstFile.h"

namespace qb::pst {

struct SubnodeEntry {
    Nid nid = 0;
    Bid bidData = 0;
    Bid bidSub = 0;
};
using SubnodeMap = std::map<Nid, SubnodeEntry>;

enum class BlockKind { Data, Internal };

// The blocks a node's data was last written as, so that a rewrite can keep
// every block whose bytes did not change (tables grow at their end).
struct BlockCache {
    std::vector<Bid> bids;
    std::vector<std::uint64_t> hashes;  // of each block's bytes (size folded in)
    std::vector<Bid> internal;  // XBLOCK / XXBLOCK above them
    Bid root = 0;
};

// A data tree that grows or changes at its end: its data blocks and the
// XBLOCKs / XXBLOCK above them, so that a change rewrites only the data
// blocks it touched and the internal blocks above those.
struct DataTree {
    std::vector<Bid> bids;
    std::vector<std::uint32_t> sizes;
    std::vector<Bid> xblocks;  // one per XblockCapacity() data blocks, when more than one data block
    Bid xxblock = 0;
    Bid root = 0;
    std::vector<std::size_t> changed;  // data blocks put since the last UpdateTree
};

class NodeDatabase {
public:
    // Opens a file; for writing it must pass the checks of its header, B-trees
    // and allocation maps, else PstError of kind Damaged says why.
    static std::unique_ptr<NodeDatabase> Open(const std::string& path, bool writable);
    // The error that refuses writing into a damaged file, with the reason.
    static PstError DamagedError(const std::string& path, const std::string& reason);
    static std::unique_ptr<NodeDatabase> Create(const std::string& path, PstFormat format);

    const FormatTraits& traits() const { return traits_; }
    const Header& header() const { return header_; }
    Header& header() { return header_; }
    PstFile& file() { return *file_; }
    const NodeBTree& nbt() const { return nbt_; }
    const BlockBTree& bbt() const { return bbt_; }
    const AllocationMap& amap() const { return amap_; }

    // ---- reading
    // Entries are copies: the pages they came from may be dropped from memory.
    std::optional<NbtEntry> FindNode(Nid nid) const { return nbt_.Find(nid); }
    std::optional<BbtEntry> FindBlock(Bid bid) const { return bbt_.Find(bid & ~Bid(1)); }
    // One block's payload (decoded when it is external data). Verifies the trailer.
    Bytes ReadBlock(Bid bid) const;
    // The payloads of the data blocks of a data tree, in order.
    std::vector<Bytes> ReadDataBlocks(Bid bid) const;
    Bytes ReadData(Bid bid) const;
    SubnodeMap ReadSubnodes(Bid bidSub) const;
    // The internal blocks of a data tree or subnode tree, followed by their children.
    void ForEachTreeBlock(Bid bid, const std::function<void(Bid)>& visit) const;

    // ---- writing
    Bid WriteBlock(const std::uint8_t* data, std::size_t size, BlockKind kind);
    Bid WriteBlock(const Bytes& data, BlockKind kind) { return WriteBlock(data.data(), data.size(), kind); }
    // Builds the XBLOCK / XXBLOCK levels above data block ids (one id: itself).
    Bid WriteTreeAbove(const std::vector<Bid>& dataBlocks, const std::vector<std::uint32_t>& sizes,
                       std::vector<Bid>* internal = nullptr);
    Bid WriteData(const std::uint8_t* data, std::size_t size);
    Bid WriteData(const Bytes& data) { return WriteData(data.data(), data.size()); }
    // Writes data already cut into blocks, keeping unchanged blocks of the last write.
    Bid WriteBlocksReusing(const std::vector<Bytes>& blocks, BlockCache& cache);
    // Releases what a cache holds (the node's data is going away).
    void ReleaseCached(BlockCache& cache);
    // Replaces (or appends) data block `index` of a tree with `data`; call
    // UpdateTree after the last change.
    void PutTreeBlock(DataTree& tree, std::size_t index, const std::uint8_t* data, std::size_t size);
    // Rewrites the internal blocks above the data blocks put since the last call.
    void UpdateTree(DataTree& tree);
    // Releases every block of a tree.
    void ReleaseDataTree(DataTree& tree);
    // Releases the SLBLOCKs / SIBLOCKs of a subnode tree, not the nodes' data.
    void ReleaseSubnodeBlocks(Bid bidSub);
    Bid WriteSubnodes(const SubnodeMap& subnodes);
    // Drops one reference to a block; the block and its space go when none is left.
    void ReleaseBlock(Bid bid);
    // Releases a data or subnode tree with every block under it.
    void ReleaseTree(Bid bid);
    void PutNode(const NbtEntry& entry) { nbt_.Upsert(entry); }
    void RemoveNode(Nid nid) { nbt_.Erase(nid); }
    Nid AllocateNid(std::uint32_t type);
    void ReserveNid(Nid nid);

    // Publishes everything written since the last commit. With syncing on,
    // the data is synced before the header is written and the header is
    // not: the sync also makes the header before it durable. Writing behind,
    // that sync and the header's write happen on a second thread while the
    // caller goes on; the next commit (or MakeDurable, Close) waits for them
    // first, and a failure of theirs is thrown there or by CollectWriteBehind.
    void Commit();
    // After a commit: records the space that commit released as free in the
    // maps and the header (safe once the committed state is durable, which
    // this makes sure of first). With syncing on the header is synced, so
    // everything is durable.
    void PublishFreedSpace();
    // Syncs the last header written unless it is durable already: one sync.
    void MakeDurable();
    // Takes note of a finished write behind, or with `wait` of the one in
    // flight once it finishes; throws its failure.
    void CollectWriteBehind(bool wait = false);
    // Headers made by commits since the file was opened; of them, those handed
    // to the system (a process kill can no longer take them), and those a
    // power loss can no longer take. With syncing off nothing is synced and
    // every header counts as durable: the caller chose speed over that promise.
    std::uint64_t headersMade() const { return headersMade_; }
    std::uint64_t headersWritten() const { return headersWritten_; }
    std::uint64_t headersDurable() const { return headersDurable_; }
    // Test hook: the size at which an ANSI file counts as full.
    void SetAnsiLimitForTest(std::uint64_t limit) { ansiLimit_ = limit; }
    // Test hook: how many B-tree pages each tree keeps beyond its changed ones.
    void SetPageBudgetForTest(std::size_t pages) {
        nbt_.SetPageBudget(pages);
        bbt_.SetPageBudget(pages);
    }
    // Test hook: how many allocation-map regions are kept beyond the changed ones.
    void SetRegionBudgetForTest(std::size_t regions) { amap_.SetRegionBudget(regions); }
    bool HasChanges() const { return nbt_.dirty() || bbt_.dirty() || changed_; }
    std::uint64_t bytesWritten() const { return bytesWritten_; }
    void SetSyncOnCommit(bool sync, bool behind) {
        CollectWriteBehind(true);
        syncOnCommit_ = sync;
        writeBehind_ = behind;
    }

private:
    NodeDatabase(std::unique_ptr<PstFile> file, const Header& header);
    static std::unique_ptr<NodeDatabase> Load(std::unique_ptr<PstFile> file, bool writable);
    void CheckAllocatedInUse() const;
    void HeadersDurableUpTo(std::uint64_t header);
    std::vector<Bytes> ReadDataBlocksAt(Bid bid, int maxLevel) const;
    SubnodeMap ReadSubnodesAt(Bid bidSub, bool indexAllowed) const;
    void MarkAllocationsOfExistingFile();
    Bid WriteXBlock(std::uint8_t level, const Bid* ids, std::size_t count, std::uint64_t bytes);

    std::unique_ptr<PstFile> file_;
    Header header_;
    const FormatTraits& traits_;
    NodeBTree nbt_;
    BlockBTree bbt_;
    AllocationMap amap_;
    bool changed_ = false;
    bool syncOnCommit_ = true;
    bool writeBehind_ = false;
    std::uint64_t headersMade_ = 0;
    std::uint64_t headersWritten_ = 0;
    std::uint64_t headersDurable_ = 0;
    std::uint64_t bytesWritten_ = 0;
    Bytes scratch_;
    std::uint64_t ansiLimit_ = kAnsiSizeLimit;
    // The last commit's sync and header write, when written behind. Declared
    // after file_ so that it is waited for before the file closes.
    std::future<void> pendingHeader_;
};

}  // namespace qb::pst
