#include "notes/api/mime/HtmlToText.h"

#include <gtest/gtest.h>

namespace qb::mime {
namespace {

TEST(HtmlToText, BlocksEntitiesAndSkippedElements) {
    EXPECT_EQ(HtmlToText("<html><head><title>T</title><style>p{color:red}</style></head>"
                         "<body><script type=\"x\">alert('<p>')</script>"
                         "<h1>Title</h1><p>One&nbsp;&amp;  two<br>three</p><div>four</div>"
                         "<!-- <p>hidden</p> --><ul><li>a</li><li>b</li></ul>"
                         "<table><tr><td>c1</td><td>c2</td></tr><tr><td>d1</td></tr></table>"
                         "&#228;&#xE4;&unknown; a < b</body></html>"),
              "Title\r\n\r\nOne & two\r\nthree\r\n\r\nfour\r\n\r\n* a\r\n* b\r\n\r\nc1\tc2\r\nd1\r\n\r\n"
              "\xC3\xA4\xC3\xA4&unknown; a < b");
}

TEST(HtmlToText, PreKeepsLinesAndAttributesMayHoldAngleBrackets) {
    EXPECT_EQ(HtmlToText("<pre>a  b\n c</pre><a title=\"x>y\" href='z'>link</a>"), "a  b\r\n c\r\n\r\nlink");
    EXPECT_EQ(HtmlToText("<p>unterminated <b"), "unterminated");
    EXPECT_EQ(HtmlToText("<style>never closed"), "");
}

}  // namespace
}  // namespace qb::mime
