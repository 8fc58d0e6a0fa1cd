#include "notes/api/NoteData.h"

#include "text/TextCase.h"

namespace qb::notes {

bool NameEquals(std::string_view a, std::string_view b) {
    return text::EqualsIgnoreCase(a, b);
}

const ItemData* NoteData::FindItem(std::string_view name) const {
    for (const ItemData& item : items)
        if (NameEquals(item.name, name)) return &item;
    return nullptr;
}

ItemData* NoteData::FindItem(std::string_view name) {
    for (ItemData& item : items)
        if (NameEquals(item.name, name)) return &item;
    return nullptr;
}

void SummaryBuffer::Add(const ItemData& item) {
    std::string_view name = std::string_view(item.name).substr(0, 0xFFFF);
    PutWord(data_, static_cast<std::uint16_t>(name.size()));
    data_.append(name);
    PutWord(data_, item.type);
    PutWord(data_, item.flags);
    PutDword(data_, static_cast<std::uint32_t>(item.value.size()));
    data_.append(item.value);
}

bool SummaryBuffer::Find(std::string_view name, ItemData* item) const {
    bool found = false;
    ForEach([&](std::string_view itemName, LNITEMTYPE type, LNITEMFLAGS flags, std::string_view value) {
        if (!NameEquals(itemName, name)) return true;
        item->name.assign(itemName);
        item->type = type;
        item->flags = flags;
        item->value.assign(value);
        found = true;
        return false;
    });
    return found;
}

}  // namespace qb::notes
