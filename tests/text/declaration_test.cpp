// The declaration is found after the white space and byte-order marks that servers put
// before it, its encoding is read from well-formed pseudo-attributes only, and the
// declarations a strict parser takes are told from those it refuses.
#include <gtest/gtest.h>
#include <string>
#include "text/declaration.h"

TEST(Declaration, FoundAfterMarkAndWhiteSpaceInBytesAndText) {
    struct Case {
        std::string bytes;
        bool bFound;
        size_t ichText;
        std::string encoding;
        std::string rest;  // the declaration without its encoding, when it has one
    };
    const Case rgCases[] = {
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><rss/>", true, 0, "ISO-8859-1", "<?xml version=\"1.0\"?><rss/>"},
        {"<?xml version='1.0'\n  encoding = 'koi8-r' standalone='yes'?>", true, 0, "koi8-r",
         "<?xml version='1.0' standalone='yes'?>"},
        {"\r\n\n  \t<?xml version='1.0' encoding='euc-jp'?><rss/>", true, 6, "euc-jp",
         "\r\n\n  \t<?xml version='1.0'?><rss/>"},
        {"\xEF\xBB\xBF\n<?xml version=\"1.0\" encoding=\"koi8-r\"?>", true, 4, "koi8-r", "\xEF\xBB\xBF\n<?xml version=\"1.0\"?>"},
        {"<?xml version = \"1.0\" encoding = \"big5\" standalone=\"yes\" ?>", true, 0, "big5",
         "<?xml version = \"1.0\" standalone=\"yes\" ?>"},
        {"<?xml version=\"1.0\"?><rss/>", true, 0, "", ""},
        // White space with no declaration after it stays; a mark does not.
        {"\n<rss/>", false, 0, "", ""},
        {"\xEF\xBB\xBF\n<rss/>", false, 3, "", ""},
        // Not declarations: another processing instruction, text first, no end.
        {"<?xml-stylesheet href=\"a.xsl\" encoding=\"x\"?>", false, 0, "", ""},
        {"x<?xml version=\"1.0\" encoding=\"big5\"?>", false, 0, "", ""},
        {"<?xml version=\"1.0\" encoding=\"big5\"", false, 0, "", ""},
        {"<?xml", false, 0, "", ""},
        {"", false, 0, "", ""},
        // The name is read only from a well-formed pseudo-attribute, and not from
        // another attribute's value nor from the root's attributes.
        {"<?xml version=\"1.0\" encoding=\"big5?>", true, 0, "", ""},
        {"<?xml version=\"1.0 encoding='big5'\"?>", true, 0, "", ""},
        {"<?xml version=1.0 encoding=\"big5\"?>", true, 0, "", ""},
        {"<?xml version=\"1.0\" encoding=x?>", true, 0, "", ""},
        {"<?xml xencoding=\"big5\"?>", true, 0, "", ""},
        {"<?xml version=\"1.0\"?><r encoding=\"x\"/>", true, 0, "", ""},
        // A declaration must end near its start: a long run without "?>" is not searched.
        {"<?xml version=\"1.0\" encoding=\"big5\"" + std::string(2000, ' ') + "?>", false, 0, "", ""},
    };
    for (const Case& c : rgCases) {
        XmlDeclarationSpan span = FindDeclarationAfterWhiteSpace(c.bytes);
        EXPECT_EQ(span.bFound, c.bFound) << c.bytes;
        EXPECT_EQ(span.ichText, c.ichText) << c.bytes;
        EXPECT_EQ(c.bytes.substr(span.ichValue, span.cchValue), c.encoding) << c.bytes;
        if (!c.encoding.empty()) {
            EXPECT_EQ(c.bytes.substr(0, span.ichEncoding) + c.bytes.substr(span.ichEncodingEnd), c.rest) << c.bytes;
        }
        // Decoded text gives the same spans.
        std::u16string text(c.bytes.begin(), c.bytes.end());
        if (c.bytes.rfind("\xEF\xBB\xBF", 0) == 0) text.replace(0, 3, u"\uFEFF");
        const size_t cchShift = text.size() == c.bytes.size() ? 0 : 2;
        XmlDeclarationSpan spanText = FindDeclarationAfterWhiteSpace(text);
        EXPECT_EQ(spanText.bFound, span.bFound) << c.bytes;
        EXPECT_EQ(spanText.ichText + cchShift, span.ichText) << c.bytes;
        EXPECT_EQ(spanText.cchValue, span.cchValue) << c.bytes;
    }
}

TEST(Declaration, TextToParseDropsWhatPrecedesItAndTheEncoding) {
    EXPECT_EQ(TextToParse(u"\uFEFF \r\n<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<rss/>"),
              u"<?xml version=\"1.0\"?>\n<rss/>");
    EXPECT_EQ(TextToParse(u"<?xml version='1.0' encoding='utf-8' standalone='yes'?><rss/>"),
              u"<?xml version='1.0' standalone='yes'?><rss/>");
    EXPECT_EQ(TextToParse(u"  <?xml version=\"1.0\"?><rss/>"), u"<?xml version=\"1.0\"?><rss/>");
    EXPECT_EQ(TextToParse(u"\uFEFF\n<rss>\u00e9</rss>"), u"\n<rss>\u00e9</rss>");
    EXPECT_EQ(TextToParse(u""), u"");
}

TEST(Declaration, WellFormedOnlyWithVersionFirstAndNamesInOrder) {
    struct Case {
        const char16_t* sz;
        bool bWellFormed;
    } cases[] = {
        {u"<?xml version=\"1.0\"?>", true},
        {u"<?xml version='1.1' encoding='ISO-8859-1' standalone='no' ?>", true},
        {u"<?xml version = \"1.0\"\r\n standalone=\"yes\"?>", true},
        {u"<?xml?>", false},
        {u"<?xml encoding=\"utf-8\"?>", false},
        {u"<?xml version=\"1.0\" standalone=\"yes\" encoding=\"x\"?>", false},
        {u"<?xml version=\"2.0\"?>", false},
        {u"<?xml version=\"1.0x\"?>", false},
        {u"<?xml version=\"1.0\" encoding=\"8bit\"?>", false},
        {u"<?xml version=\"1.0\" standalone=\"true\"?>", false},
        {u"<?xml version=\"1.0\"encoding=\"utf-8\"?>", false},
        {u"<?xml version=\"1.0\" Encoding=\"utf-8\"?>", false},
        {u"<?xml version=\"1.0\" encoding=\"utf-8\" junk?>", false},
        {u"<?xml version=\"1.0</item>\"?>", false},
    };
    for (const Case& c : cases) {
        std::u16string s = c.sz;
        EXPECT_EQ(IsWellFormedXmlDeclaration(s), c.bWellFormed) << std::string(s.begin(), s.end());
    }
}
