#include "notes/api/SelectionFormula.h"

#include "notes/api/NotesFormat.h"
#include "notes/api/RichTextRecords.h"

namespace qb::notes {
namespace {

FormulaDatetime ToFormulaTime(const LNDatetime& time) {
    if (time.IsFull()) return {static_cast<std::int64_t>(time.GetUnixTime()) * 100 + time.GetZoneParts().hundredth};
    LNDatetimeParts parts = time.GetParts();
    std::int64_t days = time.HasDate() ? LNJulianDay(parts.year, parts.month, parts.day) - 2440588LL : 0;
    std::int64_t ticks = time.HasTime()
                             ? ((parts.hour * 60LL + parts.minute) * 60 + parts.second) * 100 + parts.hundredth
                             : 0;
    return {days * 8640000 + ticks};
}

}  // namespace

FormulaValue ItemToFormulaValue(LNITEMTYPE type, std::string_view value) {
    switch (type) {
    case TYPE_TEXT: return FormulaValue::Text(std::string(value));
    case TYPE_TEXT_LIST: {
        std::vector<std::string> texts;
        if (DecodeTextList(value, &texts) != LNNOERROR) return FormulaValue();
        return FormulaValue::TextList(std::move(texts));
    }
    case TYPE_RFC822_TEXT: {
        int format = 0;
        std::string native;
        if (DecodeRfc822(value, &format, &native) == LNNOERROR && format == kRfc822FormatDate)
            return ItemToFormulaValue(TYPE_TIME, native);
        std::string text;
        if (DecodeRfc822Text(value, &text) != LNNOERROR) return FormulaValue();
        return FormulaValue::Text(std::move(text));
    }
    case TYPE_NUMBER:
    case TYPE_NUMBER_RANGE: {
        std::vector<double> numbers;
        if (DecodeNumbers(value, type == TYPE_NUMBER_RANGE, &numbers, nullptr) != LNNOERROR || numbers.empty())
            return FormulaValue();
        return FormulaValue::NumberList(std::move(numbers));
    }
    case TYPE_TIME:
    case TYPE_TIME_RANGE: {
        std::vector<LNDatetime> times;
        std::vector<std::pair<LNDatetime, LNDatetime>> pairs;
        if (DecodeTimes(value, type == TYPE_TIME_RANGE, &times, &pairs) != LNNOERROR) return FormulaValue();
        std::vector<FormulaDatetime> values;
        for (const LNDatetime& time : times) values.push_back(ToFormulaTime(time));
        for (const auto& pair : pairs) values.push_back(ToFormulaTime(pair.first));
        if (values.empty()) return FormulaValue();
        return FormulaValue::DatetimeList(std::move(values));
    }
    case TYPE_NOTEREF_LIST: {
        std::vector<std::string> unids;
        if (DecodeNoteRefs(value, &unids) != LNNOERROR) return FormulaValue();
        return FormulaValue::TextList(std::move(unids));
    }
    case TYPE_COMPOSITE: return FormulaValue::Text(RichTextPlainText(value));
    default: return FormulaValue();
    }
}

bool SummaryFormulaDocument::HasItem(std::string_view name) const {
    bool found = false;
    summary_.ForEach([&](std::string_view itemName, LNITEMTYPE, LNITEMFLAGS, std::string_view) {
        found = NameEquals(itemName, name);
        return !found;
    });
    return found;
}

FormulaValue SummaryFormulaDocument::ItemValue(std::string_view name) const {
    FormulaValue result;
    summary_.ForEach([&](std::string_view itemName, LNITEMTYPE type, LNITEMFLAGS, std::string_view value) {
        if (!NameEquals(itemName, name)) return true;
        result = ItemToFormulaValue(type, value);
        return false;
    });
    return result;
}

FormulaValue NoteFormulaDocument::ItemValue(std::string_view name) const {
    const ItemData* item = note_.FindItem(name);
    return item ? ItemToFormulaValue(item->type, item->value) : FormulaValue();
}

}  // namespace qb::notes
