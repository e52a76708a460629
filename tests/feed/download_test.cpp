// RetrieveFeed against the loopback server: the outcomes, messages and codes of a
// download, and hostile documents.
#include "support/httpserver.h"
#include <gtest/gtest.h>
#include <cstring>
#include "core/record.h"
#include "app/instance.h"
#include "core/settings.h"
#include <winhttp.h>
#include <psapi.h>
#include "feed/download.h"
#include "feed/http.h"
#include "feed/parser.h"
#include "feedtest.h"
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

// The ProductVersion of the version resource (the test program carries the docklet's).
std::string ResourceProductVersion() {
    HRSRC hInfo = FindResourceW(nullptr, MAKEINTRESOURCEW(VS_VERSION_INFO), MAKEINTRESOURCEW(16));
    if (!hInfo) return std::string();
    auto* p = static_cast<const wchar_t*>(LockResource(LoadResource(nullptr, hInfo)));
    std::wstring data(p, SizeofResource(nullptr, hInfo) / sizeof(wchar_t));
    size_t at = data.find(L"ProductVersion");
    if (at == std::wstring::npos) return std::string();
    at += wcslen(L"ProductVersion") + 1;
    if (at % 2) ++at;  // values start on a 32-bit boundary
    std::wstring value(data.c_str() + at);
    return std::string(value.begin(), value.end());
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

TEST_F(DownloadTest, AtomWithBothContainersAndTitleKeptWhenSet) {
    // A "channel" element inside an Atom feed: Atom is tested first.
    std::string body = MakeAtom(2, "Atom title");
    body.insert(body.find("<entry>"), "<channel/>");
    HttpServer server(Xml(body, "application/atom+xml"));
    ASSERT_TRUE(Fetch(server, L"Mine"));
    EXPECT_EQ(Profile()->iFeedFormat, FEED_FORMAT_ATOM);
    EXPECT_STREQ(Profile()->szTitle, L"Mine");
    ASSERT_EQ(pData->items.GetCount(), 2u);
    EXPECT_STREQ(pData->items.GetAt(0)->szLink, L"http://example.com/e0");
    EXPECT_STREQ(pData->items.GetAt(0)->pszDescription, L"Summary 0");
    EXPECT_STREQ(pData->items.GetAt(0)->szPubDate, L"2026-12-08T00:00:00Z");
}

TEST_F(DownloadTest, WellFormedBodyAsTextPlainIsParsedFromText) {
    HttpServer server(Xml(MakeRss(2), "text/plain"));
    ASSERT_TRUE(Fetch(server));
    EXPECT_EQ(pData->items.GetCount(), 2u);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(DownloadTest, EncodingsOfTheBodyAreHonoured) {
    // UTF-16 with a byte-order mark, as XML.
    std::string utf8 = "<?xml version=\"1.0\" encoding=\"utf-16\"?><rss><channel><title>Caf\xC3\xA9</title></channel></rss>";
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(static_cast<size_t>(
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], static_cast<int>(wide.size()))));
    std::string utf16 = "\xFF\xFE";
    for (wchar_t c : wide) {
        utf16 += static_cast<char>(c & 0xFF);
        utf16 += static_cast<char>(c >> 8);
    }
    HttpServer server16(Xml(utf16));
    ASSERT_TRUE(Fetch(server16));
    EXPECT_STREQ(Profile()->szTitle, L"Caf\u00e9");
    // Latin-1 named by the charset of a type that is not taken as XML.
    HttpServer latin1(Xml("<rss><channel><title>Caf\xE9</title></channel></rss>", "text/plain; charset=ISO-8859-1"));
    Profile()->szTitle[0] = 0;
    CopyText(Profile()->szURL, 2049, latin1.Url().c_str());
    ASSERT_TRUE(RetrieveFeed(pData));
    EXPECT_STREQ(Profile()->szTitle, L"Caf\u00e9");
}

TEST_F(DownloadTest, MalformedBodyShowsTwoMessagesWithZeroAndEmptiesItems) {
    HttpServer good(Xml(MakeRss(2)));
    ASSERT_TRUE(Fetch(good));
    HttpServer bad(Xml("Service temporarily unavailable"));
    CopyText(Profile()->szURL, 2049, bad.Url().c_str());
    EXPECT_FALSE(RetrieveFeed(pData));
    EXPECT_EQ(pData->items.GetCount(), 0u);
    EXPECT_EQ(Messages(), (std::vector<std::wstring>{L"pXMLDocPtr->loadXML failed (0)", L"Invalid Exception (0)"}));
}

