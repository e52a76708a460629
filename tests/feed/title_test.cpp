// Titles as the user sees them: markup and escapes that feeds put into titles, and
// hostile titles that must neither crash nor overrun.
#include <gtest/gtest.h>
#include <cstdio>
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

    // One round only: what a reference gives is not decoded again.
    EXPECT_EQ(Display(L"&amp;lt;b&amp;gt; &amp;amp;"), L"&lt;b&gt; &amp;");
    EXPECT_EQ(Display(L"Caf&eacute; &#8211; &quot;Q&quot; &hellip;&euro;&#x1F600;"),
              L"Caf\u00e9 \u2013 \"Q\" \u2026\u20ac\U0001F600");
    EXPECT_EQ(Display(L"It&#146;s &#150; 1252"), L"It\u2019s \u2013 1252");
    // Inline tags join, line-breaking ones and white space become one space.
    EXPECT_EQ(Display(L"\r\n  Tom<b>&amp;</b>Jerry<br/>next\t\tline&nbsp; <p>para</p>  "),
              L"Tom&Jerry next line para");
    EXPECT_EQ(Display(L"<a title=\"x > y\" href='z'>link</a><!-- a > b --><script>alert(1)</script>end"),
              L"linkend");
    EXPECT_EQ(Display(L"a < b, x<3, AT&T, &bogus; & &#;"), L"a < b, x<3, AT&T, &bogus; & &#;");
}

TEST(DisplayTitle, HostileTitlesStayBounded) {
    EXPECT_EQ(Display(L"&#0;&#x110000;&#xD800;&#99999999999999999999;"), L"\uFFFD\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(Display(L"&amp no &#38 semicolon"), L"&amp no & semicolon");
    EXPECT_EQ(Display(L"open <b class=\"never closed"), L"open");
    EXPECT_EQ(Display(L"<script>never ends"), L"");
    std::wstring nested;
    while (nested.size() < 496) nested += L"<b>";
    EXPECT_EQ(Display(nested + L"x</b"), L"x");
    std::wstring entities;
    while (entities.size() + 5 <= 499) entities += L"&amp;";
    EXPECT_EQ(Display(entities), std::wstring(entities.size() / 5, L'&'));
    // Cut to the buffer, never between the halves of a surrogate pair.
    EXPECT_EQ(Display(L"ab\U0001F600", 4), L"ab");
    EXPECT_EQ(Display(L"  a   b  ", 3), L"a");
    wchar_t one[1] = {L'#'};
    DisplayTextFromTitle(one, 1, L"text");
    EXPECT_EQ(one[0], 0);
    EXPECT_EQ(Display(L""), L"");
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
