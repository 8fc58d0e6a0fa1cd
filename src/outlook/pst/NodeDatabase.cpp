#include "outlook/pst/NodeDatabase.h"

#include <algorithm>
#include <chrono>

#include "outlook/pst/Checksum.h"

namespace qb::pst {
namespace {
// 64-bit content hash for recognising unchanged blocks (64-bit words, multiply-xorshift).
std::uint64_t BlockHash(const Bytes& b) {
    std::uint64_t h = 0x9E3779B97F4A7C15ull ^ (b.size() * 0xFF51AFD7ED558CCDull);
    std::size_t i = 0;
    for (; i + 8 <= b.size(); i += 8) {
        std::uint64_t w;
        std::memcpy(&w, &b[i], 8);
        h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
        h ^= h >> 31;
    }
    for (; i < b.size(); ++i) h = (h ^ b[i]) * 0x94D049BB133111EBull;
    h ^= h >> 29;
    return h * 0xC4CEB9FE1A85EC53ull;
}

constexpr std::uint8_t kBtypeData = 0x01;
constexpr std::uint8_t kBtypeSubnodes = 0x02;
constexpr Bid kBidInternal = 0x2;
}  // namespace

NodeDatabase::NodeDatabase(std::unique_ptr<PstFile> file, const Header& header)
    : file_(std::move(file)),
      header_(header),
      traits_(FormatTraits::Of(header.format)),
      nbt_(traits_, *file_),
      bbt_(traits_, *file_),
      amap_(traits_, *file_) {}

std::unique_ptr<NodeDatabase> NodeDatabase::Open(const std::string& path, bool writable) {
    auto file = std::make_unique<PstFile>(path, writable ? PstFile::Mode::ReadWrite : PstFile::Mode::Read);
    try {
        return Load(std::move(file), writable);
    } catch (const PstError& e) {
        if (!writable || e.kind() == PstErrorKind::InUse || e.kind() == PstErrorKind::NoAccess ||
            e.kind() == PstErrorKind::Io)
            throw;
        // Writing into a file whose structures fail their checks would spread the damage.
        throw DamagedError(path, e.what());
    }
}

PstError NodeDatabase::DamagedError(const std::string& path, const std::string& reason) {
    return PstError("The personal folders file '" + path + "' is damaged and is not written into (" + reason +
                        "). Run 'quillbox-cli pst-check' on it for the details.",
                    PstErrorKind::Damaged);
}

std::unique_ptr<NodeDatabase> NodeDatabase::Load(std::unique_ptr<PstFile> file, bool writable) {
    const std::string path = file->path();
    std::uint64_t size = file->Size();
    if (size < 512) throw PstError("not a personal folders file (too short)");
    Bytes raw = file->Read(0, std::size_t(std::min<std::uint64_t>(size, kHeaderReadSize)));
    Header header = Header::Parse(raw);
    std::unique_ptr<NodeDatabase> db(new NodeDatabase(std::move(file), header));
    db->nbt_.Load(header.nbt);
    db->bbt_.Load(header.bbt);
    if (writable) {
        if (header.fAMapValid == 0) throw PstError("its allocation maps are marked invalid");
        if (header.ibFileEof < kFirstAMapOffset + kPageSize || header.ibFileEof > size)
            throw PstError("the header gives its end as " + HexId(header.ibFileEof) + " but the file holds " +
                           HexId(size) + " bytes");
        db->amap_.Load(header.ibFileEof);
        db->CheckAllocatedInUse();
    }
    return db;
}

// Space that the B-trees use must be allocated in the maps, or new blocks
// would be written over it.
void NodeDatabase::CheckAllocatedInUse() const {
    auto check = [&](std::uint64_t ib, std::size_t size, const std::string& what) {
        if (ib < kFirstAMapOffset || ib + size > header_.ibFileEof || !amap_.IsAllocated(ib, size))
            throw PstError(what + " at " + HexId(ib) + " is not allocated in the allocation maps");
    };
    nbt_.ForEachPage([&](const NodeBTree::Page& p) { check(p.bref.ib, kPageSize, "node B-tree page"); });
    bbt_.ForEachPage([&](const BlockBTree::Page& p) { check(p.bref.ib, kPageSize, "block B-tree page"); });
    bbt_.ForEach([&](const BbtEntry& e) {
        check(e.ib, std::size_t(AlignUp(e.cb + traits_.blockTrailer, 64)), "block " + HexId(e.bid));
    });
}

std::unique_ptr<NodeDatabase> NodeDatabase::Create(const std::string& path, PstFormat format) {
    auto file = std::make_unique<PstFile>(path, PstFile::Mode::Create);
    Header header;
    header.format = format;
    header.wVer = format == PstFormat::Unicode ? 23 : 14;
    header.wVerClient = 19;
    header.bidNextB = 4;
    header.bidNextP = 1;
    header.dwUnique = 1;
    header.cryptMethod = kCryptPermute;
    for (std::uint32_t type = 0; type < 32; ++type) header.rgnid[type] = 0x400;
    std::unique_ptr<NodeDatabase> db(new NodeDatabase(std::move(file), header));
    db->amap_.InitEmpty();
    db->changed_ = true;
    return db;
}

Bytes NodeDatabase::ReadBlock(Bid bid) const {
    const std::optional<BbtEntry> entry = FindBlock(bid);
    if (!entry) throw PstError("block " + HexId(bid) + " is not in the block B-tree");
    std::size_t total = std::size_t(AlignUp(entry->cb + traits_.blockTrailer, 64));
    Bytes raw = file_->Read(entry->ib, total);
    const std::uint8_t* t = &raw[total - traits_.blockTrailer];
    std::uint16_t cb = Get16(t);
    std::uint16_t sig = Get16(t + 2);
    std::uint32_t crc = traits_.unicode ? Get32(t + 4) : Get32(t + 8);
    Bid trailerBid = traits_.unicode ? Get64(t + 8) : Get32(t + 4);
    if (cb != entry->cb) throw PstError("block " + HexId(bid) + " has size " + std::to_string(cb) + ", expected " + std::to_string(entry->cb));
    if ((trailerBid & ~Bid(1)) != (entry->bid & ~Bid(1))) throw PstError("block at " + HexId(entry->ib) + " carries id " + HexId(trailerBid) + ", expected " + HexId(bid));
    if (CheckFails(Crc32(raw.data(), cb), crc)) throw PstError("block " + HexId(bid) + " fails its CRC");
    if (CheckFails(ComputeSig(entry->ib, trailerBid), sig)) throw PstError("block " + HexId(bid) + " has a wrong signature");
    raw.resize(cb);
    if (!(bid & kBidInternal)) DecodeData(header_.cryptMethod, trailerBid, raw.data(), raw.size());
    return raw;
}

std::vector<Bytes> NodeDatabase::ReadDataBlocks(Bid bid) const { return ReadDataBlocksAt(bid, 2); }

std::vector<Bytes> NodeDatabase::ReadDataBlocksAt(Bid bid, int maxLevel) const {
    std::vector<Bytes> blocks;
    if (bid == 0) return blocks;
    Bytes block = ReadBlock(bid);
    if (!(bid & kBidInternal)) {
        blocks.push_back(std::move(block));
        return blocks;
    }
    if (block.size() < 8 || block[0] != kBtypeData || block[1] < 1 || block[1] > maxLevel)
        throw PstError("block " + HexId(bid) + " is not a data tree block of the expected level");
    std::size_t count = Get16(&block[2]);
    std::uint32_t total = Get32(&block[4]);
    if (8 + count * traits_.idSize > block.size()) throw PstError("data tree block " + HexId(bid) + " is truncated");
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        Bid child = GetId(&block[8 + i * traits_.idSize], traits_.idSize);
        if (block[1] == 1 && (child & kBidInternal)) throw PstError("XBLOCK " + HexId(bid) + " points to an internal block");
        if (block[1] == 2 && !(child & kBidInternal)) throw PstError("XXBLOCK " + HexId(bid) + " points to a data block");
        for (Bytes& b : ReadDataBlocksAt(child, block[1] - 1)) {
            sum += b.size();
            blocks.push_back(std::move(b));
        }
    }
    if (sum != total) throw PstError("data tree " + HexId(bid) + " holds " + std::to_string(sum) + " bytes, its header says " + std::to_string(total));
    return blocks;
}

