// Which bodies go to the parser as they are: well-formed UTF-8 only.
#include <gtest/gtest.h>
#include "text/utf8.h"

TEST(Utf8, WellFormedOnly) {
    struct Case {
        std::string bytes;
        bool bValid;
    } cases[] = {
        {"", true},
        {"plain ASCII <rss/>", true},
        {"Caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80", true},
        {"\xEF\xBF\xBF\xF4\x8F\xBF\xBF", true},  // U+FFFF, U+10FFFF
        {"Caf\xE9", false},                      // Latin-1
        {"\xC3", false},                          // cut short
        {"\xE6\x97", false},
        {"\x80", false},                          // a stray continuation byte
        {"\xC0\xAF", false},                      // overlong '/'
        {"\xE0\x80\xAF", false},
        {"\xF0\x80\x80\xAF", false},
        {"\xED\xA0\x80", false},                  // a surrogate
        {"\xF4\x90\x80\x80", false},              // above U+10FFFF
        {"\xF8\x88\x80\x80\x80", false},
        {"\xC3\x28", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsValidUtf8(c.bytes), c.bValid) << testing::PrintToString(c.bytes);
}
