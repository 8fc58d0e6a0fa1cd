#include "notes/api/LNItem.h"

#include <cstdio>

#include "notes/api/NoteData.h"
#include "notes/api/NotesFormat.h"
#include "notes/api/RichTextRecords.h"

using namespace qb::notes;

namespace {

const std::string& EmptyString() {
    static const std::string empty;
    return empty;
}

std::string NumberText(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return buffer;
}

bool IsTextType(LNITEMTYPE type) { return type == TYPE_TEXT || type == TYPE_TEXT_LIST || type == TYPE_RFC822_TEXT; }

}  // namespace

LNString LNItem::GetName() const { return data_ ? data_->name : LNString(); }
LNITEMTYPE LNItem::GetType() const { return data_ ? data_->type : TYPE_INVALID_OR_UNKNOWN; }
LNITEMFLAGS LNItem::GetFlags() const { return data_ ? data_->flags : 0; }
const std::string& LNItem::GetRawValue() const { return data_ ? data_->value : EmptyString(); }

LNINT LNItem::GetValueCount() const {
    if (!data_) return 0;
    switch (data_->type) {
    case TYPE_TEXT_LIST: return LNText(*this).GetCount();
    case TYPE_NUMBER_RANGE: return LNNumbers(*this).GetCount();
    case TYPE_TIME_RANGE: {
        LNDatetimes times(*this);
        return times.GetCount() + times.GetRangeCount();
    }
    case TYPE_NOTEREF_LIST: {
        std::vector<LNString> unids;
        GetNoteRefs(&unids);
        return static_cast<LNINT>(unids.size());
    }
    default: return 1;
    }
}

LNString LNItem::GetValueText(char separator) const {
    if (!data_) return {};
    std::string text;
    bool first = true;
    auto append = [&](const std::string& piece) {
        if (!first) text.push_back(separator);
        first = false;
        text += piece;
    };
    switch (data_->type) {
    case TYPE_TEXT:
    case TYPE_TEXT_LIST:
    case TYPE_RFC822_TEXT: {
        LNText texts(*this);
        for (LNINT i = 0; i < texts.GetCount(); ++i) {
            if (i > 0) text.push_back(separator);
            text += texts[i];
        }
        return text;
    }
    case TYPE_NUMBER:
    case TYPE_NUMBER_RANGE:
    {
        LNNumbers numbers(*this);
        for (double number : numbers.GetNumbers()) append(NumberText(number));
    }
        return text;
    case TYPE_TIME:
    case TYPE_TIME_RANGE: {
        LNDatetimes times(*this);
        for (LNINT i = 0; i < times.GetCount(); ++i) {
            if (i > 0) text.push_back(separator);
            text += times[i].GetText();
        }
        for (LNINT i = 0; i < times.GetRangeCount(); ++i) {
            if (!text.empty() || i > 0) text.push_back(separator);
            auto range = times.GetRange(i);
            text += range.first.GetText() + " - " + range.second.GetText();
        }
        return text;
    }
    case TYPE_NOTEREF_LIST: {
        std::vector<LNString> unids;
        GetNoteRefs(&unids);
        for (std::size_t i = 0; i < unids.size(); ++i) {
            if (i > 0) text.push_back(separator);
            text += unids[i];
        }
        return text;
    }
    case TYPE_COMPOSITE: return RichTextPlainText(data_->value);
    case TYPE_OBJECT: return data_->file ? data_->file->name : data_->value;
    case TYPE_FORMULA:
        if (!data_->value.empty() && data_->value[0] == '\x01') return "(compiled formula)";
        return data_->value;
    default: return {};
    }
}

LNSTATUS LNItem::GetNoteRefs(std::vector<LNString>* unids) const {
    unids->clear();
    if (!data_) return LNERR_ITEM_NOT_FOUND;
    if (data_->type == TYPE_NOTEREF_LIST) return DecodeNoteRefs(data_->value, unids);
    if (IsTextType(data_->type)) {
        LNText texts(*this);
        for (const LNString& text : texts.GetTexts()) {
            Bytes raw;
            if (UnidFromText(text, &raw)) unids->push_back(UnidToText(raw));
        }
        return LNNOERROR;
    }
    return LNERR_WRONG_ITEM_TYPE;
}

LNText::LNText(const LNItem& item) {
    if (item.IsNull() || !IsTextType(item.GetType())) return;
    data_ = item.Data();
    if (data_->type == TYPE_TEXT_LIST) {
        if (DecodeTextList(data_->value, &texts_) != LNNOERROR) texts_.clear();
    } else if (data_->type == TYPE_RFC822_TEXT) {
        std::string text;
        if (DecodeRfc822Text(data_->value, &text) == LNNOERROR) texts_.push_back(std::move(text));
    } else {
        texts_.push_back(data_->value);
    }
}

