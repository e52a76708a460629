// The start of an XML body: its byte-order mark, the charset chosen in the standard
// order, and whether its prolog declares entities.
#include <gtest/gtest.h>
#include "text/prolog.h"

TEST(Prolog, CharsetInTheStandardOrder) {
    using K = BodyCharset::Kind;
    using S = BodyCharset::Source;
    const std::string latin1Decl = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r/>";
    struct Case {
        std::string body;
        const char16_t* szType;
        K kind;
        S source;
        unsigned cp;
        size_t cbMark;
    } cases[] = {
        // A mark wins over the header and the declaration.
        {"\xEF\xBB\xBF" + latin1Decl, u"text/xml; charset=koi8-r", K::UTF8, S::MARK, 0, 3},
        {std::string("\xFF\xFE<\0", 4), u"text/xml; charset=koi8-r", K::UTF16LE, S::MARK, 0, 2},
        {std::string("\xFE\xFF\0<", 4), u"", K::UTF16BE, S::MARK, 0, 2},
        // Then the header's charset, over the declaration.
        {latin1Decl, u"text/xml; charset=\"windows-1251\"", K::CODE_PAGE, S::HEADER, 1251, 0},
        {latin1Decl, u"text/xml; charset=UTF-8", K::UTF8, S::HEADER, 0, 0},
        {std::string("<\0r\0", 4), u"text/xml; charset=utf-16", K::UTF16LE, S::HEADER, 0, 0},
        {std::string("\0<\0r", 4), u"text/xml; charset=utf-16", K::UTF16BE, S::HEADER, 0, 0},
        {std::string("\0<\0r", 4), u"text/xml; charset=UTF-16LE", K::UTF16LE, S::HEADER, 0, 0},
        {"<r/>", u"text/xml; charset=UTF-16be", K::UTF16BE, S::HEADER, 0, 0},
        // Then UTF-16 by its first characters, whatever it declares.
        {std::string("<\0?\0x\0", 6), u"text/xml", K::UTF16LE, S::DEFAULT, 0, 0},
        {std::string("\0<\0?\0x", 6), u"", K::UTF16BE, S::DEFAULT, 0, 0},
        // Then the declaration, found after white space, then UTF-8.
        {latin1Decl, u"text/xml", K::CODE_PAGE, S::DECLARATION, 1252, 0},
        {"\r\n  <?xml version='1.0' encoding='EUC-JP'?><r/>", u"", K::CODE_PAGE, S::DECLARATION, 20932, 0},
        {"<rss/>", u"application/rss+xml", K::UTF8, S::DEFAULT, 0, 0},
        {"", u"", K::UTF8, S::DEFAULT, 0, 0},
        // Labels as browsers read them; names outside them are left to the platform;
        // encodings that hide markup are refused without asking it.
        {"<r/>", u"text/xml; charset=\" x-mac-cyrillic \"", K::CODE_PAGE, S::HEADER, 10007, 0},
        {"<?xml version=\"1.0\" encoding=\"MacCyrillic\"?><r/>", u"", K::BY_NAME, S::DECLARATION, 0, 0},
        {"<r/>", u"text/xml; charset=ISO-2022-KR", K::REFUSED, S::HEADER, 0, 0},
        {"<?xml version=\"1.0\" encoding=\"x-user-defined\"?><r/>", u"", K::USER_DEFINED, S::DECLARATION, 0, 0},
        {"<?xml version=\"1.0\" encoding=\"unicode-1-1-utf-8\"?><r/>", u"", K::UTF8, S::DECLARATION, 0, 0},
        // A declaration read as ASCII that names UTF-16 is wrong: the bytes are no UTF-16.
        {"<?xml version=\"1.0\" encoding=\"utf-16\"?><r/>", u"", K::UTF8, S::DECLARATION, 0, 0},
        // UTF-8 that is only assumed or declared, in bytes that are not UTF-8, is
        // windows-1252; a mark or the server's charset is believed.
        {"<r>Caf\xE9</r>", u"text/xml", K::CODE_PAGE, S::DEFAULT, 1252, 0},
        {"<?xml version=\"1.0\" encoding=\"utf-8\"?><r>\x93q\x94</r>", u"", K::CODE_PAGE, S::DECLARATION, 1252, 0},
        {"<r>Caf\xE9</r>", u"text/xml; charset=utf-8", K::UTF8, S::HEADER, 0, 0},
        {"\xEF\xBB\xBF<r>Caf\xE9</r>", u"", K::UTF8, S::MARK, 0, 3},
        // A download cut inside its last character is still UTF-8.
        {"<r>Caf\xC3", u"", K::UTF8, S::DEFAULT, 0, 0},
    };
    for (const Case& c : cases) {
        BodyCharset chosen = ChooseBodyCharset(c.body, c.szType);
        EXPECT_EQ(chosen.kind, c.kind) << testing::PrintToString(c.body);
        EXPECT_EQ(chosen.source, c.source) << testing::PrintToString(c.body);
        EXPECT_EQ(chosen.cp, c.cp) << testing::PrintToString(c.body);
        EXPECT_EQ(chosen.cbMark, c.cbMark) << testing::PrintToString(c.body);
    }
    EXPECT_EQ(ChooseBodyCharset("<?xml version=\"1.0\" encoding=\"MacCyrillic\"?><r/>", u"").name, u"MacCyrillic");
    EXPECT_EQ(ChooseBodyCharset("<r/>", u"text/xml; charset=\"klingon-8\"").name, u"klingon-8");
    EXPECT_EQ(ChooseBodyCharset("<r>Caf\xC3", u"").utf8, Utf8Form::CutShort);
    size_t cb = 9;
    EXPECT_EQ(FindByteOrderMark("\xEF\xBB", &cb), ByteOrderMark::None);
    EXPECT_EQ(cb, 0u);
}

