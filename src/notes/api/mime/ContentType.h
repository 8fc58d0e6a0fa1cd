#pragma once
// Content-Type and Content-Disposition values with their parameters
// (RFC 2045 section 5, RFC 2183, RFC 2231).

#include <map>
#include <string>
#include <string_view>

namespace qb::mime {

// Parameter names in lower case; values unquoted and, for RFC 2231
// extended parameters ("name*=charset'lang'%XX", "name*0*=", "name*1="),
// joined and converted to UTF-8. Encoded words inside a quoted value (as
// some mailers write file names) are decoded as well.
using ParameterMap = std::map<std::string, std::string>;

struct ContentType {
    std::string type = "text";      // lower case
    std::string subtype = "plain";  // lower case
    ParameterMap parameters;

    std::string MimeType() const { return type + "/" + subtype; }
    bool IsMultipart() const { return type == "multipart"; }
    bool IsText() const { return type == "text"; }
    std::string Parameter(std::string_view name) const;
};

struct ContentDisposition {
    std::string kind;  // "inline", "attachment", other, or "" when absent
    ParameterMap parameters;
};

// A missing or unreadable type gives text/plain (RFC 2045 section 5.2).
ContentType ParseContentType(std::string_view value);
ContentDisposition ParseContentDisposition(std::string_view value);
// The "token; a=b; c=\"d\"" form shared by both fields.
ParameterMap ParseParameters(std::string_view text);

}  // namespace qb::mime
