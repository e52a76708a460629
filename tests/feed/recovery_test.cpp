// Feeds as they come from the web: legacy encodings named by any label browsers know,
// bytes that are not what they claim, and documents that are not quite well-formed,
// read over the loopback server by the docklet's own download.
#include "support/httpserver.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "core/record.h"
#include "app/instance.h"
#include "feed/download.h"
#include "feedtest.h"
#include "support/bigfeed.h"
#include "support/testhost.h"
#include "text/repair.h"

namespace {

struct ItemText {
    std::wstring title, link, description;
    bool operator==(const ItemText& o) const {
        return title == o.title && link == o.link && description == o.description;
    }
};

struct Fetched {
    bool bResult = false;
    std::wstring title;
    std::vector<ItemText> items;
    unsigned fRepairs = 0;
    std::vector<std::wstring> messages;
};

// One RetrieveFeed of body served with the Content-Type type, on a record of its own.
Fetched FetchBody(const std::string& body, const char* type = "application/xml") {
    ResetHost();
    HttpResponse response;
    response.body = body;
    response.contentType = type;
    HttpServer server(response);
    _DOCKLET_DATA* pData = NewFeedRecord(server.Url());
    Fetched fetched;
    FeedAnswer answer;
    fetched.bResult = RetrieveFeed(pData, nullptr, &answer);
    fetched.fRepairs = answer.fRepairs;
    fetched.title = pData->profiles.GetAt(0)->szTitle;
    for (unsigned i = 0; i < pData->items.GetCount(); ++i) {
        const _RSSFEED_DATA* pItem = pData->items.GetAt(i);
        fetched.items.push_back({pItem->szTitle, pItem->szLink, pItem->pszDescription ? pItem->pszDescription : L""});
    }
    fetched.messages = CapturedMessages();
    FreeFeedRecord(pData);
    return fetched;
}

std::string Rss(const std::string& items, const std::string& title = "News") {
    return "<rss version=\"2.0\"><channel><title>" + title + "</title>" + items + "</channel></rss>";
}

}  // namespace

// Each feed names its encoding in its XML declaration, then again only in the
// Content-Type: the titles come out right either way.
TEST(FeedEncodings, LegacyEncodingsByLabel) {
    struct Case {
        const char* szLabel;
        std::string title;  // the title in that encoding
        const wchar_t* szExpected;
    } cases[] = {
        {"EUC-JP", "\xC6\xFC\xCB\xDC\xB8\xEC\xA4\xCE\xA5\xCB\xA5\xE5\xA1\xBC\xA5\xB9",
         L"\u65e5\u672c\u8a9e\u306e\u30cb\u30e5\u30fc\u30b9"},
        {"EUC-KR", "\xC7\xD1\xB1\xB9\xBE\xEE\x20\xB4\xBA\xBD\xBA", L"\ud55c\uad6d\uc5b4 \ub274\uc2a4"},
        {"Shift_JIS", "\x93\xFA\x96\x7B\x8C\xEA\x82\xCC\x83\x6A\x83\x85\x81\x5B\x83\x58",
         L"\u65e5\u672c\u8a9e\u306e\u30cb\u30e5\u30fc\u30b9"},
        {"GB2312", "\xD6\xD0\xCE\xC4\xD0\xC2\xCE\xC5", L"\u4e2d\u6587\u65b0\u95fb"},
        {"Big5", "\xA4\xA4\xA4\xE5\xB7\x73\xBB\x44", L"\u4e2d\u6587\u65b0\u805e"},
        {"TIS-620", "\xA2\xE8\xD2\xC7\xC0\xD2\xC9\xD2\xE4\xB7\xC2",
         L"\u0e02\u0e48\u0e32\u0e27\u0e20\u0e32\u0e29\u0e32\u0e44\u0e17\u0e22"},
        {"KOI8-R", "\xEE\xCF\xD7\xCF\xD3\xD4\xC9", L"\u041d\u043e\u0432\u043e\u0441\u0442\u0438"},
        {"IBM866", "\x8D\xAE\xA2\xAE\xE1\xE2\xA8", L"\u041d\u043e\u0432\u043e\u0441\u0442\u0438"},
        {"x-mac-cyrillic", "\x8D\xEE\xE2\xEE\xF1\xF2\xE8", L"\u041d\u043e\u0432\u043e\u0441\u0442\u0438"},
        {"windows-1255", "\xE7\xE3\xF9\xE5\xFA", L"\u05d7\u05d3\u05e9\u05d5\u05ea"},
        {"ISO-8859-7", "\xC5\xE9\xE4\xDE\xF3\xE5\xE9\xF2", L"\u0395\u03b9\u03b4\u03ae\u03c3\u03b5\u03b9\u03c2"},
    };
    for (const Case& c : cases) {
        const std::string feed = Rss("<item><title>" + c.title + "</title><link>http://e/1</link></item>", c.title);
        const std::string declared = std::string("<?xml version=\"1.0\" encoding=\"") + c.szLabel + "\"?>\n" + feed;
        const std::string type = std::string("application/rss+xml; charset=") + c.szLabel;
        for (const Fetched& fetched : {FetchBody(declared), FetchBody(feed, type.c_str())}) {
            EXPECT_TRUE(fetched.bResult) << c.szLabel;
            EXPECT_EQ(fetched.title, c.szExpected) << c.szLabel;
            ASSERT_EQ(fetched.items.size(), 1u) << c.szLabel;
            EXPECT_EQ(fetched.items[0].title, c.szExpected) << c.szLabel;
            EXPECT_TRUE(fetched.messages.empty()) << c.szLabel;
        }
    }
}

