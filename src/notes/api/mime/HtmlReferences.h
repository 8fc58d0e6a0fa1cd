#pragma once
// The one decoder of HTML character references (named, decimal, hexadecimal)
// in mail bodies, as HTML5 reads them: every name of the HTML5 list, the
// legacy names also without ';', numeric references to any code point.
// Invalid numbers (0, surrogates, beyond U+10FFFF) give U+FFFD; numbers in
// the C1 range give the Windows-1252 characters writers meant; unknown names
// stay as written.

#include <string>
#include <string_view>

namespace qb::mime {

// In attribute values a legacy name without ';' followed by a letter, digit
// or '=' is no reference ("?a=1&copy=2" in a link stays as written).
enum class HtmlReferenceContext { Text, Attribute };

std::string DecodeHtmlReferences(std::string_view text, HtmlReferenceContext context = HtmlReferenceContext::Text);

}  // namespace qb::mime
