#pragma once
// Text comparison as the formula operators do it, and the case mapping of
// @LowerCase and @UpperCase.
//
// The comparison operators ignore case. Their order follows the Notes sort
// sequence: blanks and control characters, the apostrophe, the dash, the
// digits, the letters (a and A together, then b and B, ...; accented Latin
// letters after z), then every other character by its code point.
// Text that is not valid UTF-8 is compared byte by byte where it is invalid.

#include <string>
#include <string_view>

namespace qb::notes {

// <0, 0 or >0 as `left` sorts before, equal to or after `right`.
int CompareNotesText(std::string_view left, std::string_view right);

std::string NotesLowerCase(std::string_view text);
std::string NotesUpperCase(std::string_view text);

}  // namespace qb::notes
