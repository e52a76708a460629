// Times the feed download against the floor the platform sets, the time per feed when
// one process fetches many small feeds, and the CPU spent while a slow server keeps a
// download waiting. Prints one line per measurement.
#include "support/httpserver.h"
#include "support/bigfeed.h"
#include <cstdio>
#include <cstring>
#include <string>
#include "core/record.h"
#include "app/instance.h"
#include "core/message.h"
#include "core/settings.h"
#include "feed/download.h"
#include "feed/charset.h"
#include "feed/http.h"
#include "feed/parser.h"
#include "benchclock.h"

namespace {

double CpuSeconds() {
    FILETIME ftCreate, ftExit, ftKernel, ftUser;
    GetProcessTimes(GetCurrentProcess(), &ftCreate, &ftExit, &ftKernel, &ftUser);
    auto seconds = [](const FILETIME& ft) {
        return static_cast<double>((static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) /
               1e7;
    };
    return seconds(ftKernel) + seconds(ftUser);
}

// About 250 bytes per item, as a typical news feed.
std::string GenerateRss(int n) {
    std::string s = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\"><channel><title>Bench</title>"
                    "<link>http://example.com/</link>\n";
    char buf[512];
    for (int i = 0; i < n; ++i) {
        snprintf(buf, sizeof(buf),
                 "<item><title>Item number %d of the bench feed</title><link>http://example.com/items/%d</link>"
                 "<description>A short description of item %d, long enough to look like one.</description>"
                 "<pubDate>Tue, 08 Dec 2026 00:00:%02d GMT</pubDate></item>\n",
                 i, i, i, i % 60);
        s += buf;
    }
    return s + "</channel></rss>\n";
}

int Quiet(const wchar_t* szText, UINT, void*) {
    fwprintf(stderr, L"message: %ls\n", szText);
    return IDOK;
}

// The bare transfer of the same response, to take out of RetrieveFeed's time.
double TransferSeconds(const std::wstring& url) {
    double t0 = NowSeconds();
    HttpFetch(nullptr, url.c_str(), std::wstring(), nullptr, 60000);
    return NowSeconds() - t0;
}

// A document loaded with load from a byte array of body, as the download loads it.
qm::ComPtr<IXMLDOMDocument> LoadBytes(const std::string& body) {
    qm::ComPtr<IXMLDOMDocument> pDoc;
    qm::CreateRunningObject(qm::CLSID_DOMDocument30, qm::IID_XMLDOMDocument, pDoc.put_void());
    pDoc->put_async(VARIANT_FALSE);
    qm::UniqueSafeArray bytes(SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(body.size())));
    void* pv = nullptr;
    SafeArrayAccessData(bytes.get(), &pv);
    memcpy(pv, body.data(), body.size());
    SafeArrayUnaccessData(bytes.get());
    VARIANT source;
    VariantInit(&source);
    V_VT(&source) = VT_ARRAY | VT_UI1;
    V_ARRAY(&source) = bytes.get();
    VARIANT_BOOL ok = VARIANT_FALSE;
    pDoc->load(source, &ok);
    if (ok != VARIANT_TRUE) pDoc.reset();
    return pDoc;
}

// The floor: a load of the same bytes.
double FloorSeconds(const std::string& body) {
    double t0 = NowSeconds();
    qm::ComPtr<IXMLDOMDocument> pDoc = LoadBytes(body);
    return pDoc ? NowSeconds() - t0 : 0;
}

// The download's own way from a body to its document: the bytes made ready for the
// parser (their charset found, the declaration's encoding taken out) and loaded.
double DocumentSeconds(const std::string& body) {
    double t0 = NowSeconds();
    qm::UniqueSafeArray bytes;
    bool bEntities = false;
    std::wstring unknownName;
    if (!MakeXmlBytes(body, L"application/rss+xml", bytes, &bEntities, unknownName)) return 0;
    qm::ComPtr<IXMLDOMDocument> pDoc;
    qm::CreateRunningObject(qm::CLSID_DOMDocument30, qm::IID_XMLDOMDocument, pDoc.put_void());
    pDoc->put_async(VARIANT_FALSE);
    VARIANT source;
    VariantInit(&source);
    V_VT(&source) = VT_ARRAY | VT_UI1;
    V_ARRAY(&source) = bytes.get();
    VARIANT_BOOL ok = VARIANT_FALSE;
    pDoc->load(source, &ok);
    return ok == VARIANT_TRUE ? NowSeconds() - t0 : 0;
}

// Where the time after the document goes: the parser's steps on a document loaded from
// the same bytes.
void Breakdown(double mb, const std::string& body) {
    qm::ComPtr<IXMLDOMDocument> pDoc = LoadBytes(body);
    double t1 = NowSeconds();
    int iFormat = GetFeedFormat(pDoc.get());
    double t2 = NowSeconds();
    wchar_t szTitle[501];
    GetFeedTitle(pDoc.get(), L"channel", szTitle);
    double t3 = NowSeconds();
    auto pList = GetItemNodeList(pDoc.get(), L"item");
    double t4 = NowSeconds();
    FeedItemList items;
    ParseFeedItems(items, pList.get(), iFormat, L"title", L"link", nullptr, L"description", nullptr, L"pubdate",
                   L"pubDate");
    double t5 = NowSeconds();
    FreeFeedItems(items);
    double t6 = NowSeconds();
    printf("  %.0f MB, the parser after the document: format %.3f title %.3f list %.3f items %.3f free %.3f\n", mb,
           t2 - t1, t3 - t2, t4 - t3, t5 - t4, t6 - t5);
}

// A record with one profile, active, for the address given.
_DOCKLET_DATA* NewBenchRecord(const std::wstring& url) {
    _DOCKLET_DATA* pData = NewDockletRecord();
    _PROFILE_DATA* pProfile = NewProfile();
    CopyText(pProfile->szURL, 2049, url.c_str());
    pData->profiles.Add(pProfile);
    pData->iProfileCount = 1;
    pData->iCurrentProfile = 0;
    return pData;
}

}  // namespace

