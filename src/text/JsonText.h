#pragma once
// JSON text for the descriptions the tools write (sample manifest, dumps):
// whatever the input, the result is a valid JSON string literal.

#include <string>
#include <string_view>

namespace qb::text {

// A JSON string literal, quotes included. Valid UTF-8 passes through,
// control characters are escaped and invalid bytes become U+FFFD.
std::string JsonString(std::string_view text);

}  // namespace qb::text
