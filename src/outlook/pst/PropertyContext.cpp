#include "outlook/pst/PropertyContext.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace qb::pst {
namespace {
bool IsInline(std::uint16_t type) {
    std::size_t size = FixedSizeOf(type);
    return !IsMultiValued(type) && size > 0 && size <= 4;
}

bool IsHid(std::uint32_t hnid) { return (hnid & 0x1F) == 0; }

Bytes ReadHnid(const HeapReader& heap, const NodeDatabase& db, const SubnodeMap& subnodes, std::uint32_t hnid) {
    if (IsHid(hnid)) {
        auto span = heap.Get(hnid);
        return Bytes(span.begin(), span.end());
    }
    auto it = subnodes.find(hnid);
    if (it == subnodes.end()) throw PstError("value subnode " + HexId(hnid) + " is missing");
    return db.ReadData(it->second.bidData);
}

// Stores a variable-size value in the heap, or in a subnode when large.
std::uint32_t StoreValue(LtpContext& ctx, HeapBuilder& heap, const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    if (size <= kMaxHeapAllocation) return heap.Allocate(data, size);
    Nid nid = ctx.newSubnodeId();
    ctx.subnodes[nid] = SubnodeEntry{nid, ctx.db.WriteData(data, size), 0};
    return nid;
}

std::uint32_t StoreValue(LtpContext& ctx, HeapBuilder& heap, const Bytes& bytes) {
    return StoreValue(ctx, heap, bytes.data(), bytes.size());
}

std::vector<Bytes> HeapPages(const NodeDatabase& db, Bid bid, std::uint8_t client) {
    std::vector<Bytes> pages = db.ReadDataBlocks(bid);
    return pages;
    (void)client;
}
}  // namespace

const PropValue* FindProp(const Properties& props, std::uint32_t tag) {
    auto it = props.find(TagId(tag));
    if (it == props.end()) return nullptr;
    if (TagType(tag) != kPtUnspecified && it->second.type != TagType(tag)) {
        // Strings match in either width.
        std::uint16_t a = it->second.type & ~kPtMvFlag, b = TagType(tag) & ~kPtMvFlag;
        bool strings = (a == kPtUnicode || a == kPtString8) && (b == kPtUnicode || b == kPtString8) &&
                       IsMultiValued(it->second.type) == IsMultiValued(TagType(tag));
        if (!strings) return nullptr;
    }
    return &it->second;
}

Properties ReadPropertyContext(const NodeDatabase& db, Bid bidData, const SubnodeMap& subnodes) {
    HeapReader heap(HeapPages(db, bidData, kHeapClientPc));
    if (heap.clientSig() != kHeapClientPc) throw PstError("node is not a property context");
    std::size_t keySize = 0, dataSize = 0;
    std::vector<BthRecord> records = ReadBth(heap, heap.userRoot(), &keySize, &dataSize);
    if (keySize != 2 || dataSize != 6) throw PstError("property context with a bad record size");
    Properties props;
    for (const BthRecord& r : records) {
        std::uint16_t id = Get16(r.key.data());
        std::uint16_t type = Get16(r.data.data());
        std::uint32_t hnid = Get32(&r.data[2]);
        if (IsInline(type)) {
            props[id] = PropValue::Decode(type, r.data.data() + 2, FixedSizeOf(type));
        } else {
            Bytes bytes = ReadHnid(heap, db, subnodes, hnid);
            props[id] = PropValue::Decode(type, bytes.data(), bytes.size());
        }
    }
    return props;
}

std::size_t PackedSize(const Properties& props) {
    std::size_t size = 0;
    for (const auto& [id, v] : props) size += 8 + v.EncodedSize();
    return size;
}

Bytes PackProperties(const Properties& props) {
    Bytes out;
    out.reserve(PackedSize(props));
    for (const auto& [id, v] : props) {
        Append16(out, id);
        Append16(out, v.type);
        Append32(out, std::uint32_t(v.EncodedSize()));
        if (v.EncodesAsData()) {
            out.insert(out.end(), v.data.begin(), v.data.end());
        } else {
            Bytes value = v.Encode();
            out.insert(out.end(), value.begin(), value.end());
        }
    }
    return out;
}

