#pragma once
// What the formula engine needs to know about one note: its items as values,
// whether an item exists, and whether the note is a response document.
// The database layer implements FormulaDocument over its own note
// representation; the engine never sees DXL or CD records.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qb::notes {

// A moment as the formula language compares it: hundredths of a second since
// 1970-01-01 00:00:00 UTC (negative before). Date-only values use 00:00 of
// their day in the zone they carry.
struct FormulaDatetime {
    std::int64_t hundredths = 0;
    friend auto operator<=>(const FormulaDatetime&, const FormulaDatetime&) = default;
};

enum class FormulaValueType { Text, Number, Datetime };

// One formula value: a list of one or more elements of a single type, as a
// Notes item holds them. An item without elements reads as one empty text.
class FormulaValue {
public:
    FormulaValue() : texts_{std::string()} {}
    static FormulaValue Text(std::string text);
    static FormulaValue TextList(std::vector<std::string> texts);
    static FormulaValue Number(double number);
    static FormulaValue NumberList(std::vector<double> numbers);
    static FormulaValue Datetime(FormulaDatetime time);
    static FormulaValue DatetimeList(std::vector<FormulaDatetime> times);

    FormulaValueType type() const { return type_; }
    std::size_t size() const;
    const std::vector<std::string>& texts() const { return texts_; }
    const std::vector<double>& numbers() const { return numbers_; }
    const std::vector<FormulaDatetime>& datetimes() const { return times_; }

    // Appends the elements of `other` (same type only; the caller checks).
    void Append(const FormulaValue& other);

private:
    FormulaValueType type_ = FormulaValueType::Text;
    std::vector<std::string> texts_;
    std::vector<double> numbers_;
    std::vector<FormulaDatetime> times_;
};

// One note as seen by a formula. Item names are compared ignoring case
// (ASCII), as Notes does; the engine passes them as the formula spells them.
class FormulaDocument {
public:
    virtual ~FormulaDocument() = default;
    // Whether the note has an item of this name (@IsAvailable).
    virtual bool HasItem(std::string_view name) const = 0;
    // The item's value. Called only when HasItem(name) is true. Text, text
    // list, number(s) and time(s) map to their types; rich text reads as its
    // plain text; other types may read as one empty text.
    virtual FormulaValue ItemValue(std::string_view name) const = 0;
    // Whether the note is a response document (has a $REF item).
    virtual bool IsResponse() const = 0;
};

}  // namespace qb::notes
