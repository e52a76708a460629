// Two addresses of one feed are found the same; different feeds never are.
#include <gtest/gtest.h>
#include "text/feedaddress.h"

TEST(FeedAddress, SchemeAndHostIgnoreCaseTheRestDoesNot) {
    struct Case {
        std::u16string a, b;
        bool bSame;
    };
    const Case cases[] = {
        {u"  HTTP://Example.COM/Feed?X=1 \r\n", u"http://example.com/Feed?X=1", true},
        {u"https://User:PW@Host.Test:8080/a", u"https://User:PW@host.test:8080/a", true},
        {u"http://a.test/Feed", u"http://a.test/feed", false},
        {u"http://a.test/?q=A", u"http://a.test/?q=a", false},
        {u"https://a.test/", u"http://a.test/", false},
        {u"http://USER@a.test/", u"http://user@a.test/", false},
        {u"HTTP://A.TEST", u"http://a.test", true},
        {u"not a url", u"not a url", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FeedAddressKey(c.a) == FeedAddressKey(c.b), c.bSame)
            << std::string(c.a.begin(), c.a.end()) << " / " << std::string(c.b.begin(), c.b.end());
}