TEST_F(DownloadTest, NeitherFeedNorChannelGivesFormatZeroAndMinusOne) {
    HttpServer server(Xml("<?xml version=\"1.0\"?><html><body>hello</body></html>"));
    EXPECT_FALSE(Fetch(server));
    EXPECT_EQ(Profile()->iFeedFormat, 0);
    EXPECT_EQ(Messages(), std::vector<std::wstring>{L"Invalid Exception (-1)"});
    EXPECT_STREQ(Profile()->szTitle, L"");
}

TEST_F(DownloadTest, StatusOtherThan200KeepsThePreviousItems) {
    HttpServer good(Xml(MakeRss(4)));
    ASSERT_TRUE(Fetch(good));
    for (int status : {404, 500, 304, 201}) {
        HttpResponse r = Xml(MakeRss(1));
        r.status = status;
        HttpServer server(r);
        CopyText(Profile()->szURL, 2049, server.Url().c_str());
        ResetHost();
        EXPECT_FALSE(RetrieveFeed(pData)) << status;
        EXPECT_EQ(pData->items.GetCount(), 4u) << status;
        ASSERT_EQ(Messages().size(), 1u) << status;
        EXPECT_EQ(Messages()[0], L"Invalid status (" + std::to_wstring(status) + L")");
    }
}

TEST_F(DownloadTest, UnreachablePortEmptiesItemsWithAnInvalidException) {
    HttpServer good(Xml(MakeRss(2)));
    ASSERT_TRUE(Fetch(good));
    wchar_t szURL[100];
    swprintf(szURL, 100, L"http://127.0.0.1:%d/feed", UnusedPort());
    CopyText(Profile()->szURL, 2049, szURL);
    DWORD dwStart = GetTickCount();
    EXPECT_FALSE(RetrieveFeed(pData));
    EXPECT_LT(GetTickCount() - dwStart, 5000u);
    EXPECT_EQ(pData->items.GetCount(), 0u);
    // The refused connection surfaces at the status, with that step's message.
    int code = static_cast<int>(HRESULT_FROM_WIN32(ERROR_WINHTTP_CANNOT_CONNECT));
    EXPECT_EQ(Messages(), (std::vector<std::wstring>{L"pXMLHTTPReq->get_status failed (" + std::to_wstring(code) + L")",
                                                     L"Invalid Exception (" + std::to_wstring(code) + L")"}));
}

TEST_F(DownloadTest, SlowServerIsAbandonedAtTheTimeLimit) {
    SetFeedTimeLimit(1000);
    HttpResponse r = Xml(MakeRss(1));
    r.delayMs = 20000;
    HttpServer server(r);
    DWORD dwStart = GetTickCount();
    EXPECT_FALSE(Fetch(server));
    DWORD dwSpent = GetTickCount() - dwStart;
    EXPECT_GE(dwSpent, 900u);
    EXPECT_LT(dwSpent, 5000u);
    wchar_t szExpected[64];
    swprintf(szExpected, 64, L"Invalid Exception (%d)", static_cast<int>(FEED_E_TIMEOUT));
    EXPECT_EQ(Messages(), std::vector<std::wstring>{szExpected});
    server.Stop();
}

TEST_F(DownloadTest, ConnectionDroppedMidBodyGivesTheWholeItemsOrAFailure) {
    HttpServer good(Xml(MakeRss(3)));
    ASSERT_TRUE(Fetch(good)) << (Messages().empty() ? std::wstring() : Messages()[0]);
    HttpResponse r = Xml(MakeRss(200));
    r.dropAfter = r.body.size() / 2;
    HttpServer server(r);
    CopyText(Profile()->szURL, 2049, server.Url().c_str());
    // The cut transfer fails at the status step (where the stack notices the cut), or the
    // half that came is read as a download cut short: the items that arrived whole, in
    // order, and none in part.
    if (RetrieveFeed(pData)) {
        EXPECT_TRUE(Messages().empty());
        const std::string arrived = r.body.substr(0, r.dropAfter);
        size_t nWhole = 0;
        for (size_t at = arrived.find("</item>"); at != std::string::npos; at = arrived.find("</item>", at + 1)) ++nWhole;
        ASSERT_EQ(pData->items.GetCount(), nWhole);
        for (unsigned i = 0; i < pData->items.GetCount(); ++i)
            EXPECT_EQ(pData->items.GetAt(i)->szTitle, L"Item " + std::to_wstring(i));
        return;
    }
    auto messages = Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].rfind(L"pXMLHTTPReq->get_status failed (", 0), 0u) << messages[0];
    EXPECT_EQ(messages[1].rfind(L"Invalid Exception (", 0), 0u) << messages[1];
    EXPECT_EQ(pData->items.GetCount(), 0u);
}

