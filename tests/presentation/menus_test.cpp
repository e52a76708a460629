// The item menu and the context menu: what they hold in each state, what each choice
// does, real popups chosen by keyboard, and the profile switch.
#include "fixture.h"
#include "support/sheet_closer.h"
#include "presentation/menus.h"

namespace {

struct Entry {
    UINT id;
    std::wstring text;
    bool separator, disabled, grayed, checked;
    HBITMAP hbmChecked, hbmUnchecked;
};

std::vector<Entry> Entries(HMENU hMenu) {
    std::vector<Entry> out;
    int n = GetMenuItemCount(hMenu);
    for (int i = 0; i < n; ++i) {
        wchar_t sz[2048] = {};
        MENUITEMINFOW mii = {};
        mii.cbSize = sizeof(mii);
        mii.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING | MIIM_CHECKMARKS;
        mii.dwTypeData = sz;
        mii.cch = 2048;
        GetMenuItemInfoW(hMenu, i, TRUE, &mii);
        UINT state = GetMenuState(hMenu, i, MF_BYPOSITION);
        out.push_back(Entry{mii.wID, sz, (mii.fType & MFT_SEPARATOR) != 0, (state & MF_DISABLED) != 0,
                            (state & MF_GRAYED) != 0, (state & MF_CHECKED) != 0, mii.hbmpChecked,
                            mii.hbmpUnchecked});
    }
    return out;
}

std::vector<Entry> ItemMenu(Docklet& d) {
    qm::UniqueMenu menu(BuildItemMenu(d.p));
    return Entries(menu.get());
}

std::vector<Entry> ContextMenu(Docklet& d) {
    qm::UniqueMenu menu(BuildContextMenu(d.p));
    return Entries(menu.get());
}

// A docklet with one profile and n items, and a picture for the menus.
void Fill(Docklet& d, int n, const wchar_t* szProfile = L"Quillmere News") {
    d.AddProfile(szProfile);
    d->iCurrentProfile = 0;
    for (int i = 0; i < n; ++i) d.AddItem((L"Item " + std::to_wstring(i)).c_str());
    d->iCurrentItem = n ? 0 : -1;
}

int Count(const char* szHostFunction) {
    return static_cast<int>(HostCalls(szHostFunction).size());
}

// Drives the popup that the dock window opens: watches which entry is highlighted and
// presses Down until the wanted one is, then Enter. Identifier 0 dismisses the menu.
struct MenuDriver {
    static UINT s_target;
    static HMENU s_menu;
    static WNDPROC s_old;
    static int s_ticks;
    static std::vector<Entry> s_seen;

    explicit MenuDriver(HWND hwnd, UINT target) {
        s_target = target;
        s_menu = nullptr;
        s_ticks = 0;
        s_seen.clear();
        s_old = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Proc)));
    }
    static void Key(HWND hwnd, WPARAM vk) {
        HWND hwndMenu = FindWindowW(L"#32768", nullptr);
        PostMessageW(hwndMenu ? hwndMenu : hwnd, WM_KEYDOWN, vk, 0);
    }
    static LRESULT CALLBACK Proc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
        if (uMsg == WM_INITMENUPOPUP && !s_menu) {
            s_menu = reinterpret_cast<HMENU>(wParam);
            s_seen = Entries(s_menu);
            SetTimer(hwnd, 4711, 20, nullptr);
        } else if (uMsg == WM_TIMER && wParam == 4711) {
            if (s_target == 0 || ++s_ticks > 400) {
                KillTimer(hwnd, 4711);
                EndMenu();
            } else if (GetMenuState(s_menu, s_target, MF_BYCOMMAND) & MF_HILITE) {
                KillTimer(hwnd, 4711);
                Key(hwnd, VK_RETURN);
            } else {
                Key(hwnd, VK_DOWN);
            }
            return 0;
        }
        return CallWindowProcW(s_old, hwnd, uMsg, wParam, lParam);
    }
};
UINT MenuDriver::s_target;
HMENU MenuDriver::s_menu;
WNDPROC MenuDriver::s_old;
int MenuDriver::s_ticks;
std::vector<Entry> MenuDriver::s_seen;

}  // namespace

// ---- Building both menus ----

