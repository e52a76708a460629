// Addresses taken apart: the fragment stays with the user, and only web addresses with a
// host make profiles.
#include <gtest/gtest.h>
#include "text/url.h"

TEST(Url, PartsAndTheFragment) {
    struct Case {
        const char16_t* szUrl;
        bool bOk;
        const char16_t *szScheme, *szAuthority, *szPath, *szFragment;
        bool bFragment;
    } cases[] = {
        {u"http://host/feed.xml#main", true, u"http", u"host", u"/feed.xml", u"main", true},
        {u"HTTPS://host:8080?q=1#", true, u"HTTPS", u"host:8080", u"?q=1", u"", true},
        {u"http://host/a?b=#c#d", true, u"http", u"host", u"/a?b=", u"c#d", true},
        {u"http://host", true, u"http", u"host", u"", u"", false},
        {u"http://#x", true, u"http", u"", u"", u"x", true},
        {u"feed://host/x", true, u"feed", u"host", u"/x", u"", false},
        {u"host/feed.xml", false, u"", u"", u"", u"", false},
        {u"http:/host", false, u"", u"", u"", u"", false},
        {u"1http://host", false, u"", u"", u"", u"", false},
    };
    for (const Case& c : cases) {
        UrlParts parts;
        ASSERT_EQ(SplitUrl(c.szUrl, &parts), c.bOk) << testing::PrintToString(std::u16string(c.szUrl));
        if (!c.bOk) continue;
        EXPECT_EQ(parts.scheme, c.szScheme);
        EXPECT_EQ(parts.authority, c.szAuthority);
        EXPECT_EQ(parts.pathAndQuery, c.szPath);
        EXPECT_EQ(parts.fragment, c.szFragment);
        EXPECT_EQ(parts.bFragment, c.bFragment);
    }
    EXPECT_EQ(WithoutFragment(u"http://host/feed.xml#main"), u"http://host/feed.xml");
    EXPECT_EQ(WithoutFragment(u"http://host/feed.xml"), u"http://host/feed.xml");
}

TEST(Url, FeedAddresses) {
    EXPECT_TRUE(IsFeedAddress(u"http://example.com/feed"));
    EXPECT_TRUE(IsFeedAddress(u"HTTPS://example.com"));
    EXPECT_TRUE(IsFeedAddress(u"http://example.com/feed#top"));
    EXPECT_TRUE(IsFeedAddress(u"http://" + std::u16string(2041, u'a')));
    EXPECT_FALSE(IsFeedAddress(u"http://" + std::u16string(2042, u'a')));
    for (const char16_t* sz : {u"ftp://example.com/feed", u"http:///path", u"http://", u"javascript:alert(1)",
                               u"file:///c:/windows/win.ini", u"http://exa mple.com", u"http://example.com/\n",
                               u"http://example.com/\x7f", u"example.com/feed", u""})
        EXPECT_FALSE(IsFeedAddress(sz)) << testing::PrintToString(std::u16string(sz));
}