Bytes NodeDatabase::ReadData(Bid bid) const {
    std::vector<Bytes> blocks = ReadDataBlocks(bid);
    if (blocks.size() == 1) return std::move(blocks.front());
    Bytes all;
    for (const Bytes& b : blocks) all.insert(all.end(), b.begin(), b.end());
    return all;
}

SubnodeMap NodeDatabase::ReadSubnodes(Bid bidSub) const { return ReadSubnodesAt(bidSub, true); }

SubnodeMap NodeDatabase::ReadSubnodesAt(Bid bidSub, bool indexAllowed) const {
    SubnodeMap map;
    if (bidSub == 0) return map;
    Bytes block = ReadBlock(bidSub);
    if (block.size() < traits_.sxHeader || block[0] != kBtypeSubnodes || block[1] > (indexAllowed ? 1 : 0))
        throw PstError("block " + HexId(bidSub) + " is not a subnode block of the expected level");
    std::size_t count = Get16(&block[2]);
    std::size_t id = traits_.idSize;
    if (block[1] == 0) {
        if (traits_.sxHeader + count * traits_.slEntry > block.size()) throw PstError("subnode block " + HexId(bidSub) + " is truncated");
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* p = &block[traits_.sxHeader + i * traits_.slEntry];
            SubnodeEntry e{std::uint32_t(GetId(p, id)), GetId(p + id, id), GetId(p + 2 * id, id)};
            map[e.nid] = e;
        }
    } else {
        if (traits_.sxHeader + count * traits_.siEntry > block.size()) throw PstError("subnode block " + HexId(bidSub) + " is truncated");
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* p = &block[traits_.sxHeader + i * traits_.siEntry];
            SubnodeMap child = ReadSubnodesAt(GetId(p + id, id), false);
            map.insert(child.begin(), child.end());
        }
    }
    return map;
}

