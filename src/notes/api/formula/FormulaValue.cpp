#include "notes/api/formula/FormulaDocument.h"

#include <utility>

namespace qb::notes {

FormulaValue FormulaValue::Text(std::string text) {
    FormulaValue value;
    value.texts_ = {std::move(text)};
    return value;
}

FormulaValue FormulaValue::TextList(std::vector<std::string> texts) {
    if (texts.empty()) return FormulaValue();
    FormulaValue value;
    value.texts_ = std::move(texts);
    return value;
}

FormulaValue FormulaValue::Number(double number) { return NumberList({number}); }

FormulaValue FormulaValue::NumberList(std::vector<double> numbers) {
    if (numbers.empty()) return FormulaValue();
    FormulaValue value;
    value.type_ = FormulaValueType::Number;
    value.texts_.clear();
    value.numbers_ = std::move(numbers);
    return value;
}

FormulaValue FormulaValue::Datetime(FormulaDatetime time) { return DatetimeList({time}); }

FormulaValue FormulaValue::DatetimeList(std::vector<FormulaDatetime> times) {
    if (times.empty()) return FormulaValue();
    FormulaValue value;
    value.type_ = FormulaValueType::Datetime;
    value.texts_.clear();
    value.times_ = std::move(times);
    return value;
}

std::size_t FormulaValue::size() const {
    switch (type_) {
    case FormulaValueType::Text: return texts_.size();
    case FormulaValueType::Number: return numbers_.size();
    case FormulaValueType::Datetime: return times_.size();
    }
    return 0;
}

void FormulaValue::Append(const FormulaValue& other) {
    texts_.insert(texts_.end(), other.texts_.begin(), other.texts_.end());
    numbers_.insert(numbers_.end(), other.numbers_.begin(), other.numbers_.end());
    times_.insert(times_.end(), other.times_.begin(), other.times_.end());
}

}  // namespace qb::notes
