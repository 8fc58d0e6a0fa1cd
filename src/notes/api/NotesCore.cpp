#include "notes/api/NotesCore.h"

#include <algorithm>
#include <cstring>

#include "notes/api/NoteData.h"
#include "notes/api/NotesFormat.h"

using namespace qb::notes;

namespace {

const ItemData* ItemAt(ITEMHANDLE item) {
    if (!item.note || item.index >= item.note->items.size()) return nullptr;
    return &item.note->items[item.index];
}

WORD CopyOut(const std::string& text, char* buffer, WORD size) {
    if (!buffer || size == 0) return 0;
    std::size_t length = std::min<std::size_t>(text.size(), size - 1u);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return static_cast<WORD>(length);
}

LNSTATUS FindFrom(NOTEHANDLE note, std::size_t start, const char* name, ITEMHANDLE* item, WORD* type,
                  DWORD* valueLength) {
    if (!note || !name) return Fail(LNERR_INVALID_PARAMETER);
    for (std::size_t i = start; i < note->items.size(); ++i) {
        const ItemData& data = note->items[i];
        if (!NameEquals(data.name, name)) continue;
        if (item) *item = ITEMHANDLE{note, i};
        if (type) *type = data.type;
        if (valueLength) *valueLength = static_cast<DWORD>(data.value.size() + 2);
        return LNNOERROR;
    }
    return LNERR_ITEM_NOT_FOUND;
}

LNItem ItemNamed(NOTEHANDLE note, const char* name) {
    if (!note || !name) return {};
    const ItemData* data = note->FindItem(name);
    return data ? LNItem(std::make_shared<ItemData>(*data)) : LNItem();
}

}  // namespace

LNSTATUS NSFItemInfo(NOTEHANDLE note, const char* name, ITEMHANDLE* item, WORD* type, DWORD* valueLength) {
    return FindFrom(note, 0, name, item, type, valueLength);
}

LNSTATUS NSFItemInfoNext(NOTEHANDLE note, ITEMHANDLE previous, const char* name, ITEMHANDLE* item, WORD* type,
                         DWORD* valueLength) {
    return FindFrom(note, previous.index + 1, name, item, type, valueLength);
}

DWORD NSFItemGetValueBytes(ITEMHANDLE item, void* buffer, DWORD size) {
    const ItemData* data = ItemAt(item);
    if (!data || !buffer) return 0;
    std::string stored;
    PutWord(stored, data->type);
    stored += data->value;
    DWORD count = static_cast<DWORD>(std::min<std::size_t>(stored.size(), size));
    std::memcpy(buffer, stored.data(), count);
    return count;
}

std::string_view NSFItemValue(ITEMHANDLE item) {
    const ItemData* data = ItemAt(item);
    return data ? std::string_view(data->value) : std::string_view();
}

WORD NSFItemGetText(NOTEHANDLE note, const char* name, char* buffer, WORD size) {
    LNText text(ItemNamed(note, name));
    return CopyOut(text.GetCount() > 0 ? text[0] : std::string(), buffer, size);
}

WORD NSFItemGetTextListEntries(NOTEHANDLE note, const char* name) {
    return static_cast<WORD>(LNText(ItemNamed(note, name)).GetCount());
}

WORD NSFItemGetTextListEntry(NOTEHANDLE note, const char* name, WORD index, char* buffer, WORD size) {
    LNText text(ItemNamed(note, name));
    return CopyOut(index < text.GetCount() ? text[index] : std::string(), buffer, size);
}

WORD NSFItemConvertToText(NOTEHANDLE note, const char* name, char* buffer, WORD size, char separator) {
    return CopyOut(ItemNamed(note, name).GetValueText(separator), buffer, size);
}

bool NSFItemGetTime(NOTEHANDLE note, const char* name, TIMEDATE* value) {
    LNDatetimes times(ItemNamed(note, name));
    if (times.GetCount() == 0) return false;
    *value = times[0].GetTimedate();
    return true;
}

LNSTATUS NSFNoteGetCreated(NOTEHANDLE note, TIMEDATE* value) {
    if (!note) return Fail(LNERR_NOTE_NOT_OPEN);
    *value = note->created.GetTimedate();
    return LNNOERROR;
}

LNSTATUS NSFNoteVerifySignature(NOTEHANDLE note, char* signer, WORD signerSize, TIMEDATE* when) {
    if (!note) return Fail(LNERR_NOTE_NOT_OPEN);
    if (!note->FindItem("$Signature")) return Fail(LNERR_ITEM_NOT_FOUND, "$Signature");
    std::string name;
    for (const char* candidate : {"$Signer", "$UpdatedBy", "From"}) {
        LNText text(ItemNamed(note, candidate));
        if (text.GetCount() > 0) {
            name = text[0];
            break;
        }
    }
    CopyOut(name, signer, signerSize);
    if (when) *when = note->modified.GetTimedate();
    return LNNOERROR;
}

LNSTATUS TimeGMToLocal(TIME* time) {
    LNDatetime value = LNDatetime::FromTimedate(time->GM);
    if (value.IsNull()) return Fail(LNERR_BAD_DATETIME);
    LNDatetimeParts parts = value.GetParts();
    time->year = parts.year;
    time->month = parts.month;
    time->day = parts.day;
    time->weekday = parts.weekday;
    time->hour = parts.hour;
    time->minute = parts.minute;
    time->second = parts.second;
    time->hundredth = parts.hundredth;
    time->dst = parts.dst;
    std::time_t now = value.IsFull() ? value.GetUnixTime() : std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    time->zone = static_cast<int>(-(local.tm_gmtoff / 60) + (local.tm_isdst > 0 ? 60 : 0));
    return LNNOERROR;
}

WORD ConvertTIMEDATEToText(const TIMEDATE* value, char* buffer, WORD size) {
    return CopyOut(LNDatetime::FromTimedate(*value).GetText(), buffer, size);
}

WORD OSTranslate(WORD, const char* in, WORD inLength, char* out, WORD outSize) {
    if (!out || outSize == 0) return 0;
    WORD count = std::min<WORD>(inLength, static_cast<WORD>(outSize - 1));
    std::memcpy(out, in, count);
    out[count] = '\0';
    return count;
}
