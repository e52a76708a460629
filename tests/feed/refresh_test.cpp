// The refresh worker on a live instance: outcomes, the busy flag, the timer, a stop in
// the middle of a download, two instances, and readers of the items while refreshes run.
#include "support/httpserver.h"
#include <gtest/gtest.h>
#include <atomic>
#include <new>
#include "core/record.h"
#include "app/instance.h"
#include "core/message.h"
#include "core/settings.h"
#include "feed/download.h"
#include "feed/parser.h"
#include "feed/refresh.h"
#include "presentation/profile.h"
#include "feedtest.h"
#include "support/testhost.h"

namespace {

bool Busy(const _DOCKLET_DATA* p) {
    return p->bRefreshing == 1;
}

// Long enough for a worker to begin or to show a message: its download's time limit.
DWORD WorkerStartLimit() {
    return GetFeedTimeLimit();
}

struct RefreshTest : testing::Test {
    HWND hwnd = nullptr;
    _DOCKLET_DATA* pData = nullptr;

    void SetUp() override {
        ResetHost();
        hwnd = CreateDockWindow();
    }
    void TearDown() override {
        if (pData) DestroyDocklet(pData);
        DestroyWindow(hwnd);
        SetFeedTimeLimit(FEED_TIME_LIMIT_MS);
    }
    // An instance as the dock creates it (no profile yet), after its first refresh.
    _DOCKLET_DATA* Create(HWND hwndDock) {
        _DOCKLET_DATA* p = CreateDocklet(hwndDock, GetModuleHandleW(nullptr), nullptr, nullptr);
        EXPECT_NE(p, nullptr);
        EXPECT_TRUE(WaitForWorker(p->hRefreshThread, GetFeedTimeLimit()));
        return p;
    }
    static void AddProfile(_DOCKLET_DATA* p, const std::wstring& url) {
        qm::ScopedLock lock(p->csState);
        _PROFILE_DATA* pProfile = NewProfile();
        CopyText(pProfile->szURL, 2049, url.c_str());
        p->profiles.Add(pProfile);
        p->iProfileCount = p->profiles.GetCount();
        p->iCurrentProfile = 0;
    }
    void Refresh(_DOCKLET_DATA* p) {
        StartRefresh(p);
        ASSERT_TRUE(WaitForWorker(p->hRefreshThread, GetFeedTimeLimit()));
    }
};

HttpResponse Rss(int n) {
    HttpResponse r;
    r.body = MakeRss(n);
    return r;
}

}  // namespace

TEST_F(RefreshTest, NoProfileReArmsTheTimerOnTheWindowsThread) {
    pData = Create(hwnd);
    g_dwLastTimerThread = 0;
    Refresh(pData);
    EXPECT_EQ(g_dwLastTimerThread, GetCurrentThreadId());
    EXPECT_EQ(pData->bRefreshing, 0);
    EXPECT_TRUE(KillTimer(hwnd, IDT_REFRESH));
}

TEST_F(RefreshTest, SuccessShowsTheFirstItemAndFailuresKeepOrEmptyTheList) {
    volatile LONG lMode = 0;
    HttpServer server([&lMode](const HttpRequest&) {
        HttpResponse r = Rss(3);
        if (lMode == 1) r.status = 500;
        if (lMode == 2) r.body = "Service temporarily unavailable";
        return r;
    });
    pData = Create(hwnd);
    AddProfile(pData, server.Url());
    g_dwLastTimerThread = 0;
    Refresh(pData);
    EXPECT_EQ(pData->items.GetCount(), 3u);
    EXPECT_EQ(pData->iCurrentItem, 0);
    EXPECT_STREQ(pData->profiles.GetAt(0)->szTitle, L"Channel");
    EXPECT_EQ(g_dwLastTimerThread, GetCurrentThreadId());
    EXPECT_TRUE(KillTimer(hwnd, IDT_REFRESH));

    lMode = 1;  // status 500: the old items stay, none is current
    Refresh(pData);
    EXPECT_EQ(pData->items.GetCount(), 3u);
    EXPECT_EQ(pData->iCurrentItem, -1);

    lMode = 2;  // aborted: emptied
    Refresh(pData);
    EXPECT_EQ(pData->items.GetCount(), 0u);
    EXPECT_EQ(pData->iCurrentItem, -1);
    EXPECT_EQ(pData->bRefreshing, 0);
    EXPECT_EQ(CapturedMessages(),
              (std::vector<std::wstring>{L"Invalid status (500)", L"pXMLDocPtr->loadXML failed (0)",
                                         L"Invalid Exception (0)"}));
}