void NodeDatabase::ForEachTreeBlock(Bid bid, const std::function<void(Bid)>& visit) const {
    if (bid == 0) return;
    visit(bid);
    if (!(bid & kBidInternal)) return;
    Bytes block = ReadBlock(bid);
    std::size_t count = Get16(&block[2]);
    std::size_t id = traits_.idSize;
    if (block[0] == kBtypeData) {
        for (std::size_t i = 0; i < count; ++i) ForEachTreeBlock(GetId(&block[8 + i * id], id), visit);
    } else if (block[1] == 0) {
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* p = &block[traits_.sxHeader + i * traits_.slEntry];
            ForEachTreeBlock(GetId(p + id, id), visit);
            ForEachTreeBlock(GetId(p + 2 * id, id), visit);
        }
    } else {
        for (std::size_t i = 0; i < count; ++i)
            ForEachTreeBlock(GetId(&block[traits_.sxHeader + i * traits_.siEntry + id], id), visit);
    }
}

Bid NodeDatabase::WriteBlock(const std::uint8_t* data, std::size_t size, BlockKind kind) {
    if (size > traits_.maxBlockData) throw PstError("block of " + std::to_string(size) + " bytes is too large");
    Bid bid = header_.bidNextB;
    header_.bidNextB += 4;
    if (kind == BlockKind::Internal) bid |= kBidInternal;
    std::size_t total = std::size_t(AlignUp(size + traits_.blockTrailer, 64));
    std::uint64_t ib = amap_.Allocate(total, 64);
    if (!traits_.unicode && amap_.fileEof() > ansiLimit_)
        throw PstError("the ANSI personal folders file '" + file_->path() + "' has reached its 2 GB limit");
    // One buffer serves every block: blocks are written one at a time.
    if (scratch_.size() < total) scratch_.resize(total);
    std::uint8_t* buf = scratch_.data();
    if (kind == BlockKind::Data) EncodeDataInto(header_.cryptMethod, bid, data, buf, size);
    else if (size > 0) std::memcpy(buf, data, size);
    std::memset(buf + size, 0, total - size);
    std::uint8_t* t = &buf[total - traits_.blockTrailer];
    Put16(t, std::uint16_t(size));
    Put16(t + 2, ComputeSig(ib, bid));
    std::uint32_t crc = Crc32(buf, size);
    if (traits_.unicode) {
        Put32(t + 4, crc);
        Put64(t + 8, bid);
    } else {
        Put32(t + 4, std::uint32_t(bid));
        Put32(t + 8, crc);
    }
    file_->Write(ib, buf, total);
    bytesWritten_ += total;
    bbt_.Upsert(BbtEntry{bid, ib, std::uint16_t(size), 2});
    changed_ = true;
    return bid;
}

