#pragma once
// Case folding of UTF-8 text for the comparisons that ignore case (address
// tables, names). Covers ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic,
// which is what mail names are written in; other characters stay as they are.

#include <string>
#include <string_view>

namespace qb::text {

// The lower-case form of one letter; other code points unchanged.
char32_t LowerCodePoint(char32_t cp);

// Invalid UTF-8 is copied byte for byte.
std::string ToLower(std::string_view utf8);
// Without building either lower-case form; invalid bytes compare as bytes.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix);
// Ordering of the folded texts: negative, zero or positive.
int CompareIgnoreCase(std::string_view a, std::string_view b);

}  // namespace qb::text
