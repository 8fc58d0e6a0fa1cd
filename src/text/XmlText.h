#pragma once
// Text written into XML (the DXL we write): the result is well-formed in an
// attribute value in either quote and in element content, and reads back
// as the same text. Tab, line feed and carriage return are written as
// character references so that a parser keeps them even in attributes;
// control characters XML 1.0 cannot carry at all and invalid UTF-8 become
// U+FFFD.

#include <string>
#include <string_view>

namespace qb::text {

std::string XmlEscape(std::string_view utf8);

}  // namespace qb::text