Bid NodeDatabase::WriteTreeAbove(const std::vector<Bid>& dataBlocks, const std::vector<std::uint32_t>& sizes,
                                 std::vector<Bid>* internal) {
    if (dataBlocks.empty()) return WriteBlock(nullptr, 0, BlockKind::Data);
    if (dataBlocks.size() == 1) return dataBlocks.front();
    std::uint64_t total = 0;
    for (std::uint32_t s : sizes) total += s;
    if (total > 0xFFFFFFFFull) throw PstError("a value larger than 4 GB cannot be stored");
    const std::size_t cap = traits_.XblockCapacity();
    auto xblock = [&](std::uint8_t level, const Bid* ids, std::size_t count, std::uint64_t bytes) {
        Bid bid = WriteXBlock(level, ids, count, bytes);
        if (internal) internal->push_back(bid);
        return bid;
    };
    if (dataBlocks.size() <= cap) return xblock(1, dataBlocks.data(), dataBlocks.size(), total);
    if (dataBlocks.size() > cap * cap) throw PstError("value too large for one node");
    std::vector<Bid> xblocks;
    for (std::size_t first = 0; first < dataBlocks.size(); first += cap) {
        std::size_t count = std::min(cap, dataBlocks.size() - first);
        std::uint64_t bytes = 0;
        for (std::size_t i = first; i < first + count; ++i) bytes += sizes[i];
        xblocks.push_back(xblock(1, &dataBlocks[first], count, bytes));
    }
    return xblock(2, xblocks.data(), xblocks.size(), total);
}

Bid NodeDatabase::WriteXBlock(std::uint8_t level, const Bid* ids, std::size_t count, std::uint64_t bytes) {
    Bytes b(8 + count * traits_.idSize, 0);
    b[0] = kBtypeData;
    b[1] = level;
    Put16(&b[2], std::uint16_t(count));
    Put32(&b[4], std::uint32_t(bytes));
    for (std::size_t i = 0; i < count; ++i) PutId(&b[8 + i * traits_.idSize], traits_.idSize, ids[i]);
    return WriteBlock(b, BlockKind::Internal);
}

void NodeDatabase::PutTreeBlock(DataTree& tree, std::size_t index, const std::uint8_t* data, std::size_t size) {
    const Bid bid = WriteBlock(data, size, BlockKind::Data);
    tree.changed.push_back(index);
    if (index < tree.bids.size()) {
        ReleaseBlock(tree.bids[index]);
        tree.bids[index] = bid;
        tree.sizes[index] = std::uint32_t(size);
    } else {
        if (index != tree.bids.size()) throw PstError("data tree grows by one block at a time");
        tree.bids.push_back(bid);
        tree.sizes.push_back(std::uint32_t(size));
    }
}

