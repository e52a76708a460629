// The DOM rules of the parser on documents loaded from text: format detection, the feed
// title, the item fields with their fallbacks and cuts.
#include <gtest/gtest.h>
#include <string>
#include "feed/parser.h"
#include "feedtest.h"

namespace {

struct ParserTest : testing::Test {
    FeedItemList items;
    ~ParserTest() override { FreeFeedItems(items); }

    void ParseRss(const std::wstring& xml) {
        auto pDoc = LoadDocument(xml);
        ASSERT_TRUE(pDoc) << "not well-formed";
        auto pList = GetItemNodeList(pDoc.get(), L"item");
        ParseFeedItems(items, pList.get(), FEED_FORMAT_RSS, L"title", L"link", nullptr, L"description", nullptr,
                       L"pubdate", L"pubDate");
    }
    void ParseAtom(const std::wstring& xml) {
        auto pDoc = LoadDocument(xml);
        ASSERT_TRUE(pDoc) << "not well-formed";
        auto pList = GetItemNodeList(pDoc.get(), L"entry");
        ParseFeedItems(items, pList.get(), FEED_FORMAT_ATOM, L"title", L"link", L"href", L"content", L"summary",
                       L"updated", nullptr);
    }
    const _RSSFEED_DATA& Item(unsigned i) { return *items.GetAt(i); }
};

std::wstring Rss(const std::wstring& items) {
    return L"<rss><channel><title>C</title>" + items + L"</channel></rss>";
}
std::wstring Atom(const std::wstring& entries) {
    return L"<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>F</title>" + entries + L"</feed>";
}

}  // namespace

TEST(FeedFormat, AtomIsTestedFirstAndPrefixesCount) {
    EXPECT_EQ(GetFeedFormat(LoadDocument(L"<rss><channel/></rss>").get()), FEED_FORMAT_RSS);
    EXPECT_EQ(GetFeedFormat(LoadDocument(L"<feed/>").get()), FEED_FORMAT_ATOM);
    EXPECT_EQ(GetFeedFormat(LoadDocument(L"<x><channel/><feed/></x>").get()), FEED_FORMAT_ATOM);
    EXPECT_EQ(GetFeedFormat(LoadDocument(L"<html><body/></html>").get()), 0);
    EXPECT_EQ(GetFeedFormat(LoadDocument(L"<a:feed xmlns:a=\"http://www.w3.org/2005/Atom\"/>").get()), 0);
    EXPECT_EQ(GetFeedFormat(LoadDocument(L"<Channel/>").get()), 0);
    EXPECT_EQ(GetFeedFormat(LoadDocument(L"<x xmlns:a=\"urn:a\"><a:channel/></x>").get()), 0);
    EXPECT_THROW(GetFeedFormat(nullptr), qm::FeedError);
}

TEST(FeedFormat, ContainersDeepInALargeDocumentAreFound) {
    std::wstring filler;
    for (int i = 0; i < 500; ++i) filler += L"<p><b>x</b></p>";
    EXPECT_EQ(GetFeedFormat(LoadDocument(L"<rss>" + filler + L"<channel/></rss>").get()), FEED_FORMAT_RSS);
    EXPECT_EQ(GetFeedFormat(LoadDocument(L"<rss><channel/>" + filler + L"<feed/></rss>").get()), FEED_FORMAT_ATOM);
    EXPECT_EQ(GetFeedFormat(LoadDocument(L"<x xmlns:a=\"urn:a\">" + filler + L"<a:feed/><a:channel/></x>").get()), 0);
    EXPECT_EQ(GetFeedFormat(LoadDocument(L"<x>" + filler + L"</x>").get()), 0);
}

