#include "outlook/mapi/PropUtil.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "outlook/mapi/MapiText.h"

namespace {

template <class T>
SCODE CopyArray(const T* source, ULONG count, T** dest, LPALLOCATEMORE allocMore, LPVOID object) {
    *dest = nullptr;
    if (count == 0 || !source) return S_OK;
    LPVOID block = nullptr;
    const SCODE sc = allocMore(static_cast<ULONG>(sizeof(T) * count), object, &block);
    if (FAILED(sc)) return sc;
    std::memcpy(block, source, sizeof(T) * count);
    *dest = static_cast<T*>(block);
    return S_OK;
}

SCODE CopyWide(LPCWSTR source, LPWSTR* dest, LPALLOCATEMORE allocMore, LPVOID object) {
    *dest = nullptr;
    if (!source) return S_OK;
    return CopyArray(source, static_cast<ULONG>(std::wcslen(source) + 1), dest, allocMore, object);
}

SCODE CopyBinary(const SBinary& source, SBinary& dest, LPALLOCATEMORE allocMore, LPVOID object) {
    dest.cb = source.cb;
    return CopyArray(source.lpb, source.cb, &dest.lpb, allocMore, object);
}

std::u32string Folded(std::string_view utf8) {
    const std::wstring wide = qb::mapi::Utf8ToWide(utf8);
    std::u32string out;
    out.reserve(wide.size());
    for (wchar_t w : wide) {
        char32_t c = static_cast<char32_t>(w);
        if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) c += 32;
        out.push_back(c);
    }
    return out;
}

bool IsStringType(ULONG type) { return type == PT_STRING8 || type == PT_UNICODE; }

std::string StringOf(const SPropValue& v) {
    if (PROP_TYPE(v.ulPropTag) == PT_UNICODE) return v.Value.lpszW ? qb::mapi::WideToUtf8(v.Value.lpszW) : "";
    return v.Value.lpszA ? v.Value.lpszA : "";
}

const SPropValue* FindValue(const SPropValue* values, ULONG count, ULONG tag) {
    for (ULONG i = 0; i < count; ++i) {
        if (PROP_ID(values[i].ulPropTag) != PROP_ID(tag)) continue;
        const ULONG have = PROP_TYPE(values[i].ulPropTag), want = PROP_TYPE(tag);
        if (have == want || want == PT_UNSPECIFIED || (IsStringType(have) && IsStringType(want)))
            return &values[i];
    }
    return nullptr;
}

