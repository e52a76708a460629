// feeddump as a user runs it: its output lines, long lists in one process, and the feeds
// collected from the wild, all served over the loopback server.
#include "support/httpserver.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <string>
#include <vector>
#include "support/bigfeed.h"
#include "support/process.h"
#include "support/testhost.h"

namespace {

struct RunResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::vector<std::string> lines;
    DWORD handlesEarly = 0;  // the child's handle count after the first lines
    DWORD handlesLate = 0;   // and near the end
};

std::string FeeddumpPath() {
    return BuildPath("tools\\feeddump.exe");
}

// Runs feeddump with args, collecting its output lines; samples its handle count after
// earlyLine and lateLine lines.
RunResult RunFeeddump(const std::wstring& args, DWORD dwTimeoutMs, size_t earlyLine = 0, size_t lateLine = 0) {
    RunResult result;
    std::string cmd = "\"" + FeeddumpPath() + "\" " + std::string(args.begin(), args.end());
    ProcessRun run = RunProcess(
        cmd, nullptr, dwTimeoutMs,
        [&](HANDLE hProcess, size_t cLines) {
            if (cLines == earlyLine) GetProcessHandleCount(hProcess, &result.handlesEarly);
            if (cLines == lateLine) GetProcessHandleCount(hProcess, &result.handlesLate);
        },
        false);
    result.exitCode = run.exitCode;
    size_t from = 0, pos;
    while ((pos = run.out.find('\n', from)) != std::string::npos) {
        result.lines.push_back(run.out.substr(from, pos - from));
        from = pos + 1;
    }
    return result;
}

std::string Narrow(const std::wstring& s) {
    return std::string(s.begin(), s.end());
}

std::wstring WriteList(const char* tag, const std::vector<std::wstring>& urls) {
    std::string path = MakeTempFolder(tag) + "urls.txt";
    FILE* f = fopen(path.c_str(), "wb");
    for (const std::wstring& u : urls) fprintf(f, "%s\n", Narrow(u).c_str());
    fclose(f);
    return std::wstring(path.begin(), path.end());
}

HttpResponse Body(const std::string& body, int status = 200) {
    HttpResponse r;
    r.status = status;
    r.body = body;
    return r;
}

std::string LargeRss(int n) {
    std::string s = "<rss><channel><title>Big</title>";
    char buf[200];
    for (int i = 0; i < n; ++i) {
        snprintf(buf, sizeof(buf), "<item><title>T%d</title><link>http://x/%d</link></item>", i, i);
        s += buf;
    }
    return s + "</channel></rss>";
}

// A page the page writer wrote (FF FE and UTF-16LE) as text; empty when it is missing.
std::wstring ReadPageText(const std::string& path) {
    std::string bytes = ReadFileBytes(std::wstring(path.begin(), path.end()));
    if (bytes.size() < 2) return std::wstring();
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
}

}  // namespace

TEST(Feeddump, PrintsOneJsonLinePerUrlInOrder) {
    HttpServer server([](const HttpRequest& req) {
        if (req.path == "/rss")
            return Body("<?xml version=\"1.0\" encoding=\"utf-8\"?><rss><channel><title>Caf\xC3\xA9 \"q\" \\ x</title>"
                        "<item><title>A\tB</title><link>http://e/1</link><description><![CDATA[<p>hi</p>\n]]>"
                        "</description><pubDate>Mon</pubDate></item></channel></rss>");
        if (req.path == "/bad") return Body("<rss><channel>");
        return Body("gone", 404);
    });
    RunResult r = RunFeeddump(L"\"" + server.Url("/rss") + L"\" " + server.Url("/bad") + L" " + server.Url("/x"), 30000);
    EXPECT_EQ(r.exitCode, 0u);
    ASSERT_EQ(r.lines.size(), 3u);
    EXPECT_EQ(r.lines[0],
              "{\"url\": \"" + Narrow(server.Url("/rss")) +
                  "\", \"result\": true, \"format\": 1, \"title\": \"Caf\xC3\xA9 \\\"q\\\" \\\\ x\", "
                  "\"items\": [{\"title\": \"A\\tB\", \"display_title\": \"A B\", \"link\": \"http://e/1\", "
                  "\"date\": \"Mon\", \"description\": \"<p>hi</p>\\n\", \"file\": \"item0.html\"}], "
                  "\"messages\": [], \"status\": 200, \"new\": 0, \"next_check_minutes\": 60}");
    EXPECT_EQ(r.lines[1],
              "{\"url\": \"" + Narrow(server.Url("/bad")) +
                  "\", \"result\": false, \"format\": 0, \"title\": \"\", \"items\": [], \"messages\": "
                  "[\"pXMLDocPtr->loadXML failed (0)\", \"Invalid Exception (0)\"], \"status\": 200, \"new\": 0, "
                  "\"next_check_minutes\": 60}");
    EXPECT_EQ(r.lines[2], "{\"url\": \"" + Narrow(server.Url("/x")) +
                              "\", \"result\": false, \"format\": 0, \"title\": \"\", \"items\": [], \"messages\": "
                              "[\"Invalid status (404)\"], \"status\": 404, \"new\": 0, \"next_check_minutes\": 60}");
}

