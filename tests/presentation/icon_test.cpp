// What the icon and label show in each state, how updates reach the host, and the small
// images made for menus, previews and the viewer's icon.
#include <process.h>
#include "fixture.h"
#include "presentation/icon.h"

namespace {

std::wstring Text(Docklet& d, unsigned int iInfo) {
    wchar_t sz[2048];
    SelectDisplayText(d.p, iInfo, sz, 2048);
    return sz;
}

// What the dock shows after one update: the label and the overlay's text bits.
std::string LabelAfterUpdate(Docklet& d) {
    ResetHost();
    UpdateDockDisplay(d.p);
    return HostSnapshot().label;
}

}  // namespace

TEST(DisplayText, DefaultBitsInEachStateOfTheDock) {
    Docklet d;
    ASSERT_EQ(d->iDockletInfo, 4u);
    ASSERT_EQ(d->iLabelInfo, 16u);
    // No profile configured.
    EXPECT_EQ(Text(d, d->iDockletInfo), L"Feed items not available");
    EXPECT_EQ(Text(d, d->iLabelInfo), L"Feeds not configured");
    // A profile; refresh running.
    d.AddProfile(L"Quillmere News");
    d->iCurrentProfile = 0;
    d->bRefreshing = 1;
    EXPECT_EQ(Text(d, d->iDockletInfo), L"Retrieving RSS Feed...");
    EXPECT_EQ(Text(d, d->iLabelInfo), L"Retrieving RSS Feed...");
    // Refresh failed or feed empty.
    d->bRefreshing = 0;
    EXPECT_EQ(Text(d, d->iDockletInfo), L"Feed items not available");
    EXPECT_EQ(Text(d, d->iLabelInfo), L"Quillmere News");
    // Refresh done with items.
    d.AddItem(L"First headline", L"http://example.test/1");
    d.AddItem(L"Second headline", L"http://example.test/2");
    d->iCurrentItem = 0;
    EXPECT_EQ(Text(d, d->iDockletInfo), L"First headline");
    EXPECT_EQ(Text(d, d->iLabelInfo), L"Quillmere News");
    // Viewer writing a page.
    d->bLoadingPage = 1;
    EXPECT_EQ(Text(d, d->iDockletInfo), L"Retrieving RSS Feed Item...");
    EXPECT_EQ(Text(d, d->iLabelInfo), L"Retrieving RSS Feed Item...");
    // Both busy: the refresh text wins.
    d->bRefreshing = 1;
    EXPECT_EQ(Text(d, d->iDockletInfo), L"Retrieving RSS Feed...");
    d->bRefreshing = d->bLoadingPage = 0;
    // Item k chosen.
    d->iCurrentItem = 1;
    EXPECT_EQ(Text(d, d->iDockletInfo), L"Second headline");
}

TEST(DisplayText, TitlesShowAsTextOnTheIconAndTheLabel) {
    Docklet d;
    d.AddProfile(L"News &amp; <i>Views</i>");
    d->iCurrentProfile = 0;
    d.AddItem(L"Tom &amp; Jerry <b>live</b>", L"http://example.test/a&amp;b");
    d->iCurrentItem = 0;
    EXPECT_EQ(Text(d, INFO_ITEM_TITLE), L"Tom & Jerry live");
    EXPECT_EQ(Text(d, INFO_PROFILE_TITLE), L"News & Views");
    EXPECT_EQ(LabelAfterUpdate(d), "News & Views");
    // A link is shown as it stands.
    EXPECT_EQ(Text(d, INFO_ITEM_LINK), L"http://example.test/a&amp;b");
}