TEST_F(DownloadTest, MissingChannelTitleGivesUndefinedAndNoItemsStillSucceeds) {
    HttpServer server(Xml("<rss><channel><link>x</link></channel></rss>"));
    EXPECT_TRUE(Fetch(server));
    EXPECT_STREQ(Profile()->szTitle, L"undefined");
    EXPECT_EQ(pData->items.GetCount(), 0u);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(DownloadTest, ProfileSwitchDuringARefreshKeepsToTheFirstProfile) {
    // The user switches profiles while the request is under way: the title and format
    // still go to the profile whose URL was fetched.
    _DOCKLET_DATA* pShared = nullptr;
    HttpServer server([&pShared](const HttpRequest&) {
        pShared->iCurrentProfile = 1;
        return Xml(MakeRss(1, "First"));
    });
    pData = pShared = NewFeedRecord(server.Url());
    _PROFILE_DATA* pOther = NewProfile();
    CopyText(pOther->szURL, 2049, L"http://127.0.0.1:1/other");
    pData->profiles.Add(pOther);
    pData->iProfileCount = 2;
    ASSERT_TRUE(RetrieveFeed(pData));
    EXPECT_EQ(pData->iCurrentProfile, 1);
    EXPECT_STREQ(pData->profiles.GetAt(0)->szTitle, L"First");
    EXPECT_EQ(pData->profiles.GetAt(0)->iFeedFormat, FEED_FORMAT_RSS);
    EXPECT_STREQ(pOther->szTitle, L"");
    EXPECT_EQ(pOther->iFeedFormat, 0);
}

// Hostile documents: nothing local is read, and expansion bombs end quickly.
TEST_F(DownloadTest, ExternalEntityCannotReadALocalFile) {
    std::string folder = MakeTempFolder("xxe");
    std::string file = folder + "secret.txt";
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD cb = 0;
    WriteFile(h, "TOPSECRET", 9, &cb, nullptr);
    CloseHandle(h);
    std::string url = "file:///" + file;
    for (char& c : url)
        if (c == '\\') c = '/';
    std::string body = "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY x SYSTEM \"" + url +
                       "\">]><rss><channel><title>t</title><item><title>&x;</title></item></channel></rss>";
    HttpServer server(Xml(body));
    EXPECT_FALSE(Fetch(server));
    for (unsigned i = 0; i < pData->items.GetCount(); ++i)
        EXPECT_EQ(wcsstr(pData->items.GetAt(i)->szTitle, L"TOPSECRET"), nullptr);
    EXPECT_EQ(wcsstr(Profile()->szTitle, L"TOPSECRET"), nullptr);
    wchar_t szExpected[64];
    swprintf(szExpected, 64, L"Invalid Exception (%d)", static_cast<int>(FEED_E_ENTITIES));
    EXPECT_EQ(Messages(), std::vector<std::wstring>{szExpected});
}

TEST_F(DownloadTest, ExpansionBombsAreRefusedQuickly) {
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY l0 \"ha\">";
    for (int i = 1; i < 10; ++i)
        laughs += "<!ENTITY l" + std::to_string(i) + " \"" + std::string() + [&] {
            std::string s;
            for (int k = 0; k < 10; ++k) s += "&l" + std::to_string(i - 1) + ";";
            return s;
        }() + "\">";
    laughs += "]><rss><channel><title>&l9;</title></channel></rss>";
    std::string quadratic = "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY a \"" + std::string(100000, 'a') +
                            "\">]><rss><channel><title>t</title><item><description>";
    for (int i = 0; i < 30000; ++i) quadratic += "&a;";
    quadratic += "</description></item></channel></rss>";
    // The same bombs encoded as UTF-16 are caught too.
    std::string utf16;
    for (char c : laughs) {
        utf16 += c;
        utf16 += '\0';
    }
    for (const std::string* body : {&laughs, &quadratic, &utf16}) {
        ResetHost();
        HttpServer server(Xml(*body));
        if (!pData) pData = NewFeedRecord(server.Url());
        CopyText(Profile()->szURL, 2049, server.Url().c_str());
        DWORD dwStart = GetTickCount();
        EXPECT_FALSE(RetrieveFeed(pData));
        EXPECT_LT(GetTickCount() - dwStart, 5000u);
        EXPECT_EQ(pData->items.GetCount(), 0u);
        ASSERT_EQ(Messages().size(), 1u);
    }
}

TEST_F(DownloadTest, BodiesInOtherEncodingsAreReadAsTextOnly) {
    // "<?xml version=\"1.0\" encoding=\"ebcdic-cp-us\"?><rss/>" in EBCDIC: the entity
    // scan could not read it, so the parser never sees these bytes as a document.
    const unsigned char ebcdic[] = {0x4C, 0x6F, 0xA7, 0x94, 0x93, 0x40, 0xA5, 0x85, 0x99, 0xA2, 0x89, 0x96, 0x95,
                                    0x7E, 0x7F, 0xF1, 0x4B, 0xF0, 0x7F, 0x6F, 0x6E, 0x4C, 0x99, 0xA2, 0xA2, 0x61,
                                    0x6E};
    HttpServer server(Xml(std::string(reinterpret_cast<const char*>(ebcdic), sizeof(ebcdic))));
    EXPECT_FALSE(Fetch(server));
    EXPECT_EQ(Messages(), (std::vector<std::wstring>{L"pXMLDocPtr->loadXML failed (0)", L"Invalid Exception (0)"}));
}

TEST_F(DownloadTest, PlainDoctypeStillParses) {
    HttpServer server(Xml("<?xml version=\"1.0\"?><!DOCTYPE rss PUBLIC \"-//Netscape Communications//DTD RSS 0.91//EN\" "
                          "\"http://127.0.0.1:1/rss-0.91.dtd\"><rss version=\"0.91\"><channel><title>Old</title>"
                          "<item><title>One</title><link>l</link></item></channel></rss>"));
    ASSERT_TRUE(Fetch(server));
    ASSERT_EQ(pData->items.GetCount(), 1u);
    EXPECT_STREQ(pData->items.GetAt(0)->szTitle, L"One");
}

TEST_F(DownloadTest, AfterATimeoutTheSameUrlWorksAgain) {
    SetFeedTimeLimit(1000);
    volatile LONG lCalls = 0;
    HttpServer server([&lCalls](const HttpRequest&) {
        HttpResponse r = Xml(MakeRss(2));
        if (InterlockedIncrement(&lCalls) == 1) r.delayMs = 3000;
        return r;
    });
    EXPECT_FALSE(Fetch(server));
    ResetHost();
    bool bOk = RetrieveFeed(pData);
    EXPECT_TRUE(bOk) << (Messages().empty() ? std::wstring() : Messages()[0]);
    EXPECT_EQ(lCalls, 2);
}

// Many downloads on one thread leave no handles or memory behind. Handles are counted
// through the lowest free slot of the handle table (a new handle takes it), memory
// through the private bytes.
TEST_F(DownloadTest, RepeatedDownloadsLeakNoHandlesOrMemory) {
    HttpServer server(Xml(MakeRss(20)));
    pData = NewFeedRecord(server.Url());
    auto probe = [] {
        HANDLE h = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        CloseHandle(h);
        return reinterpret_cast<uintptr_t>(h) / 4;
    };
    auto privateBytes = [] {
        PROCESS_MEMORY_COUNTERS_EX pmc = {};
        pmc.cb = sizeof(pmc);
        GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof(pmc));
        return static_cast<size_t>(pmc.PrivateUsage);
    };
    // WinHTTP's last call for a request may come after the fetch returned; the counts
    // are taken once every request has let go.
    auto requestsGone = [] { return PumpUntil([] { return HttpTransfersAlive() == 0; }, GetFeedTimeLimit()); };
    for (int i = 0; i < 30; ++i) ASSERT_TRUE(RetrieveFeed(pData));
    ASSERT_TRUE(requestsGone());
    uintptr_t slotBefore = probe();
    size_t cbBefore = privateBytes();
    for (int i = 0; i < 300; ++i) ASSERT_TRUE(RetrieveFeed(pData));
    ASSERT_TRUE(requestsGone());
    uintptr_t slotAfter = probe();
    size_t cbAfter = privateBytes();
    EXPECT_LT(slotAfter, slotBefore + 30) << slotBefore << " -> " << slotAfter;
    EXPECT_LT(cbAfter, cbBefore + 4 * 1024 * 1024) << cbBefore << " -> " << cbAfter;
}

