#pragma once
// The header block of a mail message or MIME part (RFC 5322 section 2.2).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/TextCase.h"

namespace qb::mime {

struct HeaderField {
    std::string name;
    // The value as written, unfolded (line breaks before white space
    // removed), leading white space removed, encoded words not decoded.
    std::string value;
};

class HeaderList {
public:
    void Add(std::string name, std::string value);
    // The first field of that name (case-insensitive).
    const HeaderField* Find(std::string_view name) const;
    std::optional<std::string> Value(std::string_view name) const;
    std::vector<const HeaderField*> All(std::string_view name) const;
    const std::vector<HeaderField>& fields() const { return fields_; }
    bool empty() const { return fields_.empty(); }

private:
    std::vector<HeaderField> fields_;
};

struct HeaderBlock {
    HeaderList headers;
    // Offset of the body: just past the empty line that ends the block, or
    // the end of the input when there is none.
    size_t bodyOffset = 0;
    // Lines that are neither fields nor continuations (kept out of the list).
    int malformedLines = 0;
};

// Parses fields up to the first empty line. Accepts CRLF and bare LF line
// ends. A line that is neither a field nor a continuation ends the block
// early (counted as malformed): the body starts with that line, as mail
// readers do when the empty separator line is missing.
HeaderBlock ParseHeaderBlock(std::string_view text);

using text::EqualsIgnoreCase;
using text::ToLower;
std::string_view Trim(std::string_view text);

}  // namespace qb::mime