TEST(Feeddump, NoArgumentsIsAUsageError) {
    EXPECT_EQ(RunFeeddump(L"", 10000).exitCode, 2u);
    EXPECT_EQ(RunFeeddump(L"--list Z:\\does\\not\\exist.txt", 10000).exitCode, 2u);
}

TEST(Feeddump, TwoThousandUrlsInOneProcessWithoutLeaks) {
    HttpServer server([](const HttpRequest& req) {
        if (req.path.find("bad") != std::string::npos) return Body("<rss>");
        if (req.path.find("missing") != std::string::npos) return Body("", 404);
        return Body(LargeRss(5));
    });
    std::vector<std::wstring> urls;
    for (int i = 0; i < 2000; ++i) {
        const char* kind = i % 3 == 0 ? "/feed" : i % 3 == 1 ? "/bad" : "/missing";
        urls.push_back(server.Url((std::string(kind) + "?" + std::to_string(i)).c_str()));
    }
    std::wstring list = WriteList("dump2000", urls);
    RunResult r = RunFeeddump(L"--list \"" + list + L"\"", 300000, 200, 1900);
    EXPECT_EQ(r.exitCode, 0u);
    ASSERT_EQ(r.lines.size(), 2000u);
    for (size_t i = 0; i < r.lines.size(); i += 97)
        EXPECT_EQ(r.lines[i].rfind("{\"url\": \"" + Narrow(urls[i]) + "\"", 0), 0u) << r.lines[i];
    // Handles stay flat from the 200th URL to the 1900th (where the platform reports them;
    // the same check runs in-process in the feed tests).
    if (r.handlesEarly) {
        EXPECT_LT(r.handlesLate, r.handlesEarly + 40) << r.handlesEarly << " -> " << r.handlesLate;
    }
}

TEST(Feeddump, TenThousandItemFeed) {
    HttpServer server(Body(LargeRss(10000)));
    RunResult r = RunFeeddump(server.Url(), 120000);
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_NE(r.lines[0].find("\"result\": true"), std::string::npos);
    EXPECT_NE(r.lines[0].find("{\"title\": \"T9999\", \"display_title\": \"T9999\", \"link\": \"http://x/9999\", "
                              "\"date\": \"undefined\", \"description\": \"undefined\", \"file\": \"item9999.html\"}"),
              std::string::npos);
}

