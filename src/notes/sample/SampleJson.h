#pragma once
// JSON text of the sample's descriptions (manifest, expected mail).

#include <string>
#include <string_view>

namespace qb::notes::sample {

// A JSON string literal, quotes included; UTF-8 passes through.
std::string JsonString(std::string_view text);

}  // namespace qb::notes::sample
