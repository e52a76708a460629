// Header values from servers: the charset of a Content-Type, the content coding of a
// body, and validators fit to send back.
#include <gtest/gtest.h>
#include "text/header.h"

TEST(Header, CharsetParameterOfAContentType) {
    struct Case {
        const char16_t* szType;
        const char16_t* szCharset;
    } cases[] = {
        {u"text/xml; charset=ISO-8859-1", u"ISO-8859-1"},
        {u"text/xml;charset=utf-8;foo=bar", u"utf-8"},
        {u"text/xml; CHARSET = \"windows-1252\" ; x=y", u"windows-1252"},
        {u"text/xml; charset=\"a\\\"b\"", u"a\"b"},
        {u"text/xml; format=flowed; charset=koi8-r", u"koi8-r"},
        {u"text/xml; xcharset=koi8-r", u""},
        {u"text/xml; charset", u""},
        {u"text/xml; charset=", u""},
        {u"text/xml; charset=\"unclosed", u"unclosed"},
        {u"charset=utf-8", u""},
        {u"", u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CharsetParameter(c.szType), c.szCharset) << testing::PrintToString(std::u16string(c.szType));
    EXPECT_TRUE(IsCharsetName(u"Shift_JIS"));
    EXPECT_FALSE(IsCharsetName(u"utf 8"));
    EXPECT_FALSE(IsCharsetName(u""));
    EXPECT_FALSE(IsCharsetName(std::u16string(65, u'x')));
}

TEST(Header, ContentCodingDecision) {
    struct Case {
        const char16_t* szValue;
        ContentCoding coding;
    } cases[] = {
        {u"", ContentCoding::Identity},
        {u"identity", ContentCoding::Identity},
        {u"gzip", ContentCoding::Gzip},
        {u" GZip ", ContentCoding::Gzip},
        {u"x-gzip", ContentCoding::Gzip},
        {u"deflate", ContentCoding::Deflate},
        {u"identity, deflate", ContentCoding::Deflate},
        {u"gzip,", ContentCoding::Gzip},
        {u"br", ContentCoding::Unsupported},
        {u"compress", ContentCoding::Unsupported},
        {u"gzip, gzip", ContentCoding::Unsupported},
        {u"deflate, gzip", ContentCoding::Unsupported},
        {u"gzipx", ContentCoding::Unsupported},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecideContentCoding(c.szValue), c.coding) << testing::PrintToString(std::u16string(c.szValue));
    // The zlib header of the usual compression levels; gzip's magic and raw deflate's
    // first bytes are none.
    EXPECT_TRUE(HasZlibHeader(0x78, 0x9C));
    EXPECT_TRUE(HasZlibHeader(0x78, 0x01));
    EXPECT_TRUE(HasZlibHeader(0x78, 0xDA));
    EXPECT_FALSE(HasZlibHeader(0x1F, 0x8B));
    EXPECT_FALSE(HasZlibHeader(0xF3, 0x48));
    EXPECT_FALSE(HasZlibHeader(0x78, 0x9D));
    EXPECT_FALSE(HasZlibHeader(0x88, 0x98));  // a 64 KB window is no zlib's
}

TEST(Header, KeepableValuesArePrintableAsciiOfBoundedLength) {
    EXPECT_TRUE(IsKeepableValue(u"\"v1\"", 255));
    EXPECT_TRUE(IsKeepableValue(std::u16string(255, u'e'), 255));
    EXPECT_FALSE(IsKeepableValue(std::u16string(256, u'e'), 255));
    EXPECT_FALSE(IsKeepableValue(u"", 255));
    EXPECT_FALSE(IsKeepableValue(u"a\r\nInjected: 1", 255));
    EXPECT_FALSE(IsKeepableValue(u"caf\u00e9", 255));
    EXPECT_EQ(TrimHttpSpace(u" \t v \t"), u"v");
}