TEST(DisplayText, EachBitAndItsPrecedence) {
    Docklet d;
    CopyText(d->szTitle, 500, L"My Docklet");
    d.AddProfile(L"Profile A");
    d->iCurrentProfile = 0;
    d.AddItem(L"Item title", L"http://example.test/link");
    d->iCurrentItem = 0;
    EXPECT_EQ(Text(d, INFO_TITLE), L"My Docklet");
    EXPECT_EQ(Text(d, INFO_PROFILE_TITLE), L"Profile A");
    EXPECT_EQ(Text(d, INFO_ITEM_TITLE), L"Item title");
    EXPECT_EQ(Text(d, INFO_ITEM_LINK), L"http://example.test/link");
    EXPECT_EQ(Text(d, 0), L"");
    EXPECT_EQ(Text(d, INFO_TITLE | INFO_PROFILE_TITLE | INFO_ITEM_TITLE), L"My Docklet");
    EXPECT_EQ(Text(d, INFO_PROFILE_TITLE | INFO_ITEM_TITLE), L"Profile A");
    EXPECT_EQ(Text(d, INFO_ITEM_TITLE | INFO_ITEM_LINK), L"Item title");
    d->bRefreshing = 1;
    EXPECT_EQ(Text(d, INFO_HIDE | INFO_TITLE), L"");
    EXPECT_EQ(Text(d, INFO_TITLE), L"Retrieving RSS Feed...");
    d->bRefreshing = 0;
    // Items present but no current item.
    d->iCurrentItem = -1;
    EXPECT_EQ(Text(d, INFO_ITEM_LINK), L"Feed items not available");
    EXPECT_EQ(Text(d, 0), L"Feed items not available");
}

TEST(DisplayText, IndexesThatNameNothingNeverReadOutsideTheLists) {
    Docklet d;
    d.AddProfile(L"Only profile");
    d.AddItem(L"Only item");
    for (int i : {-1, 1, 5, -7}) {
        d->iCurrentProfile = i;
        EXPECT_EQ(Text(d, INFO_PROFILE_TITLE), L"") << i;
    }
    // Profiles empty but an index set: not "not configured", nothing to name.
    Docklet e;
    e->iCurrentProfile = 0;
    EXPECT_EQ(Text(e, INFO_PROFILE_TITLE), L"");
    for (int i : {1, 3, -2}) {
        d->iCurrentItem = i;
        EXPECT_EQ(Text(d, INFO_ITEM_TITLE), L"Feed items not available") << i;
    }
    // A small output buffer is filled and terminated, never overrun.
    d->iCurrentItem = 0;
    wchar_t sz[6] = {1, 1, 1, 1, 1, 1};
    SelectDisplayText(d.p, INFO_ITEM_TITLE, sz, 5);
    EXPECT_STREQ(sz, L"Only");
    EXPECT_EQ(sz[5], 1);
}

TEST(DockDisplay, SetsTheLabelThenAFreshOverlayThatTheHostOwns) {
    Docklet d;
    d.AddProfile(L"Feed title");
    d->iCurrentProfile = 0;
    d.AddItem(L"Headline");
    d->iCurrentItem = 0;
    ResetHost();
    UpdateDockDisplay(d.p);
    HostRecord rec = HostSnapshot();
    ASSERT_EQ(rec.calls.size(), 2u);
    EXPECT_EQ(rec.calls[0].name, "DockletSetLabel");
    EXPECT_EQ(rec.calls[0].hwnd, d.hwnd);
    EXPECT_EQ(rec.calls[1].name, "DockletSetImageOverlay");
    EXPECT_EQ(rec.calls[1].value, 256);
    EXPECT_EQ(rec.label, "Feed title");
    // The overlay is an ordinary GDI+ bitmap: the host can query and dispose of it.
    ASSERT_NE(rec.pOverlay, nullptr);
    Gdiplus::ImageType type = Gdiplus::ImageTypeUnknown;
    EXPECT_EQ(qm::GdipGetImageType(static_cast<qm::GpImage*>(rec.pOverlay), &type), Gdiplus::Ok);
    EXPECT_EQ(type, Gdiplus::ImageTypeBitmap);
    SaveHostOverlay(Wide(TestExeFolder() + "overlay-host.png").c_str());
    UpdateDockDisplay(nullptr);
    EXPECT_EQ(HostSnapshot().calls.size(), 2u);
}

TEST(DockDisplay, HideBitEmptiesTheLabelEvenWhileRefreshing) {
    Docklet d;
    d->iLabelInfo = INFO_HIDE | INFO_PROFILE_TITLE;
    d->bRefreshing = 1;
    EXPECT_EQ(LabelAfterUpdate(d), "");
    d->iLabelInfo = 0;
    d->bRefreshing = 0;
    d.AddItem(L"Current");
    d->iCurrentItem = 0;
    EXPECT_EQ(LabelAfterUpdate(d), "");
}

TEST(DockDisplay, LongLabelsAreCutTo500Bytes) {
    Docklet d;
    d->iLabelInfo = INFO_ITEM_LINK;
    d.AddItem(L"t", std::wstring(2048, L'x').c_str());
    d->iCurrentItem = 0;
    std::string label = LabelAfterUpdate(d);
    EXPECT_EQ(label.size(), 500u);
    EXPECT_EQ(label, std::string(500, 'x'));
}

