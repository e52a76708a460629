#include <gtest/gtest.h>
#include <exdisp.h>
#include "fixture.h"
#include "support/sheet_closer.h"
#include "app/entry.h"
#include "core/gdiplus.h"
#include "feed/parser.h"
#include "resources/viewer_ids.h"
#include "viewer/action.h"
#include "viewer/axhost.h"
#include "viewer/viewer.h"

namespace {

std::wstring Widen(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

std::vector<ItemLaunch> g_launches;
void RecordLaunch(HWND, const ItemLaunch& launch) {
    g_launches.push_back(launch);
}

class ViewerTest : public ViewerFixture {
protected:
    void SetUp() override {
        ViewerFixture::SetUp();
        AddItem(L"First item", L"https://news.example/1", L"<p>one</p>");
        AddItem(L"Second item", L"https://news.example/2", L"two");
        pData->iViewMode = 1;
        pData->iCurrentItem = 1;
    }
    bool Loaded() const { return PageDone() && !StandIn().navigated.empty(); }
    static std::wstring Caption(HWND hwnd) {
        wchar_t sz[600] = {};
        GetWindowTextW(hwnd, sz, 600);
        return sz;
    }
    static RECT WindowRect(HWND hwnd) {
        RECT rc = {};
        GetWindowRect(hwnd, &rc);
        return rc;
    }
};

}  // namespace

TEST_F(ViewerTest, ItemPageIsWrittenNavigatedOnTheUiThreadAndDeletedOnClose) {
    UseStandIn();
    LONG hosts = AXHostsAlive();
    std::wstring page = PagePath(L"item1.html");
    std::wstring caption, navigated;
    DWORD navigateThread = 0;
    bool existedWhileOpen = false;
    RunViewer([&](int) {
        if (!Loaded()) return;
        caption = Caption(pData->hwndViewer);
        navigated = StandIn().navigated[0];
        navigateThread = StandIn().navigateThread;
        existedWhileOpen = FileExists(page);
        EXPECT_EQ(pData->bLoadingPage, 0);
        EXPECT_EQ(StandIn().doVerbInPlace, 1);
        EXPECT_EQ(StandIn().inPlaceSiteOffered, 1);
        SendMessageW(pData->hwndViewer, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(caption, L"Second item");
    EXPECT_EQ(navigated, page);
    EXPECT_EQ(navigateThread, GetCurrentThreadId());
    EXPECT_EQ(StandIn().createThread, GetCurrentThreadId());
    EXPECT_TRUE(existedWhileOpen);
    EXPECT_FALSE(FileExists(page));
    EXPECT_TRUE(FileExists(PagePath(L"")));  // the folder stays
    EXPECT_EQ(pData->hwndViewer, nullptr);
    EXPECT_FALSE(pData->pszPageFile);
    EXPECT_FALSE(IsWorkerRunning(pData->hPageThread));
    EXPECT_EQ(StandIn().destroyed, 1);
    EXPECT_EQ(AXHostsAlive(), hosts);
    EXPECT_EQ(HostSnapshot().attention, 0);  // the viewer plays no attention animation
}

TEST_F(ViewerTest, AllItemsShowsTheProfileTitleAndAllItemsPage) {
    UseStandIn();
    pData->iViewMode = 0;
    std::wstring caption, navigated;
    RunViewer([&](int) {
        if (!Loaded()) return;
        caption = Caption(pData->hwndViewer);
        navigated = StandIn().navigated[0];
        PostMessageW(pData->hwndViewer, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(caption, L"Profile title");
    EXPECT_EQ(navigated, PagePath(L"allitems.htm"));
    EXPECT_FALSE(FileExists(PagePath(L"allitems.htm")));
}

TEST_F(ViewerTest, NoCurrentItemShowsNothing) {
    UseStandIn();
    pData->iCurrentItem = -1;
    std::wstring caption;
    // The thread ends at once; what it might have posted comes before the next tick.
    RunViewer([&](int) {
        if (!PageDone()) return;
        caption = Caption(pData->hwndViewer);
        SendMessageW(pData->hwndViewer, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(caption, L"Dialog");
    EXPECT_EQ(StandIn().doVerbInPlace, 0);
    EXPECT_TRUE(StandIn().navigated.empty());
    EXPECT_EQ(pData->bLoadingPage, 0);
}

TEST_F(ViewerTest, SecondPickClosesTheViewerAndOpensNothing) {
    UseStandIn();
    bool bInner = false;
    RunViewer([&](int) {
        if (!Loaded() || bInner) return;
        bInner = true;
        DoItemAction(pData);  // the item menu's second pick
        EXPECT_EQ(pData->hwndViewer, nullptr);
    });
    EXPECT_TRUE(bInner);
    EXPECT_EQ(StandIn().created, 1);
    EXPECT_FALSE(FileExists(PagePath(L"item1.html")));
}

TEST_F(ViewerTest, UncreatableControlMeansNoViewer) {
    UseStandIn();
    StandInOpts().failCreate = true;
    bool bRan = false;
    RunViewer([&](int) { bRan = true; });
    EXPECT_FALSE(bRan);
    EXPECT_EQ(pData->hwndViewer, nullptr);
    EXPECT_FALSE(IsWorkerRunning(pData->hPageThread));
    EXPECT_FALSE(pData->pszPageFile);
    EXPECT_FALSE(FileExists(PagePath(L"item1.html")));
}

TEST_F(ViewerTest, PlacementCentredOrRestoredAndRecorded) {
    UseStandIn();
    const int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    pData->iPosX = 5;
    pData->iPosY = 6;
    pData->iWidth = 700;
    pData->iHeight = 500;
    RECT opened = {};
    RunViewer([&](int) {
        opened = WindowRect(pData->hwndViewer);
        SendMessageW(pData->hwndViewer, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(opened.right - opened.left, 450);
    EXPECT_EQ(opened.bottom - opened.top, 300);
    EXPECT_EQ(opened.left, (cx - 450) / 2);
    EXPECT_EQ(opened.top, (cy - 300) / 2);
    EXPECT_EQ(pData->iPosX, opened.left);  // recorded at closing although bSavePos is 0
    EXPECT_EQ(pData->iWidth, 450);

    pData->bSavePos = 1;
    pData->iPosX = pData->iPosY = -1;
    pData->iWidth = 450;
    pData->iHeight = 300;
    int recordedWidth = 0;
    RunViewer([&](int) {
        opened = WindowRect(pData->hwndViewer);
        SetWindowPos(pData->hwndViewer, nullptr, 40, 50, 640, 480, SWP_NOZORDER | SWP_NOACTIVATE);
        recordedWidth = pData->iWidth;  // each resize records
        HWND browser = GetDlgItem(pData->hwndViewer, IDC_BROWSER);
        HWND ok = GetDlgItem(pData->hwndViewer, IDOK);
        RECT client, rcBrowser, rcOk;
        GetClientRect(pData->hwndViewer, &client);
        GetWindowRect(browser, &rcBrowser);
        GetWindowRect(ok, &rcOk);
        MapWindowPoints(nullptr, pData->hwndViewer, reinterpret_cast<POINT*>(&rcBrowser), 2);
        MapWindowPoints(nullptr, pData->hwndViewer, reinterpret_cast<POINT*>(&rcOk), 2);
        EXPECT_EQ(rcBrowser.left, 0);
        EXPECT_EQ(rcBrowser.right, client.right);
        EXPECT_EQ(rcBrowser.bottom, client.bottom - 32);
        EXPECT_EQ(rcOk.left, client.right - 80);
        EXPECT_EQ(rcOk.top, client.bottom - 27);
        EXPECT_EQ(rcOk.right - rcOk.left, 75);
        EXPECT_EQ(rcOk.bottom - rcOk.top, 23);
        SendMessageW(pData->hwndViewer, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(opened.left, -1);
    EXPECT_EQ(opened.top, -1);
    EXPECT_EQ(opened.right - opened.left, 450);
    EXPECT_EQ(recordedWidth, 640);
    EXPECT_EQ(pData->iPosX, 40);
    EXPECT_EQ(pData->iPosY, 50);
    EXPECT_EQ(pData->iWidth, 640);
    EXPECT_EQ(pData->iHeight, 480);
}

TEST_F(ViewerTest, MinimumTrackingSize) {
    UseStandIn();
    MINMAXINFO info = {};
    RunViewer([&](int) {
        SendMessageW(pData->hwndViewer, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
        SendMessageW(pData->hwndViewer, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(info.ptMinTrackSize.x, 450);
    EXPECT_EQ(info.ptMinTrackSize.y, 300);
}

TEST_F(ViewerTest, MinimisingClosesWithoutRecording) {
    UseStandIn();
    RunViewer([&](int) {
        if (!Loaded()) return;
        pData->iPosX = 12345;
        pData->iPosY = 23456;
        ShowWindow(pData->hwndViewer, SW_MINIMIZE);
    });
    EXPECT_EQ(pData->iPosX, 12345);
    EXPECT_EQ(pData->iPosY, 23456);
    EXPECT_EQ(pData->hwndViewer, nullptr);
    EXPECT_FALSE(FileExists(PagePath(L"item1.html")));

    // The next viewer, closed normally, records again.
    RunViewer([&](int) { SendMessageW(pData->hwndViewer, WM_CLOSE, 0, 0); });
    EXPECT_NE(pData->iPosX, 12345);
}

TEST_F(ViewerTest, DestroyingTheInstanceFromInsideTheModalLoop) {
    UseStandIn();
    LONG hosts = AXHostsAlive();
    AddRefDocklet(pData);  // to look at the record afterwards
    bool bDestroyed = false;
    RunViewer([&](int) {
        if (!Loaded() || bDestroyed) return;
        bDestroyed = true;
        DestroyDocklet(pData);  // the host's OnDestroy, dispatched by the viewer's loop
        // Everything that touches the instance has happened by now.
        EXPECT_EQ(pData->hwndViewer, nullptr);
        EXPECT_FALSE(pData->pszPageFile);
        EXPECT_FALSE(FileExists(PagePath(L"item1.html")));
        EXPECT_EQ(AXHostsAlive(), hosts);
        EXPECT_EQ(pData->lRefs, 2);  // ours and DoItemAction's
    });
    EXPECT_TRUE(bDestroyed);
    EXPECT_EQ(pData->lRefs, 1);
    bRecordReleased = true;
    HWND hwnd = pData->hwndDocklet;
    ReleaseDocklet(pData);
    DestroyWindow(hwnd);
}

TEST_F(ViewerTest, OpeningTheSettingsClosesTheViewerFirst) {
    UseStandIn();
    bool bClosed = false;
    RunViewer([&](int) {
        if (!Loaded() || bClosed) return;
        SheetCloser closer;
        OnConfigure(pData);  // closes the viewer, then runs the settings dialog
        bClosed = pData->hwndViewer == nullptr && !pData->pszPageFile && !FileExists(PagePath(L"item1.html"));
    });
    EXPECT_TRUE(bClosed);
    EXPECT_EQ(StandIn().destroyed, 1);
}

TEST_F(ViewerTest, ItemsReplacedWhileOpenDoNotChangeThePage) {
    UseStandIn();
    std::wstring caption;
    RunViewer([&](int) {
        if (!Loaded()) return;
        {
            qm::ScopedLock lock(pData->csState);
            FreeFeedItems(pData->items);  // a refresh replaced the items
            pData->iCurrentItem = -1;
        }
        caption = Caption(pData->hwndViewer);
        SendMessageW(pData->hwndViewer, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(caption, L"Second item");
    EXPECT_FALSE(FileExists(PagePath(L"item1.html")));
}

TEST_F(ViewerTest, ClosingWhileThePageThreadIsHeldUp) {
    UseStandIn();
    // The page thread cannot start its work while this thread holds the items lock; the
    // viewer closes meanwhile, gives up waiting and leaves the thread to end on its own.
    LONG refs = pData->lRefs;
    pData->csState.Enter();
    RunViewer([&](int) { SendMessageW(pData->hwndViewer, WM_CLOSE, 0, 0); });
    EXPECT_EQ(pData->hwndViewer, nullptr);
    EXPECT_FALSE(IsWorkerRunning(pData->hPageThread));
    pData->csState.Leave();
    // The thread ends once it may take the lock, giving back its reference.
    EXPECT_TRUE(PumpUntil([&] { return pData->lRefs == refs; }, VIEWER_PAGE_THREAD_WAIT_MS));
    EXPECT_EQ(pData->bLoadingPage, 0);
    EXPECT_FALSE(pData->pszPageFile);
    EXPECT_FALSE(FileExists(PagePath(L"item1.html")));
    EXPECT_TRUE(StandIn().navigated.empty());
}

// The page thread's own protocol, with a plain window as its viewer.
TEST_F(ViewerTest, PageThreadHandsOutThePageOnlyWhileItIsStillTheViewersThread) {
    HWND viewer = CreateWindowExW(0, L"STATIC", L"v", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    pData->hwndViewer = viewer;
    auto start = [&]() {
        qm::ScopedLock lock(pData->csState);
        StartWorker(pData, pData->hPageThread, [](_DOCKLET_DATA* p, HANDLE hCancel) { PageThreadProc(p, hCancel); });
    };
    // The thread's first send to the viewer arrives (unanswered: nothing is dispatched).
    auto waitForSend = []() {
        DWORD dwStart = GetTickCount();
        for (;;) {
            if (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) return true;
            DWORD dwSpent = GetTickCount() - dwStart;
            if (dwSpent >= VIEWER_PAGE_THREAD_WAIT_MS) return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, VIEWER_PAGE_THREAD_WAIT_MS - dwSpent, QS_SENDMESSAGE);
        }
    };

    // Still its thread at the end: the path is handed out and navigation is asked for.
    start();
    ASSERT_TRUE(WaitForWorker(pData->hPageThread, 3000));
    ASSERT_TRUE(pData->pszPageFile);
    EXPECT_EQ(std::wstring(pData->pszPageFile.get()), PagePath(L"item1.html"));
    EXPECT_TRUE(FileExists(pData->pszPageFile.get()));
    EXPECT_EQ(Caption(viewer), L"Second item");
    EXPECT_EQ(pData->bLoadingPage, 0);
    pData->pszPageFile.reset();
    EXPECT_FALSE(FileExists(PagePath(L"item1.html")));
    // The thread may end before the pump above has taken its navigation request; take it
    // now, so the count below sees only what the disowned thread posts.
    MSG msg;
    while (PeekMessageW(&msg, viewer, WM_QM_NAVIGATE, WM_QM_NAVIGATE, PM_REMOVE)) {
    }

    // Disowned while it writes (the viewer closed): it deletes its own page.
    SetWindowTextW(viewer, L"v");
    start();
    ASSERT_TRUE(waitForSend());  // the thread waits on its caption
    DockletWorker page;
    {
        qm::ScopedLock lock(pData->csState);
        CancelWorker(pData->hPageThread);
        page = std::move(pData->hPageThread);
    }
    ASSERT_TRUE(JoinWorker(page, GetTickCount() + 3000));
    EXPECT_EQ(Caption(viewer), L"Second item");
    EXPECT_FALSE(pData->pszPageFile);
    EXPECT_FALSE(FileExists(PagePath(L"item1.html")));
    int navigations = 0;
    while (PeekMessageW(&msg, viewer, WM_QM_NAVIGATE, WM_QM_NAVIGATE, PM_REMOVE)) ++navigations;
    EXPECT_EQ(navigations, 0);
    pData->hwndViewer = nullptr;
    DestroyWindow(viewer);
}

TEST_F(ViewerTest, NavigationAwayFromThePageNeverHappensInTheViewer) {
    UseStandIn();
    g_launches.clear();
    ItemLauncher previous = SetItemLauncher(RecordLaunch);
    wcscpy(pData->items.GetAt(1)->szTitle, L"Second &amp; <b>last</b>");
    const std::wstring page = PagePath(L"item1.html");
    std::wstring fileUrl = L"file:///" + page;
    for (wchar_t& c : fileUrl)
        if (c == L'\\') c = L'/';
    std::wstring caption;
    int sinks = 0, stormCancelled = 0;
    std::vector<bool> own, refused;
    RunViewer([&](int) {
        if (!Loaded()) return;
        caption = Caption(pData->hwndViewer);
        sinks = StandIn().eventSinks;
        // The page itself, in either form and at a mark on it, goes ahead.
        own = {StandInBeforeNavigate(page.c_str()), StandInBeforeNavigate(fileUrl.c_str()),
               StandInBeforeNavigate((fileUrl + L"#top").c_str())};
        // Anything else is cancelled; none of these reaches the browser.
        refused = {StandInBeforeNavigate(L"javascript:alert(1)"), StandInBeforeNavigate(L"file:///c:/windows/win.ini"),
                   StandInBeforeNavigate(L"about:blank"), StandInNewWindow(L"vbscript:msgbox(1)"),
                   StandInBeforeNavigate(L"https://frame.example/", false)};
        EXPECT_TRUE(g_launches.empty());
        // A web address goes to the browser, once however often the page asks.
        refused.push_back(StandInBeforeNavigate(L"https://news.example/elsewhere"));
        for (int i = 0; i < 200; ++i) stormCancelled += StandInBeforeNavigate(L"http://storm.example/") ? 1 : 0;
        SendMessageW(pData->hwndViewer, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(caption, L"Second & last");
    EXPECT_EQ(sinks, 1);
    EXPECT_EQ(own, std::vector<bool>(3, false));
    EXPECT_EQ(refused, std::vector<bool>(6, true));
    EXPECT_EQ(stormCancelled, 200);
    ASSERT_EQ(g_launches.size(), 1u);
    EXPECT_EQ(g_launches[0].iKind, ITEM_LAUNCH_SHELL);
    EXPECT_EQ(g_launches[0].strFile, L"https://news.example/elsewhere");
    EXPECT_EQ(StandIn().eventSinks, 0);  // disconnected when the viewer closed

    // A link that asks for a new window is cancelled and goes to the browser the same way.
    g_launches.clear();
    bool bNewWindowCancelled = false;
    RunViewer([&](int) {
        if (!Loaded()) return;
        bNewWindowCancelled = StandInNewWindow(L"http://news.example/new");
        SendMessageW(pData->hwndViewer, WM_COMMAND, IDOK, 0);
    });
    SetItemLauncher(previous);
    EXPECT_TRUE(bNewWindowCancelled);
    ASSERT_EQ(g_launches.size(), 1u);
    EXPECT_EQ(g_launches[0].strFile, L"http://news.example/new");
}

TEST_F(ViewerTest, RealWebBrowserControlOpensAndNavigates) {
    g_launches.clear();
    ItemLauncher previous = SetItemLauncher(RecordLaunch);
    bool bOpened = false, bBrowser = false;
    std::wstring page = PagePath(L"item1.html");
    std::wstring location, locationAfter;
    RunViewer([&](int) {
        if (!PageDone()) return;
        qm::ComPtr<IWebBrowser2> pBrowser;
        SendDlgItemMessageW(pData->hwndViewer, IDC_BROWSER, AXM_QUERYINTERFACE,
                            reinterpret_cast<WPARAM>(&IID_IWebBrowser2), reinterpret_cast<LPARAM>(pBrowser.put_void()));
        bBrowser = static_cast<bool>(pBrowser);
        if (!bBrowser) {
            SendMessageW(pData->hwndViewer, WM_CLOSE, 0, 0);
            return;
        }
        qm::UniqueBstr url;
        if (!bOpened) {
            // The control has the page once it reports its address.
            pBrowser->get_LocationURL(url.put());
            if (!url.get() || !url.get()[0]) return;
            bOpened = true;
            location = url.get();
            // Sent away from the page: the control asks the viewer, which refuses and hands
            // the address to the browser (the control may ask after Navigate returns).
            qm::UniqueBstr elsewhere(SysAllocString(L"http://127.0.0.1:9/elsewhere"));
            pBrowser->Navigate(elsewhere.get(), nullptr, nullptr, nullptr, nullptr);
            return;
        }
        if (g_launches.empty()) return;
        pBrowser->get_LocationURL(url.put());
        locationAfter = url.get() ? url.get() : L"";
        SendMessageW(pData->hwndViewer, WM_CLOSE, 0, 0);
    });
    SetItemLauncher(previous);
    EXPECT_TRUE(bOpened);
    EXPECT_TRUE(bBrowser);
    // The control took the page's full path (Wine's control reports it as a file URL).
    EXPECT_NE(location.find(L"\\Quillmere\\item1.html"), std::wstring::npos) << location;
    ASSERT_EQ(g_launches.size(), 1u);
    EXPECT_EQ(g_launches[0].strFile, L"http://127.0.0.1:9/elsewhere");
    EXPECT_EQ(locationAfter, location);
    EXPECT_FALSE(FileExists(page));
}

TEST(CenterWindowTest, CentresClampsAndResizes) {
    const int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    HWND parent = CreateWindowExW(0, L"STATIC", L"p", WS_POPUP, 100, 100, 400, 300, nullptr, nullptr, nullptr, nullptr);
    HWND hwnd = CreateWindowExW(0, L"STATIC", L"w", WS_POPUP, 0, 0, 200, 100, parent, nullptr, nullptr, nullptr);
    RECT rc;
    EXPECT_EQ(CenterWindow(nullptr, 1, -1, -1), FALSE);

    EXPECT_EQ(CenterWindow(hwnd, 1, -1, -1), TRUE);
    GetWindowRect(hwnd, &rc);
    EXPECT_EQ(rc.left, (cx - 200) / 2);
    EXPECT_EQ(rc.top, (cy - 100) / 2);
    EXPECT_EQ(rc.right - rc.left, 200);  // no resize with -1

    CenterWindow(hwnd, 0, -1, -1);  // on the parent
    GetWindowRect(hwnd, &rc);
    EXPECT_EQ(rc.left, 200);
    EXPECT_EQ(rc.top, 200);

    CenterWindow(hwnd, 2, 600, 500);  // larger than the parent: clamped at 0
    GetWindowRect(hwnd, &rc);
    EXPECT_EQ(rc.right - rc.left, 600);
    EXPECT_EQ(rc.left, 0);
    EXPECT_EQ(rc.top, 0);

    CenterWindow(hwnd, 1, cx + 100, cy + 40);  // wider than the screen: right edge on the screen's
    GetWindowRect(hwnd, &rc);
    EXPECT_EQ(rc.left, -100);
    EXPECT_EQ(rc.top, -40);

    SetWindowPos(parent, nullptr, cx - 50, cy - 50, 400, 300, SWP_NOZORDER);
    CenterWindow(hwnd, 0, 200, 100);  // parent off the bottom right: kept on the screen
    GetWindowRect(hwnd, &rc);
    EXPECT_EQ(rc.left, cx - 200);
    EXPECT_EQ(rc.top, cy - 100);
    DestroyWindow(hwnd);
    DestroyWindow(parent);
}

// Saves a picture of the open viewer (viewer.png next to the test executable) to look at.
TEST_F(ViewerTest, PictureOfTheViewer) {
    std::wstring png = Widen(TestExeFolder()) + L"viewer.png";
    DeleteFileW(png.c_str());
    bool bSaved = false, bPainted = false;
    RunViewer([&](int) {
        if (!PageDone()) return;
        HWND hwnd = pData->hwndViewer;
        if (!bPainted) {
            // Painted now; the display has it once the viewer's loop has waited again,
            // which it does before the next tick.
            RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
            bPainted = true;
            return;
        }
        RECT rc = WindowRect(hwnd);
        const int w = rc.right - rc.left, h = rc.bottom - rc.top;
        HDC screen = GetDC(nullptr);
        HDC mem = CreateCompatibleDC(screen);
        HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
        HGDIOBJ old = SelectObject(mem, bmp);
        BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
        SelectObject(mem, old);
        qm::GpBitmap* pBitmap = nullptr;
        qm::GdipCreateBitmapFromHBITMAP(bmp, nullptr, &pBitmap);
        if (pBitmap) {
            bSaved = qm::GdipSaveImageToFile(pBitmap, png.c_str(), &qm::PngEncoderClsid(), nullptr) == Gdiplus::Ok;
            qm::GdipDisposeImage(pBitmap);
        }
        DeleteObject(bmp);
        DeleteDC(mem);
        ReleaseDC(nullptr, screen);
        SendMessageW(hwnd, WM_CLOSE, 0, 0);
    });
    EXPECT_TRUE(bSaved);
}