TEST(Prolog, OnlyThePrologsDoctypeCanDeclareEntities) {
    struct Case {
        std::string text;
        bool bEntities;
    } cases[] = {
        {"<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY x SYSTEM \"file:///c:/secret\">]><rss/>", true},
        {"\n<!-- c --><?pi ?><!doctype rss[<!entity x 'y'>]><rss/>", true},
        {"<!DOCTYPE rss [ <!ELEMENT rss ANY> <!-- <!ENTITY in a comment> --> %pe; <!ENTITY x \"y\"> ]><rss/>", true},
        // A literal may hold "]>" and must not end the subset early.
        {"<!DOCTYPE r [<!ATTLIST r a CDATA \"]>\"><!ENTITY x 'y'>]><r/>", true},
        {"<!DOCTYPE r SYSTEM \"a[b\" [<!ENTITY x 'y'>]><r/>", true},
        // What cannot be read to its end, or is no markup declaration, is refused.
        {"<!DOCTYPE r [<!ELEMENT r ANY>", true},
        {"<!DOCTYPE r [ junk <!ENTITY x 'y'> ]><r/>", true},
        {"<!DOCTYPE r [<![INCLUDE[<!ENTITY x 'y'>]]>]><r/>", true},
        // Parameter entities, which only an entity declaration could give meaning to.
        {"<!DOCTYPE r [%pe;]><r/>", true},
        {"<!DOCTYPE r [<!ELEMENT r %content;>]><r/>", true},
        // Where the part before the subset is not well-formed, the subset still counts;
        // so does a second declaration.
        {"<!DOCTYPE r PUBLIC \"a&b\" [<!ENTITY x 'y'>]><r/>", true},
        {"<!DOCTYPE r><!DOCTYPE s [<!ENTITY x 'y'>]><r/>", true},
        // Declarations without entities, and no internal subset at all.
        {"<!DOCTYPE rss PUBLIC \"-//Netscape Communications//DTD RSS 0.91//EN\" "
         "\"http://my.netscape.com/publish/formats/rss-0.91.dtd\"><rss/>",
         false},
        {"<!DOCTYPE r [<!ELEMENT r (#PCDATA)><!ATTLIST r a CDATA 'x'><!-- c --><?pi?>]><r/>", false},
        {"<!DOCTYPE r [<!ATTLIST r a CDATA \"%\">]><r/>", false},
        {"<!DOCTYPE r PUBLIC \"a&b\" \"x\"><r/>", false},
        {"<!DOCTYPE r SYSTEM \"never closed", false},
        // Text in elements, CDATA and comments never counts, nor anything after the root.
        {"<rss><channel><description><![CDATA[ <!DOCTYPE x [ <!ENTITY y \"z\"> ]> ]]></description></channel></rss>",
         false},
        {"<!-- <!DOCTYPE x [<!ENTITY y 'z'>]> --><rss/>", false},
        {"<rss/><!DOCTYPE x [<!ENTITY y 'z'>]>", false},
        {"", false},
        {"<!-- never closed <!DOCTYPE x [<!ENTITY y 'z'>]>", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PrologDeclaresEntities(c.text), c.bEntities) << c.text;
        std::u16string wide = u"\uFEFF" + std::u16string(c.text.begin(), c.text.end());
        EXPECT_EQ(PrologDeclaresEntities(wide), c.bEntities) << c.text;
    }
}
