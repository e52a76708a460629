// RetrieveFeed against the loopback server: the outcomes, messages and codes of a
// download, and hostile documents.
#include <gtest/gtest.h>
#include "core/instance.h"
#include "feed/download.h"
#include "feed/parser.h"
#include "feedtest.h"
#include "support/httpserver.h"
#include "support/testhost.h"

namespace {

struct DownloadTest : testing::Test {
    _DOCKLET_DATA* pData = nullptr;
    void SetUp() override { ResetHost(); }
    void TearDown() override {
        if (pData) FreeFeedRecord(pData);
        SetFeedTimeLimit(FEED_TIME_LIMIT_MS);
    }
    _PROFILE_DATA* Profile() { return pData->profiles.GetAt(0); }
    bool Fetch(const HttpServer& server, const wchar_t* szTitle = L"") {
        if (!pData) pData = NewFeedRecord(server.Url(), szTitle);
        return RetrieveFeed(pData);
    }
};

HttpResponse Xml(const std::string& body, const char* type = "application/xml") {
    HttpResponse r;
    r.body = body;
    r.contentType = type;
    return r;
}

std::vector<std::wstring> Messages() {
    return CapturedMessages();
}

}  // namespace

TEST_F(DownloadTest, RssFillsItemsTitleAndFormat) {
    HttpServer server(Xml(MakeRss(3, "My channel")));
    ASSERT_TRUE(Fetch(server));
    EXPECT_EQ(Profile()->iFeedFormat, FEED_FORMAT_RSS);
    EXPECT_STREQ(Profile()->szTitle, L"My channel");
    ASSERT_EQ(pData->items.GetCount(), 3u);
    EXPECT_STREQ(pData->items.GetAt(1)->szTitle, L"Item 1");
    EXPECT_STREQ(pData->items.GetAt(1)->szLink, L"http://example.com/1");
    EXPECT_STREQ(pData->items.GetAt(1)->szPubDate, L"Tue, 08 Dec 2026 00:00:01 GMT");
    EXPECT_STREQ(pData->items.GetAt(1)->pszDescription, L"Description of item 1 with <b>markup</b>");
    EXPECT_STREQ(pData->items.GetAt(2)->szItemFile, L"item2.html");
    EXPECT_TRUE(Messages().empty());
    // The request is a GET with the documented header.
    auto reqs = server.Requests();
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(reqs[0].method, "GET");
    EXPECT_NE(reqs[0].headers.find("application/xml; charset=utf-8"), std::string::npos) << reqs[0].headers;
}
