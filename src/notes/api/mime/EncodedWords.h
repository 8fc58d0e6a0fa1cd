#pragma once
// Header text with encoded words (RFC 2047) as UTF-8.

#include <string>
#include <string_view>

namespace qb::mime {

// Decodes "=?charset?B?...?=" and "=?charset?Q?...?=" words (an optional
// "*language" after the charset is ignored). White space between two
// adjacent encoded words is dropped, as the RFC says. Text outside encoded
// words is taken as UTF-8 when valid, else as Windows-1252. A malformed
// word is kept as written.
std::string DecodeHeaderText(std::string_view raw);

}  // namespace qb::mime
