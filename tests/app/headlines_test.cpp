// Headlines on a live instance: new items noticed across refreshes, and the cycle's
// steps on the user-interface thread.
#include "support/httpserver.h"
#include <gtest/gtest.h>
#include <string>
#include "app/commands.h"
#include "app/entry.h"
#include "app/instance.h"
#include "core/record.h"
#include "core/settings.h"
#include "feed/refresh.h"
#include "presentation/cycle.h"
#include "presentation/menus.h"
#include "presentation/profile.h"
#include "support/testhost.h"

namespace {

// The newest item first: item n-1 down to item 0.
std::string Feed(int n) {
    std::string s = "<rss><channel><title>Feed</title>";
    for (int i = n - 1; i >= 0; --i)
        s += "<item><title>Item " + std::to_string(i) + "</title><link>http://e/" + std::to_string(i) + "</link></item>";
    return s + "</channel></rss>";
}

// Closes the icon's menu once it is open and waits for input, after trying a step of
// the cycle of g_pStepInMenu (when set) from inside the menu's loop.
_DOCKLET_DATA* g_pStepInMenu = nullptr;
bool g_bSteppedInMenu = false;
LRESULT CALLBACK CloseMenuProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_ENTERIDLE) {
        if (g_pStepInMenu) g_bSteppedInMenu = StepHeadlineCycle(g_pStepInMenu);
        EndMenu();
    }
    return DefWindowProcW(hwnd, uMsg, wParam, lParam);
}

struct HeadlinesTest : testing::Test {
    volatile LONG lItems = 3, lStatus = 200;
    HttpServer server{[this](const HttpRequest&) {
        HttpResponse r;
        r.status = lStatus;
        r.body = Feed(lItems);
        return r;
    }};
    HWND hwnd = CreateDockWindow();
    _DOCKLET_DATA* p = nullptr;

    void SetUp() override {
        ResetHost();
        p = CreateDocklet(hwnd, GetModuleHandleW(nullptr), nullptr, nullptr);
        ASSERT_TRUE(p && WaitForWorker(p->hRefreshThread, 5000));
        qm::ScopedLock lock(p->csState);
        _PROFILE_DATA* pProfile = NewProfile();
        CopyText(pProfile->szURL, 2049, server.Url().c_str());
        p->profiles.Add(pProfile);
        p->iProfileCount = 1;
        p->iCurrentProfile = 0;
    }
    void TearDown() override {
        if (p) DestroyDocklet(p);
        DestroyWindow(hwnd);
    }
    void Refresh() {
        StartRefresh(p);
        ASSERT_TRUE(WaitForWorker(p->hRefreshThread, 20000));
    }
    std::wstring MenuText(UINT id) {
        qm::UniqueMenu menu(BuildItemMenu(p));
        wchar_t sz[600] = {};
        GetMenuStringW(menu.get(), id, sz, 600, MF_BYCOMMAND);
        return sz;
    }
    int Attention() { return HostSnapshot().attention; }
};

}  // namespace

TEST_F(HeadlinesTest, NewItemsDrawAttentionOnceAndStayMarkedUntilTheMenuOpens) {
    Refresh();
    EXPECT_EQ(Attention(), 0);  // the first refresh
    lItems = 4;
    Refresh();
    EXPECT_EQ(Attention(), 1);
    EXPECT_EQ(MenuText(IDM_ITEM_FIRST), L"\x2022 Item 3");
    EXPECT_EQ(MenuText(IDM_ITEM_FIRST + 1), L"Item 2");
    lStatus = 500;  // a failed refresh brings nothing new and keeps the marks
    Refresh();
    EXPECT_EQ(Attention(), 1);
    EXPECT_EQ(MenuText(IDM_ITEM_FIRST), L"\x2022 Item 3");
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CloseMenuProc));
    ShowItemMenu(p);
    EXPECT_EQ(MenuText(IDM_ITEM_FIRST), L"Item 3");
    // The profile applied anew (as a switch does): its first refresh marks nothing.
    lStatus = 200;
    lItems = 6;
    ApplyCurrentProfile(p);
    ASSERT_TRUE(WaitForWorker(p->hRefreshThread, 20000));
    EXPECT_EQ(Attention(), 1);
    EXPECT_EQ(MenuText(IDM_ITEM_FIRST), L"Item 5");
}

TEST_F(HeadlinesTest, CycleStepsPausesAndStartsAgainAfterARefresh) {
    p->bCycleItems = 1;
    p->iDockletInfo = INFO_HIDE;
    p->iLabelInfo = INFO_ITEM_TITLE;
    Refresh();
    EXPECT_TRUE(KillTimer(hwnd, IDT_CYCLE));  // armed as the refresh ended
    ResetHost();
    OnProcessMessage(p, hwnd, WM_TIMER, IDT_CYCLE, 0);
    EXPECT_EQ(HostSnapshot().label, "Item 1");
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CloseMenuProc));
    g_pStepInMenu = p;
    ShowContextMenu(p);
    g_pStepInMenu = nullptr;
    EXPECT_FALSE(g_bSteppedInMenu) << "stepped while the menu was open";
    InterlockedExchange(&p->bRefreshing, 1);
    EXPECT_FALSE(StepHeadlineCycle(p));
    InterlockedExchange(&p->bRefreshing, 0);
    p->iCycleCount = 2;  // only the two newest: back to the first
    EXPECT_TRUE(StepHeadlineCycle(p));
    EXPECT_EQ(HostSnapshot().label, "Item 2");
    EXPECT_EQ(HostCalls("DockletSetLabel").size(), 2u);  // one update per step
    EXPECT_TRUE(StepHeadlineCycle(p));
    Refresh();
    EXPECT_EQ(p->iCurrentItem, 0);
    EXPECT_TRUE(KillTimer(hwnd, IDT_CYCLE));
    EXPECT_TRUE(StepHeadlineCycle(p));
    EXPECT_EQ(HostSnapshot().label, "Item 1");
    // Neither the icon nor the label shows an item field: a step changes nothing.
    p->iLabelInfo = INFO_PROFILE_TITLE;
    ResetHost();
    EXPECT_FALSE(StepHeadlineCycle(p));
    EXPECT_EQ(p->iCurrentItem, 1);
    EXPECT_TRUE(HostCalls("DockletSetLabel").empty());
}
