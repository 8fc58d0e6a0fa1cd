// XML escaping checked with a real parser: any input gives a well-formed
// attribute and element that read back as the text (controls XML cannot
// carry and bad UTF-8 as U+FFFD).

#include <gtest/gtest.h>

#include <expat.h>

#include "text/Utf8.h"
#include "text/XmlText.h"

namespace qb::text {
namespace {

struct Parsed {
    bool wellFormed = false;
    std::string attribute;
    std::string content;
};

Parsed ParseBack(const std::string& escaped) {
    Parsed parsed;
    const std::string document = "<a v='" + escaped + "' w=\"" + escaped + "\">" + escaped + "</a>";
    XML_Parser parser = XML_ParserCreate("UTF-8");
    XML_SetUserData(parser, &parsed);
    XML_SetStartElementHandler(parser, [](void* data, const XML_Char*, const XML_Char** attributes) {
        static_cast<Parsed*>(data)->attribute = attributes[1];
    });
    XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char* text, int length) {
        static_cast<Parsed*>(data)->content.append(text, static_cast<std::size_t>(length));
    });
    parsed.wellFormed = XML_Parse(parser, document.data(), static_cast<int>(document.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return parsed;
}

TEST(XmlText, MarkupQuotesAndLineEndsReadBackExactly) {
    const std::string text = "a<b>&c \"d\" 'e'\r\n\tf \xE2\x82\xAC \xF0\x9F\x98\x80";
    const Parsed parsed = ParseBack(XmlEscape(text));
    ASSERT_TRUE(parsed.wellFormed);
    EXPECT_EQ(parsed.attribute, text) << "line ends survive even in attributes";
    EXPECT_EQ(parsed.content, text);
}

TEST(XmlText, EveryByteGivesWellFormedXml) {
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    all += std::string("\0\xC3", 2);
    const Parsed parsed = ParseBack(XmlEscape(all));
    ASSERT_TRUE(parsed.wellFormed);
    EXPECT_EQ(parsed.content, parsed.attribute);
    EXPECT_TRUE(IsValidUtf8(parsed.content));
    EXPECT_EQ(ParseBack(XmlEscape(std::string("x\x01y\x1Fz", 5))).content, "x\xEF\xBF\xBDy\xEF\xBF\xBDz");
}

}  // namespace
}  // namespace qb::text
