// Character references as mail writers use them: the whole HTML5 name list,
// legacy names without ';', numbers beyond the BMP and broken numbers.

#include "notes/api/mime/HtmlReferences.h"
#include "notes/api/mime/HtmlToText.h"
#include "notes/api/mime/HtmlTokenizer.h"

#include <gtest/gtest.h>

#include <string>

namespace qb::mime {
namespace {

const std::string kReplacement = "\xEF\xBF\xBD";

TEST(HtmlReferences, EveryHtml5NameIncludingTwoCodePointsAndTheLongest) {
    EXPECT_EQ(DecodeHtmlReferences("1 &rarr; 2 &frac12;&hellip;"), "1 \xE2\x86\x92 2 \xC2\xBD\xE2\x80\xA6");
    EXPECT_EQ(DecodeHtmlReferences("&Aacute;&aacute;&zwj;&Zeta;&zeta;&AMP;"),
              "\xC3\x81\xC3\xA1\xE2\x80\x8D\xCE\x96\xCE\xB6&");
    EXPECT_EQ(DecodeHtmlReferences("&CounterClockwiseContourIntegral;"), "\xE2\x88\xB3");
    // Names that stand for two code points.
    EXPECT_EQ(DecodeHtmlReferences("&NotEqualTilde;&acE;"), "\xE2\x89\x82\xCC\xB8\xE2\x88\xBE\xCC\xB3");
    EXPECT_EQ(DecodeHtmlReferences("&unknown; &Rarr &;&"), "&unknown; &Rarr &;&");
    // A run of letters longer than any name is read once and left alone.
    const std::string longRun = "&" + std::string(100000, 'a') + ";";
    EXPECT_EQ(DecodeHtmlReferences(longRun), longRun);
}

TEST(HtmlReferences, LegacyNamesWorkWithoutTheSemicolonOthersDoNot) {
    EXPECT_EQ(DecodeHtmlReferences("&copy 2024 &amp co &lt&gt"), "\xC2\xA9 2024 & co <>");
    // The longest legacy name the letters start with.
    EXPECT_EQ(DecodeHtmlReferences("&notit; &notin;"), "\xC2\xACit; \xE2\x88\x89");
    EXPECT_EQ(DecodeHtmlReferences("&rarr &hellip"), "&rarr &hellip");
}

TEST(HtmlReferences, NumbersBeyondTheBmpAndInvalidOnes) {
    const std::string grinning = "\xF0\x9F\x98\x80";
    EXPECT_EQ(DecodeHtmlReferences("&#x1F600;&#128512;&#X1f600"), grinning + grinning + grinning);
    EXPECT_EQ(DecodeHtmlReferences("&#65;&#x42&#0067;"), "ABC");
    for (const char* invalid : {"&#0;", "&#xD800;", "&#57343;", "&#x110000;", "&#1114112;",
                                "&#99999999999999999999999999999999;", "&#xFFFFFFFFFFFFFFFFFFFF1;"})
        EXPECT_EQ(DecodeHtmlReferences(invalid), kReplacement) << invalid;
    EXPECT_EQ(DecodeHtmlReferences("&#x10FFFF;"), "\xF4\x8F\xBF\xBF");
    EXPECT_EQ(DecodeHtmlReferences("a&#" + std::string(100000, '9') + ";b"), "a" + kReplacement + "b");
    // Numbers in the C1 range are the Windows-1252 characters writers meant.
    EXPECT_EQ(DecodeHtmlReferences("&#150;&#x92;&#128;"), "\xE2\x80\x93\xE2\x80\x99\xE2\x82\xAC");
    EXPECT_EQ(DecodeHtmlReferences("&#x81;"), "\xC2\x81");
    EXPECT_EQ(DecodeHtmlReferences("&#; &#x; &#xg; &#-1;"), "&#; &#x; &#xg; &#-1;");
}

TEST(HtmlReferences, AttributesKeepLegacyNamesFollowedByLettersOrEquals) {
    HtmlTokenizer tokens("<a href=\"x?a=1&copy=2&amp;b=&lt;&notx\" title=&copy;&copy>&copy=2</a>");
    HtmlToken token;
    ASSERT_TRUE(tokens.Next(token));
    EXPECT_EQ(token.Attribute("href"), "x?a=1&copy=2&b=<&notx");
    EXPECT_EQ(token.Attribute("title"), "\xC2\xA9\xC2\xA9");
    ASSERT_TRUE(tokens.Next(token));
    EXPECT_EQ(token.text, "\xC2\xA9=2");
}

TEST(HtmlReferences, PlainBodyOfAnHtmlMail) {
    EXPECT_EQ(HtmlToText("<p>Step 1 &rarr; step 2: &frac12; done&hellip; &#x1F600;</p>"),
              "Step 1 \xE2\x86\x92 step 2: \xC2\xBD done\xE2\x80\xA6 \xF0\x9F\x98\x80");
}

}  // namespace
}  // namespace qb::mime