TEST(FeedTitle, FirstTitleBelowTheFirstContainer) {
    wchar_t sz[501];
    EXPECT_TRUE(GetFeedTitle(LoadDocument(L"<rss><channel><title>Own</title></channel></rss>").get(), L"channel", sz));
    EXPECT_STREQ(sz, L"Own");
    // An image title written before the channel's own wins.
    EXPECT_TRUE(GetFeedTitle(
        LoadDocument(L"<rss><channel><image><title>Img</title></image><title>Own</title></channel></rss>").get(),
        L"channel", sz));
    EXPECT_STREQ(sz, L"Img");
    EXPECT_TRUE(GetFeedTitle(LoadDocument(L"<rss><channel><link/></channel></rss>").get(), L"channel", sz));
    EXPECT_STREQ(sz, L"undefined");
    wcscpy(sz, L"junk");
    EXPECT_FALSE(GetFeedTitle(LoadDocument(L"<rss/>").get(), L"channel", sz));
    EXPECT_STREQ(sz, L"");
    EXPECT_FALSE(GetFeedTitle(nullptr, L"channel", sz));
    // Cut to 499 characters.
    std::wstring longTitle(700, L'T');
    EXPECT_TRUE(GetFeedTitle(LoadDocument(L"<feed><title>" + longTitle + L"</title></feed>").get(), L"feed", sz));
    EXPECT_EQ(wcslen(sz), 499u);
}

TEST_F(ParserTest, RssFieldsFallbacksAndFileNames) {
    ParseRss(Rss(L"<item><title>A</title><link>http://a</link><description>D</description>"
                 L"<pubDate>Mon</pubDate></item>"
                 L"<item><pubdate>lower</pubdate><pubDate>upper</pubDate></item>"
                 L"<item><dc:date xmlns:dc=\"http://purl.org/dc/elements/1.1/\">2026</dc:date>"
                 L"<title>undefined</title></item>"));
    ASSERT_EQ(items.GetCount(), 3u);
    EXPECT_STREQ(Item(0).szTitle, L"A");
    EXPECT_STREQ(Item(0).szLink, L"http://a");
    EXPECT_STREQ(Item(0).pszDescription, L"D");
    EXPECT_STREQ(Item(0).szPubDate, L"Mon");
    EXPECT_STREQ(Item(1).szPubDate, L"lower");
    EXPECT_STREQ(Item(1).szTitle, L"undefined");
    EXPECT_STREQ(Item(1).szLink, L"undefined");
    EXPECT_STREQ(Item(1).pszDescription, L"undefined");
    EXPECT_STREQ(Item(2).szPubDate, L"undefined");
    EXPECT_NE(Item(1).pszDescription, Item(2).pszDescription);
    for (unsigned i = 0; i < 3; ++i) EXPECT_EQ(Item(i).szItemFile, L"item" + std::to_wstring(i) + L".html");
}

TEST_F(ParserTest, OnlyTheFirstChildNodeCounts) {
    ParseRss(Rss(L"<item><title>Text <b>bold</b> tail</title>"
                 L"<description><![CDATA[<p>cdata</p>]]> after</description>"
                 L"<link><b>inner</b> tail</link></item>"
                 L"<item><title></title><description/></item>"));
    ASSERT_EQ(items.GetCount(), 2u);
    EXPECT_STREQ(Item(0).szTitle, L"Text");  // the platform trims the text
    EXPECT_STREQ(Item(0).pszDescription, L"<p>cdata</p>");
    EXPECT_STREQ(Item(0).szLink, L"inner");
    EXPECT_STREQ(Item(1).szTitle, L"undefined");
    EXPECT_STREQ(Item(1).pszDescription, L"undefined");
}

TEST_F(ParserTest, LongFieldsAreCutDescriptionsAreNot) {
    std::wstring t(600, L't'), l(3000, L'l'), d(150, L'd'), desc(100000, L'x');
    ParseRss(Rss(L"<item><title>" + t + L"</title><link>" + l + L"</link><pubDate>" + d + L"</pubDate><description>" +
                 desc + L"</description></item>"));
    ASSERT_EQ(items.GetCount(), 1u);
    EXPECT_EQ(std::wstring(Item(0).szTitle), t.substr(0, 499));
    EXPECT_EQ(std::wstring(Item(0).szLink), l.substr(0, 2047));
    EXPECT_EQ(std::wstring(Item(0).szPubDate), d.substr(0, 99));
    EXPECT_EQ(std::wstring(Item(0).pszDescription), desc);
}

