#pragma once
// An IMAPITable over rows held in memory: the profile, service and store
// tables of this folder, and the hierarchy, contents, recipient and
// attachment tables a store binding builds from its own data. Rows keep the
// order they were given in; sorting is not offered.

#include <vector>

#include "outlook/mapi/PropUtil.h"

namespace qb::mapi {

class MemoryTable final : public ComObject<IMAPITable> {
public:
    // defaultColumns are the columns before any SetColumns.
    static MapiPtr<IMAPITable> Create(std::vector<PropertyBag> rows, std::vector<ULONG> defaultColumns);

    HRESULT GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) override;
    HRESULT SetColumns(LPSPropTagArray lpPropTagArray, ULONG ulFlags) override;
    HRESULT QueryColumns(ULONG ulFlags, LPSPropTagArray* lpPropTagArray) override;
    HRESULT GetRowCount(ULONG ulFlags, ULONG* lpulCount) override;
    HRESULT SeekRow(BOOKMARK bkOrigin, LONG lRowCount, LONG* lplRowsSought) override;
    HRESULT QueryPosition(ULONG* lpulRow, ULONG* lpulNumerator, ULONG* lpulDenominator) override;
    HRESULT Restrict(LPSRestriction lpRestriction, ULONG ulFlags) override;
    HRESULT SortTable(LPSSortOrderSet lpSortCriteria, ULONG ulFlags) override;
    HRESULT QueryRows(LONG lRowCount, ULONG ulFlags, LPSRowSet* lppRows) override;

private:
    MemoryTable(std::vector<PropertyBag> rows, std::vector<ULONG> columns);
    void ApplyRestriction();
    HRESULT RowValues(const PropertyBag& row, SRow& out) const;

    std::vector<PropertyBag> rows_;
    std::vector<std::size_t> visible_;
    std::vector<ULONG> columns_;
    OwnedRestriction restriction_;
    bool restricted_ = false;
    std::size_t cursor_ = 0;
};

// A tag array in one MAPI buffer.
HRESULT MakeTagArray(const std::vector<ULONG>& tags, LPSPropTagArray* out);

}  // namespace qb::mapi
