#include "outlook/PropertyArray.h"

namespace qb {

SPropValue& PropertyArray::Add(ULONG tag) {
    SPropValue& value = values_.emplace_back();
    value.ulPropTag = tag;
    value.dwAlignPad = 0;
    return value;
}

void PropertyArray::Text(ULONG tag, const std::string& value) {
    if (tag == PR_NULL) return;
    Add(tag).Value.lpszA = texts_.emplace_back(value).data();
}

void PropertyArray::TextIfAny(ULONG tag, const std::string& value) {
    if (!value.empty()) Text(tag, value);
}

void PropertyArray::Long(ULONG tag, LONG value) {
    if (tag != PR_NULL) Add(tag).Value.l = value;
}

void PropertyArray::Bool(ULONG tag, bool value) {
    if (tag != PR_NULL) Add(tag).Value.b = value ? 1 : 0;
}

void PropertyArray::Time(ULONG tag, FILETIME value) {
    if (tag != PR_NULL) Add(tag).Value.ft = value;
}

void PropertyArray::Binary(ULONG tag, const std::vector<BYTE>& value) {
    if (tag == PR_NULL) return;
    std::vector<BYTE>& copy = binaries_.emplace_back(value);
    Add(tag).Value.bin = SBinary{static_cast<ULONG>(copy.size()), copy.data()};
}

void PropertyArray::MultiText(ULONG tag, const std::vector<std::string>& values) {
    if (tag == PR_NULL) return;
    std::vector<char*>& pointers = textLists_.emplace_back();
    for (const std::string& value : values) pointers.push_back(texts_.emplace_back(value).data());
    Add(tag).Value.MVszA = SLPSTRArray{static_cast<ULONG>(pointers.size()), pointers.data()};
}

void PropertyArray::MultiBinary(ULONG tag, const std::vector<std::vector<BYTE>>& values) {
    if (tag == PR_NULL) return;
    std::vector<SBinary>& entries = binaryLists_.emplace_back();
    for (const std::vector<BYTE>& value : values) {
        std::vector<BYTE>& copy = binaries_.emplace_back(value);
        entries.push_back(SBinary{static_cast<ULONG>(copy.size()), copy.data()});
    }
    Add(tag).Value.MVbin = SBinaryArray{static_cast<ULONG>(entries.size()), entries.data()};
}

void PropertyArray::MultiLong(ULONG tag, const std::vector<LONG>& values) {
    if (tag == PR_NULL) return;
    std::vector<LONG>& copy = longLists_.emplace_back(values);
    Add(tag).Value.MVl = SLongArray{static_cast<ULONG>(copy.size()), copy.data()};
}

}  // namespace qb

#include <fmt/format.h>

#include "outlook/mapi/OneOffEntryId.h"

namespace qb {

std::string SetPropsFailure::Text() const {
    return fmt::format("SetProps failed while in appointment save. Last Error = {}, Component={} hr={}", error,
                       component, static_cast<long>(result));
}

bool SetAllProps(IMessage& message, PropertyArray& values, SetPropsFailure& failure) {
    const HRESULT hr = message.SetProps(values.count(), values.data(), nullptr);
    if (!FAILED(hr)) return true;
    failure = SetPropsFailure{"", "", hr};
    mapi::MapiBuffer<MAPIERROR> error;
    if (SUCCEEDED(message.GetLastError(hr, 0, error.Put())) && error) {
        if (error->lpszError) failure.error = error->lpszError;
        if (error->lpszComponent) failure.component = error->lpszComponent;
    }
    return false;
}

namespace {

bool IsPlainAscii(const std::string& text) {
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

}  // namespace

std::vector<BYTE> SmtpOneOffEntryId(const std::string& name, const std::string& address, bool noRichInfo) {
    mapi::OneOffAddress entry{name, "SMTP", address, false, noRichInfo};
    entry.unicode = !IsPlainAscii(name) || !IsPlainAscii(address);
    return mapi::BuildOneOffEntryId(entry);
}

std::vector<std::string> FirstValues(const std::vector<std::string>& values, std::size_t limit, std::size_t& dropped) {
    dropped = values.size() > limit ? values.size() - limit : 0;
    return std::vector<std::string>(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() - dropped));
}

}  // namespace qb