Properties UnpackProperties(const Bytes& packed) {
    Properties props;
    for (std::size_t off = 0; off + 8 <= packed.size();) {
        std::uint16_t id = Get16(&packed[off]);
        std::uint16_t type = Get16(&packed[off + 2]);
        std::uint32_t size = Get32(&packed[off + 4]);
        props[id] = PropValue::Decode(type, &packed[off + 8], size);
        off += 8 + size;
    }
    return props;
}

Bid WritePropertyContext(LtpContext& ctx, const Properties& props, BlockCache* cache, const PresetValues* preset) {
    HeapBuilder heap(kHeapClientPc, ctx.db.traits().maxBlockData);
    // The BTH's records as they are stored: key (property id), type, value or heap id.
    using Record = std::array<std::uint8_t, 8>;
    std::vector<Record> records;
    records.reserve(props.size() + (preset ? preset->size() : 0));
    if (preset) {
        for (const auto& [id, value] : *preset) {
            if (props.count(id)) continue;
            Record& r = records.emplace_back();
            Put16(&r[0], id);
            Put16(&r[2], value.first);
            Put32(&r[4], value.second);
        }
    }
    for (const auto& [id, value] : props) {
        Record& r = records.emplace_back();
        r.fill(0);
        Put16(&r[0], id);
        Put16(&r[2], value.type);
        if (IsInline(value.type)) {
            std::copy_n(value.data.begin(), std::min<std::size_t>(value.data.size(), 4), &r[4]);
        } else {
            Put32(&r[4], value.EncodesAsData() ? StoreValue(ctx, heap, value.data.data(), value.data.size()) : StoreValue(ctx, heap, value.Encode()));
        }
    }
    // Ids are distinct: a preset id that props carry was left out above.
    std::sort(records.begin(), records.end(),
              [](const Record& a, const Record& b) { return Get16(&a[0]) < Get16(&b[0]); });
    Bytes flat(records.size() * sizeof(Record));
    if (!records.empty()) std::memcpy(flat.data(), records.data(), flat.size());
    heap.SetUserRoot(BuildBthFlat(heap, 2, 6, flat));
    std::vector<Bytes> pages = heap.Build();
    if (cache) return ctx.db.WriteBlocksReusing(pages, *cache);
    std::vector<Bid> bids;
    std::vector<std::uint32_t> sizes;
    for (const Bytes& p : pages) {
        bids.push_back(ctx.db.WriteBlock(p, BlockKind::Data));
        sizes.push_back(std::uint32_t(p.size()));
    }
    return ctx.db.WriteTreeAbove(bids, sizes);
}

// ---- tables

namespace {
constexpr std::size_t kTcInfoHeader = 22;

std::uint8_t CellSize(std::uint16_t type) {
    if (IsMultiValued(type)) return 4;
    std::size_t fixed = FixedSizeOf(type);
    if (fixed == 0 || fixed > 8) return 4;
    return std::uint8_t(fixed);
}
}  // namespace

namespace {
std::vector<TableColumn> LayOut(const std::vector<std::uint32_t>& tags) {
    std::vector<std::uint32_t> order{kTagLtpRowId, kTagLtpRowVer};
    for (std::uint32_t t : tags)
        if (t != kTagLtpRowId && t != kTagLtpRowVer) order.push_back(t);
    std::vector<TableColumn> cols;
    std::uint16_t ib = 0;
    for (int group : {48, 2, 1}) {
        for (std::uint32_t t : order) {
            std::uint8_t cb = CellSize(TagType(t));
            bool in = group == 48 ? (cb == 4 || cb == 8) : cb == group;
            if (!in) continue;
            cols.push_back(TableColumn{t, ib, cb, 0});
            ib = std::uint16_t(ib + cb);
        }
    }
    for (std::size_t i = 0; i < cols.size(); ++i) cols[i].bit = std::uint8_t(i);
    return cols;
}
}  // namespace