template <class T>
int Order(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Compares two values of one type; nullopt when they cannot be compared.
std::optional<int> CompareValues(const SPropValue& a, const SPropValue& b, bool ignoreCase) {
    const ULONG ta = PROP_TYPE(a.ulPropTag), tb = PROP_TYPE(b.ulPropTag);
    if (IsStringType(ta) && IsStringType(tb)) {
        const std::string x = StringOf(a), y = StringOf(b);
        if (!ignoreCase) return x.compare(y) < 0 ? -1 : (x == y ? 0 : 1);
        const std::u32string fx = Folded(x), fy = Folded(y);
        return fx.compare(fy) < 0 ? -1 : (fx == fy ? 0 : 1);
    }
    if (ta != tb) return std::nullopt;
    switch (ta) {
        case PT_I2: return Order(a.Value.i, b.Value.i);
        case PT_LONG: return Order(a.Value.l, b.Value.l);
        case PT_BOOLEAN: return Order(a.Value.b != 0, b.Value.b != 0);
        case PT_R4: return Order(a.Value.flt, b.Value.flt);
        case PT_DOUBLE:
        case PT_APPTIME: return Order(a.Value.dbl, b.Value.dbl);
        case PT_I8:
        case PT_CURRENCY: return Order(a.Value.li.QuadPart, b.Value.li.QuadPart);
        case PT_SYSTIME: {
            const ULONGLONG x = (ULONGLONG(a.Value.ft.dwHighDateTime) << 32) | a.Value.ft.dwLowDateTime;
            const ULONGLONG y = (ULONGLONG(b.Value.ft.dwHighDateTime) << 32) | b.Value.ft.dwLowDateTime;
            return Order(x, y);
        }
        case PT_BINARY: {
            const ULONG n = std::min(a.Value.bin.cb, b.Value.bin.cb);
            const int c = n ? std::memcmp(a.Value.bin.lpb, b.Value.bin.lpb, n) : 0;
            if (c != 0) return c < 0 ? -1 : 1;
            return Order(a.Value.bin.cb, b.Value.bin.cb);
        }
        case PT_CLSID: {
            const int c = std::memcmp(a.Value.lpguid, b.Value.lpguid, sizeof(GUID));
            return c < 0 ? -1 : (c > 0 ? 1 : 0);
        }
        default: return std::nullopt;
    }
}

bool RelopHolds(ULONG relop, int order) {
    switch (relop) {
        case RELOP_LT: return order < 0;
        case RELOP_LE: return order <= 0;
        case RELOP_GT: return order > 0;
        case RELOP_GE: return order >= 0;
        case RELOP_EQ: return order == 0;
        case RELOP_NE: return order != 0;
        default: return false;
    }
}

bool ContentMatches(const SContentRestriction& r, const SPropValue* values, ULONG count) {
    if (!r.lpProp) return false;
    const SPropValue* have = FindValue(values, count, r.ulPropTag);
    if (!have) return false;
    const bool ignoreCase = (r.ulFuzzyLevel & FL_IGNORECASE) != 0;
    const ULONG mode = r.ulFuzzyLevel & 0xFFFF;
    std::u32string text, pattern;
    if (IsStringType(PROP_TYPE(have->ulPropTag)) && IsStringType(PROP_TYPE(r.lpProp->ulPropTag))) {
        if (ignoreCase) {
            text = Folded(StringOf(*have));
            pattern = Folded(StringOf(*r.lpProp));
        } else {
            const std::wstring a = qb::mapi::Utf8ToWide(StringOf(*have)), b = qb::mapi::Utf8ToWide(StringOf(*r.lpProp));
            text.assign(a.begin(), a.end());
            pattern.assign(b.begin(), b.end());
        }
    } else if (PROP_TYPE(have->ulPropTag) == PT_BINARY && PROP_TYPE(r.lpProp->ulPropTag) == PT_BINARY) {
        text.assign(have->Value.bin.lpb, have->Value.bin.lpb + have->Value.bin.cb);
        pattern.assign(r.lpProp->Value.bin.lpb, r.lpProp->Value.bin.lpb + r.lpProp->Value.bin.cb);
    } else {
        return false;
    }
    switch (mode) {
        case FL_FULLSTRING: return text == pattern;
        case FL_SUBSTRING: return text.find(pattern) != std::u32string::npos;
        case FL_PREFIX: return text.compare(0, pattern.size(), pattern) == 0;
        default: return false;
    }
}

SCODE CopyRestriction(const SRestriction& source, SRestriction& dest, LPVOID root);

SCODE CopyRestrictionArray(ULONG count, const SRestriction* source, LPSRestriction& dest, LPVOID root) {
    dest = nullptr;
    if (count == 0) return S_OK;
    LPVOID block = nullptr;
    SCODE sc = MAPIAllocateMore(static_cast<ULONG>(sizeof(SRestriction) * count), root, &block);
    if (FAILED(sc)) return sc;
    dest = static_cast<LPSRestriction>(block);
    for (ULONG i = 0; i < count && SUCCEEDED(sc); ++i) sc = CopyRestriction(source[i], dest[i], root);
    return sc;
}

SCODE CopyOneValue(const SPropValue* source, LPSPropValue& dest, LPVOID root) {
    dest = nullptr;
    if (!source) return S_OK;
    LPVOID block = nullptr;
    SCODE sc = MAPIAllocateMore(sizeof(SPropValue), root, &block);
    if (FAILED(sc)) return sc;
    dest = static_cast<LPSPropValue>(block);
    return PropCopyMore(dest, const_cast<LPSPropValue>(source), MAPIAllocateMore, root);
}

SCODE CopyRestriction(const SRestriction& source, SRestriction& dest, LPVOID root) {
    dest = source;
    switch (source.rt) {
        case RES_AND:
            return CopyRestrictionArray(source.res.resAnd.cRes, source.res.resAnd.lpRes, dest.res.resAnd.lpRes, root);
        case RES_OR:
            return CopyRestrictionArray(source.res.resOr.cRes, source.res.resOr.lpRes, dest.res.resOr.lpRes, root);
        case RES_NOT:
            return CopyRestrictionArray(source.res.resNot.lpRes ? 1 : 0, source.res.resNot.lpRes,
                                        dest.res.resNot.lpRes, root);
        case RES_CONTENT: return CopyOneValue(source.res.resContent.lpProp, dest.res.resContent.lpProp, root);
        case RES_PROPERTY: return CopyOneValue(source.res.resProperty.lpProp, dest.res.resProperty.lpProp, root);
        case RES_SUBRESTRICTION:
            return CopyRestrictionArray(source.res.resSub.lpRes ? 1 : 0, source.res.resSub.lpRes,
                                        dest.res.resSub.lpRes, root);
        case RES_COMMENT: {
            SCODE sc = CopyRestrictionArray(source.res.resComment.lpRes ? 1 : 0, source.res.resComment.lpRes,
                                            dest.res.resComment.lpRes, root);
            if (FAILED(sc)) return sc;
            dest.res.resComment.lpProp = nullptr;
            dest.res.resComment.cValues = 0;
            return S_OK;
        }
        default: return S_OK;
    }
}

}  // namespace

