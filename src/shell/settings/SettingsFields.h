#pragma once
// The table of stored keys shared by loading, saving and describing settings,
// so that a key's section, form and default are written down once.

#include <cstdint>
#include <ctime>
#include <string>
#include <variant>
#include <vector>

#include "shell/settings/ExportSettings.h"

namespace qb::settings_detail {

inline constexpr const char* kNotes = "Notes";
inline constexpr const char* kLotusNotes = "Lotus Notes";
inline constexpr const char* kOutlook = "Outlook";
inline constexpr const char* kOtherSettings = "Other Settings";
inline constexpr const char* kMultiExport = "Multi Export";

enum class Form {
    Flag,              // "1" is true, anything else false
    FlagFirstChar,     // true when the text starts with "1"
    Number,            // signed 32-bit decimal; empty or malformed keeps the default
    Choice01,          // "1" gives 1, anything else 0
    Text,              // taken as stored
    TextOrDefault,     // an empty stored text keeps the default
    List,              // comma-separated entries
    ComponentList,     // a list written as "Name," per selected component, in fixed order
    DateBound,         // six numbers, FilterYear..FilterSecond with an optional "To"
};

using Member = std::variant<bool ExportSettings::*, std::int32_t ExportSettings::*, std::string ExportSettings::*,
                            std::vector<std::string> ExportSettings::*, std::time_t ExportSettings::*>;

struct Field {
    int stage;
    const char* section;
    const char* key;  // a DateBound is named by its first key, "FilterYear" or "FilterYearTo"
    Form form;
    Member member;
};

// Every loaded key in load order.
const std::vector<Field>& LoadOrder();
// The keys written by Save, in their order.
const std::vector<const char*>& SaveOrder();
const Field* FindField(const char* key);

}  // namespace qb::settings_detail
