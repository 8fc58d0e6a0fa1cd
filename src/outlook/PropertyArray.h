#pragma once
// The property values an item writer hands to one SetProps call, with the
// storage behind every text, binary and multi-valued value. Values are
// copied in, so a writer may build them from temporaries; a tag of PR_NULL
// (a named property that could not be resolved) is left out.

#include <deque>
#include <string>
#include <vector>

#include "outlook/mapi/MapiApi.h"

namespace qb {

class PropertyArray {
public:
    void Text(ULONG tag, const std::string& value);
    // Only when the value is not empty.
    void TextIfAny(ULONG tag, const std::string& value);
    void Long(ULONG tag, LONG value);
    void Bool(ULONG tag, bool value);
    void Time(ULONG tag, FILETIME value);
    void Binary(ULONG tag, const std::vector<BYTE>& value);
    void MultiText(ULONG tag, const std::vector<std::string>& values);
    void MultiBinary(ULONG tag, const std::vector<std::vector<BYTE>>& values);
    void MultiLong(ULONG tag, const std::vector<LONG>& values);

    ULONG count() const { return static_cast<ULONG>(values_.size()); }
    SPropValue* data() { return values_.data(); }

private:
    SPropValue& Add(ULONG tag);

    std::vector<SPropValue> values_;
    // Deques never move what they hold, so the pointers in values_ stay good.
    std::deque<std::string> texts_;
    std::deque<std::vector<BYTE>> binaries_;
    std::deque<std::vector<char*>> textLists_;
    std::deque<std::vector<SBinary>> binaryLists_;
    std::deque<std::vector<LONG>> longLists_;
};

}  // namespace qb

namespace qb {

// A SetProps call that failed: what the store said and which part of it said
// so. The save goes on; the converter reports it with the item's name.
struct SetPropsFailure {
    std::string error;
    std::string component;
    HRESULT result = S_OK;

    // "SetProps failed while in appointment save. Last Error = %s, Component=%s"
    // followed by " hr=%d".
    std::string Text() const;
};

// SetProps with the whole array; on failure fills `failure` and gives false.
bool SetAllProps(IMessage& message, PropertyArray& values, SetPropsFailure& failure);

// A one-off SMTP entry identifier of name and address as Outlook writes it,
// with single-byte strings; when the name or the address is not plain
// ASCII, the Unicode form, which keeps every character.
std::vector<BYTE> SmtpOneOffEntryId(const std::string& name, const std::string& address, bool noRichInfo);

// The first `limit` values; the number left out goes to `dropped`.
std::vector<std::string> FirstValues(const std::vector<std::string>& values, std::size_t limit, std::size_t& dropped);

}  // namespace qb
