// Titles as the user sees them, from parsed feeds: the text functions' own cases are in
// tests/text/displaytext_test.cpp; here the parser's output goes through the wide
// adapter the windows use.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "feed/parser.h"
#include "feed/title.h"
#include "feedtest.h"
#include "support/testhost.h"

namespace {

std::wstring Display(const std::wstring& title, size_t cch = 501) {
    std::vector<wchar_t> out(cch, L'#');
    DisplayTextFromTitle(out.data(), cch, title.c_str());
    return out.data();
}

std::wstring ReadCorpusFile(const std::wstring& path) {
    std::string bytes = ReadFileBytes(path);
    return std::wstring(bytes.begin(), bytes.end());  // the files are ASCII
}

}  // namespace

TEST(DisplayTitle, EscapedMarkupAndEntitiesShowAsText) {
    // The parsed form of <title>Tom &amp;amp; Jerry &lt;b&gt;live&lt;/b&gt;</title>.
    FeedItemList items;
    auto pDoc = LoadDocument(L"<rss><channel><item><title>Tom &amp;amp; Jerry &lt;b&gt;live&lt;/b&gt;</title>"
                             L"</item></channel></rss>");
    ParseFeedItems(items, GetItemNodeList(pDoc.get(), L"item").get(), FEED_FORMAT_RSS, L"title", L"link", nullptr,
                   L"description", nullptr, L"pubdate", L"pubDate");
    ASSERT_EQ(items.GetCount(), 1u);
    EXPECT_STREQ(items.GetAt(0)->szTitle, L"Tom &amp; Jerry <b>live</b>");
    EXPECT_EQ(Display(items.GetAt(0)->szTitle), L"Tom & Jerry live");
    FreeFeedItems(items);

    // The adapter ends at the title's terminator and takes a null title as empty.
    wchar_t sz[8] = L"#######";
    DisplayTextFromTitle(sz, 8, nullptr);
    EXPECT_STREQ(sz, L"");
    DisplayTextFromTitle(sz, 4, L"a&amp;bcdef");
    EXPECT_STREQ(sz, L"a&b");
}

// The collected feeds' escaping cases: every title there is "&" written another way
// (escaped, double-escaped, in CDATA, inside markup, inside an attribute).
TEST(DisplayTitle, CollectedEscapingFeedsShowAnAmpersand) {
    const std::wstring folder = L"Z:\\work\\shared\\corpus\\feedparser\\wellformed\\amp\\";
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"*.xml").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) GTEST_SKIP() << "no collected feeds on this machine";
    int cFeeds = 0;
    do {
        auto pDoc = LoadDocument(ReadCorpusFile(folder + fd.cFileName));
        ASSERT_TRUE(pDoc) << fd.cFileName;
        FeedItemList items;
        ParseFeedItems(items, GetItemNodeList(pDoc.get(), L"entry").get(), FEED_FORMAT_ATOM, L"title", L"link",
                       L"href", L"content", L"summary", L"updated", nullptr);
        ASSERT_EQ(items.GetCount(), 1u) << fd.cFileName;
        EXPECT_EQ(Display(items.GetAt(0)->szTitle), L"&") << fd.cFileName << L": " << items.GetAt(0)->szTitle;
        FreeFeedItems(items);
        ++cFeeds;
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    EXPECT_GE(cFeeds, 60);
}
