#pragma once
// A FormulaDocument held in memory: items set by name. Used where a note
// exists only as values (the sample generator's own count of what its views
// select, and tests).

#include <map>
#include <string>
#include <string_view>

#include "notes/api/formula/FormulaDocument.h"

namespace qb::notes {

class MapFormulaDocument : public FormulaDocument {
public:
    void Set(std::string_view name, FormulaValue value);
    void SetText(std::string_view name, std::string text) { Set(name, FormulaValue::Text(std::move(text))); }
    void Remove(std::string_view name);
    void SetResponse(bool response) { response_ = response; }
    void Clear();

    bool HasItem(std::string_view name) const override;
    FormulaValue ItemValue(std::string_view name) const override;
    bool IsResponse() const override { return response_; }

private:
    static std::string Key(std::string_view name);
    std::map<std::string, FormulaValue> items_;  // by lower-case name
    bool response_ = false;
};

}  // namespace qb::notes
