#pragma once
// Case folding of UTF-8 text for the comparisons that ignore case (address
// tables, names). Covers ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic,
// which is what mail names are written in; other characters stay as they are.

#include <string>
#include <string_view>

namespace qb::text {

std::string ToLower(std::string_view utf8);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace qb::text
