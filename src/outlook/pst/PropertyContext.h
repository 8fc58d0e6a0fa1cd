#pragma once
// Property contexts (a node's properties in a BTree-on-heap, with large
// values in subnodes) and table contexts (rows of columns with a row index
// and a cell existence bitmap). Both read and written here.

#include <functional>
#include <map>

#include "outlook/pst/Heap.h"
#include "outlook/pst/NodeDatabase.h"
#include "outlook/pst/PropValue.h"
#include "outlook/pst/PropertyMap.h"

namespace qb::pst {

// Properties by property id; the value carries its type.
using Properties = PropertyMap;

const PropValue* FindProp(const Properties& props, std::uint32_t tag);

// What a context's large values need: the subnodes of its node, and (when
// writing) a source of fresh subnode ids.
struct LtpContext {
    NodeDatabase& db;
    SubnodeMap& subnodes;
    std::function<Nid()> newSubnodeId;
};

Properties ReadPropertyContext(const NodeDatabase& db, Bid bidData, const SubnodeMap& subnodes);
// Writes the context's heap pages; large values become subnodes (added to ctx.subnodes).
// Values already written as subnodes: property id -> (type, subnode id).
using PresetValues = std::map<std::uint16_t, std::pair<std::uint16_t, Nid>>;
Bid WritePropertyContext(LtpContext& ctx, const Properties& props, BlockCache* cache = nullptr,
                         const PresetValues* preset = nullptr);
// Compact serialisation of a property list (for rows kept in memory).
Bytes PackProperties(const Properties& props);
// The size PackProperties gives, without packing.
std::size_t PackedSize(const Properties& props);
Properties UnpackProperties(const Bytes& packed);

struct TableColumn {
    std::uint32_t tag = 0;
    std::uint16_t ib = 0;
    std::uint8_t cb = 0;
    std::uint8_t bit = 0;
};

struct TableRow {
    std::uint32_t rowId = 0;
    Properties values;
};

struct TableData {
    std::vector<TableColumn> columns;
    std::vector<TableRow> rows;
    std::size_t rowSize = 0;
};

inline constexpr std::uint32_t kTagLtpRowId = 0x67F20003;
inline constexpr std::uint32_t kTagLtpRowVer = 0x67F30003;
// The subnode that holds a table's row matrix when it is too large for the heap.
inline constexpr Nid kNidRowMatrix = MakeNid(kNidTypeLtp, 1);

// Where a table's rows keep their cells: 4- and 8-byte cells end at end4,
// 2-byte at end2, 1-byte at end1, then the cell existence bitmap.
struct TableGeometry {
    std::uint16_t end4 = 0, end2 = 0, end1 = 0, rowSize = 0;
};
TableGeometry TableGeometryOf(const std::vector<TableColumn>& columns);
// True when the column's cell holds a heap or subnode reference to its value.
bool IsReferenceCell(const TableColumn& column);
// The TCINFO allocation of a table (columns sorted by tag).
Bytes TableContextInfo(const std::vector<TableColumn>& columns, const TableGeometry& geometry, Hid hidRowIndex,
                       std::uint32_t hnidRows);

TableData ReadTableContext(const NodeDatabase& db, Bid bidData, const SubnodeMap& subnodes);
// Lays out columns (row id and version first) as the format orders them.
std::vector<TableColumn> LayoutColumns(const std::vector<std::uint32_t>& tags);
// Writes a table; rows keep their order. `cache` / `matrixCache` let a
// rewrite keep unchanged blocks of the heap and of the row matrix.
Bid WriteTableContext(LtpContext& ctx, const std::vector<TableColumn>& columns, const std::vector<TableRow>& rows,
                      BlockCache* cache = nullptr, BlockCache* matrixCache = nullptr);
// The same for rows kept packed (PackProperties), without unpacking them.
Bid WriteTableContextPacked(LtpContext& ctx, const std::vector<TableColumn>& columns,
                            const std::vector<std::pair<std::uint32_t, Bytes>>& rows, BlockCache* cache = nullptr,
                            BlockCache* matrixCache = nullptr);

}  // namespace qb::pst