TEST(DockDisplay, NothingReachesTheHostOnceTheInstanceIsStopping) {
    Docklet d;
    d->bStopping = 1;
    ResetHost();
    UpdateDockDisplay(d.p);
    EXPECT_TRUE(HostSnapshot().calls.empty());
    d->bStopping = 0;
}

namespace {
struct Hammer {
    _DOCKLET_DATA* pData;
    int n;
};
unsigned __stdcall HammerThread(void* pv) {
    auto* h = static_cast<Hammer*>(pv);
    for (int i = 0; i < h->n; ++i) UpdateDockDisplay(h->pData);
    return 0;
}
}  // namespace

TEST(DockDisplay, UpdatesFromSeveralThreadsNeverInterleave) {
    Docklet d;
    d.AddProfile(L"P");
    d->iCurrentProfile = 0;
    d.AddItem(L"Item");
    d->iCurrentItem = 0;
    ResetHost();
    Hammer h{d.p, 15};
    HANDLE threads[3];
    for (HANDLE& t : threads) t = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, HammerThread, &h, 0, nullptr));
    WaitForMultipleObjects(3, threads, TRUE, 60000);
    for (HANDLE t : threads) CloseHandle(t);
    HostRecord rec = HostSnapshot();
    ASSERT_EQ(rec.calls.size(), 90u);
    for (size_t i = 0; i < rec.calls.size(); i += 2) {
        EXPECT_EQ(rec.calls[i].name, "DockletSetLabel") << i;
        EXPECT_EQ(rec.calls[i + 1].name, "DockletSetImageOverlay") << i;
        EXPECT_EQ(rec.calls[i].threadId, rec.calls[i + 1].threadId) << i;
    }
    EXPECT_EQ(rec.overlays, 45);
}

namespace {
// A dock whose DockletSetLabel, called on another thread, sends a message to the dock's
// own (user-interface) thread and waits for the answer, as a cross-thread SendMessage or
// UpdateWindow inside a host function does.
struct UIThreadDock {
    _DOCKLET_DATA* pData = nullptr;
    HWND hwnd = nullptr;
    DWORD dwThreadId = 0;
    qm::UniqueHandleNull hReady{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    qm::UniqueHandleNull hGo{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};
UIThreadDock* g_pUIDock = nullptr;

void SendToTheUIThread() {
    if (GetCurrentThreadId() != g_pUIDock->dwThreadId) SendMessageW(g_pUIDock->hwnd, WM_NULL, 0, 0);
}

unsigned __stdcall UIThread(void* pv) {
    auto* dock = static_cast<UIThreadDock*>(pv);
    dock->hwnd = CreateDockWindow();
    dock->dwThreadId = GetCurrentThreadId();
    SetEvent(dock->hReady.get());
    WaitForSingleObject(dock->hGo.get(), INFINITE);
    for (int i = 0; i < 100; ++i) UpdateDockDisplay(dock->pData);
    DestroyWindow(dock->hwnd);
    return 0;
}
}  // namespace

TEST(DockDisplay, AHostCallThatWaitsOnTheUserInterfaceThreadNeverDeadlocksIt) {
    // Left behind on failure: deadlocked threads still use it.
    auto* d = new Docklet;
    d->p->iCurrentItem = -1;
    UIThreadDock dock;
    dock.pData = d->p;
    g_pUIDock = &dock;
    qm::UniqueHandleNull ui(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, UIThread, &dock, 0, nullptr)));
    ASSERT_EQ(WaitForSingleObject(dock.hReady.get(), 10000), WAIT_OBJECT_0);
    SetHostLabelHook(SendToTheUIThread);
    Hammer h{d->p, 100};
    qm::UniqueHandleNull worker(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, HammerThread, &h, 0, nullptr)));
    SetEvent(dock.hGo.get());
    HANDLE both[2] = {ui.get(), worker.get()};
    DWORD r = WaitForMultipleObjects(2, both, TRUE, 30000);
    SetHostLabelHook(nullptr);
    ASSERT_EQ(r, WAIT_OBJECT_0) << "the user-interface thread and the worker wait on each other";
    delete d;
}

// ---- Images for menus, previews and the viewer ----