void NodeDatabase::UpdateTree(DataTree& tree) {
    const std::vector<std::size_t> changedBlocks = std::move(tree.changed);
    tree.changed.clear();
    const std::size_t n = tree.bids.size();
    const std::size_t cap = traits_.XblockCapacity();
    if (n == 0) throw PstError("a data tree needs a block");
    if (n == 1) {
        for (Bid b : tree.xblocks) ReleaseBlock(b);
        tree.xblocks.clear();
        if (tree.xxblock) ReleaseBlock(tree.xxblock);
        tree.xxblock = 0;
        tree.root = tree.bids.front();
        return;
    }
    if (n > cap * cap) throw PstError("value too large for one node");
    const std::size_t chunks = (n + cap - 1) / cap;
    bool changed = false;
    std::uint64_t total = 0;
    for (std::size_t c = 0; c < chunks; ++c) {
        const std::size_t first = c * cap, count = std::min(cap, n - first);
        std::uint64_t bytes = 0;
        for (std::size_t i = first; i < first + count; ++i) bytes += tree.sizes[i];
        total += bytes;
        const bool touched = std::any_of(changedBlocks.begin(), changedBlocks.end(),
                                         [&](std::size_t i) { return i >= first && i < first + count; });
        if (c < tree.xblocks.size() && !touched) continue;
        const Bid bid = WriteXBlock(1, &tree.bids[first], count, bytes);
        if (c < tree.xblocks.size()) {
            ReleaseBlock(tree.xblocks[c]);
            tree.xblocks[c] = bid;
        } else {
            tree.xblocks.push_back(bid);
        }
        changed = true;
    }
    for (std::size_t c = chunks; c < tree.xblocks.size(); ++c) ReleaseBlock(tree.xblocks[c]);
    tree.xblocks.resize(chunks);
    if (total > 0xFFFFFFFFull) throw PstError("a value larger than 4 GB cannot be stored");
    if (chunks == 1) {
        if (tree.xxblock) ReleaseBlock(tree.xxblock);
        tree.xxblock = 0;
        tree.root = tree.xblocks.front();
        return;
    }
    if (changed || !tree.xxblock) {
        if (tree.xxblock) ReleaseBlock(tree.xxblock);
        tree.xxblock = WriteXBlock(2, tree.xblocks.data(), tree.xblocks.size(), total);
    }
    tree.root = tree.xxblock;
}

void NodeDatabase::ReleaseDataTree(DataTree& tree) {
    for (Bid b : tree.bids) ReleaseBlock(b);
    for (Bid b : tree.xblocks) ReleaseBlock(b);
    if (tree.xxblock) ReleaseBlock(tree.xxblock);
    tree = DataTree{};
}

void NodeDatabase::ReleaseSubnodeBlocks(Bid bid) {
    if (bid == 0) return;
    Bytes block = ReadBlock(bid);
    if (block.size() >= 4 && block[0] == kBtypeSubnodes && block[1] == 1) {
        const std::size_t id = traits_.idSize;
        for (std::size_t i = 0; i < Get16(&block[2]); ++i)
            ReleaseSubnodeBlocks(GetId(&block[traits_.sxHeader + i * traits_.siEntry + id], id));
    }
    ReleaseBlock(bid);
}

Bid NodeDatabase::WriteData(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return WriteBlock(nullptr, 0, BlockKind::Data);
    std::vector<Bid> blocks;
    std::vector<std::uint32_t> sizes;
    for (std::size_t off = 0; off < size; off += traits_.maxBlockData) {
        std::size_t n = std::min(traits_.maxBlockData, size - off);
        blocks.push_back(WriteBlock(data + off, n, BlockKind::Data));
        sizes.push_back(std::uint32_t(n));
    }
    return WriteTreeAbove(blocks, sizes);
}

