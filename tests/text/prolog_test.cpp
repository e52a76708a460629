// The start of an XML body: its byte-order mark, the encoding it declares, the charset
// chosen in the standard order, and whether its prolog declares entities.
#include <gtest/gtest.h>
#include "text/prolog.h"

TEST(Prolog, DeclaredEncodingInBytesAndText) {
    struct Case {
        std::string text;
        bool bFound;
        std::string value;
        std::string rest;  // the text with the encoding taken out
    } cases[] = {
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r/>", true, "ISO-8859-1", "<?xml version=\"1.0\"?><r/>"},
        {"<?xml version='1.0'\n  encoding = 'koi8-r' standalone='yes'?>", true, "koi8-r",
         "<?xml version='1.0' standalone='yes'?>"},
        {"<?xml version=\"1.0\"?><r encoding=\"x\"/>", false, "", ""},
        {"<?xml version=\"1.0\" myencoding=\"x\"?>", false, "", ""},
        {"<?xml version=\"1.0\" encoding=x?>", false, "", ""},
        {" <?xml version=\"1.0\" encoding=\"x\"?>", false, "", ""},
        {"<?xml-stylesheet encoding=\"x\"?>", false, "", ""},
        {"<?xml version=\"1.0\" encoding=\"x\"" + std::string(2000, ' ') + "?>", false, "", ""},
    };
    for (const Case& c : cases) {
        DeclaredEncoding found;
        ASSERT_EQ(FindDeclaredEncoding(c.text, &found), c.bFound) << c.text;
        std::u16string wide(c.text.begin(), c.text.end());
        DeclaredEncoding foundWide;
        ASSERT_EQ(FindDeclaredEncoding(wide, &foundWide), c.bFound) << c.text;
        if (!c.bFound) continue;
        EXPECT_EQ(c.text.substr(found.value, found.valueEnd - found.value), c.value);
        EXPECT_EQ(c.text.substr(0, found.start) + c.text.substr(found.end), c.rest);
        EXPECT_EQ(foundWide.start, found.start);
        EXPECT_EQ(foundWide.end, found.end);
    }
}

TEST(Prolog, CharsetInTheStandardOrder) {
    using K = BodyCharset::Kind;
    const std::string latin1Decl = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r/>";
    struct Case {
        std::string body;
        const char16_t* szType;
        K kind;
        size_t cbMark;
        const char16_t* szName;
    } cases[] = {
        // A mark wins over the header and the declaration.
        {"\xEF\xBB\xBF" + latin1Decl, u"text/xml; charset=koi8-r", K::UTF8, 3, u""},
        {std::string("\xFF\xFE<\0", 4), u"text/xml; charset=koi8-r", K::UTF16LE, 2, u""},
        {std::string("\xFE\xFF\0<", 4), u"", K::UTF16BE, 2, u""},
        // Then the header's charset, over the declaration.
        {latin1Decl, u"text/xml; charset=\"windows-1252\"", K::NAMED, 0, u"windows-1252"},
        {latin1Decl, u"text/xml; charset=UTF-8", K::UTF8, 0, u""},
        {std::string("<\0r\0", 4), u"text/xml; charset=utf-16", K::UTF16LE, 0, u""},
        {std::string("\0<\0r", 4), u"text/xml; charset=utf-16", K::UTF16BE, 0, u""},
        {"<r/>", u"text/xml; charset=UTF-16be", K::UTF16BE, 0, u""},
        // Then UTF-16 by its first characters, whatever it declares.
        {std::string("<\0?\0x\0", 6), u"text/xml", K::UTF16LE, 0, u""},
        {std::string("\0<\0?\0x", 6), u"", K::UTF16BE, 0, u""},
        // Then the declaration, then UTF-8.
        {latin1Decl, u"text/xml", K::NAMED, 0, u"ISO-8859-1"},
        {"<?xml version=\"1.0\" encoding=\"" + std::string(300, 'x') + "\"?>", u"", K::NAMED, 0, nullptr},
        {"<rss/>", u"application/rss+xml", K::UTF8, 0, u""},
        {"", u"", K::UTF8, 0, u""},
    };
    for (const Case& c : cases) {
        BodyCharset chosen = ChooseBodyCharset(c.body, c.szType);
        EXPECT_EQ(chosen.kind, c.kind) << testing::PrintToString(c.body);
        EXPECT_EQ(chosen.cbMark, c.cbMark) << testing::PrintToString(c.body);
        if (c.szName) {
            EXPECT_EQ(chosen.name, c.szName) << testing::PrintToString(c.body);
        }
    }
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
        // Declarations without entities, and no internal subset at all.
        {"<!DOCTYPE rss PUBLIC \"-//Netscape Communications//DTD RSS 0.91//EN\" "
         "\"http://my.netscape.com/publish/formats/rss-0.91.dtd\"><rss/>",
         false},
        {"<!DOCTYPE r [<!ELEMENT r (#PCDATA)><!ATTLIST r a CDATA 'x'><!-- c --><?pi?>]><r/>", false},
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
