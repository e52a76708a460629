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

// The longest time between two ticks of a timer of this thread.
DWORD g_dwLastTick = 0, g_dwLongestGap = 0;
void CALLBACK NoteTick(HWND, UINT, UINT_PTR, DWORD) {
    DWORD dwNow = GetTickCount();
    if (dwNow - g_dwLastTick > g_dwLongestGap) g_dwLongestGap = dwNow - g_dwLastTick;
    g_dwLastTick = dwNow;
}

HttpResponse Html(const std::string& body) {
    HttpResponse r;
    r.contentType = "text/html; charset=utf-8";
    r.body = body;
    return r;
}

}  // namespace

// What the scan finds is resolved against the page: only web addresses other than the
// page itself are feeds.
TEST(FeedDiscovery, TheFirstFeedLinkOfTheHeadResolvedAgainstThePage) {
    const std::wstring rss = L"<link rel=\"alternate\" type=\"application/rss+xml\" href=";
    EXPECT_EQ(Found(rss + L"\"feed.xml\">"), L"http://site.test/blog/feed.xml");
    EXPECT_EQ(Found(rss + L"//cdn.test/a.atom>"), L"http://cdn.test/a.atom");
    EXPECT_EQ(Found(rss + L"\" /feed?a=1&amp;b=2 c \">"), L"http://site.test/feed?a=1&b=2%20c");
    EXPECT_EQ(Found(rss + L"\"javascript:alert(1)\">" + rss + L"\"file:///c:/windows/win.ini\">" + rss +
                    L"\"index.html#top\">" + rss + L"\"\">" + rss + L"\"good.xml\">"),
              L"http://site.test/blog/good.xml");
    EXPECT_EQ(Found(L"<body>" + rss + L"\"b.xml\">"), L"(none)");
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

// The profile editor's check runs on the dock's thread: a page whose head holds one tag
// with 128,000 attributes (about 1 MB) never keeps that thread from its messages for more
// than 100 ms.
TEST_F(DiscoveryCheckTest, AHugePageLeavesTheThreadResponsive) {
    std::string huge = "<meta";
    for (int i = 0; i < 128000; ++i) huge += " a" + std::string(1, static_cast<char>('a' + i % 26)) + "=1";
    huge += "><link rel=alternate type=application/rss+xml href=/feed>";
    HttpServer server([&huge](const HttpRequest& req) {
        return req.path == "/feed" ? Html(MakeRss(1, "Found")) : Html(Page(huge));
    });
    HWND hwnd = CreateDockWindow();
    g_dwLastTick = GetTickCount();
    g_dwLongestGap = 0;
    SetTimer(hwnd, 1, 10, NoteTick);
    EXPECT_TRUE(Check(server.Url("/page")));
    NoteTick(nullptr, 0, 0, 0);
    KillTimer(hwnd, 1);
    DestroyWindow(hwnd);
    EXPECT_STREQ(pProfile->szTitle, L"Found");
    RecordProperty("longest_ms", static_cast<int>(g_dwLongestGap));
    EXPECT_LT(g_dwLongestGap, 100u);
}