// A redirect loop ends (the transfer's redirect limit) and is a failure.
TEST_F(DownloadTest, RedirectLoopEnds) {
    HttpServer* pSelf = nullptr;
    HttpServer server([&pSelf](const HttpRequest&) {
        HttpResponse r;
        r.status = 302;
        r.extraHeaders = "Location: " + std::string(pSelf ? "/feed" : "/") + "\r\n";
        return r;
    });
    pSelf = &server;
    DWORD dwStart = GetTickCount();
    EXPECT_FALSE(Fetch(server));
    EXPECT_LT(GetTickCount() - dwStart, 10000u);
    auto messages = Messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_TRUE(messages[0].rfind(L"pXMLHTTPReq->get_status failed (", 0) == 0 || messages[0] == L"Invalid status (302)")
        << messages[0];
    EXPECT_GE(server.Requests().size(), 2u);
}

// Relative links are resolved against the address the feed finally came from.
TEST_F(DownloadTest, RelativeLinksFollowTheRedirectedAddress) {
    HttpServer server([](const HttpRequest& req) {
        HttpResponse r;
        if (req.path == "/feed") {
            r.status = 301;
            r.extraHeaders = "Location: /moved/here/feed.xml\r\n";
            return r;
        }
        r.body = "<rss><channel><title>C</title><item><link>item.html</link></item></channel></rss>";
        return r;
    });
    ASSERT_TRUE(Fetch(server));
    ASSERT_EQ(pData->items.GetCount(), 1u);
    EXPECT_EQ(std::wstring(pData->items.GetAt(0)->szLink), server.Url("/moved/here/item.html"));
}

