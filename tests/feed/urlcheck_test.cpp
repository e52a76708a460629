// The profile editor's URL check against the loopback server.
#include "support/httpserver.h"
#include <gtest/gtest.h>
#include "core/settings.h"
#include "feed/urlcheck.h"
#include "feedtest.h"
#include "support/testhost.h"

namespace {

struct UrlCheckTest : testing::Test {
    _PROFILE_DATA* pProfile = NewProfile();
    void SetUp() override { ResetHost(); }
    ~UrlCheckTest() override { FreeProfile(pProfile); }
    bool Check(const HttpServer& server) {
        CopyText(pProfile->szURL, 2049, server.Url().c_str());
        return CheckFeedURL(pProfile);
    }
};

HttpResponse Body(const std::string& body, int status = 200, const char* type = "application/xml") {
    HttpResponse r;
    r.body = body;
    r.status = status;
    r.contentType = type;
    return r;
}

int g_iTicks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) {
    ++g_iTicks;
}

}  // namespace

TEST_F(UrlCheckTest, RssFillsAnEmptyTitle) {
    HttpServer server(Body(MakeRss(2, "News")));
    EXPECT_TRUE(Check(server));
    EXPECT_EQ(pProfile->iFeedFormat, FEED_FORMAT_RSS);
    EXPECT_STREQ(pProfile->szTitle, L"News");
    EXPECT_TRUE(CapturedMessages().empty());
}

TEST_F(UrlCheckTest, AtomKeepsATitleAndChannelWithoutTitleGivesUndefined) {
    HttpServer atom(Body(MakeAtom(1, "Feed")));
    CopyText(pProfile->szTitle, 501, L"Mine");
    EXPECT_TRUE(Check(atom));
    EXPECT_EQ(pProfile->iFeedFormat, FEED_FORMAT_ATOM);
    EXPECT_STREQ(pProfile->szTitle, L"Mine");
    HttpServer bare(Body("<rss><channel/></rss>", 200, "text/plain"));
    pProfile->szTitle[0] = 0;
    EXPECT_TRUE(Check(bare));
    EXPECT_STREQ(pProfile->szTitle, L"undefined");
}

TEST_F(UrlCheckTest, PagesWithoutAFeedBrokenXmlOtherXmlAnd404Fail) {
    // Web pages, well-formed or not, are looked at for the feed they name.
    HttpServer html(Body("<html><body><p>Hi<br></body></html>", 200, "text/html"));
    EXPECT_FALSE(Check(html));
    EXPECT_EQ(CapturedMessages(),
              std::vector<std::wstring>{html.Url() + L" is a web page, and it names no RSS or Atom feed."});
    ResetHost();
    HttpServer xhtml(Body("<html><body><p>Hi</p></body></html>", 200, "application/xhtml+xml"));
    EXPECT_FALSE(Check(xhtml));
    EXPECT_EQ(pProfile->iFeedFormat, 0);
    EXPECT_EQ(CapturedMessages(),
              std::vector<std::wstring>{xhtml.Url() + L" is a web page, and it names no RSS or Atom feed."});
    ResetHost();
    HttpServer broken(Body("Service temporarily unavailable", 200, "text/xml"));
    EXPECT_FALSE(Check(broken));
    EXPECT_EQ(CapturedMessages(),
              (std::vector<std::wstring>{L"pXMLDocPtr->loadXML failed (0)", L"Invalid Exception (0)"}));
    ResetHost();
    HttpServer other(Body("<doc><p>Hi</p></doc>", 200, "application/xml"));
    EXPECT_FALSE(Check(other));
    EXPECT_EQ(CapturedMessages(), std::vector<std::wstring>{L"Invalid Exception (-1)"});
    ResetHost();
    HttpServer missing(Body("", 404));
    EXPECT_FALSE(Check(missing));
    EXPECT_EQ(CapturedMessages(), std::vector<std::wstring>{L"Invalid status (404)"});
    EXPECT_STREQ(pProfile->szTitle, L"");
}

// The check waits while dispatching this thread's messages: a window of this thread
// keeps answering during a slow check.
TEST_F(UrlCheckTest, TheCallingThreadKeepsDispatching) {
    HttpResponse slow = Body(MakeRss(1));
    slow.delayMs = 500;
    HttpServer server(slow);
    HWND hwnd = CreateDockWindow();
    g_iTicks = 0;
    SetTimer(hwnd, 1, 20, CountTick);
    EXPECT_TRUE(Check(server));
    KillTimer(hwnd, 1);
    DestroyWindow(hwnd);
    EXPECT_GE(g_iTicks, 5);
}