namespace {

// The menu as one line per entry: its identifier (what the dock's scripts choose by),
// its text and marks (d disabled, g grayed, c checked, p the menu picture on it), or a
// dash for a separator.
std::vector<std::wstring> Render(const std::vector<Entry>& entries, HBITMAP hPicture) {
    std::vector<std::wstring> lines;
    for (const Entry& e : entries) {
        std::wstring line = std::to_wstring(e.id) + L" " + (e.separator ? L"-" : e.text);
        if (e.separator) {
            lines.push_back(line);  // the system shows every separator disabled
            continue;
        }
        if (e.disabled) line += L" d";
        if (e.grayed) line += L" g";
        if (e.checked) line += L" c";
        if (e.hbmChecked && e.hbmChecked == hPicture && e.hbmUnchecked == hPicture) line += L" p";
        else if (e.hbmChecked || e.hbmUnchecked) line += L" (other picture)";
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

// What each menu holds in each state of the instance.
TEST(Menus, EntriesInEachState) {
    struct Case {
        const char* szWhat;
        bool bContext;
        void (*setUp)(Docklet& d);
        std::vector<std::wstring> lines;
    };
    // While busy, every entry that starts work is disabled (not grayed: the text stays
    // readable).
    const std::vector<std::wstring> busy = {L"1 Quillmere News d", L"2 Update Now d",  L"3 -",
                                            L"4 View all items d", L"5 -",             L"100 Item 0 d c",
                                            L"101 Item 1 d c"};
    const Case cases[] = {
        {"three items and a picture", false,
         [](Docklet& d) {
             Fill(d, 3);
             d->hMenuBitmap.reset(CreateBitmap(16, 16, 1, 32, nullptr));
         },
         {L"1 Quillmere News d", L"2 Update Now", L"3 -", L"4 View all items p", L"5 -", L"100 Item 0 c p",
          L"101 Item 1 c p", L"102 Item 2 c p"}},
        {"no picture", false, [](Docklet& d) { Fill(d, 2); },
         {L"1 Quillmere News d", L"2 Update Now", L"3 -", L"4 View all items", L"5 -", L"100 Item 0 c",
          L"101 Item 1 c"}},
        {"an empty feed", false, [](Docklet& d) { Fill(d, 0); }, {L"1 Quillmere News d", L"2 Update Now"}},
        {"refreshing", false,
         [](Docklet& d) {
             Fill(d, 2);
             d->bRefreshing = 1;
         },
         busy},
        {"loading a page", false,
         [](Docklet& d) {
             Fill(d, 2);
             d->bLoadingPage = 1;
         },
         busy},
        {"context, no profiles", true, [](Docklet&) {},
         {L"2 Update Now d", L"5 -", L"6 About Quillmere", L"7 Remove Entry", L"1 Quillmere Settings..."}},
        {"context, three profiles, the second current", true,
         [](Docklet& d) {
             d.AddProfile(L"One");
             d.AddProfile(L"Two & Three");
             d.AddProfile(L"Four");
             d->iCurrentProfile = 1;
         },
         {L"2 Update Now", L"3 -", L"1000 One", L"1001 Two && Three c", L"1002 Four", L"5 -", L"6 About Quillmere",
          L"7 Remove Entry", L"1 Quillmere Settings..."}},
        {"context, refreshing: only About and Remove work", true,
         [](Docklet& d) {
             Fill(d, 1);
             d.AddProfile(L"Other");
             d->bRefreshing = 1;
         },
         {L"2 Update Now d", L"3 -", L"1000 Quillmere News d c", L"1001 Other d", L"5 -", L"6 About Quillmere",
          L"7 Remove Entry", L"1 Quillmere Settings... d"}},
    };
    for (const Case& c : cases) {
        Docklet d;
        c.setUp(d);
        std::vector<std::wstring> lines = Render(c.bContext ? ContextMenu(d) : ItemMenu(d), d->hMenuBitmap.get());
        EXPECT_EQ(lines, c.lines) << c.szWhat;
    }
}

TEST(ItemMenu, ATwelveHundredItemFeedListsTheFirstThousand) {
    Docklet d;
    Fill(d, 1200);
    std::vector<Entry> e = ItemMenu(d);
    ASSERT_EQ(e.size(), 1005u);
    EXPECT_EQ(e[5].id, 100u);
    EXPECT_EQ(e.back().id, 1099u);
    EXPECT_EQ(e.back().text, L"Item 999");
    ActOnItemMenu(d.p, 1099);
    EXPECT_EQ(d->iCurrentItem, 999);
}

TEST(ItemMenu, AHeadingForAnIndexThatNamesNoProfileIsEmpty) {
    Docklet d;
    Fill(d, 1);
    for (int i : {-1, 1, 40}) {
        d->iCurrentProfile = i;
        std::vector<Entry> e = ItemMenu(d);
        ASSERT_FALSE(e.empty());
        EXPECT_EQ(e[0].id, 1u);
        EXPECT_EQ(e[0].text, L"") << i;
    }
}

TEST(ItemMenu, AmpersandsInTitlesShowAsWritten) {
    Docklet d;
    d.AddProfile(L"Q&A Weekly");
    d->iCurrentProfile = 0;
    d.AddItem(L"Salt & Pepper && more &");
    d.AddItem(L"");
    std::vector<Entry> e = ItemMenu(d);
    EXPECT_EQ(e[0].text, L"Q&&A Weekly");
    EXPECT_EQ(e[5].text, L"Salt && Pepper &&&& more &&");
    EXPECT_EQ(e[6].text, L"");
    // The longest title still fits whole, every character doubled.
    wchar_t sz[2048];
    MenuTextFromTitle(sz, 2048, std::wstring(499, L'&').c_str());
    EXPECT_EQ(wcslen(sz), 998u);
    // A small buffer never ends in half a doubled ampersand.
    MenuTextFromTitle(sz, 4, L"a&b");
    EXPECT_STREQ(sz, L"a&&");
    MenuTextFromTitle(sz, 3, L"a&b");
    EXPECT_STREQ(sz, L"a");
}

TEST(ItemMenu, TitlesWithMarkupShowAsTextInBothMenus) {
    Docklet d;
    d.AddProfile(L"News &amp;amp; <i>Views</i>");
    d.AddProfile(L"Second");
    d->iCurrentProfile = 0;
    d.AddItem(L"Tom &amp; Jerry <b>live</b>\n  again");
    std::vector<Entry> e = ItemMenu(d);
    EXPECT_EQ(e[0].text, L"News &&amp; Views");
    EXPECT_EQ(e[5].text, L"Tom && Jerry live again");
    e = ContextMenu(d);
    EXPECT_EQ(e[2].text, L"News &&amp; Views");
    // The records keep the titles as parsed.
    EXPECT_STREQ(d->items.GetAt(0)->szTitle, L"Tom &amp; Jerry <b>live</b>\n  again");
}

// ---- Item menu: acting ----

TEST(ItemMenu, ChoosingAnItemMakesItCurrentAndRunsTheItemAction) {
    Docklet d;
    Fill(d, 3);
    ResetHost();
    ActOnItemMenu(d.p, 102);
    EXPECT_EQ(d->iCurrentItem, 2);
    EXPECT_EQ(d->iViewMode, 1);
    // The item action shows the chosen item first.
    EXPECT_EQ(Count("DockletSetImageOverlay"), 1);
    EXPECT_EQ(HostSnapshot().label, "Quillmere News");
}

TEST(ItemMenu, ViewAllKeepsTheCurrentItem) {
    Docklet d;
    Fill(d, 3);
    d->iCurrentItem = 1;
    d->iViewMode = 1;
    ResetHost();
    ActOnItemMenu(d.p, 4);
    EXPECT_EQ(d->iCurrentItem, 1);
    EXPECT_EQ(d->iViewMode, 0);
    EXPECT_EQ(Count("DockletSetImageOverlay"), 1);
}

TEST(ItemMenu, UpdateNowStartsARefresh) {
    Docklet d;
    Fill(d, 1);
    ResetHost();
    ActOnItemMenu(d.p, 2);
    EXPECT_TRUE(d.WaitIdle());
    std::vector<HostCall> labels = HostCalls("DockletSetLabel");
    ASSERT_FALSE(labels.empty());
    EXPECT_EQ(labels.front().text, "Retrieving RSS Feed...");
    KillTimer(d.hwnd, IDT_REFRESH);
}

TEST(ItemMenu, OtherIdentifiersAndItemsNoLongerThereDoNothing) {
    Docklet d;
    Fill(d, 2);
    d->iCurrentItem = 1;
    d->iViewMode = 7;
    ResetHost();
    for (int id : {0, -1, 1, 3, 5, 99, 102, 1099, 1100, 5000}) ActOnItemMenu(d.p, id);
    EXPECT_EQ(d->iCurrentItem, 1);
    EXPECT_EQ(d->iViewMode, 7);
    EXPECT_TRUE(HostSnapshot().calls.empty());
    EXPECT_FALSE(d->hRefreshThread.hThread);
}

TEST(ItemMenu, NullInstanceAndNoFeedConfigured) {
    EXPECT_FALSE(ShowItemMenu(nullptr));
    Docklet d;
    ResetHost();
    // The settings open instead of a menu.
    SheetCloser closer;
    EXPECT_TRUE(ShowItemMenu(d.p));
    EXPECT_EQ(Count("DockletLockMouseEffect"), 0);
}

// ---- Real popups, chosen by keyboard ----

TEST(ItemMenu, RealPopupChosenByKeyboard) {
    Docklet d;
    Fill(d, 3);
    ResetHost();
    MenuDriver driver(d.hwnd, 101);
    EXPECT_TRUE(ShowItemMenu(d.p));
    ASSERT_EQ(MenuDriver::s_seen.size(), 8u);
    EXPECT_EQ(d->iCurrentItem, 1);
    EXPECT_EQ(d->iViewMode, 1);
    // The mouse-over effect was held exactly while the menu was open.
    std::vector<HostCall> locks = HostCalls("DockletLockMouseEffect");
    ASSERT_EQ(locks.size(), 2u);
    EXPECT_EQ(locks[0].value, 1);
    EXPECT_EQ(locks[1].value, 0);
    EXPECT_EQ(HostSnapshot().lockDepth, 0);
}

TEST(ItemMenu, DismissedPopupChangesNothing) {
    Docklet d;
    Fill(d, 3);
    d->iCurrentItem = 2;
    ResetHost();
    MenuDriver driver(d.hwnd, 0);
    EXPECT_TRUE(ShowItemMenu(d.p));
    EXPECT_NE(MenuDriver::s_menu, nullptr);
    EXPECT_EQ(d->iCurrentItem, 2);
    EXPECT_EQ(Count("DockletSetImageOverlay"), 0);
    EXPECT_EQ(HostSnapshot().lockDepth, 0);
}

TEST(ContextMenu, RealPopupChosenByKeyboard) {
    Docklet d;
    Fill(d, 1);
    ResetHost();
    MenuDriver driver(d.hwnd, IDM_CONTEXT_REMOVE);
    EXPECT_TRUE(ShowContextMenu(d.p));
    EXPECT_EQ(HostSnapshot().removeSelf, 1);
    EXPECT_EQ(HostSnapshot().lockDepth, 0);
}

// ---- Context menu: acting ----

TEST(ContextMenu, EachCommand) {
    Docklet d;
    Fill(d, 1);
    ResetHost();
    ActOnContextMenu(d.p, IDM_CONTEXT_REMOVE);
    EXPECT_EQ(HostSnapshot().removeSelf, 1);
    // The settings sheet runs modally and returns once cancelled.
    {
        SheetCloser closer;
        ActOnContextMenu(d.p, IDM_CONTEXT_SETTINGS);
    }
    ResetHost();
    for (int id : {0, -3, 3, 4, 5, 8, 999, 1000, 1001, 7000}) ActOnContextMenu(d.p, id);
    EXPECT_TRUE(HostSnapshot().calls.empty());
    EXPECT_EQ(d->iCurrentProfile, 0);
    EXPECT_FALSE(d->hRefreshThread.hThread);
    ActOnContextMenu(d.p, IDM_CONTEXT_UPDATE);
    EXPECT_TRUE(d.WaitIdle());
    EXPECT_EQ(HostCalls("DockletSetLabel").front().text, "Retrieving RSS Feed...");
    KillTimer(d.hwnd, IDT_REFRESH);
    EXPECT_FALSE(ShowContextMenu(nullptr));
}

namespace {
int g_profileAtClose = -2;
_DOCKLET_DATA* g_viewerOwner = nullptr;
LRESULT CALLBACK ViewerProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_CLOSE) {
        g_profileAtClose = g_viewerOwner->iCurrentProfile;
        g_viewerOwner->hwndViewer = nullptr;
        DestroyWindow(hwnd);
        return 0;
    }
    return DefWindowProcW(hwnd, uMsg, wParam, lParam);
}
}  // namespace

TEST(ProfileSwitch, ClosesTheViewerFirstResolvesImagesInPlaceAndRefreshes) {
    SetHostFolders(TestExeFolder(), ".\\..\\dock\\Docklets\\Quillmere\\");
    Docklet d;
    Fill(d, 2, L"First");
    d.AddProfile(L"Second");
    d.AddProfile(L"Third");
    d->iCurrentProfile = 1;
    d->iCurrentItem = 1;
    d->hMenuBitmap.reset(CreateBitmap(16, 16, 1, 32, nullptr));
    HBITMAP hOldPicture = d->hMenuBitmap.get();

    WNDCLASSW wc = {};
    wc.lpfnWndProc = ViewerProc;
    wc.lpszClassName = L"QmTestViewer";
    RegisterClassW(&wc);
    g_viewerOwner = d.p;
    g_profileAtClose = -2;
    d->hwndViewer = CreateWindowW(L"QmTestViewer", L"viewer", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);

    ResetHost();
    ActOnContextMenu(d.p, 1002);
    EXPECT_EQ(g_profileAtClose, 1);  // closed before the profile changed
    EXPECT_EQ(d->hwndViewer, nullptr);
    EXPECT_EQ(d->iCurrentProfile, 2);
    EXPECT_EQ(d->iCurrentItem, -1);
    EXPECT_EQ(d->items.GetCount(), 0u);  // the old profile's items go at once
    // Both stored image names were resolved in place into the images folder.
    std::wstring background = d->profiles.GetAt(2)->szBackgroundImage;
    std::wstring menu = d->profiles.GetAt(2)->szMenuIcon;
    EXPECT_NE(background.find(L"Docklets\\Quillmere\\icons\\background.png"), std::wstring::npos) << background;
    EXPECT_NE(menu.find(L"Docklets\\Quillmere\\icons\\menu.png"), std::wstring::npos) << menu;
    EXPECT_STREQ(d->profiles.GetAt(1)->szBackgroundImage, L"background.png");  // others untouched
    std::vector<HostCall> files = HostCalls("DockletSetImageFile");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(Wide(files[0].text), background);
    // A new menu picture from the resolved menu icon.
    EXPECT_TRUE(d->hMenuBitmap);
    EXPECT_NE(d->hMenuBitmap.get(), hOldPicture);
    EXPECT_EQ(GetObjectType(hOldPicture), 0u);  // the old one was deleted
    // A refresh started.
    EXPECT_TRUE(d.WaitIdle());
    std::vector<HostCall> labels = HostCalls("DockletSetLabel");
    ASSERT_FALSE(labels.empty());
    EXPECT_EQ(labels.front().text, "Retrieving RSS Feed...");
    KillTimer(d.hwnd, IDT_REFRESH);
}

TEST(ProfileSwitch, ChoosingTheCurrentProfileOrNoProfileDoesNothing) {
    Docklet d;
    Fill(d, 1, L"First");
    d.AddProfile(L"Second");
    d->iCurrentProfile = 1;
    ResetHost();
    ActOnContextMenu(d.p, 1001);
    SwitchProfile(d.p, 1);
    SwitchProfile(d.p, 2);
    SwitchProfile(d.p, -1);
    SwitchProfile(nullptr, 0);
    EXPECT_TRUE(HostSnapshot().calls.empty());
    EXPECT_EQ(d->iCurrentProfile, 1);
    EXPECT_EQ(d->iCurrentItem, 0);
    EXPECT_FALSE(d->hRefreshThread.hThread);
    EXPECT_STREQ(d->profiles.GetAt(1)->szBackgroundImage, L"background.png");
}

TEST(ProfileSwitch, AMissingMenuIconLeavesNoPicture) {
    Docklet d;
    Fill(d, 0, L"First");
    _PROFILE_DATA* p = d.AddProfile(L"Second");
    CopyText(p->szMenuIcon, 270, L"C:\\no\\such\\menu-icon.png");
    ResetHost();
    SwitchProfile(d.p, 1);
    EXPECT_FALSE(d->hMenuBitmap);
    EXPECT_STREQ(p->szMenuIcon, L"C:\\no\\such\\menu-icon.png");
    EXPECT_TRUE(d.WaitIdle());
    KillTimer(d.hwnd, IDT_REFRESH);
}