LNString LNText::operator[](LNINT index) const {
    return index >= 0 && index < GetCount() ? texts_[static_cast<std::size_t>(index)] : LNString();
}

LNSTATUS LNText::GetText(LNINT index, LNString* text) const {
    if (index < 0 || index >= GetCount()) return Fail(LNERR_INDEX_OUT_OF_RANGE);
    *text = texts_[static_cast<std::size_t>(index)];
    return LNNOERROR;
}

LNString LNText::GetText(char separator) const {
    std::string text;
    for (std::size_t i = 0; i < texts_.size(); ++i) {
        if (i > 0) text.push_back(separator);
        text += texts_[i];
    }
    return text;
}

LNNumbers::LNNumbers(const LNItem& item) {
    if (item.IsNull() || (item.GetType() != TYPE_NUMBER && item.GetType() != TYPE_NUMBER_RANGE)) return;
    data_ = item.Data();
    if (DecodeNumbers(data_->value, data_->type == TYPE_NUMBER_RANGE, &numbers_, nullptr) != LNNOERROR)
        numbers_.clear();
}

double LNNumbers::operator[](LNINT index) const {
    return index >= 0 && index < GetCount() ? numbers_[static_cast<std::size_t>(index)] : 0.0;
}

LNDatetimes::LNDatetimes(const LNItem& item) {
    if (item.IsNull()) return;
    if (item.GetType() == TYPE_RFC822_TEXT) {
        // A date header keeps its native TIMEDATE.
        int format = 0;
        std::string native;
        if (DecodeRfc822(item.GetRawValue(), &format, &native) != LNNOERROR || format != kRfc822FormatDate ||
            native.size() != 8)
            return;
        data_ = item.Data();
        DecodeTimes(native, false, &times_, nullptr);
        return;
    }
    if (item.GetType() != TYPE_TIME && item.GetType() != TYPE_TIME_RANGE) return;
    data_ = item.Data();
    if (DecodeTimes(data_->value, data_->type == TYPE_TIME_RANGE, &times_, &ranges_) != LNNOERROR) {
        times_.clear();
        ranges_.clear();
    }
}

LNDatetime LNDatetimes::operator[](LNINT index) const {
    return index >= 0 && index < GetCount() ? times_[static_cast<std::size_t>(index)] : LNDatetime();
}

LNSTATUS LNDatetimes::GetDatetime(LNINT index, LNDatetime* value) const {
    if (index < 0 || index >= GetCount()) return Fail(LNERR_INDEX_OUT_OF_RANGE);
    *value = times_[static_cast<std::size_t>(index)];
    return LNNOERROR;
}

std::pair<LNDatetime, LNDatetime> LNDatetimes::GetRange(LNINT index) const {
    if (index < 0 || index >= GetRangeCount()) return {};
    return ranges_[static_cast<std::size_t>(index)];
}

namespace {

LNItem MakeItem(const LNString& name, LNITEMTYPE type, std::string value, LNITEMFLAGS flags) {
    auto data = std::make_shared<ItemData>();
    data->name = name;
    data->type = type;
    data->flags = flags;
    data->value = std::move(value);
    return LNItem(std::move(data));
}

}  // namespace

LNItem LNMakeTextItem(const LNString& name, const std::vector<LNString>& texts, LNITEMFLAGS flags) {
    if (texts.size() == 1) return MakeItem(name, TYPE_TEXT, texts[0], flags);
    return MakeItem(name, TYPE_TEXT_LIST, EncodeTextList(texts), flags);
}

LNItem LNMakeNumberItem(const LNString& name, const std::vector<double>& numbers, LNITEMFLAGS flags) {
    if (numbers.size() == 1) return MakeItem(name, TYPE_NUMBER, EncodeNumber(numbers[0]), flags);
    return MakeItem(name, TYPE_NUMBER_RANGE, EncodeNumbers(numbers), flags);
}

LNItem LNMakeDatetimeItem(const LNString& name, const std::vector<LNDatetime>& times, LNITEMFLAGS flags) {
    return MakeItem(name, TYPE_TIME_RANGE, EncodeTimes(times, {}), flags);
}

LNItem LNMakeRawItem(const LNString& name, LNITEMTYPE type, const std::string& value, LNITEMFLAGS flags) {
    return MakeItem(name, type, value, flags);
}