int main() {
    qm::ComApartment apartment(qm::ComApartment::COM_STA);
    SetMessageSink(Quiet, nullptr);
    // Time per MB from a body to its document, as the download goes (charset, then a load
    // of the bytes), against the floor (a load of the same bytes), on feeds of 1, 10 and
    // 60 MB with long descriptions; the best of three. The whole RetrieveFeed (with the
    // transfer from loopback and the parser's walk over the items) is shown beside it.
    printf("MB     items  retrieve_s  transfer_s  document_s  floor_s  document_s/MB  floor_s/MB  ratio\n");
    for (size_t cbFeed : {1u << 20, 10u << 20, 60u << 20}) {
        int n = static_cast<int>(cbFeed / c_cbLongItem);
        std::string body = LongItemsRss(n);
        HttpServer server([&body](const HttpRequest&) {
            HttpResponse r;
            r.body = body;
            return r;
        });
        _DOCKLET_DATA* pData = NewBenchRecord(server.Url());
        double best = 1e9, bestTransfer = 1e9, bestDocument = 1e9, bestFloor = 1e9;
        for (int k = 0; k < 3; ++k) {
            double t0 = NowSeconds();
            bool ok = RetrieveFeed(pData);
            double t = NowSeconds() - t0;
            if (!ok || pData->items.GetCount() != static_cast<unsigned>(n)) fprintf(stderr, "bench: bad result\n");
            FreeFeedItems(pData->items);
            if (t < best) best = t;
            double tt = TransferSeconds(server.Url());
            if (tt < bestTransfer) bestTransfer = tt;
            double td = DocumentSeconds(body);
            if (td < bestDocument) bestDocument = td;
            double tf = FloorSeconds(body);
            if (tf < bestFloor) bestFloor = tf;
        }
        double mb = static_cast<double>(body.size()) / (1024.0 * 1024.0);
        printf("%-6.1f %-6d %-11.3f %-11.3f %-11.3f %-8.3f %-14.4f %-11.4f %.2f\n", mb, n, best, bestTransfer,
               bestDocument, bestFloor, bestDocument / mb, bestFloor / mb, bestDocument / bestFloor);
        FreeProfiles(pData->profiles);
        ReleaseDocklet(pData);
        Breakdown(mb, body);
    }

    // One process fetching many small feeds in turn, as feeddump --list does: the cost
    // of a request beyond its parse, from a server that keeps connections open (as most
    // do; the instance's session then reuses them) and from one that closes each.
    for (bool bKeep : {true, false}) {
        HttpServer server([](const HttpRequest& req) {
            HttpResponse r;
            r.body = GenerateRss(3);
            r.body.insert(r.body.find("</title>"), req.path);
            return r;
        });
        if (bKeep) server.KeepConnections();
        _DOCKLET_DATA* pData = NewBenchRecord(L"");
        _PROFILE_DATA* pProfile = pData->profiles.GetAt(0);
        const int n = 1000;
        int iFailed = 0;
        double c0 = CpuSeconds(), t0 = NowSeconds();
        for (int i = 0; i < n; ++i) {
            std::wstring url = server.Url(("/feed" + std::to_string(i)).c_str());
            CopyText(pProfile->szURL, 2049, url.c_str());
            if (!RetrieveFeed(pData) || pData->items.GetCount() != 3) ++iFailed;
        }
        double wall = NowSeconds() - t0, cpu = CpuSeconds() - c0;
        printf("small feeds, %s: %d in one process, %.2f ms per feed (process cpu %.2f ms per feed, the "
               "server's included), %d failed\n",
               bKeep ? "connections kept" : "a connection each", n, 1000.0 * wall / n, 1000.0 * cpu / n, iFailed);
        FreeProfiles(pData->profiles);
        FreeFeedItems(pData->items);
        ReleaseDocklet(pData);
    }

    // CPU time while the server holds the response back for 5 seconds, on an instance
    // whose session an earlier refresh has made, from a server that keeps its connection
    // (so the figure is the client's, not the in-process server's thread start-up). Two
    // figures: over whole downloads (with the request, the parse and the platform's
    // threads waking after being idle), and over the wait alone, from 0.5 s after the
    // request reached the server to 0.5 s before the answer. Three downloads, since the
    // platform counts CPU time in ticks of 10 ms.
    {
        struct Window {
            HANDLE hArrived = CreateEventW(nullptr, FALSE, FALSE, nullptr);
            HANDLE hNever = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            double cpu = 0, wall = 0;
            static DWORD WINAPI Measure(void* pv) {
                auto* w = static_cast<Window*>(pv);
                WaitForSingleObject(w->hArrived, INFINITE);
                WaitForSingleObject(w->hNever, 500);
                double c0 = CpuSeconds(), t0 = NowSeconds();
                WaitForSingleObject(w->hNever, 4000);
                w->cpu += CpuSeconds() - c0;
                w->wall += NowSeconds() - t0;
                return 0;
            }
        } window;
        volatile LONG lRequests = 0;
        HttpServer server([&](const HttpRequest&) {
            HttpResponse r;
            r.body = GenerateRss(10);
            if (InterlockedIncrement(&lRequests) > 1) {
                r.delayMs = 5000;
                SetEvent(window.hArrived);
            }
            return r;
        });
        server.KeepConnections();
        _DOCKLET_DATA* pData = NewBenchRecord(server.Url());
        RetrieveFeed(pData);
        const int n = 3;
        int iOk = 0;
        double cpu = 0, wall = 0;
        for (int i = 0; i < n; ++i) {
            HANDLE hMeasure = CreateThread(nullptr, 0, Window::Measure, &window, 0, nullptr);
            double c0 = CpuSeconds(), t0 = NowSeconds();
            iOk += RetrieveFeed(pData) ? 1 : 0;
            cpu += CpuSeconds() - c0;
            wall += NowSeconds() - t0;
            WaitForSingleObject(hMeasure, INFINITE);
            CloseHandle(hMeasure);
        }
        if (cpu < 0) cpu = 0;
        if (window.cpu < 0) window.cpu = 0;
        printf("slow download: %d of %d succeeded, wall %.2f s each; process cpu %.3f s each, %.3f%% of wall; "
               "during the wait alone %.3f%% (one tick of the platform's count is %.3f%%)\n",
               iOk, n, wall / n, cpu / n, 100.0 * cpu / wall, 100.0 * window.cpu / window.wall,
               100.0 * 0.01 / window.wall);
        CloseHandle(window.hArrived);
        CloseHandle(window.hNever);
        FreeProfiles(pData->profiles);
        FreeFeedItems(pData->items);
        ReleaseDocklet(pData);
    }
    return 0;
}