TEST_F(RefreshTest, BusyWhileDownloadingAndASecondStartIsDropped) {
    HttpResponse slow = Rss(2);
    slow.delayMs = 800;
    HttpServer server(slow);
    pData = Create(hwnd);
    AddProfile(pData, server.Url());
    {
        qm::ScopedLock lock(pData->csState);
        pData->iCurrentItem = 5;
    }
    StartRefresh(pData);
    ASSERT_TRUE(PumpUntil([&] { return Busy(pData); }, WorkerStartLimit()));
    EXPECT_EQ(pData->iCurrentItem, -1);
    EXPECT_FALSE(KillTimer(hwnd, IDT_REFRESH));  // disarmed while the worker runs
    StartRefresh(pData);                         // dropped, not queued
    ASSERT_TRUE(WaitForWorker(pData->hRefreshThread, GetFeedTimeLimit()));
    EXPECT_EQ(pData->bRefreshing, 0);
    EXPECT_EQ(pData->iCurrentItem, 0);
    EXPECT_EQ(server.Requests().size(), 1u);
}

// The server holds its answer longer than the stop may take: the worker must leave the
// download when asked, within the stop's deadline, not when the answer comes.
TEST_F(RefreshTest, DestroyDuringASlowDownloadReturnsPromptly) {
    HttpResponse slow = Rss(2);
    slow.delayMs = GetFeedTimeLimit();
    HttpServer server(slow);
    _DOCKLET_DATA* p = Create(hwnd);
    AddProfile(p, server.Url());
    StartRefresh(p);
    ASSERT_TRUE(PumpUntil([&] { return Busy(p) && !server.Requests().empty(); }, WorkerStartLimit()));
    qm::UniqueHandleNull hWorker = DuplicateWorkerThread(p->hRefreshThread);
    DWORD dwStart = GetTickCount();
    DestroyDocklet(p);
    // It keeps its deadline (plus as much again for a loaded machine), and the worker
    // answered the stop: it ends long before the held answer would come.
    EXPECT_LT(GetTickCount() - dwStart, 2 * DOCKLET_STOP_WAIT_MS);
    EXPECT_TRUE(WaitForThread(hWorker.get(), DOCKLET_STOP_WAIT_MS));
    // It left without a word and without touching the freed instance.
    PumpPosted();
    EXPECT_TRUE(CapturedMessages().empty());
    server.Stop();
}

TEST_F(RefreshTest, ACancelStopsASlowDownloadAtOnce) {
    HttpResponse slow = Rss(2);
    slow.delayMs = 30000;
    HttpServer server(slow);
    pData = Create(hwnd);
    AddProfile(pData, server.Url());
    StartRefresh(pData);
    ASSERT_TRUE(PumpUntil([&] { return Busy(pData) && !server.Requests().empty(); }, WorkerStartLimit()));
    qm::UniqueHandleNull hWorker = DuplicateWorkerThread(pData->hRefreshThread);
    // A worker that missed the cancel would sit in the held download past this deadline
    // and be abandoned.
    StopWorkers(pData, DOCKLET_STOP_WAIT_MS);
    EXPECT_TRUE(WaitForThread(hWorker.get(), DOCKLET_STOP_WAIT_MS));
    // The cancelled worker leaves the instance to whoever cancelled it: no message, no
    // items, and a new refresh can start at once.
    EXPECT_TRUE(CapturedMessages().empty());
    EXPECT_EQ(pData->items.GetCount(), 0u);
    StartRefresh(pData);
    EXPECT_TRUE(IsWorkerRunning(pData->hRefreshThread));
    StopWorkers(pData, DOCKLET_STOP_WAIT_MS);
    server.Stop();
}

