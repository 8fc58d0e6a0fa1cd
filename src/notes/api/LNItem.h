#pragma once
// Items of a note and the typed views of their values.
//
// An LNItem is a copy of one item (name, Notes type code, flags, value in the
// C API's canonical layout). LNText, LNNumbers and LNDatetimes are LNItems
// whose type was checked when they were filled, with accessors for their
// elements. Copies are cheap: the value is shared.

#include <memory>
#include <utility>
#include <vector>

#include "notes/api/ItemTypes.h"
#include "notes/api/LNDatetime.h"
#include "notes/api/LNGlobal.h"

namespace qb::notes {
struct ItemData;
}

class LNItem {
public:
    LNItem() = default;
    explicit LNItem(std::shared_ptr<const qb::notes::ItemData> data) : data_(std::move(data)) {}

    bool IsNull() const { return data_ == nullptr; }
    LNString GetName() const;
    LNITEMTYPE GetType() const;
    LNITEMFLAGS GetFlags() const;
    bool IsSummary() const { return (GetFlags() & LNITEMFLAGS_SUMMARY) != 0; }
    bool IsEncrypted() const { return (GetFlags() & LNITEMFLAGS_SEAL) != 0; }
    // The value in the canonical binary layout of the Notes C API, without
    // the leading type word.
    const std::string& GetRawValue() const;
    std::size_t GetValueSize() const { return GetRawValue().size(); }
    // Number of elements: texts, numbers, times (pairs count once), note refs;
    // 1 for other types.
    LNINT GetValueCount() const;
    // Every element as text, elements joined by the separator. Rich text gives
    // its plain text, file objects their file name, note references their
    // UNIDs, numbers "%g", times LNDatetime::GetText.
    LNString GetValueText(char separator = ';') const;
    // UNIDs of a note reference list (TYPE_NOTEREF_LIST), or of a text list
    // of UNIDs.
    LNSTATUS GetNoteRefs(std::vector<LNString>* unids) const;

    const std::shared_ptr<const qb::notes::ItemData>& Data() const { return data_; }

protected:
    std::shared_ptr<const qb::notes::ItemData> data_;
};

// TYPE_TEXT, TYPE_TEXT_LIST, TYPE_RFC822_TEXT.
class LNText : public LNItem {
public:
    LNText() = default;
    // An LNText of an item of another type is null (IsNull) with no elements.
    explicit LNText(const LNItem& item);
    LNINT GetCount() const { return static_cast<LNINT>(texts_.size()); }
    LNString operator[](LNINT index) const;
    LNSTATUS GetText(LNINT index, LNString* text) const;
    const std::vector<LNString>& GetTexts() const { return texts_; }
    // Elements joined by the separator.
    LNString GetText(char separator = ';') const;

private:
    std::vector<LNString> texts_;
};

// TYPE_NUMBER, TYPE_NUMBER_RANGE.
class LNNumbers : public LNItem {
public:
    LNNumbers() = default;
    explicit LNNumbers(const LNItem& item);
    LNINT GetCount() const { return static_cast<LNINT>(numbers_.size()); }
    double operator[](LNINT index) const;
    const std::vector<double>& GetNumbers() const { return numbers_; }

private:
    std::vector<double> numbers_;
};

// TYPE_TIME, TYPE_TIME_RANGE: single values and ranges (pairs).
class LNDatetimes : public LNItem {
public:
    LNDatetimes() = default;
    explicit LNDatetimes(const LNItem& item);
    LNINT GetCount() const { return static_cast<LNINT>(times_.size()); }
    LNDatetime operator[](LNINT index) const;
    LNSTATUS GetDatetime(LNINT index, LNDatetime* value) const;
    LNINT GetRangeCount() const { return static_cast<LNINT>(ranges_.size()); }
    std::pair<LNDatetime, LNDatetime> GetRange(LNINT index) const;

private:
    std::vector<LNDatetime> times_;
    std::vector<std::pair<LNDatetime, LNDatetime>> ranges_;
};

// Builders for new items (writing documents).
LNItem LNMakeTextItem(const LNString& name, const std::vector<LNString>& texts, LNITEMFLAGS flags = LNITEMFLAGS_SUMMARY);
LNItem LNMakeNumberItem(const LNString& name, const std::vector<double>& numbers,
                        LNITEMFLAGS flags = LNITEMFLAGS_SUMMARY);
LNItem LNMakeDatetimeItem(const LNString& name, const std::vector<LNDatetime>& times,
                          LNITEMFLAGS flags = LNITEMFLAGS_SUMMARY);
// Any type with a value in its canonical layout.
LNItem LNMakeRawItem(const LNString& name, LNITEMTYPE type, const std::string& value, LNITEMFLAGS flags = 0);