SCODE PropCopyMore(LPSPropValue dest, LPSPropValue src, LPALLOCATEMORE allocMore, LPVOID object) {
    if (!dest || !src || !allocMore) return MAPI_E_INVALID_PARAMETER;
    *dest = *src;
    const ULONG type = PROP_TYPE(src->ulPropTag);
    switch (type & ~MV_INSTANCE) {
        case PT_STRING8: return CopyArray(src->Value.lpszA, src->Value.lpszA ? ULONG(std::strlen(src->Value.lpszA) + 1) : 0, &dest->Value.lpszA, allocMore, object);
        case PT_UNICODE: return CopyWide(src->Value.lpszW, &dest->Value.lpszW, allocMore, object);
        case PT_BINARY: return CopyBinary(src->Value.bin, dest->Value.bin, allocMore, object);
        case PT_CLSID: return CopyArray(src->Value.lpguid, src->Value.lpguid ? 1u : 0u, &dest->Value.lpguid, allocMore, object);
        case PT_MV_I2: return CopyArray(src->Value.MVi.lpi, src->Value.MVi.cValues, &dest->Value.MVi.lpi, allocMore, object);
        case PT_MV_LONG: return CopyArray(src->Value.MVl.lpl, src->Value.MVl.cValues, &dest->Value.MVl.lpl, allocMore, object);
        case PT_MV_R4: return CopyArray(src->Value.MVflt.lpflt, src->Value.MVflt.cValues, &dest->Value.MVflt.lpflt, allocMore, object);
        case PT_MV_DOUBLE:
        case PT_MV_APPTIME: return CopyArray(src->Value.MVdbl.lpdbl, src->Value.MVdbl.cValues, &dest->Value.MVdbl.lpdbl, allocMore, object);
        case PT_MV_CURRENCY: return CopyArray(src->Value.MVcur.lpcur, src->Value.MVcur.cValues, &dest->Value.MVcur.lpcur, allocMore, object);
        case PT_MV_SYSTIME: return CopyArray(src->Value.MVft.lpft, src->Value.MVft.cValues, &dest->Value.MVft.lpft, allocMore, object);
        case PT_MV_I8: return CopyArray(src->Value.MVli.lpli, src->Value.MVli.cValues, &dest->Value.MVli.lpli, allocMore, object);
        case PT_MV_CLSID: return CopyArray(src->Value.MVguid.lpguid, src->Value.MVguid.cValues, &dest->Value.MVguid.lpguid, allocMore, object);
        case PT_MV_STRING8: {
            SCODE sc = CopyArray(src->Value.MVszA.lppszA, src->Value.MVszA.cValues, &dest->Value.MVszA.lppszA, allocMore, object);
            for (ULONG i = 0; SUCCEEDED(sc) && i < src->Value.MVszA.cValues; ++i) {
                LPCSTR s = src->Value.MVszA.lppszA[i];
                sc = CopyArray(s, s ? ULONG(std::strlen(s) + 1) : 0, &dest->Value.MVszA.lppszA[i], allocMore, object);
            }
            return sc;
        }
        case PT_MV_UNICODE: {
            SCODE sc = CopyArray(src->Value.MVszW.lppszW, src->Value.MVszW.cValues, &dest->Value.MVszW.lppszW, allocMore, object);
            for (ULONG i = 0; SUCCEEDED(sc) && i < src->Value.MVszW.cValues; ++i)
                sc = CopyWide(src->Value.MVszW.lppszW[i], &dest->Value.MVszW.lppszW[i], allocMore, object);
            return sc;
        }
        case PT_MV_BINARY: {
            SCODE sc = CopyArray(src->Value.MVbin.lpbin, src->Value.MVbin.cValues, &dest->Value.MVbin.lpbin, allocMore, object);
            for (ULONG i = 0; SUCCEEDED(sc) && i < src->Value.MVbin.cValues; ++i)
                sc = CopyBinary(src->Value.MVbin.lpbin[i], dest->Value.MVbin.lpbin[i], allocMore, object);
            return sc;
        }
        default: return S_OK;
    }
}