Bid NodeDatabase::WriteBlocksReusing(const std::vector<Bytes>& blocks, BlockCache& cache) {
    bool changed = cache.root == 0 || blocks.size() != cache.bids.size();
    std::vector<Bid> bids(blocks.size());
    std::vector<std::uint32_t> sizes(blocks.size());
    std::vector<std::uint64_t> hashes(blocks.size());
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        sizes[i] = std::uint32_t(blocks[i].size());
        hashes[i] = BlockHash(blocks[i]);
        if (i < cache.bids.size() && cache.hashes[i] == hashes[i]) {
            bids[i] = cache.bids[i];
            continue;
        }
        if (i < cache.bids.size()) ReleaseBlock(cache.bids[i]);
        bids[i] = WriteBlock(blocks[i], BlockKind::Data);
        changed = true;
    }
    for (std::size_t i = blocks.size(); i < cache.bids.size(); ++i) ReleaseBlock(cache.bids[i]);
    if (changed) {
        for (Bid b : cache.internal) ReleaseBlock(b);
        cache.internal.clear();
        cache.root = WriteTreeAbove(bids, sizes, &cache.internal);
    }
    cache.bids = std::move(bids);
    cache.hashes = std::move(hashes);
    return cache.root;
}

void NodeDatabase::ReleaseCached(BlockCache& cache) {
    for (Bid b : cache.bids) ReleaseBlock(b);
    for (Bid b : cache.internal) ReleaseBlock(b);
    cache = BlockCache{};
}

Bid NodeDatabase::WriteSubnodes(const SubnodeMap& subnodes) {
    if (subnodes.empty()) return 0;
    const std::size_t id = traits_.idSize;
    std::vector<std::pair<Nid, Bid>> leaves;
    std::vector<SubnodeEntry> all;
    for (const auto& [nid, e] : subnodes) all.push_back(e);
    const std::size_t cap = traits_.SlCapacity();
    for (std::size_t first = 0; first < all.size(); first += cap) {
        std::size_t count = std::min(cap, all.size() - first);
        Bytes b(traits_.sxHeader + count * traits_.slEntry, 0);
        b[0] = kBtypeSubnodes;
        b[1] = 0;
        Put16(&b[2], std::uint16_t(count));
        for (std::size_t i = 0; i < count; ++i) {
            std::uint8_t* p = &b[traits_.sxHeader + i * traits_.slEntry];
            PutId(p, id, all[first + i].nid);
            PutId(p + id, id, all[first + i].bidData);
            PutId(p + 2 * id, id, all[first + i].bidSub);
        }
        leaves.emplace_back(all[first].nid, WriteBlock(b, BlockKind::Internal));
    }
    if (leaves.size() == 1) return leaves.front().second;
    if (leaves.size() > traits_.SiCapacity()) throw PstError("too many subnodes in one node");
    Bytes b(traits_.sxHeader + leaves.size() * traits_.siEntry, 0);
    b[0] = kBtypeSubnodes;
    b[1] = 1;
    Put16(&b[2], std::uint16_t(leaves.size()));
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        std::uint8_t* p = &b[traits_.sxHeader + i * traits_.siEntry];
        PutId(p, id, leaves[i].first);
        PutId(p + id, id, leaves[i].second);
    }
    return WriteBlock(b, BlockKind::Internal);
}

void NodeDatabase::ReleaseBlock(Bid bid) {
    const std::optional<BbtEntry> found = FindBlock(bid);
    if (!found) return;
    BbtEntry entry = *found;
    if (entry.cRef > 2) {
        --entry.cRef;
        bbt_.Upsert(entry);
    } else {
        bbt_.Erase(entry.bid);
        amap_.Release(entry.ib, std::size_t(AlignUp(entry.cb + traits_.blockTrailer, 64)));
    }
    changed_ = true;
}

void NodeDatabase::ReleaseTree(Bid bid) {
    if (bid == 0) return;
    std::vector<Bid> blocks;
    ForEachTreeBlock(bid, [&](Bid b) { blocks.push_back(b); });
    for (Bid b : blocks) ReleaseBlock(b);
}

Nid NodeDatabase::AllocateNid(std::uint32_t type) {
    for (;;) {
        Nid nid = MakeNid(type, ++header_.rgnid[type]);
        changed_ = true;
        if (!nbt_.Find(nid)) return nid;
    }
}

