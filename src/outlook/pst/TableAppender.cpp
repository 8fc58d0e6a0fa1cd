// TableAppender: a table context written at its growing end (see the header).

#include "outlook/pst/TableAppender.h"

#include <algorithm>

namespace qb::pst {

namespace {
constexpr std::uint8_t kBthSignature = 0xB5;
constexpr Hid PageZeroHid(std::size_t allocation) { return Hid(allocation << 5); }

const PropValue* FindById(const Properties& props, std::uint16_t id) {
    const auto it = props.find(id);
    return it == props.end() ? nullptr : &it->second;
}
}  // namespace

TableAppender::TableAppender(NodeDatabase& db, std::vector<TableColumn> columns)
    : db_(db),
      columns_(std::move(columns)),
      geometry_(TableGeometryOf(columns_)),
      indexData_(db.traits().unicode ? 4 : 2),
      rowsPerBlock_(db.traits().maxBlockData / std::max<std::size_t>(geometry_.rowSize, 1)) {
    if (geometry_.rowSize == 0 || rowsPerBlock_ == 0) throw PstError("table row of a bad size");
    spine_.emplace_back();
    fill_.push_back(0);
}

void TableAppender::Append(std::uint32_t rowId, const Properties& values, const Properties* overrides) {
    if (!CanAppend(rowId)) throw PstError("table rows must be added in ascending row id order");
    if (indexData_ == 2 && rows_ >= 0xFFFF) throw PstError("a table of an ANSI file holds at most 65535 rows");
    Bytes row(geometry_.rowSize, 0);
    std::uint8_t* ceb = row.data() + geometry_.end1;
    for (const TableColumn& c : columns_) {
        if (c.tag == kTagLtpRowId) {
            Put32(row.data() + c.ib, rowId);
        } else {
            const PropValue* found = overrides ? FindById(*overrides, TagId(c.tag)) : nullptr;
            if (!found) found = FindById(values, TagId(c.tag));
            if (!found || found->type != TagType(c.tag)) continue;
            const PropValue& v = *found;
            if (IsReferenceCell(c)) {
                if (v.EncodesAsData()) {
                    Put32(row.data() + c.ib, StoreCell(v.data.data(), v.data.size()));
                } else {
                    const Bytes encoded = v.Encode();
                    Put32(row.data() + c.ib, StoreCell(encoded.data(), encoded.size()));
                }
            } else {
                std::copy_n(v.data.begin(), std::min<std::size_t>(v.data.size(), c.cb), row.data() + c.ib);
            }
        }
        ceb[c.bit / 8] |= std::uint8_t(0x80 >> (c.bit % 8));
    }
    std::uint8_t record[8];
    Put32(record, rowId);
    if (indexData_ == 4) Put32(record + 4, std::uint32_t(rows_));
    else Put16(record + 4, std::uint16_t(rows_));
    AddIndexRecord(0, record, 4 + indexData_);
    AppendMatrixRow(row);
    ++rows_;
    lastRowId_ = rowId;
    dirty_ = true;
}

std::uint32_t TableAppender::StoreCell(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    if (size <= kMaxHeapAllocation) return AllocateData(data, size);
    const Nid nid = MakeNid(kNidTypeLtp, ++nextSubnode_);
    subnodes_[nid] = SubnodeEntry{nid, db_.WriteData(data, size), 0};
    subDirty_ = true;
    return nid;
}

Hid TableAppender::AllocateData(const std::uint8_t* data, std::size_t size) {
    const std::size_t maxPage = db_.traits().maxBlockData;
    if (HeapPageFree(openIndex_, openData_.size(), openSizes_.size(), maxPage) < size + 2 || openSizes_.size() >= 2047)
        ClosePage();
    if (openIndex_ > 0xFFFF) throw PstError("table heap is full");
    if (openData_.capacity() < maxPage) openData_.reserve(maxPage);
    openData_.insert(openData_.end(), data, data + size);
    openSizes_.push_back(std::uint16_t(size));
    openDirty_ = true;
    return Hid((openIndex_ << 16) | (openSizes_.size() << 5));
}

// The open page is full: written for the last time, it never changes again.
void TableAppender::ClosePage() {
    if (openSizes_.empty()) return;
    if (heap_.bids.empty()) {
        const Bytes pageZero = BuildPageZero();  // a placeholder, rewritten by the next flush
        db_.PutTreeBlock(heap_, 0, pageZero.data(), pageZero.size());
    }
    fill_.resize(openIndex_ + 1, 0);
    fill_[openIndex_] =
        HeapFillLevel(HeapPageFree(openIndex_, openData_.size(), openSizes_.size(), db_.traits().maxBlockData));
    const Bytes page = SerializeHeapPage(openIndex_, openData_, openSizes_, std::span(fill_).subspan(openIndex_), 0, 0);
    db_.PutTreeBlock(heap_, openIndex_, page.data(), page.size());
    ++openIndex_;
    openData_.clear();
    openSizes_.clear();
    openDirty_ = false;
}

// Level 0 takes a row's record; a higher level takes the record of a full
// node of the level below. A node that is full moves from page 0 into the
// data pages, and its record goes one level up.
void TableAppender::AddIndexRecord(std::size_t level, const std::uint8_t* record, std::size_t size) {
    if (level == spine_.size()) spine_.emplace_back();
    const std::size_t nodeBytes = kNodeBytes / size * size;
    if (level == 0) {
        if (spine_[0].size() + size > nodeBytes) {
            std::uint8_t up[8];
            std::copy_n(spine_[0].data(), 4, up);
            Put32(up + 4, AllocateData(spine_[0].data(), spine_[0].size()));
            spine_[0].clear();
            AddIndexRecord(1, up, 8);
        }
        spine_[0].insert(spine_[0].end(), record, record + size);
        return;
    }
    spine_[level].insert(spine_[level].end(), record, record + size);
    // An open node keeps room for the record of its open child.
    if (spine_[level].size() + size > nodeBytes) {
        std::uint8_t up[8];
        std::copy_n(spine_[level].data(), 4, up);
        Put32(up + 4, AllocateData(spine_[level].data(), spine_[level].size()));
        spine_[level].clear();
        AddIndexRecord(level + 1, up, 8);
    }
}

void TableAppender::AppendMatrixRow(const Bytes& row) {
    if (!matrixInSubnode_ && tail_.size() + row.size() > kMaxHeapAllocation) matrixInSubnode_ = true;
    if (matrixInSubnode_ && tail_.size() / geometry_.rowSize == rowsPerBlock_) {
        db_.PutTreeBlock(matrix_, tailIndex_, tail_.data(), tail_.size());
        ++tailIndex_;
        tail_.clear();
    }
    tail_.insert(tail_.end(), row.begin(), row.end());
    tailDirty_ = true;
}

// Page 0: TCINFO, the row index's header, the small row matrix, then the
// open index nodes from the leaf up to the root.
Bytes TableAppender::BuildPageZero() {
    std::vector<Bytes> allocations;
    allocations.reserve(3 + spine_.size());
    allocations.emplace_back();  // TCINFO, filled below
    allocations.emplace_back();  // BTH header
    std::uint32_t hnidRows = 0;
    if (rows_ > 0 && !matrixInSubnode_) {
        allocations.push_back(tail_);
        hnidRows = PageZeroHid(allocations.size());
    } else if (rows_ > 0) {
        hnidRows = kNidRowMatrix;
    }
    Hid root = 0;
    std::uint8_t levels = 0;
    if (rows_ > 0) {
        allocations.push_back(spine_[0]);
        root = PageZeroHid(allocations.size());
        for (std::size_t level = 1; level < spine_.size(); ++level) {
            Bytes node = spine_[level];
            const Bytes& child = allocations.back();
            node.insert(node.end(), child.begin(), child.begin() + 4);
            Append32(node, root);
            allocations.push_back(std::move(node));
            root = PageZeroHid(allocations.size());
        }
        levels = std::uint8_t(spine_.size() - 1);
    }
    Bytes& header = allocations[1];
    header.assign(8, 0);
    header[0] = kBthSignature;
    header[1] = 4;
    header[2] = std::uint8_t(indexData_);
    header[3] = levels;
    Put32(&header[4], root);
    allocations[0] = TableContextInfo(columns_, geometry_, PageZeroHid(2), hnidRows);

    Bytes data;
    std::vector<std::uint16_t> sizes;
    for (const Bytes& a : allocations) {
        if (a.size() > kMaxHeapAllocation) throw PstError("table header allocation is too large");
        data.insert(data.end(), a.begin(), a.end());
        sizes.push_back(std::uint16_t(a.size()));
    }
    const std::size_t maxPage = db_.traits().maxBlockData;
    if (HeapPageFree(0, data.size(), sizes.size(), maxPage) == 0) throw PstError("table header page overflows");
    std::vector<std::uint8_t> fill(fill_.begin(), fill_.end());
    fill.resize(std::max(fill.size(), openIndex_ + 1), 0);
    fill[0] = HeapFillLevel(HeapPageFree(0, data.size(), sizes.size(), maxPage));
    if (!openSizes_.empty())
        fill[openIndex_] = HeapFillLevel(HeapPageFree(openIndex_, openData_.size(), openSizes_.size(), maxPage));
    return SerializeHeapPage(0, data, sizes, fill, kHeapClientTc, PageZeroHid(1));
}

void TableAppender::Flush(Nid nid) {
    if (!dirty_) return;
    if (matrixInSubnode_) {
        if (tailDirty_ && !tail_.empty()) db_.PutTreeBlock(matrix_, tailIndex_, tail_.data(), tail_.size());
        if (!matrix_.changed.empty()) {
            db_.UpdateTree(matrix_);
            subnodes_[kNidRowMatrix] = SubnodeEntry{kNidRowMatrix, matrix_.root, 0};
            subDirty_ = true;
        }
    }
    tailDirty_ = false;
    const Bytes pageZero = BuildPageZero();
    db_.PutTreeBlock(heap_, 0, pageZero.data(), pageZero.size());
    if (openDirty_ && !openSizes_.empty()) {
        const Bytes page = SerializeHeapPage(openIndex_, openData_, openSizes_, {}, 0, 0);
        db_.PutTreeBlock(heap_, openIndex_, page.data(), page.size());
    }
    openDirty_ = false;
    db_.UpdateTree(heap_);
    if (subDirty_) {
        db_.ReleaseSubnodeBlocks(subBid_);
        subBid_ = subnodes_.empty() ? 0 : db_.WriteSubnodes(subnodes_);
        subDirty_ = false;
    }
    db_.PutNode(NbtEntry{nid, heap_.root, subBid_, 0});
    dirty_ = false;
}

void TableAppender::Release() {
    db_.ReleaseDataTree(heap_);
    db_.ReleaseDataTree(matrix_);
    for (const auto& [nid, entry] : subnodes_)
        if (nid != kNidRowMatrix) db_.ReleaseTree(entry.bidData);
    db_.ReleaseSubnodeBlocks(subBid_);
    subnodes_.clear();
    subBid_ = 0;
    nextSubnode_ = 1;
    subDirty_ = false;
    tail_.clear();
    tailIndex_ = 0;
    tailDirty_ = false;
    matrixInSubnode_ = false;
    openData_.clear();
    openSizes_.clear();
    openIndex_ = 1;
    openDirty_ = false;
    fill_.assign(1, 0);
    spine_.assign(1, Bytes());
    rows_ = 0;
    lastRowId_ = 0;
    dirty_ = true;
}

}  // namespace qb::pst