struct ImageFiles : testing::Test {
    static std::string folder;
    static void SetUpTestSuite() {
        folder = MakeTempFolder("images");
        // Left half red, right half blue; green squares for the square images.
        WriteTestImage(folder + "wide32x16.png", 32, 16, [](int x, int) { return x < 16 ? 0xFFFF0000u : 0xFF0000FFu; });
        for (auto size : {POINT{16, 16}, POINT{200, 100}, POINT{400, 200}, POINT{48, 48}})
            WriteTestImage(folder + Name(size.x, size.y), size.x, size.y, [](int, int) { return 0xFF00C000u; });
        // Half transparent: the menu colour shows through on the left.
        WriteTestImage(folder + "clear16.png", 16, 16, [](int x, int) { return x < 8 ? 0x00000000u : 0xFF000000u; });
    }
    static std::string Name(int w, int h) { return "img" + std::to_string(w) + "x" + std::to_string(h) + ".png"; }
    static std::wstring Path(const std::string& name) { return Wide(folder + name); }
};
std::string ImageFiles::folder;

TEST_F(ImageFiles, MenuBitmapSqueezesA32x16ImageTo16x16) {
    qm::UniqueBitmap bmp(CreateMenuBitmap(Path("wide32x16.png").c_str()));
    ASSERT_TRUE(bmp);
    BITMAP bm = {};
    GetObjectW(bmp.get(), sizeof(bm), &bm);
    EXPECT_EQ(bm.bmWidth, 16);
    EXPECT_EQ(bm.bmHeight, 16);
    EXPECT_EQ(bm.bmBitsPixel, 32);
    Pixels px = PixelsOfHBitmap(bmp.get());
    // Squeezed horizontally: red fills the left half, blue the right half.
    EXPECT_GT(px.R(2, 8), 200);
    EXPECT_LT(px.B(2, 8), 60);
    EXPECT_GT(px.B(13, 8), 200);
    EXPECT_LT(px.R(13, 8), 60);
    // The host's image was loaded through the host.
    EXPECT_FALSE(HostCalls("DockletLoadGDIPlusImage").empty());
}

TEST_F(ImageFiles, MenuBitmapPutsTransparentPixelsOnTheMenuColour) {
    qm::UniqueBitmap bmp(CreateMenuBitmap(Path("clear16.png").c_str()));
    ASSERT_TRUE(bmp);
    Pixels px = PixelsOfHBitmap(bmp.get());
    COLORREF cr = GetSysColor(COLOR_MENU);
    EXPECT_NEAR(px.R(2, 8), GetRValue(cr), 2);
    EXPECT_NEAR(px.G(2, 8), GetGValue(cr), 2);
    EXPECT_NEAR(px.B(2, 8), GetBValue(cr), 2);
    EXPECT_LT(px.R(13, 8), 10);
}

TEST_F(ImageFiles, MenuBitmapOfAMissingFileIsNull) {
    EXPECT_EQ(CreateMenuBitmap(Path("missing.png").c_str()), nullptr);
    EXPECT_EQ(CreateMenuBitmap(L""), nullptr);
}

TEST_F(ImageFiles, MenuBitmapOfTheDefaultMenuPicture) {
    std::wstring path = Wide(BuildPath("dock\\Docklets\\Quillmere\\icons\\menu.png"));
    qm::UniqueBitmap bmp(CreateMenuBitmap(path.c_str()));
    ASSERT_TRUE(bmp);
    BITMAP bm = {};
    GetObjectW(bmp.get(), sizeof(bm), &bm);
    EXPECT_EQ(bm.bmWidth, 16);
}

namespace {
// A dialog-like window with one static picture control, id 1014.
struct PreviewWindow {
    HWND hwnd = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 200, nullptr, nullptr, nullptr, nullptr);
    HWND hwndPicture = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | SS_BITMAP, 0, 0, 96, 96, hwnd,
                                       reinterpret_cast<HMENU>(1014), nullptr, nullptr);
    ~PreviewWindow() {
        HBITMAP h = reinterpret_cast<HBITMAP>(SendMessageW(hwndPicture, STM_SETIMAGE, IMAGE_BITMAP, 0));
        if (h) DeleteObject(h);
        DestroyWindow(hwnd);
    }
    SIZE Shown() const {
        HBITMAP h = reinterpret_cast<HBITMAP>(SendMessageW(hwndPicture, STM_GETIMAGE, IMAGE_BITMAP, 0));
        BITMAP bm = {};
        if (h) GetObjectW(h, sizeof(bm), &bm);
        return SIZE{bm.bmWidth, bm.bmHeight};
    }
};
}  // namespace