// The encoding of a body: a byte-order mark, else the charset of the Content-Type, else
// the XML declaration, else UTF-8, on every path (with or without a DOCTYPE, taken as XML
// or not), with any code page the platform's charset database knows.
TEST_F(DownloadTest, EncodingFollowsTheStandardOrder) {
    const std::string latin1Rss = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
                                  "<!DOCTYPE rss PUBLIC \"-//Netscape Communications//DTD RSS 0.91//EN\" "
                                  "\"http://my.netscape.com/publish/formats/rss-0.91.dtd\">\n"
                                  "<rss version=\"0.91\"><channel><title>Caf\xE9</title>"
                                  "<item><title>Cr\xE8me br\xFBl\xE9\x65</title><link>l</link></item></channel></rss>";
    const std::string latin1Body = "<rss><channel><title>Caf\xE9</title></channel></rss>";
    struct Case {
        std::string body;
        const char* type;
        const wchar_t* szTitle;
    } cases[] = {
        {latin1Rss, "text/xml", L"Caf\u00e9"},
        {"<?xml version=\"1.0\" encoding=\"utf-8\"?>" + latin1Body, "text/xml; charset=\"ISO-8859-1\"", L"Caf\u00e9"},
        {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"windows-1252\"?><rss><channel><title>Caf\xC3\xA9</title>"
         "</channel></rss>",
         "application/xml; charset=iso-8859-1", L"Caf\u00e9"},
        {"<?xml version='1.0' encoding='koi8-r'?><rss><channel><title>\xCD\xC9\xD2</title></channel></rss>",
         "text/plain", L"\u043c\u0438\u0440"},
        {"<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><rss><channel><title>\x93\xFA\x96\x7B</title></channel></rss>",
         "application/rss+xml", L"\u65e5\u672c"},
    };
    for (const Case& c : cases) {
        ResetHost();
        HttpServer server(Xml(c.body, c.type));
        if (!pData) pData = NewFeedRecord(server.Url());
        CopyText(Profile()->szURL, 2049, server.Url().c_str());
        Profile()->szTitle[0] = 0;
        EXPECT_TRUE(RetrieveFeed(pData)) << c.type;
        EXPECT_STREQ(Profile()->szTitle, c.szTitle) << c.type;
        EXPECT_TRUE(Messages().empty()) << c.type;
    }
    ASSERT_EQ(pData->items.GetCount(), 0u);
    HttpServer rss(Xml(latin1Rss, "text/xml"));
    CopyText(Profile()->szURL, 2049, rss.Url().c_str());
    ASSERT_TRUE(RetrieveFeed(pData));
    ASSERT_EQ(pData->items.GetCount(), 1u);
    EXPECT_STREQ(pData->items.GetAt(0)->szTitle, L"Cr\u00e8me br\u00fbl\u00e9e");
}

TEST_F(DownloadTest, UnknownOrAbsurdEncodingNamesFailClearly) {
    HttpServer good(Xml(MakeRss(2)));
    ASSERT_TRUE(Fetch(good));
    struct Case {
        std::string type;
        std::string body;
        std::wstring shown;
    } cases[] = {
        {"text/xml; charset=klingon-8", MakeRss(1), L"klingon-8"},
        {"text/xml", "<?xml version=\"1.0\" encoding=\"" + std::string(300, 'x') + "\"?><rss/>",
         std::wstring(40, L'x') + L"..."},
    };
    const std::wstring code = std::to_wstring(static_cast<int>(FEED_E_CHARSET));
    for (const Case& c : cases) {
        ResetHost();
        HttpServer server(Xml(c.body, c.type.c_str()));
        CopyText(Profile()->szURL, 2049, server.Url().c_str());
        EXPECT_FALSE(RetrieveFeed(pData));
        EXPECT_EQ(Messages(), (std::vector<std::wstring>{L"Unknown character encoding \"" + c.shown + L"\" (" + code + L")",
                                                         L"Invalid Exception (" + code + L")"}));
        EXPECT_EQ(pData->items.GetCount(), 0u);
    }
}

