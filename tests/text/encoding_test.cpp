// Encoding labels are read as browsers read them: the names real feeds give, in any
// ASCII case, with white space around them.
#include <gtest/gtest.h>
#include <string>
#include "text/encoding.h"
#include "text/htmlentity.h"

TEST(EncodingLabels, NamesRealFeedsGiveFindTheirCodePage) {
    struct Case {
        std::u16string label;
        const char* szName;  // null: not a label of the table
        unsigned cp;
    };
    const Case rgCases[] = {
        // Names the platform's charset database does not know.
        {u"EUC-JP", "euc-jp", 20932},
        {u"euc-kr", "euc-kr", 949},
        {u"ks_c_5601-1987", "euc-kr", 949},
        {u"TIS-620", "windows-874", 874},
        {u"IBM866", "ibm866", 866},
        {u"x-mac-cyrillic", "x-mac-cyrillic", 10007},
        {u"x-mac-ukrainian", "x-mac-cyrillic", 10007},
        {u"Shift_JIS", "shift_jis", 932},
        {u"GB2312", "gbk", 936},
        {u"gb18030", "gb18030", 54936},
        {u"Big5", "big5", 950},
        {u"KOI8-R", "koi8-r", 20866},
        {u"windows-1255", "windows-1255", 1255},
        {u"ISO-8859-7", "iso-8859-7", 28597},
        {u"iso-8859-8-i", "iso-8859-8-i", 38598},
        {u"iso-2022-jp", "iso-2022-jp", 50220},
        // Latin-1 and ASCII are read as their superset windows-1252, as browsers do.
        {u"ISO-8859-1", "windows-1252", 1252},
        {u"us-ascii", "windows-1252", 1252},
        {u"utf8", "utf-8", 65001},
        {u"utf-16", "utf-16le", 1200},
        {u"UTF-16BE", "utf-16be", 1201},
        // First and last labels of the table: the search reaches both ends.
        {u"866", "ibm866", 866},
        {u"x-x-big5", "big5", 950},
        // Trimmed of ASCII white space only.
        {u" \t\r\n\fUTF-8 \n", "utf-8", 65001},
        {u"\vutf-8", nullptr, 0},
        {u"utf-8\u00a0", nullptr, 0},
        // Prefixes, extensions and near misses are no labels.
        {u"", nullptr, 0},
        {u"utf", nullptr, 0},
        {u"utf-88", nullptr, 0},
        {u"MacCyrillic", nullptr, 0},
        {std::u16string(u"utf-8\0", 6), nullptr, 0},
        // Only ASCII letters fold: KELVIN SIGN is no 'k'.
        {u"\u212Aoi8-r", nullptr, 0},
        // Encodings with no code page.
        {u"ISO-2022-KR", "replacement", 0},
        {u"hz-gb-2312", "replacement", 0},
        {u"x-user-defined", "x-user-defined", 0},
    };
    for (const Case& c : rgCases) {
        const WebEncoding* pEncoding = FindWebEncoding(c.label);
        std::string shown(c.label.begin(), c.label.end());
        if (!c.szName) {
            EXPECT_EQ(pEncoding, nullptr) << shown;
            continue;
        }
        ASSERT_NE(pEncoding, nullptr) << shown;
        EXPECT_STREQ(pEncoding->szName, c.szName) << shown;
        EXPECT_EQ(pEncoding->cp, c.cp) << shown;
    }
}

TEST(EncodingLabels, UserDefinedKeepsAsciiAndMapsHighBytesToPrivateUse) {
    EXPECT_EQ(DecodeUserDefined(std::string("<a>\x80\xff", 5)), u"<a>\uF780\uF7FF");
    EXPECT_EQ(DecodeUserDefined(std::string("\0", 1)), std::u16string(1, u'\0'));
}

TEST(HtmlEntities, NamesAreCaseSensitiveAndXmlsOwnAreLeftOut) {
    EXPECT_EQ(HtmlEntityCodePoint(u"nbsp"), 160u);
    EXPECT_EQ(HtmlEntityCodePoint(u"eacute"), 233u);
    EXPECT_EQ(HtmlEntityCodePoint(u"Eacute"), 201u);
    EXPECT_EQ(HtmlEntityCodePoint(u"mdash"), 8212u);
    EXPECT_EQ(HtmlEntityCodePoint(u"AElig"), 198u);   // first in byte order
    EXPECT_EQ(HtmlEntityCodePoint(u"zwnj"), 8204u);   // last
    EXPECT_EQ(HtmlEntityCodePoint(u"thetasym"), 977u);
    EXPECT_EQ(HtmlEntityCodePoint(u"NBSP"), 0u);
    EXPECT_EQ(HtmlEntityCodePoint(u"amp"), 0u);
    EXPECT_EQ(HtmlEntityCodePoint(u"apos"), 0u);
    EXPECT_EQ(HtmlEntityCodePoint(u"nbs"), 0u);
    EXPECT_EQ(HtmlEntityCodePoint(u""), 0u);
}