TEST_F(ParserTest, AtomContentSummaryAndLinks) {
    ParseAtom(Atom(L"<entry><title>1</title><content>C</content><summary>S</summary>"
                   L"<link rel=\"self\" href=\"http://self\"/><link href=\"http://alt\"/><updated>U</updated></entry>"
                   L"<entry><summary>S2</summary><link/></entry>"
                   L"<entry><link href=\"\"/></entry>"));
    ASSERT_EQ(items.GetCount(), 3u);
    EXPECT_STREQ(Item(0).pszDescription, L"C");
    EXPECT_STREQ(Item(0).szLink, L"http://self");
    EXPECT_STREQ(Item(0).szPubDate, L"U");
    EXPECT_STREQ(Item(1).pszDescription, L"S2");
    EXPECT_STREQ(Item(1).szLink, L"undefined");
    EXPECT_STREQ(Item(2).szLink, L"");
    EXPECT_STREQ(Item(2).pszDescription, L"undefined");
    EXPECT_STREQ(Item(2).szPubDate, L"undefined");
}

TEST_F(ParserTest, RssItemsOutsideTheChannelAndEmptyFeeds) {
    // RSS 1.0 puts items beside the channel; they are found anywhere.
    ParseRss(L"<rdf><channel><title>C</title></channel><item><title>X</title></item></rdf>");
    ASSERT_EQ(items.GetCount(), 1u);
    EXPECT_STREQ(Item(0).szTitle, L"X");
    ParseRss(Rss(L""));
    EXPECT_EQ(items.GetCount(), 0u);
}

TEST_F(ParserTest, MissingArgumentsAbortWithMinusOne) {
    auto pDoc = LoadDocument(Rss(L"<item/>"));
    auto pList = GetItemNodeList(pDoc.get(), L"item");
    try {
        ParseFeedItems(items, pList.get(), FEED_FORMAT_ATOM, L"title", L"link", nullptr, L"content", nullptr,
                       L"updated", nullptr);
        FAIL() << "no abort";
    } catch (const qm::FeedError& e) {
        EXPECT_EQ(e.hr, -1);
    }
    EXPECT_THROW(ParseFeedItems(items, nullptr, FEED_FORMAT_RSS, L"title", L"link", nullptr, L"d", nullptr, L"p",
                                nullptr),
                 qm::FeedError);
    EXPECT_THROW(GetItemNodeList(pDoc.get(), nullptr), qm::FeedError);
    wchar_t sz[10];
    EXPECT_THROW(GetChildText(nullptr, sz, 10, L"title", L"undefined"), qm::FeedError);
}

TEST_F(ParserTest, RelativeLinksResolveAgainstXmlBaseThenTheFeedAddress) {
    auto pDoc = LoadDocument(
        L"<feed xmlns=\"http://www.w3.org/2005/Atom\" xml:base=\"http://example.com/blog/\">"
        L"<entry><link href=\"2026/item.html\"/></entry>"
        L"<entry xml:base=\"../other/\"><link href=\"x.html\"/></entry>"
        L"<entry xml:base=\"javascript:alert(1)\"><link href=\"y.html\"/></entry>"
        L"<entry xml:base=\"file:///c:/windows/\"><link href=\"/root\"/></entry>"
        L"<entry><link xml:base=\"https://other.example/d/\" href=\"//cdn.example/z\"/></entry>"
        L"<entry><link href=\"javascript:alert(1)\"/></entry>"
        L"<entry><link href=\"\"/></entry>"
        L"<entry><link/></entry>"
        L"</feed>");
    ASSERT_TRUE(pDoc);
    auto pList = GetItemNodeList(pDoc.get(), L"entry");
    ParseFeedItems(items, pList.get(), FEED_FORMAT_ATOM, L"title", L"link", L"href", L"content", L"summary",
                   L"updated", nullptr, L"http://feeds.example/atom.xml");
    ASSERT_EQ(items.GetCount(), 8u);
    EXPECT_STREQ(Item(0).szLink, L"http://example.com/blog/2026/item.html");
    EXPECT_STREQ(Item(1).szLink, L"http://example.com/other/x.html");
    // A base that is no web address is passed over: the one above it applies.
    EXPECT_STREQ(Item(2).szLink, L"http://example.com/blog/y.html");
    EXPECT_STREQ(Item(3).szLink, L"http://example.com/root");
    EXPECT_STREQ(Item(4).szLink, L"https://cdn.example/z");
    // Absolute links, empty ones and the placeholder stay as they are.
    EXPECT_STREQ(Item(5).szLink, L"javascript:alert(1)");
    EXPECT_STREQ(Item(6).szLink, L"");
    EXPECT_STREQ(Item(7).szLink, L"undefined");
}