namespace {
void ThrowOutOfMemory() {
    throw std::bad_alloc();
}
}  // namespace

TEST_F(RefreshTest, OutOfMemoryInTheWorkerStillEndsTheRefresh) {
    HttpServer server(Rss(2));
    pData = Create(hwnd);
    AddProfile(pData, server.Url());
    // Every display update fails inside the host call, on the worker as well.
    SetHostLabelHook(ThrowOutOfMemory);
    Refresh(pData);
    SetHostLabelHook(nullptr);
    EXPECT_EQ(pData->bRefreshing, 0);
    EXPECT_EQ(pData->items.GetCount(), 2u);
    EXPECT_TRUE(KillTimer(hwnd, IDT_REFRESH));  // armed again
    // The next refresh starts and ends as usual.
    ResetHost();
    Refresh(pData);
    EXPECT_FALSE(HostCalls("DockletSetLabel").empty());
    EXPECT_EQ(pData->bRefreshing, 0);
}

TEST_F(RefreshTest, TwoInstancesRefreshIndependently) {
    HttpServer one(Rss(1)), two(Rss(7));
    HWND hwnd2 = CreateDockWindow();
    pData = Create(hwnd);
    _DOCKLET_DATA* p2 = Create(hwnd2);
    AddProfile(pData, one.Url());
    AddProfile(p2, two.Url());
    StartRefresh(pData);
    StartRefresh(p2);
    EXPECT_TRUE(WaitForWorker(pData->hRefreshThread, GetFeedTimeLimit()));
    EXPECT_TRUE(WaitForWorker(p2->hRefreshThread, GetFeedTimeLimit()));
    EXPECT_EQ(pData->items.GetCount(), 1u);
    EXPECT_EQ(p2->items.GetCount(), 7u);
    EXPECT_TRUE(KillTimer(hwnd, IDT_REFRESH));
    EXPECT_TRUE(KillTimer(hwnd2, IDT_REFRESH));
    DestroyDocklet(p2);
    DestroyWindow(hwnd2);
}

// Another thread reads every item under the lock while refreshes replace the list: it
// must only ever see whole lists of live records.
TEST_F(RefreshTest, ReadersUnderTheLockNeverSeeAFreedItem) {
    volatile LONG lCount = 0;
    HttpServer server([&lCount](const HttpRequest&) {
        LONG n = InterlockedIncrement(&lCount);
        HttpResponse r = Rss(n % 3 == 0 ? 0 : 20 + static_cast<int>(n % 5) * 10);
        if (n % 4 == 0) r.body = "<rss>";  // aborted: emptied
        return r;
    });
    pData = Create(hwnd);
    AddProfile(pData, server.Url());
    struct Reader {
        _DOCKLET_DATA* pData;
        volatile LONG bDone;
        LONG lPasses;
        LONG lBad;
        static DWORD WINAPI Run(void* pv) {
            auto* r = static_cast<Reader*>(pv);
            while (!r->bDone) {
                qm::ScopedLock lock(r->pData->csState);
                unsigned n = r->pData->items.GetCount();
                if (n != 0 && n != 20 && n != 30 && n != 40 && n != 50 && n != 60) ++r->lBad;
                for (unsigned i = 0; i < n; ++i) {
                    const _RSSFEED_DATA* pItem = r->pData->items.GetAt(i);
                    if (!pItem || wcsncmp(pItem->szTitle, L"Item ", 5) != 0 ||
                        wcsncmp(pItem->pszDescription, L"Description", 11) != 0)
                        ++r->lBad;
                }
                ++r->lPasses;
            }
            return 0;
        }
    } reader = {pData, 0, 0, 0};
    HANDLE hReader = CreateThread(nullptr, 0, Reader::Run, &reader, 0, nullptr);
    for (int i = 0; i < 40; ++i) Refresh(pData);
    InterlockedExchange(&reader.bDone, 1);
    WaitForSingleObject(hReader, 5000);
    CloseHandle(hReader);
    EXPECT_EQ(reader.lBad, 0);
    EXPECT_GT(reader.lPasses, 40);
    EXPECT_GE(lCount, 40);
}

