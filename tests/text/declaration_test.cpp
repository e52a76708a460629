// The declaration is found after the white space and byte-order marks that servers put
// before it, and bytes that only claim to be UTF-8 are told from bytes that are.
#include <gtest/gtest.h>
#include <string>
#include "text/declaration.h"

namespace {

std::string EncodingOf(std::string_view bytes) {
    XmlDeclarationSpan span = FindDeclarationAfterWhiteSpace(bytes);
    return std::string(bytes.substr(span.ichValue, span.cchValue));
}

}  // namespace

TEST(Declaration, FoundAfterMarkAndWhiteSpaceInBytes) {
    struct Case {
        std::string bytes;
        bool bFound;
        size_t ichText;
        std::string encoding;
    };
    const Case rgCases[] = {
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><rss/>", true, 0, "ISO-8859-1"},
        {"\r\n\n  \t<?xml version='1.0' encoding='euc-jp'?><rss/>", true, 6, "euc-jp"},
        {"\xEF\xBB\xBF\n<?xml version=\"1.0\" encoding=\"koi8-r\"?>", true, 4, "koi8-r"},
        {"<?xml version = \"1.0\" encoding = \"big5\" standalone=\"yes\" ?>", true, 0, "big5"},
        {"<?xml version=\"1.0\"?><rss/>", true, 0, ""},
        // White space with no declaration after it stays; a mark does not.
        {"\n<rss/>", false, 0, ""},
        {"\xEF\xBB\xBF\n<rss/>", false, 3, ""},
        // Not declarations: another processing instruction, text first, no end.
        {"<?xml-stylesheet href=\"a.xsl\"?>", false, 0, ""},
        {"x<?xml version=\"1.0\" encoding=\"big5\"?>", false, 0, ""},
        {"<?xml version=\"1.0\" encoding=\"big5\"", false, 0, ""},
        {"<?xml", false, 0, ""},
        {"", false, 0, ""},
        // The name is read only from a well-formed pseudo-attribute, and not from
        // another attribute's value.
        {"<?xml version=\"1.0\" encoding=\"big5?>", true, 0, ""},
        {"<?xml version=\"1.0 encoding='big5'\"?>", true, 0, ""},
        {"<?xml version=1.0 encoding=\"big5\"?>", true, 0, ""},
        {"<?xml xencoding=\"big5\"?>", true, 0, ""},
    };
    for (const Case& c : rgCases) {
        XmlDeclarationSpan span = FindDeclarationAfterWhiteSpace(c.bytes);
        EXPECT_EQ(span.bFound, c.bFound) << c.bytes;
        EXPECT_EQ(span.ichText, c.ichText) << c.bytes;
        EXPECT_EQ(EncodingOf(c.bytes), c.encoding) << c.bytes;
    }
    // A declaration must end near its start: a long run without "?>" is not searched.
    std::string longDeclaration = "<?xml version=\"1.0\" encoding=\"big5\"" + std::string(2000, ' ') + "?>";
    EXPECT_FALSE(FindDeclarationAfterWhiteSpace(longDeclaration).bFound);
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

TEST(Utf8, ValidOnlyWhenEverySequenceIsWellFormed) {
    struct Case {
        std::string bytes;
        bool bValid;
    };
    const Case rgCases[] = {
        {"plain ASCII", true},
        {"caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x98\x80", true},
        {"", true},
        // Latin-1 and windows-1252 text, the bytes the fallback exists for.
        {"caf\xE9 au lait", false},
        {"\x93quoted\x94", false},
        {"na\xEFve", false},
        // Overlong forms, surrogates, past U+10FFFF, stray continuation bytes.
        {"\xC0\xAF", false},
        {"\xE0\x80\xAF", false},
        {"\xF0\x80\x80\xAF", false},
        {"\xED\xA0\x80", false},
        {"\xF4\x90\x80\x80", false},
        {"\xF5\x80\x80\x80", false},
        {"\x80", false},
        {"\xC3\xA9\xA9", false},
        // A lead byte followed by too few continuation bytes before more text.
        {"\xE2\x80x", false},
        // A download cut inside its last character is still UTF-8.
        {"caf\xC3", true},
        {"dash \xE2\x80", true},
        {"\xF0\x9F\x98", true},
        // But a lead byte that starts no sequence is not, even at the end.
        {"caf\xFF", false},
    };
    for (const Case& c : rgCases) EXPECT_EQ(IsValidUtf8(c.bytes), c.bValid) << c.bytes;
}