HRESULT HrGetOneProp(LPMAPIPROP lpMAPIProp, ULONG ulPropTag, LPSPropValue* lppProp) {
    if (!lpMAPIProp || !lppProp) return MAPI_E_INVALID_PARAMETER;
    *lppProp = nullptr;
    SizedSPropTagArray(1, tags) = {1, {ulPropTag}};
    ULONG count = 0;
    HRESULT hr = lpMAPIProp->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, lppProp);
    if (hr == MAPI_W_ERRORS_RETURNED) {
        MAPIFreeBuffer(*lppProp);
        *lppProp = nullptr;
        return MAPI_E_NOT_FOUND;
    }
    if (SUCCEEDED(hr) && (count != 1 || !*lppProp || PROP_TYPE((*lppProp)->ulPropTag) == PT_ERROR)) {
        const HRESULT error = (count == 1 && *lppProp && (*lppProp)->Value.err) ? (*lppProp)->Value.err
                                                                                : MAPI_E_NOT_FOUND;
        MAPIFreeBuffer(*lppProp);
        *lppProp = nullptr;
        return error;
    }
    return hr;
}

HRESULT HrSetOneProp(LPMAPIPROP lpMAPIProp, LPSPropValue lpProp) {
    if (!lpMAPIProp || !lpProp) return MAPI_E_INVALID_PARAMETER;
    LPSPropProblemArray problems = nullptr;
    HRESULT hr = lpMAPIProp->SetProps(1, lpProp, &problems);
    if (SUCCEEDED(hr) && problems && problems->cProblem > 0) hr = problems->aProblem[0].scode;
    MAPIFreeBuffer(problems);
    return hr;
}

LPSPropValue PpropFindProp(LPSPropValue lpPropArray, ULONG cValues, ULONG ulPropTag) {
    if (!lpPropArray) return nullptr;
    for (ULONG i = 0; i < cValues; ++i) {
        if (PROP_ID(lpPropArray[i].ulPropTag) != PROP_ID(ulPropTag)) continue;
        if (PROP_TYPE(ulPropTag) == PT_UNSPECIFIED || lpPropArray[i].ulPropTag == ulPropTag) return &lpPropArray[i];
    }
    return nullptr;
}

