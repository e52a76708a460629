// JSON string literals for the tools' output: escapes, UTF-8, and surrogates that do not
// pair kept out of the line.
#include <gtest/gtest.h>
#include "text/json.h"

TEST(Json, StringLiterals) {
    struct Case {
        std::u16string text;
        std::string json;
    } cases[] = {
        {u"", "\"\""},
        {u"a\"b\\c/", "\"a\\\"b\\\\c/\""},
        {u"\n\r\t\b\x1f\x7f", "\"\\n\\r\\t\\u0008\\u001f\x7f\""},
        {std::u16string(u"a\0b", 3), "\"a\\u0000b\""},
        {u"\u00e9\u20ac\U0001F600", "\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\""},
        {u"\xD800x\xDC00", "\"\xef\xbf\xbdx\xef\xbf\xbd\""},
        {u"\xDBFF", "\"\xef\xbf\xbd\""},
    };
    for (const Case& c : cases) EXPECT_EQ(JsonString(c.text), c.json) << testing::PrintToString(c.text);
}