// Bytes that claim UTF-8, by default or by their declaration, and are not, are read as
// windows-1252; a charset from the server or a byte-order mark is believed. A
// declaration behind white space (and a mark) is found, and the white space dropped.
TEST(FeedEncodings, WhatTheBytesAreOverWhatTheyClaim) {
    const std::string latin = Rss("<item><title>Cr\xE8me br\xFBl\xE9\x65 \x96 \x80</title></item>", "Caf\xE9");
    const std::wstring expected = L"Cr\u00e8me br\u00fbl\u00e9e \u2013 \u20ac";
    struct Case {
        const char* szName;
        std::string body;
        const char* type;
        const wchar_t* szTitle;  // the channel's
    } cases[] = {
        {"no declaration", latin, "application/xml", L"Caf\u00e9"},
        {"declares UTF-8", "<?xml version=\"1.0\" encoding=\"utf-8\"?>" + latin, "text/xml", L"Caf\u00e9"},
        {"server says UTF-8", latin, "text/xml; charset=utf-8", L"Caf\ufffd"},
        {"UTF-8 mark", "\xEF\xBB\xBF" + latin, "text/xml", L"Caf\ufffd"},
        {"blank line first", "\r\n \n<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + latin, "text/xml",
         L"Caf\u00e9"},
        // The mark says UTF-8 over the declaration; the declaration after it still parses.
        {"mark and white space first", "\xEF\xBB\xBF\n\t<?xml version='1.0' encoding='windows-1252'?>\n" + latin,
         "text/xml", L"Caf\ufffd"},
    };
    for (const Case& c : cases) {
        Fetched fetched = FetchBody(c.body, c.type);
        EXPECT_TRUE(fetched.bResult) << c.szName;
        EXPECT_EQ(fetched.title, c.szTitle) << c.szName;
        EXPECT_EQ(fetched.fRepairs, 0u) << c.szName;
        if (c.szTitle[3] == L'\u00e9') {
            ASSERT_EQ(fetched.items.size(), 1u) << c.szName;
            EXPECT_EQ(fetched.items[0].title, expected) << c.szName;
        }
    }
}