// Validators of the last 200 make the next request conditional, as long as the items we
// hold are that 200's; a 304 then keeps them and shows nothing.
TEST_F(DownloadTest, ConditionalRequestsKeepTheItemsOnA304) {
    HttpResponse tagged = Xml(MakeRss(3, "Tagged"));
    tagged.eTag = "\"v1\"";
    tagged.lastModified = "Tue, 08 Dec 2026 10:00:00 GMT";
    HttpResponse huge = Xml(MakeRss(2));
    huge.eTag = "\"" + std::string(10240, 'e') + "\"";
    HttpServer server([&](const HttpRequest& req) { return req.path == "/huge" ? huge : tagged; });
    pData = NewFeedRecord(server.Url("/feed"));
    ASSERT_TRUE(RetrieveFeed(pData));
    _RSSFEED_DATA* pFirst = pData->items.GetAt(0);
    FeedAnswer answer;
    EXPECT_TRUE(RetrieveFeed(pData, nullptr, &answer));
    EXPECT_EQ(answer.lStatus, 304);
    EXPECT_TRUE(answer.bNotModified);
    ASSERT_EQ(pData->items.GetCount(), 3u);
    EXPECT_EQ(pData->items.GetAt(0), pFirst);
    EXPECT_STREQ(Profile()->szTitle, L"Tagged");
    EXPECT_EQ(Profile()->iFeedFormat, FEED_FORMAT_RSS);
    EXPECT_TRUE(Messages().empty());
    auto reqs = server.Requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[0].Header("If-None-Match"), "");
    EXPECT_EQ(reqs[1].Header("If-None-Match"), "\"v1\"");
    EXPECT_EQ(reqs[1].Header("If-Modified-Since"), "Tue, 08 Dec 2026 10:00:00 GMT");

    // Items another profile's download put in place are not what the validators
    // describe: the request goes without them.
    _PROFILE_DATA* pOther = NewProfile();
    CopyText(pOther->szURL, 2049, server.Url("/other").c_str());
    pData->profiles.Add(pOther);
    pData->iCurrentProfile = 1;
    ASSERT_TRUE(RetrieveFeed(pData));
    pData->iCurrentProfile = 0;
    ASSERT_TRUE(RetrieveFeed(pData, nullptr, &answer));
    EXPECT_EQ(answer.lStatus, 200);
    EXPECT_EQ(server.Requests().back().Header("If-None-Match"), "");

    // A new address forgets them; a 10 KB ETag is not kept.
    CopyText(Profile()->szURL, 2049, server.Url("/huge").c_str());
    ASSERT_TRUE(RetrieveFeed(pData));
    EXPECT_EQ(server.Requests().back().Header("If-None-Match"), "");
    ASSERT_TRUE(RetrieveFeed(pData, nullptr, &answer));
    EXPECT_EQ(answer.lStatus, 200);
    EXPECT_EQ(server.Requests().back().Header("If-None-Match"), "");
}

// A 429 or 503 with Retry-After (seconds or an HTTP date) asks the next timed refresh to
// wait, at most a day; nonsense is ignored, and the next answer sets it again.
TEST_F(DownloadTest, RetryAfterIsHonouredWithinBounds) {
    struct Case {
        int status;
        const char* szRetryAfter;
        DWORD dwExpectedMs;
    } cases[] = {
        {503, "7200", 7200000},
        {429, "Tue, 08 Dec 2026 12:00:00 GMT", 7200000},  // two hours after the Date below
        {503, "172800", 86400000},
        {503, "-1", 0},
        {503, "1000000000000", 0},
        {503, "soon", 0},
        {500, "7200", 0},
        {200, "7200", 0},
    };
    for (const Case& c : cases) {
        HttpResponse r = Xml(MakeRss(1));
        r.status = c.status;
        r.extraHeaders = std::string("Retry-After: ") + c.szRetryAfter + "\r\nDate: Tue, 08 Dec 2026 10:00:00 GMT\r\n";
        HttpServer server(r);
        if (!pData) pData = NewFeedRecord(server.Url());
        CopyText(Profile()->szURL, 2049, server.Url().c_str());
        pData->dwBackOffMs = 12345;
        RetrieveFeed(pData);
        EXPECT_EQ(pData->dwBackOffMs, c.dwExpectedMs) << c.status << " " << c.szRetryAfter;
        EXPECT_EQ(RefreshTimerPeriod(pData), c.dwExpectedMs > REFRESH_INTERVAL ? c.dwExpectedMs : REFRESH_INTERVAL);
    }
}

