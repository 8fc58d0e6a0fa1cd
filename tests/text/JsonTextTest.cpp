// JSON string literals parsed back with a real JSON parser: valid for every
// input, the same text for valid UTF-8.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "text/JsonText.h"

namespace qb::text {
namespace {

std::string ParsedString(const std::string& literal) { return nlohmann::json::parse(literal).get<std::string>(); }

TEST(JsonText, TextReadsBackUnchanged) {
    const std::string text = "Re: \"Q3\" \\ plan\r\n\tcaf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \x7F /";
    EXPECT_EQ(ParsedString(JsonString(text)), text);
    std::string controls;
    for (int c = 0; c < 0x20; ++c) controls.push_back(static_cast<char>(c));
    EXPECT_EQ(ParsedString(JsonString(controls)), controls);
}

TEST(JsonText, InvalidUtf8IsReplacedSoTheDocumentStaysValid) {
    EXPECT_EQ(ParsedString(JsonString("a\xFF" "b\xC3")), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
    EXPECT_EQ(ParsedString(JsonString("\xED\xA0\x80")), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    EXPECT_NO_THROW(nlohmann::json::parse("[" + JsonString(all) + "]"));
}

}  // namespace
}  // namespace qb::text