// One feed per way of not being well-formed, each read as its well-formed twin is; the
// twin parses as it is, with no repair.
TEST(FeedRecovery, IllFormedFeedsReadAsTheirTwins) {
    struct Case {
        const char* szName;
        std::string broken, twin;
        unsigned fRepairs;
    } cases[] = {
        {"HTML entities",
         Rss("<item><title>Caf&eacute;&nbsp;&mdash; &copy;</title><link>http://e/1</link></item>"),
         Rss("<item><title>Caf&#233;&#160;&#8212; &#169;</title><link>http://e/1</link></item>"),
         c_fRepairEntities},
        {"bare ampersands",
         Rss("<item><title>Fish & chips</title><link>http://e/?a=1&b=2</link></item>"),
         Rss("<item><title>Fish &amp; chips</title><link>http://e/?a=1&amp;b=2</link></item>"),
         c_fRepairAmpersands},
        {"control characters",
         Rss("<item><title>Bell\x07 and&#1; &#x1F;form\x0C" "feed</title></item>"),
         Rss("<item><title>Bell and formfeed</title></item>"), c_fRepairControls},
        {"junk after the root",
         Rss("<item><title>One</title></item>") + "\n<!-- served in 3 ms -->\n<script>track()</script><rss/>",
         Rss("<item><title>One</title></item>") + "\n<!-- served in 3 ms -->\n", c_fRepairTrailingJunk},
        {"cut short",
         Rss("<item><title>One</title></item><item><title>Two</title></item>").substr(0, 95),
         Rss("<item><title>One</title></item>"), c_fRepairTruncated},
        {"unbalanced HTML in a description",
         Rss("<item><title>One</title><description><p>First<br>line</p></p></description></item>"
             "<item><title>Two</title><description><b>bold</description></item>"),
         Rss("<item><title>One</title><description><p>First<br>line</br></p></description></item>"
             "<item><title>Two</title><description><b>bold</b></description></item>"),
         c_fRepairTags},
    };
    for (const Case& c : cases) {
        Fetched twin = FetchBody(c.twin);
        Fetched broken = FetchBody(c.broken);
        EXPECT_TRUE(twin.bResult) << c.szName;
        EXPECT_EQ(twin.fRepairs, 0u) << c.szName;
        EXPECT_TRUE(broken.bResult) << c.szName;
        EXPECT_EQ(broken.fRepairs, c.fRepairs) << c.szName;
        EXPECT_TRUE(broken.messages.empty()) << c.szName;
        EXPECT_FALSE(twin.items.empty()) << c.szName;
        EXPECT_TRUE(broken.items == twin.items) << c.szName;
    }
}

// What the repair cannot mend fails as it always did; a document that declares entities
// is refused before any repair.
TEST(FeedRecovery, WhatStillFailsFailsAsBefore) {
    Fetched fetched = FetchBody("Service temporarily unavailable");
    EXPECT_FALSE(fetched.bResult);
    EXPECT_EQ(fetched.messages,
              (std::vector<std::wstring>{L"pXMLDocPtr->loadXML failed (0)", L"Invalid Exception (0)"}));
    fetched = FetchBody("<!DOCTYPE rss [<!ENTITY e \"x\">]>" + Rss("<item><title>&e; &nbsp;</title></item>"));
    EXPECT_FALSE(fetched.bResult);
    EXPECT_EQ(fetched.messages,
              (std::vector<std::wstring>{L"Invalid Exception (" + std::to_wstring(static_cast<int>(FEED_E_ENTITIES)) +
                                         L")"}));
}

// A large download cut anywhere gives the items that arrived whole.
TEST(FeedRecovery, LargeFeedCutAtEveryTenth) {
    const std::string feed = LongItemsRss(3600);
    ASSERT_GT(feed.size(), 5000000u);
    for (int tenth = 1; tenth <= 9; ++tenth) {
        const std::string cut = feed.substr(0, feed.size() * tenth / 10);
        size_t nWhole = 0;
        for (size_t at = cut.find("</item>"); at != std::string::npos; at = cut.find("</item>", at + 1)) ++nWhole;
        Fetched fetched = FetchBody(cut);
        EXPECT_TRUE(fetched.bResult) << tenth;
        EXPECT_EQ(fetched.fRepairs, static_cast<unsigned>(c_fRepairTruncated)) << tenth;
        ASSERT_EQ(fetched.items.size(), nWhole) << tenth;
        EXPECT_EQ(fetched.items.back().title, L"Item " + std::to_wstring(nWhole - 1)) << tenth;
    }
}
