#pragma once
// The text values of a document's items as the converters read them: a
// missing or unreadable item is no value, never a failure.

#include <optional>
#include <string>
#include <vector>

#include "notes/api/LNNote.h"

namespace qb {

// The first text value of an item. nullopt when the item is missing or
// cannot be read as text; an item without values reads as the empty text.
std::optional<std::string> FirstText(const LNDocument& document, const char* name);

// Every text value, in order; none when the item is missing or unreadable.
std::vector<std::string> AllTexts(const LNDocument& document, const char* name);

}  // namespace qb