// A worker that sits in one of its message boxes (no sink: a real box on its thread) is
// ended by OnDestroy within its deadline; the box is closed for it.
TEST_F(RefreshTest, DestroyWhileTheWorkerShowsAMessageBox) {
    HttpResponse missing;
    missing.status = 404;
    HttpServer server(missing);
    _DOCKLET_DATA* p = Create(hwnd);
    AddProfile(p, server.Url());
    SetMessageSink(nullptr, nullptr);
    StartRefresh(p);
    qm::UniqueHandleNull hWorker;
    {
        qm::ScopedLock lock(p->csState);
        hWorker = DuplicateWorkerThread(p->hRefreshThread);
    }
    // Wait until the worker's box is up.
    DWORD dwThreadId = GetThreadId(hWorker.get());
    struct Find {
        static BOOL CALLBACK Any(HWND, LPARAM l) {
            *reinterpret_cast<bool*>(l) = true;
            return FALSE;
        }
    };
    bool bBox = false;
    EXPECT_TRUE(PumpUntil(
        [&] {
            EnumThreadWindows(dwThreadId, Find::Any, reinterpret_cast<LPARAM>(&bBox));
            return bBox;
        },
        WorkerStartLimit()));
    DWORD dwStart = GetTickCount();
    DestroyDocklet(p);
    EXPECT_LT(GetTickCount() - dwStart, 2 * DOCKLET_STOP_WAIT_MS);
    CaptureMessages();
    // The box was closed for it, and it ends.
    EXPECT_TRUE(WaitForThread(hWorker.get(), DOCKLET_STOP_WAIT_MS));
}

// A 304 to our validators ends the refresh as a success that keeps the items; a 503 with
// Retry-After pushes back only the timed refresh, while "Update Now" still goes at once.
TEST_F(RefreshTest, NotModifiedAndBackOff) {
    volatile LONG lMode = 0;
    HttpServer server([&lMode](const HttpRequest&) {
        HttpResponse r = Rss(3);
        r.eTag = "\"same\"";
        if (lMode == 1) {
            r.status = 503;
            r.extraHeaders = "Retry-After: 10800\r\n";
        }
        return r;
    });
    pData = Create(hwnd);
    AddProfile(pData, server.Url());
    Refresh(pData);
    ASSERT_EQ(pData->items.GetCount(), 3u);
    _RSSFEED_DATA* pFirst = pData->items.GetAt(0);
    {
        qm::ScopedLock lock(pData->csState);
        pData->iCurrentItem = 2;
    }
    Refresh(pData);
    EXPECT_EQ(server.Requests().back().Header("If-None-Match"), "\"same\"");
    EXPECT_EQ(pData->items.GetAt(0), pFirst);
    EXPECT_EQ(pData->iCurrentItem, 0);
    EXPECT_TRUE(CapturedMessages().empty());
    EXPECT_EQ(RefreshTimerPeriod(pData), static_cast<UINT>(REFRESH_INTERVAL));

    lMode = 1;
    Refresh(pData);
    EXPECT_EQ(RefreshTimerPeriod(pData), 10800000u);
    EXPECT_TRUE(KillTimer(hwnd, IDT_REFRESH));
    lMode = 0;
    size_t nBefore = server.Requests().size();
    Refresh(pData);  // as "Update Now" does
    EXPECT_EQ(server.Requests().size(), nBefore + 1);
    EXPECT_EQ(RefreshTimerPeriod(pData), static_cast<UINT>(REFRESH_INTERVAL));

    // Applying a profile (as a switch does) drops the items: the validators still go
    // out, but the 304 they bring has nothing to keep, so the feed is fetched once more.
    nBefore = server.Requests().size();
    ResetHost();
    ApplyCurrentProfile(pData);
    ASSERT_TRUE(WaitForWorker(pData->hRefreshThread, GetFeedTimeLimit()));
    std::vector<HttpRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), nBefore + 2);
    EXPECT_EQ(requests[nBefore].Header("If-None-Match"), "\"same\"");
    EXPECT_EQ(requests[nBefore + 1].Header("If-None-Match"), "");
    EXPECT_EQ(pData->items.GetCount(), 3u);
    EXPECT_TRUE(CapturedMessages().empty());
}