void NodeDatabase::ReserveNid(Nid nid) {
    std::uint32_t type = NidTypeOf(nid);
    if (header_.rgnid[type] < NidIndexOf(nid)) header_.rgnid[type] = NidIndexOf(nid);
}

void NodeDatabase::PublishFreedSpace() {
    if (HasChanges()) Commit();
    MakeDurable();
    amap_.WriteMaps(*file_, header_.bidNextP);
    header_.cbAMapFree = amap_.freeBytes();
    Bytes raw = header_.Serialize();
    file_->Write(0, raw.data(), raw.size());
    headersWritten_ = ++headersMade_;
    if (syncOnCommit_) file_->Sync();
    else file_->Flush();
    HeadersDurableUpTo(headersWritten_);
}

void NodeDatabase::MakeDurable() {
    CollectWriteBehind(true);
    if (headersDurable_ == headersWritten_) return;
    file_->Sync();
    HeadersDurableUpTo(headersWritten_);
}

void NodeDatabase::HeadersDurableUpTo(std::uint64_t header) {
    headersDurable_ = header;
    amap_.HeaderDurable(header);
}

void NodeDatabase::CollectWriteBehind(bool wait) {
    if (!pendingHeader_.valid()) return;
    if (!wait && pendingHeader_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
    std::future<void> finished = std::move(pendingHeader_);
    finished.get();
    // Its sync came after the header before it was written, and it wrote the newest.
    headersWritten_ = headersMade_;
    // Only the counts: freed space is handed back at the next commit, so that
    // where blocks go never depends on how fast the second thread was.
    headersDurable_ = headersMade_ - 1;
}

void NodeDatabase::Commit() {
    if (!HasChanges()) return;
    // Headers reach the system in order: the one before this goes first.
    CollectWriteBehind(true);
    amap_.HeaderDurable(headersDurable_);
    PageSink sink{
        [this] {
            std::uint64_t ib = amap_.Allocate(kPageSize, kPageSize);
            Bid bid = header_.bidNextP++;
            return Bref{bid, ib};
        },
        [this](std::uint64_t ib, const std::uint8_t* page) {
            file_->Write(ib, page, kPageSize);
            bytesWritten_ += kPageSize;
        },
        [this](const Bref& old) { amap_.Release(old.ib, kPageSize); },
    };
    header_.nbt = nbt_.Commit(sink);
    header_.bbt = bbt_.Commit(sink);
    if (!traits_.unicode && amap_.fileEof() > ansiLimit_)
        throw PstError("the ANSI personal folders file '" + file_->path() + "' has reached its 2 GB limit");
    amap_.WriteMaps(*file_, header_.bidNextP);
    header_.ibFileEof = amap_.fileEof();
    header_.ibAMapLast = amap_.lastAMap();
    header_.cbAMapFree = amap_.freeBytes();
    header_.cbPMapFree = 0;
    header_.fAMapValid = 2;
    ++header_.dwUnique;
    file_->Extend(header_.ibFileEof);
    Bytes raw = header_.Serialize();
    if (syncOnCommit_ && writeBehind_) {
        pendingHeader_ = file_->SyncThenWriteBehind(0, std::move(raw));
        ++headersMade_;
    } else {
        if (syncOnCommit_) {
            file_->Sync();
            // The sync made the header before this one durable too.
            HeadersDurableUpTo(headersWritten_);
        }
        // No flush after the header: any header that reaches the disk points to flushed data,
        // and the next commit's (or Close's, or MakeDurable's) flush makes this one durable.
        file_->Write(0, raw.data(), raw.size());
        file_->Flush();
        headersWritten_ = ++headersMade_;
        if (!syncOnCommit_) headersDurable_ = headersWritten_;
    }
    amap_.CommitFinished(headersMade_);
    if (!syncOnCommit_) amap_.HeaderDurable(headersDurable_);
    changed_ = false;
}

}  // namespace qb::pst