// Feeds up to the 64 MB the download takes parse whole, in one process each: 27.9 MB of
// 20,000 items with long descriptions, 60 MB, and one text of 12 MB (a single text node
// over 10,000,000 characters was where parsing from one string stopped).
TEST(Feeddump, LargeFeedsParseWhole) {
    struct Case {
        std::string body;
        int nItems;
    };
    std::vector<Case> cases(3);
    cases[0] = {LongItemsRss(20000), 20000};
    cases[1].nItems = static_cast<int>((60u << 20) / c_cbLongItem);
    cases[1].body = LongItemsRss(cases[1].nItems);
    cases[2] = {"<rss><channel><title>One</title><item><title>Long</title><description>" + std::string(12000000, 'w') +
                    "</description></item></channel></rss>",
                1};
    ASSERT_NEAR(static_cast<double>(cases[0].body.size()), 27.9e6, 0.1e6);
    ASSERT_NEAR(static_cast<double>(cases[1].body.size()), 60 << 20, 0.5e6);
    for (Case& c : cases) {
        const std::string last = "\"file\": \"item" + std::to_string(c.nItems - 1) + ".html\"}], \"messages\": []";
        HttpServer server([&c](const HttpRequest&) { return Body(c.body); });
        RunResult r = RunFeeddump(server.Url(), 180000);
        ASSERT_EQ(r.lines.size(), 1u) << c.body.size();
        EXPECT_NE(r.lines[0].find("\"result\": true"), std::string::npos) << c.body.size();
        EXPECT_NE(r.lines[0].find(last), std::string::npos) << c.body.size();
        c.body.clear();
    }
}