// Compressed bodies in every form servers send are decoded by us, on every platform:
// gzip, deflate with zlib's wrapper and raw deflate, asked for on every request.
TEST_F(DownloadTest, CompressedBodiesInEveryForm) {
    for (HttpResponse::Compression compression :
         {HttpResponse::GZIP, HttpResponse::DEFLATE, HttpResponse::RAW_DEFLATE, HttpResponse::PLAIN}) {
        ResetHost();
        HttpResponse r = Xml(MakeRss(300, "Compressed"));
        r.compression = compression;
        HttpServer server(r);
        if (!pData) pData = NewFeedRecord(server.Url());
        CopyText(Profile()->szURL, 2049, server.Url().c_str());
        EXPECT_TRUE(RetrieveFeed(pData)) << compression;
        EXPECT_EQ(pData->items.GetCount(), 300u) << compression;
        EXPECT_TRUE(Messages().empty()) << compression;
        EXPECT_EQ(server.Requests()[0].Header("Accept-Encoding"), "gzip, deflate");
    }
}

// A body that claims a coding and is not in it, or is cut short, fails with the message
// for a compressed response; a coding we do not read says which it is. The items go.
TEST_F(DownloadTest, BrokenOrUnknownCodingsFailClearly) {
    const std::string gzip = Gzip(MakeRss(200));
    const std::wstring bad = std::to_wstring(static_cast<int>(HRESULT_FROM_WIN32(ERROR_INVALID_DATA)));
    struct Case {
        std::string body;
        const char* szCoding;
        std::wstring first;
    } cases[] = {
        {MakeRss(2), "gzip", L"Invalid compressed response (" + bad + L")"},
        {MakeRss(2), "deflate", L"Invalid compressed response (" + bad + L")"},
        {gzip.substr(0, gzip.size() / 2), "gzip", L"Invalid compressed response (" + bad + L")"},
        {gzip.substr(0, gzip.size() - 8), "x-gzip", L"Invalid compressed response (" + bad + L")"},
        {MakeRss(2), "br", L"Unsupported content encoding \"br\" (" + bad + L")"},
        {MakeRss(2), "gzip, gzip", L"Unsupported content encoding \"gzip, gzip\" (" + bad + L")"},
    };
    for (const Case& c : cases) {
        ResetHost();
        HttpServer good(Xml(MakeRss(2)));
        if (!pData) pData = NewFeedRecord(good.Url());
        CopyText(Profile()->szURL, 2049, good.Url().c_str());
        ASSERT_TRUE(RetrieveFeed(pData));
        HttpResponse r = Xml(c.body);
        r.extraHeaders = std::string("Content-Encoding: ") + c.szCoding + "\r\n";
        HttpServer server(r);
        CopyText(Profile()->szURL, 2049, server.Url().c_str());
        EXPECT_FALSE(RetrieveFeed(pData)) << c.szCoding;
        EXPECT_EQ(Messages(), (std::vector<std::wstring>{c.first, L"Invalid Exception (" + bad + L")"})) << c.szCoding;
        EXPECT_EQ(pData->items.GetCount(), 0u);
    }
    // Cut short by the network: the transfer's own failure, as a compressed response.
    ResetHost();
    HttpResponse r = Xml(gzip);
    r.extraHeaders = "Content-Encoding: gzip\r\n";
    r.dropAfter = gzip.size() / 2;
    HttpServer dropped(r);
    CopyText(Profile()->szURL, 2049, dropped.Url().c_str());
    EXPECT_FALSE(RetrieveFeed(pData));
    ASSERT_EQ(Messages().size(), 2u);
    EXPECT_EQ(Messages()[0].rfind(L"Invalid compressed response (", 0), 0u) << Messages()[0];
}