std::vector<TableColumn> LayoutColumns(const std::vector<std::uint32_t>& tags) {
    // Every message lays out its recipient and attachment tables, nearly
    // always with the columns of the messages before: the last few layouts
    // are kept per thread and handed out again for the same tags.
    struct Layout {
        std::vector<std::uint32_t> tags;
        std::vector<TableColumn> columns;
        bool set = false;
    };
    thread_local std::array<Layout, 4> recent;
    thread_local std::size_t replace = 0;
    for (const Layout& l : recent)
        if (l.set && l.tags == tags) return l.columns;
    Layout& l = recent[replace];
    replace = (replace + 1) % recent.size();
    l.columns = LayOut(tags);
    l.tags = tags;
    l.set = true;
    return l.columns;
}

TableGeometry TableGeometryOf(const std::vector<TableColumn>& columns) {
    TableGeometry g;
    for (const TableColumn& c : columns) {
        std::uint16_t e = std::uint16_t(c.ib + c.cb);
        if (c.cb >= 4) g.end4 = std::max(g.end4, e);
        else if (c.cb == 2) g.end2 = std::max(g.end2, e);
        else g.end1 = std::max(g.end1, e);
    }
    g.end2 = std::max(g.end2, g.end4);
    g.end1 = std::max(g.end1, g.end2);
    g.rowSize = std::uint16_t(g.end1 + (columns.size() + 7) / 8);
    return g;
}

bool IsReferenceCell(const TableColumn& c) {
    const std::uint16_t type = TagType(c.tag);
    return c.cb == 4 && (FixedSizeOf(type) == 0 || FixedSizeOf(type) > 8 || IsMultiValued(type));
}

Bytes TableContextInfo(const std::vector<TableColumn>& columns, const TableGeometry& g, Hid hidRowIndex,
                       std::uint32_t hnidRows) {
    Bytes info(kTcInfoHeader + 8 * columns.size(), 0);
    info[0] = kHeapClientTc;
    info[1] = std::uint8_t(columns.size());
    Put16(&info[2], g.end4);
    Put16(&info[4], g.end2);
    Put16(&info[6], g.end1);
    Put16(&info[8], g.rowSize);
    Put32(&info[10], hidRowIndex);
    Put32(&info[14], hnidRows);
    std::vector<TableColumn> sorted = columns;
    std::sort(sorted.begin(), sorted.end(), [](const TableColumn& a, const TableColumn& b) { return a.tag < b.tag; });
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        std::uint8_t* p = &info[kTcInfoHeader + 8 * i];
        Put32(p, sorted[i].tag);
        Put16(p + 4, sorted[i].ib);
        p[6] = sorted[i].cb;
        p[7] = sorted[i].bit;
    }
    return info;
}