TEST_F(ImageFiles, PreviewFitsTheSquareKeepingTheAspectRatio) {
    PreviewWindow w;
    struct Case {
        int W, H, edge, w, h;
    } cases[] = {{16, 16, 96, 96, 96}, {200, 100, 96, 96, 48}, {400, 200, 96, 96, 48}, {48, 48, 20, 20, 20}};
    for (const Case& c : cases) {
        ResetHost();
        SetImagePreview(w.hwnd, 1014, Path(Name(c.W, c.H)).c_str(), c.edge);
        SIZE s = w.Shown();
        EXPECT_EQ(s.cx, c.w) << c.W << "x" << c.H;
        EXPECT_EQ(s.cy, c.h) << c.W << "x" << c.H;
        HBITMAP h = reinterpret_cast<HBITMAP>(SendMessageW(w.hwndPicture, STM_GETIMAGE, IMAGE_BITMAP, 0));
        Pixels px = PixelsOfHBitmap(h);
        ASSERT_GT(px.w, 0);
        EXPECT_GT(px.G(px.w / 2, px.h / 2), 150) << c.W << "x" << c.H;  // the image itself, scaled
    }
}

TEST_F(ImageFiles, PreviewOfAMissingFileLeavesTheControlAsItWas) {
    PreviewWindow w;
    SetImagePreview(w.hwnd, 1014, Path(Name(16, 16)).c_str(), 96);
    HBITMAP before = reinterpret_cast<HBITMAP>(SendMessageW(w.hwndPicture, STM_GETIMAGE, IMAGE_BITMAP, 0));
    SetImagePreview(w.hwnd, 1014, Path("missing.png").c_str(), 96);
    EXPECT_EQ(reinterpret_cast<HBITMAP>(SendMessageW(w.hwndPicture, STM_GETIMAGE, IMAGE_BITMAP, 0)), before);
}

TEST(IconFromBitmap, TransparentColourBecomesTheMaskAndBlack) {
    HICON hIcon = reinterpret_cast<HICON>(1);
    EXPECT_EQ(CreateIconFromBitmap(nullptr, nullptr, 0, nullptr), E_POINTER);

    qm::WindowDC screen(nullptr);
    qm::UniqueBitmap bmp(CreateCompatibleBitmap(screen.get(), 16, 16));
    {
        qm::UniqueMemDC dc(CreateCompatibleDC(screen.get()));
        qm::SelectGuard sel(dc.get(), bmp.get());
        qm::UniqueBrush magenta(CreateSolidBrush(RGB(255, 0, 255)));
        qm::UniqueBrush green(CreateSolidBrush(RGB(0, 200, 0)));
        RECT rcAll = {0, 0, 16, 16}, rcRight = {8, 0, 16, 16};
        FillRect(dc.get(), &rcAll, magenta.get());
        FillRect(dc.get(), &rcRight, green.get());
    }
    ASSERT_EQ(CreateIconFromBitmap(screen.get(), bmp.get(), RGB(255, 0, 255), &hIcon), S_OK);
    qm::UniqueIcon icon(hIcon);
    ASSERT_TRUE(icon);
    ICONINFO ii = {};
    ASSERT_TRUE(GetIconInfo(icon.get(), &ii));
    qm::UniqueBitmap mask(ii.hbmMask), colour(ii.hbmColor);
    EXPECT_TRUE(ii.fIcon);
    qm::UniqueMemDC dc(CreateCompatibleDC(screen.get()));
    {
        qm::SelectGuard sel(dc.get(), mask.get());
        EXPECT_EQ(GetPixel(dc.get(), 2, 5) & 0xFFFFFF, 0xFFFFFFu);  // transparent: mask 1
        EXPECT_EQ(GetPixel(dc.get(), 12, 5) & 0xFFFFFF, 0u);        // opaque: mask 0
    }
    {
        qm::SelectGuard sel(dc.get(), colour.get());
        EXPECT_EQ(GetPixel(dc.get(), 2, 5), RGB(0, 0, 0));
        EXPECT_EQ(GetPixel(dc.get(), 12, 5), RGB(0, 200, 0));
    }
    // The caller's bitmap is unchanged.
    qm::SelectGuard sel(dc.get(), bmp.get());
    EXPECT_EQ(GetPixel(dc.get(), 2, 5), RGB(255, 0, 255));
}
