// Which bodies are UTF-8: well-formed sequences only, where a download cut inside its
// last character still counts (and says where that character starts).
#include <gtest/gtest.h>
#include "text/utf8.h"

TEST(Utf8, WellFormedOnlyAndCutShortAtTheEnd) {
    struct Case {
        std::string bytes;
        Utf8Form form;
        size_t cbWhole;
    } cases[] = {
        {"", Utf8Form::Valid, 0},
        {"plain ASCII <rss/>", Utf8Form::Valid, 18},
        {"Caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80", Utf8Form::Valid, 14},
        {"\xEF\xBF\xBF\xF4\x8F\xBF\xBF", Utf8Form::Valid, 7},  // U+FFFF, U+10FFFF
        // Latin-1 and windows-1252 text, the bytes the fallback exists for.
        {"Caf\xE9 au lait", Utf8Form::Invalid, 0},
        {"\x93quoted\x94", Utf8Form::Invalid, 0},
        {"na\xEFve", Utf8Form::Invalid, 0},
        // Stray continuation bytes, overlong forms, surrogates, past U+10FFFF.
        {"\x80", Utf8Form::Invalid, 0},
        {"\xC3\xA9\xA9", Utf8Form::Invalid, 0},
        {"\xC0\xAF", Utf8Form::Invalid, 0},
        {"\xE0\x80\xAF", Utf8Form::Invalid, 0},
        {"\xF0\x80\x80\xAF", Utf8Form::Invalid, 0},
        {"\xED\xA0\x80", Utf8Form::Invalid, 0},
        {"\xF4\x90\x80\x80", Utf8Form::Invalid, 0},
        {"\xF5\x80\x80\x80", Utf8Form::Invalid, 0},
        {"\xF8\x88\x80\x80\x80", Utf8Form::Invalid, 0},
        {"\xC3\x28", Utf8Form::Invalid, 0},
        // Too few continuation bytes before more text.
        {"\xE2\x80x", Utf8Form::Invalid, 0},
        // A download cut inside its last character.
        {"caf\xC3", Utf8Form::CutShort, 3},
        {"dash \xE2\x80", Utf8Form::CutShort, 5},
        {"\xF0\x9F\x98", Utf8Form::CutShort, 0},
        // But not one whose part so far is already wrong, nor a byte that starts nothing.
        {"\xE0\x80", Utf8Form::Invalid, 0},
        {"caf\xFF", Utf8Form::Invalid, 0},
    };
    for (const Case& c : cases) {
        size_t cbWhole = 12345;
        EXPECT_EQ(CheckUtf8(c.bytes, &cbWhole), c.form) << testing::PrintToString(c.bytes);
        if (c.form != Utf8Form::Invalid) {
            EXPECT_EQ(cbWhole, c.cbWhole) << testing::PrintToString(c.bytes);
        }
    }
}
