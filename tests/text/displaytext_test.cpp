// Titles as the user sees them: markup and escapes that feeds put into titles, and
// hostile titles that must neither crash nor overrun.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "text/displaytext.h"

namespace {

std::u16string Display(std::u16string_view title, size_t cch = 501) {
    std::vector<char16_t> out(cch, u'#');
    size_t n = DisplayTextFromTitle(out.data(), cch, title);
    EXPECT_EQ(out[n], 0);
    return std::u16string(out.data(), n);
}

std::u16string Repeat(std::u16string_view s, size_t n) {
    std::u16string out;
    while (n--) out += s;
    return out;
}

}  // namespace

TEST(DisplayText, MarkupAndReferences) {
    struct Case {
        std::u16string title, display;
    } cases[] = {
        // One round only: what a reference gives is not decoded again.
        {u"Tom &amp; Jerry <b>live</b>", u"Tom & Jerry live"},
        {u"&amp;lt;b&amp;gt; &amp;amp;", u"&lt;b&gt; &amp;"},
        {u"Caf&eacute; &#8211; &quot;Q&quot; &hellip;&euro;&#x1F600;&yuml;&nbsp;&AElig;",
         u"Caf\u00e9 \u2013 \"Q\" \u2026\u20ac\U0001F600\u00ff \u00c6"},
        {u"It&#146;s &#150; 1252 &#129;", u"It\u2019s \u2013 1252"},
        // Inline tags join, line-breaking ones and white space become one space.
        {u"\r\n  Tom<b>&amp;</b>Jerry<br/>next\t\tline&nbsp; <p>para</p>  ", u"Tom&Jerry next line para"},
        {u"<a title=\"x > y\" href='z'>link</a><!-- a > b --><script>alert(1)</script>end", u"linkend"},
        {u"<STYLE>p{}</Style>x<TABLE>y", u"x y"},
        {u"a < b, x<3, AT&T, &bogus; & &#; &Amp; &amp", u"a < b, x<3, AT&T, &bogus; & &#; &Amp; &amp"},
        {std::u16string(u"nul\0in\x01the\x85middle", 17), u"nul in the middle"},
        // References to nothing, and ones that never end their digits.
        {u"&#0;&#x110000;&#xD800;&#99999999999999999999;", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {u"&amp no &#38 semicolon &#x41", u"&amp no & semicolon A"},
        {u"&abcdefghijklmnopq; &abcdefghijklmnop;", u"&abcdefghijklmnopq; &abcdefghijklmnop;"},
        // Open tags and skipped elements take the rest.
        {u"open <b class=\"never closed", u"open"},
        {u"<script>never ends", u""},
        {u"a<!-- never ends", u"a"},
        {Repeat(u"<b>", 166) + u"x</b", u"x"},
        {Repeat(u"&amp;", 99), Repeat(u"&", 99)},
        {u"", u""},
    };
    for (const Case& c : cases) EXPECT_EQ(Display(c.title), c.display) << testing::PrintToString(c.title);
}

TEST(DisplayText, CutToTheBufferNeverInsideAPair) {
    EXPECT_EQ(Display(u"ab\U0001F600", 4), u"ab");
    EXPECT_EQ(Display(u"ab&#x1F600;", 4), u"ab");
    EXPECT_EQ(Display(u"ab\U0001F600", 5), u"ab\U0001F600");
    EXPECT_EQ(Display(u"  a   b  ", 3), u"a");
    EXPECT_EQ(Display(u"text", 1), u"");
    char16_t untouched = u'#';
    EXPECT_EQ(DisplayTextFromTitle(&untouched, 0, u"text"), 0u);
    EXPECT_EQ(untouched, u'#');
}
