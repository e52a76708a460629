// Feed discovery: the scan of a page's head, and the URL check that follows the feed a
// page names, against pages served by the loopback server.
#include "support/httpserver.h"
#include <gtest/gtest.h>
#include "core/settings.h"
#include "feed/discovery.h"
#include "feed/urlcheck.h"
#include "feedtest.h"
#include "support/testhost.h"

namespace {

const wchar_t c_szPage[] = L"http://site.test/blog/index.html";

std::wstring Found(const std::wstring& html) {
    std::wstring url;
    return FindFeedLink(html, c_szPage, url) ? url : L"(none)";
}

std::string Page(const std::string& head) {
    return "<!DOCTYPE html>\n<html><head><meta charset=utf-8><title>Blog</title>" + head +
           "</head><body><p>Text<br></body></html>";
}

HttpResponse Html(const std::string& body) {
    HttpResponse r;
    r.contentType = "text/html; charset=utf-8";
    r.body = body;
    return r;
}

}  // namespace

TEST(FeedDiscovery, TheFirstFeedLinkOfTheHeadResolvedAgainstThePage) {
    const std::wstring rss = L"<link rel=\"alternate\" type=\"application/rss+xml\" href=";
    EXPECT_EQ(Found(rss + L"\"feed.xml\">"), L"http://site.test/blog/feed.xml");
    EXPECT_EQ(Found(L"<LINK TYPE='Application/Atom+XML; charset=utf-8' REL='Feed Alternate' HREF=//cdn.test/a.atom>"),
              L"http://cdn.test/a.atom");
    EXPECT_EQ(Found(rss + L"\" /feed?a=1&amp;b=2 \">"), L"http://site.test/feed?a=1&b=2");
    // Not feeds: another rel or type, no href, no web address, the page itself.
    EXPECT_EQ(Found(L"<link rel=stylesheet type=application/rss+xml href=a.xml>"
                    L"<link rel=alternate type=text/html href=b.xml><link rel=alternate type=application/rss+xml>" +
                    rss + L"\"javascript:alert(1)\">" + rss + L"\"file:///c:/windows/win.ini\">" + rss +
                    L"\"index.html#top\">" + rss + L"\"good.xml\">"),
              L"http://site.test/blog/good.xml");
    // What is not a tag of the head is not looked at: comments, scripts, the body.
    EXPECT_EQ(Found(L"<!-- " + rss + L"\"c.xml\"> --><script>var s = '" + rss + L"\"s.xml\">';</script></head><body>" +
                    rss + L"\"b.xml\">"),
              L"(none)");
    EXPECT_EQ(Found(L"<link rel=alternate type=application/rss+xml href=\"never-closed"), L"(none)");
    // A thousand other links first.
    std::wstring many;
    for (int i = 0; i < 1000; ++i) many += L"<link rel=\"preload\" href=\"/f" + std::to_wstring(i) + L".css\">";
    EXPECT_EQ(Found(many + rss + L"/last.rss>"), L"http://site.test/last.rss");
}

struct DiscoveryCheckTest : testing::Test {
    _PROFILE_DATA* pProfile = NewProfile();
    void SetUp() override { ResetHost(); }
    ~DiscoveryCheckTest() override { FreeProfile(pProfile); }
    bool Check(const std::wstring& url) {
        CopyText(pProfile->szURL, 2049, url.c_str());
        return CheckFeedURL(pProfile);
    }
};

TEST_F(DiscoveryCheckTest, APageStandsForTheFeedItNames) {
    HttpServer server([](const HttpRequest& req) {
        if (req.path == "/blog/") {
            return Html(Page("<link rel=\"alternate\" type=\"application/rss+xml\" href=\"/blog/feed/\">"));
        }
        if (req.path == "/blog/feed/") return Html(MakeRss(2, "Blog feed"));  // a feed sent as HTML is a feed
        HttpResponse missing;
        missing.status = 404;
        return missing;
    });
    EXPECT_TRUE(Check(server.Url("/blog/")));
    EXPECT_EQ(std::wstring(pProfile->szURL), server.Url("/blog/feed/"));
    EXPECT_STREQ(pProfile->szTitle, L"Blog feed");
    EXPECT_EQ(pProfile->iFeedFormat, FEED_FORMAT_RSS);
    EXPECT_TRUE(CapturedMessages().empty());
    // The feed itself checks as before and keeps its address.
    EXPECT_TRUE(Check(server.Url("/blog/feed/")));
    EXPECT_EQ(std::wstring(pProfile->szURL), server.Url("/blog/feed/"));
}

TEST_F(DiscoveryCheckTest, PagesThatNameNoFeedOnlyThemselvesOrAnotherPageFailOnce) {
    HttpServer server([](const HttpRequest& req) {
        if (req.path == "/self")
            return Html(Page("<link rel=alternate type=application/rss+xml href=\"/self#feed\">"));
        if (req.path == "/chain") return Html(Page("<link rel=alternate type=application/atom+xml href=\"/self\">"));
        return Html("<html><body><p>Hi<br></body></html>");
    });
    for (const char* path : {"/plain", "/self", "/chain"}) {
        ResetHost();
        std::wstring url = server.Url(path);
        EXPECT_FALSE(Check(url)) << path;
        EXPECT_EQ(std::wstring(pProfile->szURL), url);
        std::wstring expected = std::string(path) == "/chain"
                                    ? L"The feed the page names, " + server.Url("/self") + L", is another web page."
                                    : url + L" is a web page, and it names no RSS or Atom feed.";
        EXPECT_EQ(CapturedMessages(), std::vector<std::wstring>{expected}) << path;
    }
    // One fetch per page, two for the chain: no loop, one step only.
    EXPECT_EQ(server.Requests().size(), 4u);
}