HRESULT HrQueryAllRows(LPMAPITABLE lpTable, LPSPropTagArray lpPropTags, LPSRestriction lpRestriction,
                       LPSSortOrderSet lpSortOrderSet, LONG crowsMax, LPSRowSet* lppRows) {
    if (!lpTable || !lppRows) return MAPI_E_INVALID_PARAMETER;
    *lppRows = nullptr;
    HRESULT hr = S_OK;
    if (lpPropTags && FAILED(hr = lpTable->SetColumns(lpPropTags, TBL_BATCH))) return hr;
    if (lpRestriction && FAILED(hr = lpTable->Restrict(lpRestriction, TBL_BATCH))) return hr;
    if (lpSortOrderSet && FAILED(hr = lpTable->SortTable(lpSortOrderSet, TBL_BATCH))) return hr;
    if (FAILED(hr = lpTable->SeekRow(BOOKMARK_BEGINNING, 0, nullptr))) return hr;
    if (crowsMax > 0) {
        ULONG total = 0;
        if (FAILED(hr = lpTable->GetRowCount(0, &total))) return hr;
        if (total > static_cast<ULONG>(crowsMax)) return MAPI_E_TABLE_TOO_BIG;
    }
    return lpTable->QueryRows(0x7FFFFFFF, 0, lppRows);
}

