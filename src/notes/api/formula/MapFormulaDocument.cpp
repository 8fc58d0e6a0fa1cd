#include "notes/api/formula/MapFormulaDocument.h"
#include "text/TextCase.h"

#include <cctype>

namespace qb::notes {

std::string MapFormulaDocument::Key(std::string_view name) { return text::ToLower(name); }

void MapFormulaDocument::Set(std::string_view name, FormulaValue value) { items_[Key(name)] = std::move(value); }

void MapFormulaDocument::Remove(std::string_view name) { items_.erase(Key(name)); }

void MapFormulaDocument::Clear() {
    items_.clear();
    response_ = false;
}

bool MapFormulaDocument::HasItem(std::string_view name) const { return items_.count(Key(name)) != 0; }

FormulaValue MapFormulaDocument::ItemValue(std::string_view name) const {
    const auto found = items_.find(Key(name));
    return found == items_.end() ? FormulaValue() : found->second;
}

}  // namespace qb::notes
