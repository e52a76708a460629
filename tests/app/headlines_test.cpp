// Headlines on a live instance: new items noticed across refreshes, and the cycle.
#include "support/httpserver.h"
#include <gtest/gtest.h>
#include <string>
#include "app/commands.h"
#include "app/entry.h"
#include "app/instance.h"
#include "core/settings.h"
#include "feed/refresh.h"
#include "presentation/cycle.h"
#include "presentation/menus.h"
#include "presentation/profile.h"
#include "support/testhost.h"

namespace {

// Closes the icon's menu once it waits for input, after trying a cycle step from inside it.
_DOCKLET_DATA* g_pStepInMenu = nullptr;
bool g_bSteppedInMenu = false;
LRESULT CALLBACK CloseMenuProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_ENTERIDLE) {
        if (g_pStepInMenu) g_bSteppedInMenu = StepHeadlineCycle(g_pStepInMenu);
        EndMenu();
    }
    return DefWindowProcW(hwnd, uMsg, wParam, lParam);
}

// A feed of lItems items, the newest ("Item n-1") first, with status lStatus.
struct HeadlinesTest : testing::Test {
    volatile LONG lItems = 3, lStatus = 200;
    HttpServer server{[this](const HttpRequest&) {
        HttpResponse r;
        r.status = lStatus;
        r.body = NewestFirstRss(lItems);
        return r;
    }};
    HWND hwnd = CreateDockWindow();
    _DOCKLET_DATA* p = CreateDocklet(hwnd, GetModuleHandleW(nullptr), nullptr, nullptr);

    void SetUp() override {
        ASSERT_TRUE(p && WaitForWorker(p->hRefreshThread, 5000));
        ResetHost();
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CloseMenuProc));
        qm::ScopedLock lock(p->csState);
        p->profiles.Add(NewProfile());
        CopyText(p->profiles.GetAt(0)->szURL, 2049, server.Url().c_str());
        p->iProfileCount = 1;
        p->iCurrentProfile = 0;
    }
    ~HeadlinesTest() override {
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
};

}  // namespace

TEST_F(HeadlinesTest, NewItemsDrawAttentionOnceAndStayMarkedUntilTheMenuOpens) {
    Refresh();
    lItems = 4;
    Refresh();
    EXPECT_EQ(HostSnapshot().attention, 1);  // after the second refresh only
    EXPECT_EQ(MenuText(IDM_ITEM_FIRST), L"\x2022 Item 3");
    EXPECT_EQ(MenuText(IDM_ITEM_FIRST + 1), L"Item 2");
    lStatus = 500;  // a failed refresh: nothing new, the marks stay
    Refresh();
    lStatus = 200;
    lItems = 5;  // one more: both unseen items are marked
    Refresh();
    EXPECT_EQ(HostSnapshot().attention, 2);
    EXPECT_EQ(MenuText(IDM_ITEM_FIRST + 1), L"\x2022 Item 3");
    ShowItemMenu(p);
    EXPECT_EQ(MenuText(IDM_ITEM_FIRST), L"Item 4");
    // The profile applied anew (as a switch does): its first refresh compares with what
    // the feed's state file says was seen.
    lItems = 6;
    ApplyCurrentProfile(p);
    ASSERT_TRUE(WaitForWorker(p->hRefreshThread, 20000));
    EXPECT_EQ(HostSnapshot().attention, 3);
    EXPECT_EQ(MenuText(IDM_ITEM_FIRST), L"\x2022 Item 5");
    EXPECT_EQ(MenuText(IDM_ITEM_FIRST + 1), L"Item 4");
}

TEST_F(HeadlinesTest, CycleStepsPausesAndStartsAgainAfterARefresh) {
    p->bCycleItems = 1;
    p->iDockletInfo = INFO_HIDE;
    p->iLabelInfo = INFO_ITEM_TITLE;
    Refresh();
    EXPECT_TRUE(KillTimer(hwnd, IDT_CYCLE));  // armed as the refresh ended
    OnProcessMessage(p, hwnd, WM_TIMER, IDT_CYCLE, 0);
    EXPECT_EQ(HostSnapshot().label, "Item 1");
    g_pStepInMenu = p;
    ShowContextMenu(p);
    g_pStepInMenu = nullptr;
    EXPECT_FALSE(g_bSteppedInMenu) << "stepped while the menu was open";
    ResetHost();
    p->iCycleCount = 2;  // only the two newest: back to the first
    EXPECT_TRUE(StepHeadlineCycle(p) && StepHeadlineCycle(p));
    EXPECT_EQ(HostCalls("DockletSetLabel").size(), 2u);  // one update per step
    EXPECT_EQ(HostSnapshot().label, "Item 1");
    Refresh();
    EXPECT_TRUE(KillTimer(hwnd, IDT_CYCLE));
    EXPECT_TRUE(StepHeadlineCycle(p));
    EXPECT_EQ(HostSnapshot().label, "Item 1");
    // Neither the icon nor the label shows an item field: a step changes nothing.
    p->iLabelInfo = INFO_PROFILE_TITLE;
    EXPECT_FALSE(StepHeadlineCycle(p));
    EXPECT_EQ(p->iCurrentItem, 1);
}