TableData ReadTableContext(const NodeDatabase& db, Bid bidData, const SubnodeMap& subnodes) {
    HeapReader heap(db.ReadDataBlocks(bidData));
    if (heap.clientSig() != kHeapClientTc) throw PstError("node is not a table context");
    auto info = heap.Get(heap.userRoot());
    if (info.size() < kTcInfoHeader || info[0] != kHeapClientTc) throw PstError("table context header is damaged");
    std::size_t cCols = info[1];
    if (info.size() < kTcInfoHeader + 8 * cCols) throw PstError("table context header is truncated");
    TableData table;
    std::uint16_t ib1b = Get16(&info[6]);
    table.rowSize = Get16(&info[8]);
    if (table.rowSize == 0 || ib1b >= table.rowSize) throw PstError("table context with a bad row size");
    Hid hidRowIndex = Get32(&info[10]);
    std::uint32_t hnidRows = Get32(&info[14]);
    for (std::size_t i = 0; i < cCols; ++i) {
        const std::uint8_t* p = &info[kTcInfoHeader + 8 * i];
        TableColumn c{Get32(p), Get16(p + 4), p[6], p[7]};
        if (c.ib + c.cb > table.rowSize || ib1b + c.bit / 8u >= table.rowSize)
            throw PstError("table column outside the row");
        table.columns.push_back(c);
    }
    std::vector<BthRecord> index = ReadBth(heap, hidRowIndex);
    if (hnidRows == 0 || index.empty()) return table;
    // Row matrix: blocks of whole rows.
    std::vector<std::span<const std::uint8_t>> rows;
    std::vector<Bytes> blocks;
    if (IsHid(hnidRows)) {
        auto span = heap.Get(hnidRows);
        for (std::size_t off = 0; off + table.rowSize <= span.size(); off += table.rowSize)
            rows.push_back(span.subspan(off, table.rowSize));
    } else {
        auto it = subnodes.find(hnidRows);
        if (it == subnodes.end()) throw PstError("table row matrix subnode is missing");
        blocks = db.ReadDataBlocks(it->second.bidData);
        for (const Bytes& b : blocks)
            for (std::size_t off = 0; off + table.rowSize <= b.size(); off += table.rowSize)
                rows.push_back(std::span<const std::uint8_t>(b.data() + off, table.rowSize));
    }
    std::vector<std::pair<std::size_t, std::uint32_t>> order;
    for (const BthRecord& r : index) {
        std::size_t rowIndex = r.data.size() >= 4 ? Get32(r.data.data()) : Get16(r.data.data());
        order.emplace_back(rowIndex, Get32(r.key.data()));
    }
    std::sort(order.begin(), order.end());
    for (const auto& [rowIndex, rowId] : order) {
        if (rowIndex >= rows.size()) throw PstError("table row index points past the row matrix");
        auto row = rows[rowIndex];
        TableRow out;
        out.rowId = rowId;
        const std::uint8_t* ceb = row.data() + ib1b;
        for (const TableColumn& c : table.columns) {
            if (!(ceb[c.bit / 8] & (0x80 >> (c.bit % 8)))) continue;
            std::uint16_t type = TagType(c.tag);
            if (IsReferenceCell(c)) {
                Bytes bytes = ReadHnid(heap, db, subnodes, Get32(row.data() + c.ib));
                out.values[TagId(c.tag)] = PropValue::Decode(type, bytes.data(), bytes.size());
            } else {
                out.values[TagId(c.tag)] = PropValue::Decode(type, row.data() + c.ib, std::min<std::size_t>(c.cb, FixedSizeOf(type)));
            }
        }
        table.rows.push_back(std::move(out));
    }
    return table;
}