// A gzip body of 10 MB that inflates to 10 GB of zeros: decoding stops at the 64 MB the
// download takes, at once, with a message that says why, and memory never grows past
// that.
TEST_F(DownloadTest, DecompressionBombEndsAtTheLimit) {
    HttpResponse r = Xml(GzipOfZeros(10ull << 30));
    ASSERT_LT(r.body.size(), 12u << 20);
    r.extraHeaders = "Content-Encoding: gzip\r\n";
    HttpServer server(r);
    pData = NewFeedRecord(server.Url());
    auto peakBytes = [] {
        PROCESS_MEMORY_COUNTERS pmc = {};
        pmc.cb = sizeof(pmc);
        GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof(pmc));
        return static_cast<size_t>(pmc.PeakPagefileUsage);
    };
    // The work is counted in the process's CPU time, which a loaded machine does not
    // stretch: inflating on towards 10 GB would cost many seconds of it.
    auto cpuMs = [] {
        FILETIME ftCreation, ftExit, ftKernel, ftUser;
        GetProcessTimes(GetCurrentProcess(), &ftCreation, &ftExit, &ftKernel, &ftUser);
        auto ms = [](const FILETIME& ft) {
            return ((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) / 10000;
        };
        return ms(ftKernel) + ms(ftUser);
    };
    size_t cbPeakBefore = peakBytes();
    ULONGLONG ullCpuBefore = cpuMs();
    EXPECT_FALSE(RetrieveFeed(pData));
    EXPECT_LT(cpuMs() - ullCpuBefore, 1000u);
    const std::wstring code = std::to_wstring(static_cast<int>(FEED_E_TOO_LARGE));
    EXPECT_EQ(Messages(), (std::vector<std::wstring>{L"Response larger than 64 MB (" + code + L")",
                                                     L"Invalid Exception (" + code + L")"}));
    // The server's copies of the body are about 20 MB; the decoded body at most 64 MB.
    EXPECT_LT(peakBytes() - cbPeakBefore, 100u << 20);
}

// The fragment of an address stays with the user: the server is asked for the document
// without it, and the profile keeps the address as written.
TEST_F(DownloadTest, TheFragmentIsNotSent) {
    HttpServer server(Xml(MakeRss(1)));
    pData = NewFeedRecord(server.Url("/feed.xml#main"));
    ASSERT_TRUE(RetrieveFeed(pData));
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].path, "/feed.xml");
    EXPECT_EQ(std::wstring(Profile()->szURL), server.Url("/feed.xml#main"));
}

// Only a document type declaration in the prolog can declare entities: a post about XML
// that quotes one in its text is a feed like any other.
TEST_F(DownloadTest, DeclarationsQuotedInTheTextAreText) {
    const std::string quoted =
        "<rss><channel><title>XML</title><item><title>About DTDs</title><description><![CDATA[ <!DOCTYPE x [ "
        "<!ENTITY y \"z\"> ]> ]]> and &lt;!ENTITY in text</description></item></channel></rss>";
    HttpServer server(Xml("<?xml version=\"1.0\"?><!-- <!DOCTYPE a [<!ENTITY b 'c'>]> -->" + quoted));
    ASSERT_TRUE(Fetch(server));
    ASSERT_EQ(pData->items.GetCount(), 1u);
    EXPECT_NE(wcsstr(pData->items.GetAt(0)->pszDescription, L"<!ENTITY y \"z\">"), nullptr);
    EXPECT_TRUE(Messages().empty());
}

// Bytes that are not UTF-8 in a body the server says is UTF-8 still give the feed, with
// U+FFFD in their place, as the platform decodes them.
TEST_F(DownloadTest, InvalidUtf8BecomesReplacementCharacters) {
    HttpServer server(Xml("<rss><channel><title>Caf\xE9 \xC3\xA9</title></channel></rss>", "text/xml; charset=utf-8"));
    ASSERT_TRUE(Fetch(server));
    EXPECT_STREQ(Profile()->szTitle, L"Caf\ufffd \u00e9");
}

// A challenge is answered only with the user's logon (NTLM, Negotiate), once; Basic is
// never answered, so no password ever leaves.
TEST_F(DownloadTest, ChallengesAreAnsweredOnlyWithTheUserLogon) {
    for (const char* szScheme : {"Basic realm=\"feeds\"", "NTLM"}) {
        ResetHost();
        HttpResponse r = Xml("denied");
        r.status = 401;
        r.extraHeaders = std::string("WWW-Authenticate: ") + szScheme + "\r\n";
        HttpServer server(r);
        if (!pData) pData = NewFeedRecord(server.Url());
        CopyText(Profile()->szURL, 2049, server.Url().c_str());
        EXPECT_FALSE(RetrieveFeed(pData));
        EXPECT_EQ(Messages(), std::vector<std::wstring>{L"Invalid status (401)"});
        auto reqs = server.Requests();
        ASSERT_FALSE(reqs.empty());
        EXPECT_EQ(reqs[0].Header("Authorization"), "");
        EXPECT_EQ(reqs[0].Header("User-Agent"), "Quillmere/" + ResourceProductVersion());
        // Basic goes unanswered; NTLM is answered once (a three-step exchange at most).
        bool bNtlm = strcmp(szScheme, "NTLM") == 0;
        EXPECT_GE(reqs.size(), bNtlm ? 2u : 1u);
        EXPECT_LE(reqs.size(), bNtlm ? 3u : 1u);
    }
}
