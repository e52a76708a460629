// The scan of a web page's head for the feeds it names: the links in order, only the
// head's own tags, and work linear in the page however its tags are made.
#include <gtest/gtest.h>
#include <chrono>
#include <vector>
#include "text/feedlink.h"

namespace {

// Every href the scan offers (none is accepted).
std::vector<std::u16string> Hrefs(std::u16string_view html) {
    std::vector<std::u16string> hrefs;
    ScanFeedLinks(html, [&](const std::u16string& href) {
        hrefs.push_back(href);
        return false;
    });
    return hrefs;
}

const std::u16string c_rss = u"<link rel=\"alternate\" type=\"application/rss+xml\" href=";

}  // namespace

TEST(FeedLink, TheHeadsFeedLinksInOrder) {
    using V = std::vector<std::u16string>;
    EXPECT_EQ(Hrefs(c_rss + u"\"feed.xml\">"), V{u"feed.xml"});
    EXPECT_EQ(Hrefs(u"<LINK TYPE='Application/Atom+XML; charset=utf-8' REL='Feed Alternate' HREF=//cdn.test/a.atom>"),
              V{u"//cdn.test/a.atom"});
    EXPECT_EQ(Hrefs(c_rss + u"\" /feed?a=1&amp;b=2&#x41;&#65;&bogus; \">"), V{u" /feed?a=1&b=2AA&bogus; "});
    // Character references in rel and type count as well; the first of two attributes
    // of one name counts.
    EXPECT_EQ(Hrefs(u"<link rel=&#97;lternate type=application/rss&#43;xml href=a href=b>"), V{u"a"});
    EXPECT_EQ(Hrefs(u"<link rel=alternate rel=stylesheet type=application/rss+xml href=a>"), V{u"a"});
    // Not feed links: another rel or type, no href.
    EXPECT_EQ(Hrefs(u"<link rel=stylesheet type=application/rss+xml href=a.xml><link rel=alternate type=text/html "
                    u"href=b.xml><link rel=alternate type=application/rss+xml>"),
              V{});
    // What is not a tag of the head is not looked at: comments, declarations, scripts,
    // titles, the body; an unclosed tag or quote ends the scan.
    EXPECT_EQ(Hrefs(u"<!-- " + c_rss + u"\"c.xml\"> --><script>var s = '" + c_rss + u"\"s.xml\">';</SCRIPT>" + c_rss +
                    u"\"h.xml\"><title>" + c_rss + u"t.xml></title></head><body>" + c_rss + u"\"b.xml\">"),
              V{u"h.xml"});
    EXPECT_EQ(Hrefs(c_rss + u"\"never-closed"), V{});
    EXPECT_EQ(Hrefs(u"<!DOCTYPE html>a < b " + c_rss + u"x.xml><body>" + c_rss + u"y.xml>"), V{u"x.xml"});
    // The scan stops at the link accepted.
    int iOffered = 0;
    EXPECT_TRUE(ScanFeedLinks(c_rss + u"a>" + c_rss + u"b>" + c_rss + u"c>", [&](const std::u16string& href) {
        ++iOffered;
        return href == u"b";
    }));
    EXPECT_EQ(iOffered, 2);
}

TEST(FeedLink, WorkIsLinearInThePage) {
    // One tag with 128,000 attributes (about 1 MB), then the feed link; and a page of
    // 100,000 tags. Each took minutes or hours when attributes were compared with each
    // other.
    std::u16string many = u"<meta";
    for (int i = 0; i < 128000; ++i) many += u" a" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) + u"=1";
    many += u">" + c_rss + u"last.rss>";
    std::u16string tags;
    for (int i = 0; i < 100000; ++i) tags += u"<link rel=preload href=/f.css>";
    tags += c_rss + u"end.rss>";
    for (const std::u16string* page : {&many, &tags}) {
        auto start = std::chrono::steady_clock::now();
        std::vector<std::u16string> hrefs = Hrefs(*page);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ASSERT_EQ(hrefs.size(), 1u);
        EXPECT_LT(seconds, 0.2);
    }
}

TEST(FeedLink, HtmlResponsesAndHrefs) {
    struct Case {
        const char16_t *szType, *szText;
        bool bHtml;
    } cases[] = {
        {u"text/html; charset=utf-8", u"<rss/>", true},
        {u" Application/XHTML+XML ", u"", true},
        {u"text/xml", u"\uFEFF \n<!-- c --><?pi x?><!DOCTYPE HTML><html>", true},
        {u"", u"<HTML lang=en>", true},
        {u"", u"<head>", true},
        {u"application/xml", u"<rss><channel>", false},
        {u"", u"<htmlx>", false},
        {u"", u"<!-- unclosed <html>", false},
        {u"", u"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsHtmlResponse(c.szType, c.szText), c.bHtml) << testing::PrintToString(std::u16string(c.szText));
    EXPECT_EQ(CleanHref(u"  /a b\t\n/c.xml  "), u"/a%20b/c.xml");
    EXPECT_EQ(CleanHref(u" \r\n "), u"");
}
