#pragma once
// Any Notes item as plain text: texts and lists, signatures, note
// references, rich text (with its document links) and every other type
// through the Notes conversion to text.

#include <functional>
#include <string>

#include "notes/api/LNNote.h"

namespace qb {

// Limits of the reader, in bytes: text gathered from one rich text item, one
// text value or list entry, and one value of any other type.
inline constexpr std::size_t kRichTextTextLimit = 65535;
inline constexpr std::size_t kTextValueLimit = 65535;
inline constexpr std::size_t kOtherValueLimit = 61440;

struct FieldTextOptions {
    bool exportDocLinks = false;  // links in rich text become NOTES:// URLs
    // Told of a failure with its text ("~#>ERROR GetFieldText Error at field
    // %s: %d"); the reader then gives what it had gathered.
    std::function<void(const std::string&)> reportFailure;
};

// The text of every item of that name on the note; `separator` goes between
// the entries of a text list. After a failure it gives what was gathered.
std::string GetFieldText(NOTEHANDLE note, const char* itemName, char separator, const FieldTextOptions& options);

}  // namespace qb
