#pragma once
// Plain text of an HTML mail body, for mail that carries no text/plain part.

#include <string>
#include <string_view>

namespace qb::mime {

// Tags are dropped; block elements (p, div, br, li, tr, headings ...) become
// line breaks, table cells are separated by a tab, list items start with
// "* "; script, style, head and comments are skipped; character references
// (named, decimal, hexadecimal) are decoded; runs of white space collapse to
// one space outside <pre>. Input and output are UTF-8. Lines end with "\r\n".
std::string HtmlToText(std::string_view html);

}  // namespace qb::mime
