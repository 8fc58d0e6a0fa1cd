#include "notes/api/NoteData.h"

#include <deque>
#include <mutex>
#include <unordered_map>

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

namespace {

// The names live in a deque (stable addresses); slots_ maps numbers to them
// without touching the deque, so that reading a name takes no lock.
struct NameTableState {
    std::mutex mutex;
    std::deque<std::string> names;
    std::unordered_map<std::string_view, std::uint16_t> byName;
    std::array<const std::string*, ItemNameTable::kMaxInterned> slots{};
};

NameTableState& NameTable() {
    static NameTableState state;
    return state;
}

}  // namespace

std::uint16_t ItemNameTable::Intern(std::string_view name) {
    if (name.size() > kMaxInternedLength) return kNotInterned;
    NameTableState& table = NameTable();
    std::lock_guard lock(table.mutex);
    if (auto found = table.byName.find(name); found != table.byName.end()) return found->second;
    if (table.names.size() >= kMaxInterned) return kNotInterned;
    const std::string& stored = table.names.emplace_back(name);
    auto id = static_cast<std::uint16_t>(table.names.size() - 1);
    table.slots[id] = &stored;
    table.byName.emplace(std::string_view(stored), id);
    return id;
}

std::string_view ItemNameTable::Name(std::uint16_t id) {
    const std::string* name = id < kMaxInterned ? NameTable().slots[id] : nullptr;
    return name ? std::string_view(*name) : std::string_view();
}

void SummaryBuffer::Add(const ItemData& item) {
    std::string_view name = std::string_view(item.name).substr(0, 0xFFFF);
    std::uint16_t nameId = ItemNameTable::Intern(name);
    PutWord(data_, nameId);
    if (nameId == ItemNameTable::kNotInterned) {
        PutWord(data_, static_cast<std::uint16_t>(name.size()));
        data_.append(name);
    }
    PutWord(data_, item.type);
    PutWord(data_, item.flags);
    std::uint64_t length = item.value.size();
    while (length >= 0x80) {
        data_.push_back(static_cast<char>((length & 0x7F) | 0x80));
        length >>= 7;
    }
    data_.push_back(static_cast<char>(length));
    data_.append(item.value);
}

std::size_t SummaryBuffer::GetLength(std::string_view data, std::size_t* offset) {
    std::uint64_t length = 0;
    for (int shift = 0; *offset < data.size() && shift < 64; shift += 7) {
        auto byte = static_cast<unsigned char>(data[(*offset)++]);
        length |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
        if (!(byte & 0x80)) break;
    }
    return static_cast<std::size_t>(length);
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
