#pragma once
// JSON text for the descriptions the tools write (sample manifest, dumps).

#include <string>
#include <string_view>

namespace qb::text {

// A JSON string literal, quotes included; UTF-8 passes through.
std::string JsonString(std::string_view text);

}  // namespace qb::text