// Every file of the collected feeds goes through one feeddump process without a crash or
// a hang. Their own expectations are another parser's; here only the shape counts.
TEST(Feeddump, CollectedFeedsRunClean) {
    const std::wstring root = L"Z:\\work\\shared\\corpus\\feedparser\\";
    std::vector<std::wstring> files;
    std::vector<std::wstring> folders = {L""};
    while (!folders.empty()) {
        std::wstring folder = folders.back();
        folders.pop_back();
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((root + folder + L"*").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) continue;
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                folders.push_back(folder + name + L"\\");
            else if (name.size() > 4 && name.compare(name.size() - 4, 4, L".xml") == 0)
                files.push_back(folder + name);
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    if (files.empty()) GTEST_SKIP() << "no collected feeds on this machine";

    HttpServer server([&root](const HttpRequest& req) {
        std::string rel = req.path.substr(1);
        for (char& c : rel)
            if (c == '/') c = '\\';
        std::wstring path = root + std::wstring(rel.begin(), rel.end());
        HttpResponse r;
        HANDLE hFile = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (hFile == INVALID_HANDLE_VALUE) {
            r.status = 404;
            return r;
        }
        DWORD cb = GetFileSize(hFile, nullptr);
        r.body.resize(cb);
        DWORD cbRead = 0;
        if (cb) ReadFile(hFile, &r.body[0], cb, &cbRead, nullptr);
        CloseHandle(hFile);
        return r;
    });
    std::vector<std::wstring> urls;
    for (std::wstring f : files) {
        for (wchar_t& c : f)
            if (c == L'\\') c = L'/';
        urls.push_back(server.Url(("/" + Narrow(f)).c_str()));
    }
    std::wstring list = WriteList("corpus", urls);
    DWORD dwStart = GetTickCount();
    RunResult r = RunFeeddump(L"--time-limit 10000 --list \"" + list + L"\"", 400000);
    EXPECT_EQ(r.exitCode, 0u);
    ASSERT_EQ(r.lines.size(), urls.size());
    int iTrue = 0;
    for (size_t i = 0; i < urls.size(); ++i) {
        EXPECT_EQ(r.lines[i].rfind("{\"url\": \"" + Narrow(urls[i]) + "\", \"result\": ", 0), 0u) << r.lines[i];
        if (r.lines[i].find("\"result\": true") != std::string::npos) ++iTrue;
    }
    // No feed was answered by the 404 of a mistyped path.
    for (const std::string& line : r.lines) EXPECT_EQ(line.find("Invalid status (404)"), std::string::npos) << line;
    RecordProperty("feeds", static_cast<int>(urls.size()));
    RecordProperty("parsed", iTrue);
    RecordProperty("ms", static_cast<int>(GetTickCount() - dwStart));
}

TEST(Feeddump, PagesAreWrittenWithThePageWriterAndListed) {
    HttpServer server([](const HttpRequest&) {
        return Body("<rss><channel><title>P</title><item><title>One</title><link>http://e/1</link></item>"
                    "<item><title>Two</title><link>http://e/\"2</link></item></channel></rss>");
    });
    std::string folder = MakeTempFolder("feeddump-pages") + "pages";
    std::wstring folderW(folder.begin(), folder.end());
    RunResult r = RunFeeddump(L"--pages \"" + folderW + L"\" " + server.Url("/feed"), 30000);
    EXPECT_EQ(r.exitCode, 0u);
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_NE(r.lines[0].find("\"pages\": ["), std::string::npos) << r.lines[0];
    for (const char* name : {"allitems.htm", "item0.html", "item1.html"}) {
        std::string path = folder + "\\" + name;
        EXPECT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << path;
        EXPECT_NE(r.lines[0].find(name), std::string::npos) << r.lines[0];
    }
    // The item page holds the link with its quote encoded inside href.
    EXPECT_NE(ReadPageText(folder + "\\item1.html").find(L"href=\"http://e/%222\""), std::wstring::npos);
}

TEST(Feeddump, PagesLinkOnlyWebAddressesAndItemsShowTheirDisplayTitles) {
    HttpServer server([](const HttpRequest& req) {
        if (req.path == "/atom")
            return Body("<feed xmlns=\"http://www.w3.org/2005/Atom\" xml:base=\"http://example.com/blog/\"><title>A</title>"
                        "<entry><title>Tom &amp;amp; Jerry &lt;b&gt;live&lt;/b&gt;</title>"
                        "<link href=\"2026/item.html\"/></entry></feed>");
        return Body("<rss><channel><title>P</title><item><title>a</title><link>javascript:alert(1)</link></item>"
                    "<item><title>b</title><link>data:text/html,x</link></item>"
                    "<item><title>c</title><link>file:///c:/windows/win.ini</link></item></channel></rss>");
    });
    std::string folder = MakeTempFolder("feeddump-links") + "pages";
    RunResult r = RunFeeddump(L"--pages \"" + std::wstring(folder.begin(), folder.end()) + L"\" " +
                                  server.Url("/rss") + L" " + server.Url("/atom"),
                              30000);
    EXPECT_EQ(r.exitCode, 0u);
    ASSERT_EQ(r.lines.size(), 2u);
    for (const char* name : {"allitems.htm", "item0.html", "item1.html", "item2.html"}) {
        std::wstring text = ReadPageText(folder + "\\1\\" + name);
        EXPECT_NE(text.find(L"</body></html>"), std::wstring::npos) << name;
        EXPECT_EQ(text.find(L"href"), std::wstring::npos) << name;
    }
    EXPECT_NE(r.lines[1].find("\"title\": \"Tom &amp; Jerry <b>live</b>\", \"display_title\": \"Tom & Jerry live\", "
                              "\"link\": \"http://example.com/blog/2026/item.html\""),
              std::string::npos)
        << r.lines[1];
    EXPECT_NE(ReadPageText(folder + "\\2\\item0.html").find(L"<a href=\"http://example.com/blog/2026/item.html\">"),
              std::wstring::npos);
}

TEST(Feeddump, OpmlListsAndDiscoveryFromWebPages) {
    HttpServer server([](const HttpRequest& req) {
        HttpResponse r = Body("<rss><channel><title>From " + req.path + "</title></channel></rss>");
        if (req.path.rfind("/page", 0) == 0) {
            r.contentType = "text/html";
            r.body = "<html><head><link rel=\"alternate\" type=\"application/atom+xml\" href=\"feed" +
                     req.path.substr(5) + "\"></head><body></body></html>";
        }
        if (req.path == "/bare") r = Body("<html><body>No feed</body></html>");
        return r;
    });
    std::string opml = MakeTempFolder("feeddump-opml") + "list.opml";
    FILE* f = fopen(opml.c_str(), "wb");
    fprintf(f, "<opml version=\"2.0\"><body><outline text=\"Folder\"><outline text=\"A\" xmlUrl=\"%s\"/></outline>"
               "<outline text=\"Skipped\" xmlUrl=\"javascript:x\"/><outline text=\"B\" xmlUrl=\"%s\"/></body></opml>",
            Narrow(server.Url("/a")).c_str(), Narrow(server.Url("/page2")).c_str());
    fclose(f);
    RunResult r = RunFeeddump(L"--discover --opml \"" + std::wstring(opml.begin(), opml.end()) + L"\" " +
                                  server.Url("/bare"),
                              30000);
    EXPECT_EQ(r.exitCode, 0u);
    ASSERT_EQ(r.lines.size(), 3u);
    EXPECT_EQ(r.lines[0].rfind("{\"url\": \"" + Narrow(server.Url("/a")) + "\", \"result\": true", 0), 0u)
        << r.lines[0];
    EXPECT_EQ(r.lines[1].rfind("{\"url\": \"" + Narrow(server.Url("/page2")) + "\", \"discovered\": \"" +
                                   Narrow(server.Url("/feed2")) + "\", \"result\": true, \"format\": 1, \"title\": "
                                                                  "\"From /feed2\"",
                               0),
              0u)
        << r.lines[1];
    EXPECT_NE(r.lines[2].find("\"result\": false"), std::string::npos) << r.lines[2];
    EXPECT_NE(r.lines[2].find("is a web page, and it names no RSS or Atom feed."), std::string::npos) << r.lines[2];
}

// A page whose head holds one tag with 128,000 attributes (about 1 MB) before its feed
// link: the scan of the head is linear in the page, so discovery takes about as long as
// for a small page (it took 30 s when attributes were compared with each other).
TEST(Feeddump, DiscoveryOnAPageWithAHugeTagIsQuick) {
    std::string huge = "<!DOCTYPE html><html><head><meta";
    for (int i = 0; i < 128000; ++i) huge += " a" + std::string(1, static_cast<char>('a' + i % 26)) + "=1";
    huge += "><link rel=alternate type=application/rss+xml href=/feed></head><body></body></html>";
    HttpServer server([&huge](const HttpRequest& req) {
        HttpResponse r = Body("<rss><channel><title>Found</title></channel></rss>");
        if (req.path != "/feed") {
            r.contentType = "text/html";
            r.body = req.path == "/huge" ? huge : "<html><head><link rel=alternate type=application/rss+xml "
                                                  "href=/feed></head></html>";
        }
        return r;
    });
    DWORD dwStart = GetTickCount();
    RunResult small = RunFeeddump(L"--discover " + server.Url("/small"), 30000);
    DWORD dwSmall = GetTickCount() - dwStart;
    dwStart = GetTickCount();
    RunResult large = RunFeeddump(L"--discover " + server.Url("/huge"), 30000);
    DWORD dwLarge = GetTickCount() - dwStart;
    for (const RunResult* r : {&small, &large}) {
        ASSERT_EQ(r->lines.size(), 1u);
        EXPECT_NE(r->lines[0].find("\"discovered\": \"" + Narrow(server.Url("/feed")) + "\", \"result\": true"),
                  std::string::npos)
            << r->lines[0];
    }
    RecordProperty("small_ms", static_cast<int>(dwSmall));
    RecordProperty("huge_ms", static_cast<int>(dwLarge));
    // The process's start dominates both; the page's own share stays well under a second.
    EXPECT_LT(dwLarge, dwSmall + 1000) << dwSmall << " ms, then " << dwLarge << " ms";
}

// A URL listed again is a second refresh of its profile: with validators it is answered
// 304, and the line shows the items of the first answer.
TEST(Feeddump, RepeatedUrlIsAConditionalRefresh) {
    HttpServer server([](const HttpRequest& req) {
        HttpResponse r = Body("<rss><channel><title>T</title><item><title>" + req.path + "</title></item></channel></rss>");
        if (req.path == "/tagged") r.eTag = "\"1\"";
        return r;
    });
    std::wstring list = WriteList("dump-repeat", {server.Url("/tagged"), server.Url("/plain"), server.Url("/tagged"),
                                                  server.Url("/plain")});
    RunResult r = RunFeeddump(L"--list \"" + list + L"\"", 30000);
    ASSERT_EQ(r.lines.size(), 4u);
    const std::string items = "\"items\": [{\"title\": \"/tagged\"";
    EXPECT_NE(r.lines[0].find(items), std::string::npos) << r.lines[0];
    EXPECT_NE(r.lines[0].find("\"status\": 200,"), std::string::npos) << r.lines[0];
    EXPECT_NE(r.lines[2].find("\"result\": true, \"format\": 1, \"title\": \"T\", " + items), std::string::npos)
        << r.lines[2];
    EXPECT_NE(r.lines[2].find("\"messages\": [], \"status\": 304, \"not_modified\": true,"), std::string::npos)
        << r.lines[2];
    EXPECT_NE(r.lines[3].find("\"status\": 200,"), std::string::npos) << r.lines[3];
}

// With --state, a second run sees the feeds as the dock does after a restart: requests
// conditional on what the first run kept, a 304 for the feed that did not change
// (fetched again, as there are no items to keep yet), and the items that came meanwhile
// counted as new. Each line says when the dock would check next.
TEST(Feeddump, StateFilesCarryWhatWasSeenFromOneRunToTheNext) {
    volatile LONG lItems = 5;
    HttpServer server([&](const HttpRequest& req) {
        bool bSame = req.path == "/same";
        int n = bSame ? 3 : static_cast<int>(lItems);
        HttpResponse r = Body(std::string("<rss><channel><title>T</title>") + (bSame ? "<ttl>180</ttl>" : ""));
        for (int i = n - 1; i >= 0; --i)
            r.body +=
                "<item><title>I" + std::to_string(i) + "</title><link>http://e/" + std::to_string(i) + "</link></item>";
        r.body += "</channel></rss>";
        r.eTag = "\"" + req.path + std::to_string(n) + "\"";
        return r;
    });
    const std::string folder = MakeTempFolder("dump-state");
    const std::wstring args = L"--state \"" + std::wstring(folder.begin(), folder.end()) + L"state\" " +
                              server.Url("/same") + L" " + server.Url("/grows");
    RunResult first = RunFeeddump(args, 30000);
    ASSERT_EQ(first.lines.size(), 2u);
    EXPECT_NE(first.lines[0].find("\"status\": 200, \"new\": 0, \"next_check_minutes\": 180}"), std::string::npos)
        << first.lines[0];
    EXPECT_NE(first.lines[1].find("\"status\": 200, \"new\": 0, \"next_check_minutes\": 60}"), std::string::npos)
        << first.lines[1];

    lItems = 7;
    size_t nBefore = server.Requests().size();
    RunResult second = RunFeeddump(args, 30000);
    ASSERT_EQ(second.lines.size(), 2u);
    EXPECT_NE(second.lines[0].find("\"title\": \"I2\""), std::string::npos) << second.lines[0];
    EXPECT_NE(second.lines[0].find("\"status\": 304, \"not_modified\": true, \"status_again\": 200, \"new\": 0, "
                                   "\"next_check_minutes\": 180}"),
              std::string::npos)
        << second.lines[0];
    EXPECT_NE(second.lines[1].find("\"status\": 200, \"new\": 2, \"next_check_minutes\": 60}"), std::string::npos)
        << second.lines[1];
    std::vector<HttpRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), nBefore + 3);
    EXPECT_EQ(requests[nBefore].Header("If-None-Match"), "\"/same3\"");
    EXPECT_EQ(requests[nBefore + 2].Header("If-None-Match"), "\"/grows5\"");

    // One file per feed in the folder, nothing else.
    WIN32_FIND_DATAA found;
    HANDLE hFind = FindFirstFileA((folder + "state\\*").c_str(), &found);
    ASSERT_NE(hFind, INVALID_HANDLE_VALUE);
    std::vector<std::string> names;
    do {
        if (found.cFileName[0] != '.') names.push_back(found.cFileName);
    } while (FindNextFileA(hFind, &found));
    FindClose(hFind);
    EXPECT_EQ(names.size(), 2u);
    for (const std::string& name : names) EXPECT_EQ(name.substr(name.size() - 6), ".state") << name;
}