namespace qb::mapi {

HRESULT MakeMapiError(std::string_view text, std::string_view component, ULONG lowLevelError,
                      LPMAPIERROR* lppMAPIError) {
    if (!lppMAPIError) return MAPI_E_INVALID_PARAMETER;
    *lppMAPIError = nullptr;
    LPVOID block = nullptr;
    SCODE sc = MAPIAllocateBuffer(sizeof(MAPIERROR), &block);
    if (FAILED(sc)) return sc;
    auto* error = static_cast<LPMAPIERROR>(block);
    *error = MAPIERROR{MAPI_ERROR_VERSION, nullptr, nullptr, lowLevelError, 0};
    for (auto [source, target] : {std::pair{text, &error->lpszError}, std::pair{component, &error->lpszComponent}}) {
        LPVOID s = nullptr;
        sc = MAPIAllocateMore(static_cast<ULONG>(source.size() + 1), error, &s);
        if (FAILED(sc)) {
            MAPIFreeBuffer(error);
            return sc;
        }
        std::memcpy(s, source.data(), source.size());
        static_cast<char*>(s)[source.size()] = '\0';
        *target = static_cast<LPTSTR>(s);
    }
    *lppMAPIError = error;
    return S_OK;
}

HRESULT CopyPropArray(const SPropValue* values, ULONG count, LPSPropValue* out) {
    if (!out) return MAPI_E_INVALID_PARAMETER;
    *out = nullptr;
    LPVOID block = nullptr;
    SCODE sc = MAPIAllocateBuffer(static_cast<ULONG>(sizeof(SPropValue) * std::max<ULONG>(count, 1)), &block);
    if (FAILED(sc)) return sc;
    auto* array = static_cast<LPSPropValue>(block);
    for (ULONG i = 0; i < count; ++i) {
        sc = PropCopyMore(&array[i], const_cast<LPSPropValue>(&values[i]), MAPIAllocateMore, array);
        if (FAILED(sc)) {
            MAPIFreeBuffer(array);
            return sc;
        }
    }
    *out = array;
    return S_OK;
}

bool RestrictionMatches(const SRestriction& r, const SPropValue* values, ULONG count) {
    switch (r.rt) {
        case RES_AND:
            for (ULONG i = 0; i < r.res.resAnd.cRes; ++i)
                if (!RestrictionMatches(r.res.resAnd.lpRes[i], values, count)) return false;
            return true;
        case RES_OR:
            for (ULONG i = 0; i < r.res.resOr.cRes; ++i)
                if (RestrictionMatches(r.res.resOr.lpRes[i], values, count)) return true;
            return false;
        case RES_NOT: return r.res.resNot.lpRes && !RestrictionMatches(*r.res.resNot.lpRes, values, count);
        case RES_CONTENT: return ContentMatches(r.res.resContent, values, count);
        case RES_PROPERTY: {
            const SPropertyRestriction& p = r.res.resProperty;
            if (!p.lpProp) return false;
            const SPropValue* have = FindValue(values, count, p.ulPropTag);
            if (!have) return false;
            const auto order = CompareValues(*have, *p.lpProp, true);
            return order && RelopHolds(p.relop, *order);
        }
        case RES_COMPAREPROPS: {
            const SComparePropsRestriction& c = r.res.resCompareProps;
            const SPropValue* a = FindValue(values, count, c.ulPropTag1);
            const SPropValue* b = FindValue(values, count, c.ulPropTag2);
            if (!a || !b) return false;
            const auto order = CompareValues(*a, *b, true);
            return order && RelopHolds(c.relop, *order);
        }
        case RES_BITMASK: {
            const SPropValue* have = FindValue(values, count, r.res.resBitMask.ulPropTag);
            if (!have || PROP_TYPE(have->ulPropTag) != PT_LONG) return false;
            const bool zero = (have->Value.ul & r.res.resBitMask.ulMask) == 0;
            return r.res.resBitMask.relBMR == BMR_EQZ ? zero : !zero;
        }
        case RES_EXIST: return FindValue(values, count, r.res.resExist.ulPropTag) != nullptr;
        case RES_COMMENT:
            return !r.res.resComment.lpRes || RestrictionMatches(*r.res.resComment.lpRes, values, count);
        default: return false;
    }
}

HRESULT CheckRestriction(const SRestriction& r) {
    switch (r.rt) {
        case RES_AND:
        case RES_OR: {
            const ULONG n = r.rt == RES_AND ? r.res.resAnd.cRes : r.res.resOr.cRes;
            const SRestriction* list = r.rt == RES_AND ? r.res.resAnd.lpRes : r.res.resOr.lpRes;
            if (n && !list) return MAPI_E_INVALID_PARAMETER;
            for (ULONG i = 0; i < n; ++i) {
                const HRESULT hr = CheckRestriction(list[i]);
                if (FAILED(hr)) return hr;
            }
            return S_OK;
        }
        case RES_NOT: return r.res.resNot.lpRes ? CheckRestriction(*r.res.resNot.lpRes) : MAPI_E_INVALID_PARAMETER;
        case RES_CONTENT: return r.res.resContent.lpProp ? S_OK : MAPI_E_INVALID_PARAMETER;
        case RES_PROPERTY: return r.res.resProperty.lpProp ? S_OK : MAPI_E_INVALID_PARAMETER;
        case RES_COMPAREPROPS:
        case RES_BITMASK:
        case RES_EXIST: return S_OK;
        case RES_COMMENT: return r.res.resComment.lpRes ? CheckRestriction(*r.res.resComment.lpRes) : S_OK;
        default: return MAPI_E_TOO_COMPLEX;
    }
}

OwnedRestriction::OwnedRestriction(const SRestriction& source) {
    LPVOID block = nullptr;
    if (FAILED(MAPIAllocateBuffer(sizeof(SRestriction), &block))) return;
    buffer_ = MapiBuffer<SRestriction>(static_cast<LPSRestriction>(block));
    if (FAILED(CopyRestriction(source, *buffer_, buffer_.get()))) buffer_.Reset();
}

namespace {

// A copy of one value in one MAPI buffer, a string's or binary's bytes right
// after the value: those are most of a bag's values, and each would
// otherwise take a buffer of its own. Other types go through CopyPropArray.
HRESULT CopyValue(const SPropValue& value, LPSPropValue* out) {
    const void* bytes = nullptr;
    std::size_t size = 0;
    switch (PROP_TYPE(value.ulPropTag)) {
        case PT_STRING8:
            bytes = value.Value.lpszA;
            if (bytes) size = std::strlen(value.Value.lpszA) + 1;
            break;
        case PT_UNICODE:
            bytes = value.Value.lpszW;
            if (bytes) size = (std::wcslen(value.Value.lpszW) + 1) * sizeof(wchar_t);
            break;
        case PT_BINARY:
            bytes = value.Value.bin.lpb;
            size = value.Value.bin.cb;
            break;
        default: break;
    }
    if (!bytes || size == 0 || size > 0x7FFF0000) return CopyPropArray(&value, 1, out);
    LPVOID block = nullptr;
    const SCODE sc = MAPIAllocateBuffer(static_cast<ULONG>(sizeof(SPropValue) + size), &block);
    if (FAILED(sc)) return sc;
    auto* copy = static_cast<LPSPropValue>(block);
    *copy = value;
    auto* data = reinterpret_cast<BYTE*>(copy + 1);
    std::memcpy(data, bytes, size);
    switch (PROP_TYPE(value.ulPropTag)) {
        case PT_STRING8: copy->Value.lpszA = reinterpret_cast<char*>(data); break;
        case PT_UNICODE: copy->Value.lpszW = reinterpret_cast<wchar_t*>(data); break;
        default: copy->Value.bin.lpb = data; break;
    }
    *out = copy;
    return S_OK;
}

}  // namespace

PropertyBag::PropertyBag(const PropertyBag& other) { *this = other; }

PropertyBag& PropertyBag::operator=(const PropertyBag& other) {
    if (this == &other) return *this;
    values_.clear();
    values_.reserve(other.values_.size());
    for (const auto& v : other.values_) Set(*v);
    return *this;
}

HRESULT PropertyBag::Set(const SPropValue& value) {
    if (value.ulPropTag == PR_NULL || PROP_TYPE(value.ulPropTag) == PT_NULL) return S_OK;
    LPSPropValue copy = nullptr;
    const HRESULT hr = CopyValue(value, &copy);
    if (FAILED(hr)) return hr;
    MapiBuffer<SPropValue> holder(copy);
    for (auto& existing : values_) {
        if (PROP_ID(existing->ulPropTag) == PROP_ID(value.ulPropTag)) {
            existing = std::move(holder);
            return S_OK;
        }
    }
    values_.push_back(std::move(holder));
    return S_OK;
}

const SPropValue* PropertyBag::Find(ULONG tag) const {
    for (const auto& v : values_) {
        if (PROP_ID(v->ulPropTag) != PROP_ID(tag)) continue;
        if (PROP_TYPE(tag) == PT_UNSPECIFIED || PROP_TYPE(v->ulPropTag) == PROP_TYPE(tag)) return v.get();
        return nullptr;
    }
    return nullptr;
}

bool PropertyBag::Remove(ULONG tag) {
    const auto it = std::find_if(values_.begin(), values_.end(),
                                 [&](const auto& v) { return PROP_ID(v->ulPropTag) == PROP_ID(tag); });
    if (it == values_.end()) return false;
    values_.erase(it);
    return true;
}

std::vector<ULONG> PropertyBag::Tags() const {
    std::vector<ULONG> tags;
    for (const auto& v : values_) tags.push_back(v->ulPropTag);
    return tags;
}

HRESULT PropertyBag::SetLong(ULONG tag, LONG value) {
    SPropValue v{};
    v.ulPropTag = CHANGE_PROP_TYPE(tag, PT_LONG);
    v.Value.l = value;
    return Set(v);
}

HRESULT PropertyBag::SetBool(ULONG tag, bool value) {
    SPropValue v{};
    v.ulPropTag = CHANGE_PROP_TYPE(tag, PT_BOOLEAN);
    v.Value.b = value ? 1 : 0;
    return Set(v);
}

HRESULT PropertyBag::SetString(ULONG tag, std::string_view utf8) {
    SPropValue v{};
    if (PROP_TYPE(tag) == PT_UNICODE) {
        std::wstring wide = Utf8ToWide(utf8);
        v.ulPropTag = tag;
        v.Value.lpszW = wide.data();
        return Set(v);
    }
    std::string text(utf8);
    v.ulPropTag = CHANGE_PROP_TYPE(tag, PT_STRING8);
    v.Value.lpszA = text.data();
    return Set(v);
}

HRESULT PropertyBag::SetBinary(ULONG tag, const void* data, ULONG size) {
    SPropValue v{};
    v.ulPropTag = CHANGE_PROP_TYPE(tag, PT_BINARY);
    v.Value.bin.cb = size;
    v.Value.bin.lpb = static_cast<LPBYTE>(const_cast<void*>(data));
    return Set(v);
}

std::optional<LONG> PropertyBag::GetLong(ULONG tag) const {
    const SPropValue* v = Find(CHANGE_PROP_TYPE(tag, PT_LONG));
    return v ? std::optional<LONG>(v->Value.l) : std::nullopt;
}

std::optional<bool> PropertyBag::GetBool(ULONG tag) const {
    const SPropValue* v = Find(CHANGE_PROP_TYPE(tag, PT_BOOLEAN));
    return v ? std::optional<bool>(v->Value.b != 0) : std::nullopt;
}

std::optional<std::string> PropertyBag::GetString(ULONG tag) const {
    const SPropValue* v = Find(CHANGE_PROP_TYPE(tag, PT_UNSPECIFIED));
    if (!v || !IsStringType(PROP_TYPE(v->ulPropTag))) return std::nullopt;
    return StringOf(*v);
}

std::optional<std::vector<BYTE>> PropertyBag::GetBinary(ULONG tag) const {
    const SPropValue* v = Find(CHANGE_PROP_TYPE(tag, PT_BINARY));
    if (!v) return std::nullopt;
    return std::vector<BYTE>(v->Value.bin.lpb, v->Value.bin.lpb + v->Value.bin.cb);
}

HRESULT PropertyBag::GetProps(const SPropTagArray* tags, ULONG* count, LPSPropValue* values) const {
    if (!count || !values) return MAPI_E_INVALID_PARAMETER;
    *count = 0;
    *values = nullptr;
    const ULONG n = tags ? tags->cValues : Count();
    LPVOID block = nullptr;
    SCODE sc = MAPIAllocateBuffer(static_cast<ULONG>(sizeof(SPropValue) * std::max<ULONG>(n, 1)), &block);
    if (FAILED(sc)) return sc;
    MapiBuffer<SPropValue> out(static_cast<LPSPropValue>(block));
    bool missing = false;
    for (ULONG i = 0; i < n; ++i) {
        SPropValue& slot = out.get()[i];
        const ULONG want = tags ? tags->aulPropTag[i] : values_[i]->ulPropTag;
        const SPropValue* have = tags ? nullptr : values_[i].get();
        for (std::size_t k = 0; tags && !have && k < values_.size(); ++k) have = FindValue(values_[k].get(), 1, want);
        if (!have) {
            slot.ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(want));
            slot.Value.err = MAPI_E_NOT_FOUND;
            missing = true;
            continue;
        }
        const ULONG haveType = PROP_TYPE(have->ulPropTag), wantType = PROP_TYPE(want);
        if (IsStringType(haveType) && IsStringType(wantType) && haveType != wantType) {
            SPropValue converted{};
            converted.ulPropTag = want;
            std::string narrow;
            std::wstring wide;
            if (wantType == PT_STRING8) {
                narrow = StringOf(*have);
                converted.Value.lpszA = narrow.data();
            } else {
                wide = Utf8ToWide(StringOf(*have));
                converted.Value.lpszW = wide.data();
            }
            sc = PropCopyMore(&slot, &converted, MAPIAllocateMore, out.get());
        } else {
            sc = PropCopyMore(&slot, const_cast<LPSPropValue>(have), MAPIAllocateMore, out.get());
        }
        if (FAILED(sc)) return sc;
    }
    *count = n;
    *values = out.Detach();
    return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
}

HRESULT PropertyBag::SetProps(ULONG count, const SPropValue* values, LPSPropProblemArray* problems) {
    if (problems) *problems = nullptr;
    if (count && !values) return MAPI_E_INVALID_PARAMETER;
    values_.reserve(values_.size() + count);
    for (ULONG i = 0; i < count; ++i) {
        const ULONG type = PROP_TYPE(values[i].ulPropTag);
        if (type == PT_ERROR || type == PT_OBJECT) continue;
        const HRESULT hr = Set(values[i]);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

}  // namespace qb::mapi
