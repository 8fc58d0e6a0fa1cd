#pragma once
// A lenient HTML tokenizer for mail bodies: text with character references
// decoded (HtmlReferences.h), start and end tags with their attributes.
// Comments, and the content of script, style, head, title and xml elements,
// are skipped.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qb::mime {

struct HtmlToken {
    enum class Kind { Text, StartTag, EndTag };
    Kind kind = Kind::Text;
    std::string name;  // tags: lower case
    std::string text;  // text: UTF-8, references decoded (U+00A0 kept)
    // Names lower case, values with references decoded.
    std::vector<std::pair<std::string, std::string>> attributes;

    std::string Attribute(std::string_view attributeName) const;
};

class HtmlTokenizer {
public:
    explicit HtmlTokenizer(std::string_view html) : html_(html) {}
    // The next token; false at the end of the input.
    bool Next(HtmlToken& token);

private:
    bool ReadTag(HtmlToken& token);
    void ReadAttributes(size_t from, size_t end, HtmlToken& token) const;
    void SkipRawText(const std::string& element);

    std::string_view html_;
    size_t pos_ = 0;
};

}  // namespace qb::mime
