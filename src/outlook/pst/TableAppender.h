#pragma once
// TableAppender: a table context that grows at its end. Adding a row writes
// its cells into the row matrix's last block and its variable-size values
// into the heap's last page; a flush rewrites those, heap page 0 (the table
// header and the open right edge of the row index) and the internal blocks
// above them, never the rows written before. A folder's contents table thus
// costs the same per message whether it holds ten messages or a million,
// and the writer keeps only the open blocks in memory.
//
// Layout it keeps (any reader of table contexts reads it as usual):
// - heap page 0: TCINFO, the row index's BTH header, the row matrix while it
//   fits a heap allocation, and the open nodes of the row index from leaf to
//   root; it is rebuilt at every flush;
// - heap pages 1..n: variable-size cells and the full nodes of the row
//   index; only the last one changes;
// - the row matrix, once larger than a heap allocation, in subnode
//   kNidRowMatrix as blocks of whole rows; values larger than a heap
//   allocation in subnodes of their own.
// Row ids must grow (the row index is appended to); a caller with a smaller
// one rebuilds the table (PstStore does).

#include <cstdint>
#include <limits>
#include <vector>

#include "outlook/pst/NodeDatabase.h"
#include "outlook/pst/PropertyContext.h"

namespace qb::pst {

class TableAppender {
public:
    TableAppender(NodeDatabase& db, std::vector<TableColumn> columns);
    TableAppender(const TableAppender&) = delete;
    TableAppender& operator=(const TableAppender&) = delete;

    const std::vector<TableColumn>& columns() const { return columns_; }
    std::size_t rowCount() const { return rows_; }
    bool dirty() const { return dirty_; }
    // False when `rowId` does not sort after the rows already added.
    bool CanAppend(std::uint32_t rowId) const { return rows_ == 0 || rowId > lastRowId_; }
    // Adds a row; values whose type differs from their column's are left out.
    // A value in `overrides` (when given) goes before one of the same id in
    // `values`, so that a caller adds or replaces cells without copying the rest.
    void Append(std::uint32_t rowId, const Properties& values, const Properties* overrides = nullptr);
    // Writes what changed since the last flush and puts the table's node.
    void Flush(Nid nid);
    // Releases every block the table was written as (the node is rebuilt or goes).
    void Release();

private:
    static constexpr std::size_t kNodeBytes = 1024;  // of a row-index node; page 0 holds the open ones
    static constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();

    Hid AllocateData(const std::uint8_t* data, std::size_t size);
    std::uint32_t StoreCell(const std::uint8_t* data, std::size_t size);
    void ClosePage();
    void AddIndexRecord(std::size_t level, const std::uint8_t* record, std::size_t size);
    void AppendMatrixRow(const Bytes& row);
    Bytes BuildPageZero();

    NodeDatabase& db_;
    std::vector<TableColumn> columns_;
    TableGeometry geometry_;
    std::size_t indexData_;     // bytes of a row index record's value (row number)
    std::size_t rowsPerBlock_;
    std::size_t rows_ = 0;
    std::uint32_t lastRowId_ = 0;
    bool dirty_ = true;

    // Row matrix: `tail_` holds the rows of block `tailIndex_` (every row while small).
    Bytes tail_;
    std::size_t tailIndex_ = 0;
    bool tailDirty_ = false;
    bool matrixInSubnode_ = false;
    DataTree matrix_;

    // Heap: page 0 is built at each flush; page `openIndex_` takes new allocations.
    DataTree heap_;
    Bytes openData_;
    std::vector<std::uint16_t> openSizes_;
    std::size_t openIndex_ = 1;
    bool openDirty_ = false;
    std::vector<std::uint8_t> fill_;  // fill level of each closed page

    // Row index: spine_[0] holds the open leaf's records, spine_[k] the
    // closed children of the open node at level k.
    std::vector<Bytes> spine_;

    SubnodeMap subnodes_;
    std::uint32_t nextSubnode_ = 1;
    Bid subBid_ = 0;
    bool subDirty_ = false;
};

}  // namespace qb::pst