namespace {

// The rows of a table being written, as the writer reads them: a row's id,
// and for each column the cell's bytes when the row has a value of the
// column's type. Rows kept as Properties and rows kept packed give the same
// cells, so both are written by one loop.
class PropertiesRows {
public:
    explicit PropertiesRows(const std::vector<TableRow>& rows) : rows_(rows) {}
    std::size_t size() const { return rows_.size(); }
    std::uint32_t rowId(std::size_t r) const { return rows_[r].rowId; }
    void Begin(std::size_t r) { row_ = &rows_[r].values; }
    bool Cell(std::size_t, const TableColumn& c, const std::uint8_t*& value, std::size_t& size) {
        auto it = row_->find(TagId(c.tag));
        if (it == row_->end() || it->second.type != TagType(c.tag)) return false;
        const PropValue& v = it->second;
        if (v.EncodesAsData()) {
            value = v.data.data();
            size = v.data.size();
        } else {
            encoded_ = v.Encode();  // used before the next cell is asked for
            value = encoded_.data();
            size = encoded_.size();
        }
        return true;
    }

private:
    const std::vector<TableRow>& rows_;
    const Properties* row_ = nullptr;
    Bytes encoded_;
};

class PackedRows {
public:
    PackedRows(const std::vector<TableColumn>& columns, const std::vector<std::pair<std::uint32_t, Bytes>>& rows)
        : rows_(rows), cellOf_(columns.size()) {
        // Columns by property id, to pair them with a row's cells (also by id) in one pass.
        for (std::size_t i = 0; i < columns.size(); ++i) columnIds_.emplace_back(TagId(columns[i].tag), i);
        std::sort(columnIds_.begin(), columnIds_.end());
    }
    std::size_t size() const { return rows_.size(); }
    std::uint32_t rowId(std::size_t r) const { return rows_[r].first; }
    void Begin(std::size_t r) {
        packed_ = &rows_[r].second;
        const Bytes& packed = *packed_;
        cells_.clear();
        for (std::size_t off = 0; off + 8 <= packed.size();) {
            PackedCell c{Get16(&packed[off]), Get16(&packed[off + 2]), off + 8, Get32(&packed[off + 4])};
            if (c.offset + c.size > packed.size()) throw PstError("packed row is damaged");
            cells_.push_back(c);
            off = c.offset + c.size;
        }
        // Packed rows list properties by id; the first cell of an id counts, as a search from the front would find.
        auto byId = [](const PackedCell& a, const PackedCell& b) { return a.id < b.id; };
        if (!std::is_sorted(cells_.begin(), cells_.end(), byId)) std::stable_sort(cells_.begin(), cells_.end(), byId);
        std::fill(cellOf_.begin(), cellOf_.end(), nullptr);
        for (std::size_t ci = 0, k = 0; ci < columnIds_.size(); ++ci) {
            while (k < cells_.size() && cells_[k].id < columnIds_[ci].first) ++k;
            if (k < cells_.size() && cells_[k].id == columnIds_[ci].first) cellOf_[columnIds_[ci].second] = &cells_[k];
        }
    }
    bool Cell(std::size_t ci, const TableColumn& c, const std::uint8_t*& value, std::size_t& size) const {
        const PackedCell* it = cellOf_[ci];
        if (!it || it->type != TagType(c.tag)) return false;
        value = packed_->data() + it->offset;
        size = it->size;
        return true;
    }

private:
    struct PackedCell {
        std::uint16_t id, type;
        std::size_t offset, size;
    };
    const std::vector<std::pair<std::uint32_t, Bytes>>& rows_;
    std::vector<std::pair<std::uint16_t, std::size_t>> columnIds_;
    std::vector<PackedCell> cells_;
    std::vector<const PackedCell*> cellOf_;
    const Bytes* packed_ = nullptr;
};

template <class Rows>
Bid WriteTable(LtpContext& ctx, const std::vector<TableColumn>& columns, Rows& rows, BlockCache* cache,
               BlockCache* matrixCache) {
    const FormatTraits& traits = ctx.db.traits();
    HeapBuilder heap(kHeapClientTc, traits.maxBlockData);
    const TableGeometry geometry = TableGeometryOf(columns);
    const std::uint16_t end1 = geometry.end1, rowSize = geometry.rowSize;
    Bytes info = TableContextInfo(columns, geometry, 0, 0);
    Hid infoHid = heap.Allocate(info);
    heap.SetUserRoot(infoHid);

    // The row matrix is built in the blocks it is written as (whole rows per
    // block), so that a large table needs no second copy of it.
    const std::size_t rowCount = rows.size();
    const std::size_t perBlock = traits.maxBlockData / rowSize;
    std::vector<Bytes> blocks;
    for (std::size_t first = 0; first < rowCount; first += perBlock)
        blocks.emplace_back(std::min(perBlock, rowCount - first) * rowSize, 0);
    const std::size_t matrixSize = rowCount * rowSize;
    for (std::size_t r = 0; r < rowCount; ++r) {
        rows.Begin(r);
        std::uint8_t* row = &blocks[r / perBlock][(r % perBlock) * rowSize];
        std::uint8_t* ceb = row + end1;
        for (std::size_t ci = 0; ci < columns.size(); ++ci) {
            const TableColumn& c = columns[ci];
            std::uint8_t idValue[4];
            const std::uint8_t* value = nullptr;
            std::size_t size = 0;
            if (c.tag == kTagLtpRowId) {
                Put32(idValue, rows.rowId(r));
                value = idValue;
                size = 4;
            } else if (!rows.Cell(ci, c, value, size)) {
                continue;
            }
            ceb[c.bit / 8] |= std::uint8_t(0x80 >> (c.bit % 8));
            if (IsReferenceCell(c)) {
                Put32(row + c.ib, StoreValue(ctx, heap, value, size));
            } else {
                std::copy_n(value, std::min<std::size_t>(size, c.cb), row + c.ib);
            }
        }
    }
    std::uint32_t hnidRows = 0;
    if (rowCount != 0) {
        if (matrixSize <= kMaxHeapAllocation) {
            // Small enough for the heap, and then within the first block.
            hnidRows = heap.Allocate(blocks.front());
            if (matrixCache && matrixCache->root) ctx.db.ReleaseCached(*matrixCache);
        } else {
            Nid nid = kNidRowMatrix;
            Bid bid;
            if (matrixCache) {
                bid = ctx.db.WriteBlocksReusing(blocks, *matrixCache);
            } else {
                std::vector<Bid> bids;
                std::vector<std::uint32_t> sizes;
                for (const Bytes& b : blocks) {
                    bids.push_back(ctx.db.WriteBlock(b, BlockKind::Data));
                    sizes.push_back(std::uint32_t(b.size()));
                }
                bid = ctx.db.WriteTreeAbove(bids, sizes);
            }
            ctx.subnodes[nid] = SubnodeEntry{nid, bid, 0};
            hnidRows = nid;
        }
    } else if (matrixCache && matrixCache->root) {
        ctx.db.ReleaseCached(*matrixCache);
    }
    // Row index: row id -> position, sorted by row id.
    const std::size_t indexData = traits.unicode ? 4 : 2;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> order(rowCount);
    bool inOrder = true;
    for (std::size_t r = 0; r < rowCount; ++r) {
        order[r] = {rows.rowId(r), std::uint32_t(r)};
        if (r > 0 && order[r].first < order[r - 1].first) inOrder = false;
    }
    if (!inOrder) std::sort(order.begin(), order.end());
    Bytes index(rowCount * (4 + indexData));
    for (std::size_t r = 0; r < order.size(); ++r) {
        std::uint8_t* p = &index[r * (4 + indexData)];
        Put32(p, order[r].first);
        if (indexData == 4) Put32(p + 4, order[r].second);
        else Put16(p + 4, std::uint16_t(order[r].second));
    }
    Hid indexHid = BuildBthFlat(heap, 4, indexData, index);
    std::uint8_t* patched = heap.Mutable(infoHid);
    Put32(patched + 10, indexHid);
    Put32(patched + 14, hnidRows);
    std::vector<Bytes> pages = heap.Build();
    if (cache) return ctx.db.WriteBlocksReusing(pages, *cache);
    std::vector<Bid> bids;
    std::vector<std::uint32_t> sizes;
    for (const Bytes& p : pages) {
        bids.push_back(ctx.db.WriteBlock(p, BlockKind::Data));
        sizes.push_back(std::uint32_t(p.size()));
    }
    return ctx.db.WriteTreeAbove(bids, sizes);
}

}  // namespace

Bid WriteTableContext(LtpContext& ctx, const std::vector<TableColumn>& columns, const std::vector<TableRow>& rows,
                      BlockCache* cache, BlockCache* matrixCache) {
    PropertiesRows source(rows);
    return WriteTable(ctx, columns, source, cache, matrixCache);
}

Bid WriteTableContextPacked(LtpContext& ctx, const std::vector<TableColumn>& columns,
                            const std::vector<std::pair<std::uint32_t, Bytes>>& rows, BlockCache* cache,
                            BlockCache* matrixCache) {
    PackedRows source(columns, rows);
    return WriteTable(ctx, columns, source, cache, matrixCache);
}

}  // namespace qb::pst
