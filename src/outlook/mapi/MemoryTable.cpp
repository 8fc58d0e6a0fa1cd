#include "outlook/mapi/MemoryTable.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace qb::mapi {

HRESULT MakeTagArray(const std::vector<ULONG>& tags, LPSPropTagArray* out) {
    if (!out) return MAPI_E_INVALID_PARAMETER;
    *out = nullptr;
    LPVOID block = nullptr;
    const SCODE sc = MAPIAllocateBuffer(static_cast<ULONG>(CbNewSPropTagArray(tags.size())), &block);
    if (FAILED(sc)) return sc;
    auto* array = static_cast<LPSPropTagArray>(block);
    array->cValues = static_cast<ULONG>(tags.size());
    if (!tags.empty()) std::memcpy(array->aulPropTag, tags.data(), tags.size() * sizeof(ULONG));
    *out = array;
    return S_OK;
}

MapiPtr<IMAPITable> MemoryTable::Create(std::vector<PropertyBag> rows, std::vector<ULONG> defaultColumns) {
    return MapiPtr<IMAPITable>(new MemoryTable(std::move(rows), std::move(defaultColumns)));
}

MemoryTable::MemoryTable(std::vector<PropertyBag> rows, std::vector<ULONG> columns)
    : rows_(std::move(rows)), columns_(std::move(columns)) {
    ApplyRestriction();
}

void MemoryTable::ApplyRestriction() {
    visible_.clear();
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (restricted_) {
            ULONG count = 0;
            LPSPropValue values = nullptr;
            rows_[i].GetProps(nullptr, &count, &values);
            MapiBuffer<SPropValue> holder(values);
            if (!restriction_.get() || !RestrictionMatches(*restriction_.get(), values, count)) continue;
        }
        visible_.push_back(i);
    }
    cursor_ = 0;
}

HRESULT MemoryTable::GetLastError(HRESULT hResult, ULONG, LPMAPIERROR* lppMAPIError) {
    char text[64];
    std::snprintf(text, sizeof text, "Table operation failed (0x%08X)", static_cast<unsigned>(hResult));
    return MakeMapiError(text, "MAPI table", static_cast<ULONG>(hResult), lppMAPIError);
}

HRESULT MemoryTable::SetColumns(LPSPropTagArray lpPropTagArray, ULONG) {
    if (!lpPropTagArray) return MAPI_E_INVALID_PARAMETER;
    columns_.assign(lpPropTagArray->aulPropTag, lpPropTagArray->aulPropTag + lpPropTagArray->cValues);
    return S_OK;
}

HRESULT MemoryTable::QueryColumns(ULONG ulFlags, LPSPropTagArray* lpPropTagArray) {
    if (!(ulFlags & TBL_ALL_COLUMNS)) return MakeTagArray(columns_, lpPropTagArray);
    std::vector<ULONG> all;
    for (const auto& row : rows_)
        for (ULONG tag : row.Tags())
            if (std::find(all.begin(), all.end(), tag) == all.end()) all.push_back(tag);
    return MakeTagArray(all, lpPropTagArray);
}

HRESULT MemoryTable::GetRowCount(ULONG, ULONG* lpulCount) {
    if (!lpulCount) return MAPI_E_INVALID_PARAMETER;
    *lpulCount = static_cast<ULONG>(visible_.size());
    return S_OK;
}

HRESULT MemoryTable::SeekRow(BOOKMARK bkOrigin, LONG lRowCount, LONG* lplRowsSought) {
    long long origin = 0;
    switch (bkOrigin) {
        case BOOKMARK_BEGINNING: origin = 0; break;
        case BOOKMARK_CURRENT: origin = static_cast<long long>(cursor_); break;
        case BOOKMARK_END: origin = static_cast<long long>(visible_.size()); break;
        default: return MAPI_E_INVALID_BOOKMARK;
    }
    const long long target = std::clamp<long long>(origin + lRowCount, 0, static_cast<long long>(visible_.size()));
    cursor_ = static_cast<std::size_t>(target);
    if (lplRowsSought) *lplRowsSought = static_cast<LONG>(target - origin);
    return S_OK;
}

HRESULT MemoryTable::QueryPosition(ULONG* lpulRow, ULONG* lpulNumerator, ULONG* lpulDenominator) {
    if (!lpulRow || !lpulNumerator || !lpulDenominator) return MAPI_E_INVALID_PARAMETER;
    *lpulRow = static_cast<ULONG>(cursor_);
    *lpulNumerator = static_cast<ULONG>(cursor_);
    *lpulDenominator = static_cast<ULONG>(std::max<std::size_t>(visible_.size(), 1));
    return S_OK;
}

HRESULT MemoryTable::Restrict(LPSRestriction lpRestriction, ULONG) {
    if (!lpRestriction) {
        restricted_ = false;
        restriction_ = OwnedRestriction();
        ApplyRestriction();
        return S_OK;
    }
    const HRESULT hr = CheckRestriction(*lpRestriction);
    if (FAILED(hr)) return hr;
    restriction_ = OwnedRestriction(*lpRestriction);
    if (!restriction_.get()) return MAPI_E_NOT_ENOUGH_MEMORY;
    restricted_ = true;
    ApplyRestriction();
    return S_OK;
}

HRESULT MemoryTable::SortTable(LPSSortOrderSet lpSortCriteria, ULONG) {
    if (!lpSortCriteria || lpSortCriteria->cSorts == 0) return S_OK;
    return MAPI_E_NO_SUPPORT;
}

HRESULT MemoryTable::RowValues(const PropertyBag& row, SRow& out) const {
    LPSPropTagArray tags = nullptr;
    HRESULT hr = MakeTagArray(columns_, &tags);
    if (FAILED(hr)) return hr;
    MapiBuffer<SPropTagArray> holder(tags);
    ULONG count = 0;
    hr = row.GetProps(tags, &count, &out.lpProps);
    if (FAILED(hr)) return hr;
    out.cValues = count;
    return S_OK;
}

HRESULT MemoryTable::QueryRows(LONG lRowCount, ULONG ulFlags, LPSRowSet* lppRows) {
    if (!lppRows) return MAPI_E_INVALID_PARAMETER;
    *lppRows = nullptr;
    std::size_t first = cursor_, last = cursor_;
    if (lRowCount >= 0) {
        last = std::min(visible_.size(), cursor_ + static_cast<std::size_t>(lRowCount));
    } else {
        const std::size_t back = static_cast<std::size_t>(-static_cast<long long>(lRowCount));
        first = cursor_ > back ? cursor_ - back : 0;
    }
    const std::size_t n = last - first;
    LPVOID block = nullptr;
    SCODE sc = MAPIAllocateBuffer(static_cast<ULONG>(CbNewSRowSet(std::max<std::size_t>(n, 1))), &block);
    if (FAILED(sc)) return sc;
    auto* set = static_cast<LPSRowSet>(block);
    set->cRows = 0;
    for (std::size_t i = 0; i < n; ++i) {
        SRow& row = set->aRow[i];
        row = SRow{0, 0, nullptr};
        const HRESULT hr = RowValues(rows_[visible_[first + i]], row);
        if (FAILED(hr)) {
            FreeProws(set);
            return hr;
        }
        set->cRows = static_cast<ULONG>(i + 1);
    }
    if (!(ulFlags & TBL_NOADVANCE)) cursor_ = lRowCount >= 0 ? last : first;
    *lppRows = set;
    return S_OK;
}

}  // namespace qb::mapi
