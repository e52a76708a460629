// Names from the network compare without ASCII case and show only as printable ASCII.
#include <gtest/gtest.h>
#include "text/ascii.h"

TEST(Ascii, LowerTouchesOnlyAsciiLetters) {
    EXPECT_EQ(AsciiLower(u"ISO-8859-1 Ä"), u"iso-8859-1 Ä");
    EXPECT_TRUE(AsciiEqualNoCase(u"Content-Type", u"content-TYPE"));
    EXPECT_FALSE(AsciiEqualNoCase(u"charset", u"charse"));
    // U+0130 (capital I with dot) must not fold to 'i': a name is ASCII or it differs.
    EXPECT_FALSE(AsciiEqualNoCase(u"\u0130", u"i"));
}

TEST(Ascii, PrintableNameHidesControlsAndCutsLongNames) {
    EXPECT_EQ(PrintableName(u"utf\r\n8\u00e9"), u"utf??8?");
    std::u16string longName(50, u'x');
    EXPECT_EQ(PrintableName(longName), std::u16string(40, u'x') + u"...");
    EXPECT_EQ(PrintableName(std::u16string(40, u'y')), std::u16string(40, u'y'));
}