// The timer's period after each refresh: the reader's minutes, lengthened by the feed's
// own rule and by a server's back-off, whichever asks for longest.
TEST_F(RefreshTest, TheTimerWaitsAsLongAsTheReaderTheFeedOrTheServerAsks) {
    struct Case {
        const char* szWhat;
        std::string body;
        int iStatus;
        int iRefreshMinutes;
        UINT uMinutes;
    };
    const std::string item = "<item><title>t</title><link>http://e/1</link></item>";
    const Case cases[] = {
        {"ttl", "<rss><channel><title>T</title><ttl>180</ttl>" + item + "</channel></rss>", 200, 15, 180},
        {"no ttl", "<rss><channel><title>T</title>" + item + "</channel></rss>", 200, 15, 15},
        {"a ttl longer than the feed's", "<rss><channel><ttl>30</ttl>" + item + "</channel></rss>", 200, 45, 45},
        {"a ttl of an item only", "<rss><channel><item><ttl>600</ttl></item></channel></rss>", 200, 15, 15},
        {"the syndication module, any prefix",
         "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" xmlns=\"http://purl.org/rss/1.0/\" "
         "xmlns:s=\"http://purl.org/rss/1.0/modules/syndication/\"><channel><title>T</title>"
         "<s:updatePeriod>hourly</s:updatePeriod><s:updateFrequency>1</s:updateFrequency></channel>"
         "<item><title>t</title><link>http://e/1</link></item></rdf:RDF>",
         200, 15, 60},
        {"Atom with the module",
         "<feed xmlns=\"http://www.w3.org/2005/Atom\" xmlns:sy=\"http://purl.org/rss/1.0/modules/syndication/\">"
         "<title>T</title><sy:updatePeriod>weekly</sy:updatePeriod><entry><title>t</title></entry></feed>",
         200, 15, 1440},
        {"a name that only looks like the module's",
         "<rss><channel><sy:updatePeriod xmlns:sy=\"urn:other\">daily"
         "</sy:updatePeriod>" +
             item + "</channel></rss>",
         200, 15, 15},
        // A Retry-After of 6 hours wins over the ttl of the last 200 and the reader's.
        {"ttl again", "<rss><channel><ttl>180</ttl>" + item + "</channel></rss>", 200, 15, 180},
        {"Retry-After", "", 503, 15, 360},
    };
    volatile LONG lCase = 0;
    HttpServer server([&](const HttpRequest&) {
        HttpResponse r;
        r.body = cases[lCase].body;
        r.status = cases[lCase].iStatus;
        if (r.status == 503) r.extraHeaders = "Retry-After: 21600\r\n";
        return r;
    });
    pData = Create(hwnd);
    AddProfile(pData, server.Url());
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
        lCase = static_cast<LONG>(i);
        pData->iRefreshMinutes = cases[i].iRefreshMinutes;
        Refresh(pData);
        EXPECT_EQ(RefreshTimerPeriod(pData), cases[i].uMinutes * 60000u) << cases[i].szWhat;
        EXPECT_TRUE(KillTimer(hwnd, IDT_REFRESH)) << cases[i].szWhat;
    }
}
