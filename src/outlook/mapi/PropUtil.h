#pragma once
// Property value helpers of the MAPI utility library (PropCopyMore,
// HrGetOneProp, HrSetOneProp, PpropFindProp), restriction evaluation, and
// PropertyBag, the owning in-memory property set that tables, the address
// book and store implementations keep their values in.

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "outlook/mapi/MapiAlloc.h"
#include "outlook/mapi/MapiInterfaces.h"

// Deep-copies one value; its data is allocated with lpfAllocMore against
// lpvObject.
SCODE PropCopyMore(LPSPropValue lpSPropValueDest, LPSPropValue lpSPropValueSrc, LPALLOCATEMORE lpfAllocMore,
                   LPVOID lpvObject);
// One property of an object in a MAPI buffer; MAPI_E_NOT_FOUND when the object
// lacks it.
HRESULT HrGetOneProp(LPMAPIPROP lpMAPIProp, ULONG ulPropTag, LPSPropValue* lppProp);
HRESULT HrSetOneProp(LPMAPIPROP lpMAPIProp, LPSPropValue lpProp);
// The value with the tag (PT_UNSPECIFIED matches any type), or null.
LPSPropValue PpropFindProp(LPSPropValue lpPropArray, ULONG cValues, ULONG ulPropTag);
// Calls HrQueryAllRows-style: SetColumns, Restrict, SortTable, then every row.
// crowsMax > 0 limits the rows; more rows give MAPI_E_TABLE_TOO_BIG.
HRESULT HrQueryAllRows(LPMAPITABLE lpTable, LPSPropTagArray lpPropTags, LPSRestriction lpRestriction,
                       LPSSortOrderSet lpSortOrderSet, LONG crowsMax, LPSRowSet* lppRows);

namespace qb::mapi {

// A MAPIERROR in one MAPI buffer, as GetLastError hands it out.
HRESULT MakeMapiError(std::string_view text, std::string_view component, ULONG lowLevelError,
                      LPMAPIERROR* lppMAPIError);

// The text an object's GetLastError gives for hr, or the fallback when it
// gives none (any MAPI object with GetLastError: session, folder, admin...).
template <class Object>
std::string LastErrorText(Object& object, HRESULT hr, const std::string& fallback) {
    MapiBuffer<MAPIERROR> error;
    if (SUCCEEDED(object.GetLastError(hr, 0, error.Put())) && error && error->lpszError)
        return std::string(error->lpszError);
    return fallback;
}

// The same with the result code appended, so that a log line says both.
template <class Object>
std::string LastErrorTextWithCode(Object& object, HRESULT hr, const std::string& fallback) {
    char code[16];
    std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(hr));
    return LastErrorText(object, hr, fallback) + " (hr=0x" + code + ")";
}

// A property array of one MAPI buffer built from values; each value is
// deep-copied into the buffer.
HRESULT CopyPropArray(const SPropValue* values, ULONG count, LPSPropValue* out);

// True when the values of the row satisfy the restriction. String
// comparisons of RES_PROPERTY ignore case, as folder and profile names do;
// RES_CONTENT honours FL_IGNORECASE. Unsupported kinds never match.
bool RestrictionMatches(const SRestriction& restriction, const SPropValue* values, ULONG count);
// MAPI_E_TOO_COMPLEX for restriction kinds this evaluator does not know.
HRESULT CheckRestriction(const SRestriction& restriction);

// Copying a restriction into our own storage.
class OwnedRestriction {
public:
    OwnedRestriction() = default;
    explicit OwnedRestriction(const SRestriction& source);
    const SRestriction* get() const { return buffer_.get(); }

private:
    MapiBuffer<SRestriction> buffer_;
};

class PropertyBag {
public:
    PropertyBag() = default;
    PropertyBag(const PropertyBag& other);
    PropertyBag& operator=(const PropertyBag& other);
    PropertyBag(PropertyBag&&) noexcept = default;
    PropertyBag& operator=(PropertyBag&&) noexcept = default;

    // Replaces any value of the same property identifier. PR_NULL is ignored.
    HRESULT Set(const SPropValue& value);
    // The stored value whose identifier matches; the type must match too
    // unless it is PT_UNSPECIFIED.
    const SPropValue* Find(ULONG tag) const;
    bool Remove(ULONG tag);
    ULONG Count() const { return static_cast<ULONG>(values_.size()); }
    std::vector<ULONG> Tags() const;
    // Calls f(const SPropValue&) for every value, in the order they were set.
    template <class F>
    void ForEachValue(F&& f) const {
        for (const auto& v : values_) f(*v);
    }

    // Convenience setters and getters for our own code.
    HRESULT SetLong(ULONG tag, LONG value);
    HRESULT SetBool(ULONG tag, bool value);
    HRESULT SetString(ULONG tag, std::string_view utf8);
    HRESULT SetBinary(ULONG tag, const void* data, ULONG size);
    std::optional<LONG> GetLong(ULONG tag) const;
    std::optional<bool> GetBool(ULONG tag) const;
    std::optional<std::string> GetString(ULONG tag) const;  // PT_STRING8 or PT_UNICODE as UTF-8
    std::optional<std::vector<BYTE>> GetBinary(ULONG tag) const;

    // IMAPIProp::GetProps: the requested tags in order (all values when
    // tags is null) in one MAPI buffer. A string tag is answered from a value
    // of the other string type, converted. Missing values are PT_ERROR with
    // MAPI_E_NOT_FOUND and the result is MAPI_W_ERRORS_RETURNED.
    HRESULT GetProps(const SPropTagArray* tags, ULONG* count, LPSPropValue* values) const;
    // IMAPIProp::SetProps over the bag.
    HRESULT SetProps(ULONG count, const SPropValue* values, LPSPropProblemArray* problems);

private:
    std::vector<MapiBuffer<SPropValue>> values_;
};

}  // namespace qb::mapi
