// The "Headlines" page: whether the icon cycles through the newest items, how long each
// one shows and how many take part, whether new items are noticed, and how often the
// feed is checked for them.
#include <windows.h>
#include <commctrl.h>
#include <cstdlib>
#include "config/config.h"
#include "core/u16.h"
#include "resources/config_ids.h"
#include "text/refreshperiod.h"

namespace {

PageState g_page;

void EnableCycleControls(HWND hPage, bool bEnable) {
    for (int id : {IDC_CYCLE_SECONDS, IDC_CYCLE_SECONDS_SPIN, IDC_CYCLE_COUNT, IDC_CYCLE_COUNT_SPIN})
        EnableWindow(GetDlgItem(hPage, id), bEnable ? TRUE : FALSE);
}

void LoadNumber(HWND hPage, int iEdit, int iSpin, int iMin, int iMax, int iValue) {
    SendDlgItemMessageW(hPage, iSpin, UDM_SETRANGE32, iMin, iMax);
    SetDlgItemInt(hPage, iEdit, static_cast<UINT>(iValue), FALSE);
}

// The number typed into an edit, clamped to iMin..iMax; iKeep when it holds no digits.
int StoreNumber(HWND hPage, int iEdit, int iMin, int iMax, int iKeep) {
    wchar_t szText[32];
    GetDlgItemTextW(hPage, iEdit, szText, 32);
    wchar_t* pEnd = nullptr;
    long long llValue = _wcstoi64(szText, &pEnd, 10);
    if (pEnd == szText) return iKeep;
    if (llValue < iMin) return iMin;
    if (llValue > iMax) return iMax;
    return static_cast<int>(llValue);
}

bool Checked(HWND hPage, int iControl) {
    return IsDlgButtonChecked(hPage, iControl) == BST_CHECKED;
}

// The least minutes between checks that the active feed asked for in its last answer
// (0: none, or no active profile). The refresh worker writes it under the live
// instance's lock; the working copy lists the same profile records.
int ActiveFeedRule(SheetContext* pContext) {
    _DOCKLET_DATA* pWork = pContext->pWork;
    _DOCKLET_DATA* pLive = pContext->pLive;
    qm::ScopedLock lock(pLive ? pLive->csState : pWork->csState);
    int i = pWork->iCurrentProfile;
    if (i < 0 || static_cast<unsigned int>(i) >= pWork->profiles.GetCount() || !pWork->profiles.GetAt(i)) return 0;
    return pWork->profiles.GetAt(i)->iFeedRuleMinutes;
}

// Says next to the period when the feed's own rule makes the checks rarer than that.
void ShowFeedRule(HWND hPage, SheetContext* pContext) {
    int iMinutes = StoreNumber(hPage, IDC_REFRESH_MINUTES, REFRESH_MINUTES_MIN, REFRESH_MINUTES_MAX,
                               pContext->pWork->iRefreshMinutes);
    SetDlgItemTextW(hPage, IDC_FEED_RULE, FeedRuleNote(iMinutes, ActiveFeedRule(pContext)).c_str());
}

void LoadPage(HWND hPage, SheetContext* pContext) {
    _DOCKLET_DATA* pWork = pContext->pWork;
    CheckDlgButton(hPage, IDC_CYCLE_ITEMS, pWork->bCycleItems ? BST_CHECKED : BST_UNCHECKED);
    LoadNumber(hPage, IDC_CYCLE_SECONDS, IDC_CYCLE_SECONDS_SPIN, CYCLE_SECONDS_MIN, CYCLE_SECONDS_MAX,
               pWork->iCycleSeconds);
    LoadNumber(hPage, IDC_CYCLE_COUNT, IDC_CYCLE_COUNT_SPIN, CYCLE_COUNT_MIN, CYCLE_COUNT_MAX, pWork->iCycleCount);
    EnableCycleControls(hPage, pWork->bCycleItems != 0);
    CheckDlgButton(hPage, IDC_NOTIFY_NEW, pWork->bNotifyNew ? BST_CHECKED : BST_UNCHECKED);
    LoadNumber(hPage, IDC_REFRESH_MINUTES, IDC_REFRESH_MINUTES_SPIN, REFRESH_MINUTES_MIN, REFRESH_MINUTES_MAX,
               pWork->iRefreshMinutes);
    ShowFeedRule(hPage, pContext);
}

void StorePage(HWND hPage, SheetContext* pContext) {
    _DOCKLET_DATA* pWork = pContext->pWork;
    pWork->bCycleItems = Checked(hPage, IDC_CYCLE_ITEMS) ? 1 : 0;
    pWork->iCycleSeconds =
        StoreNumber(hPage, IDC_CYCLE_SECONDS, CYCLE_SECONDS_MIN, CYCLE_SECONDS_MAX, pWork->iCycleSeconds);
    pWork->iCycleCount = StoreNumber(hPage, IDC_CYCLE_COUNT, CYCLE_COUNT_MIN, CYCLE_COUNT_MAX, pWork->iCycleCount);
    pWork->bNotifyNew = Checked(hPage, IDC_NOTIFY_NEW) ? 1 : 0;
    pWork->iRefreshMinutes =
        StoreNumber(hPage, IDC_REFRESH_MINUTES, REFRESH_MINUTES_MIN, REFRESH_MINUTES_MAX, pWork->iRefreshMinutes);
}

}  // namespace

std::wstring FeedRuleNote(int iRefreshMinutes, int iFeedRuleMinutes) {
    if (iFeedRuleMinutes <= iRefreshMinutes) return std::wstring();
    return L"This feed asks for at most one check " + AsWide(CheckPeriodText(iFeedRuleMinutes)) + L".";
}

INT_PTR CALLBACK HeadlinesPageProc(HWND hPage, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    INT_PTR iResult = 0;
    if (HandlePageMessage(g_page, hPage, uMsg, lParam, LoadPage, StorePage, true, &iResult)) return iResult;
    if (uMsg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDC_CYCLE_ITEMS && g_page.pContext)
        EnableCycleControls(hPage, Checked(hPage, IDC_CYCLE_ITEMS));
    if (uMsg == WM_COMMAND && HIWORD(wParam) == EN_CHANGE && LOWORD(wParam) == IDC_REFRESH_MINUTES && g_page.pContext)
        ShowFeedRule(hPage, g_page.pContext);
    return 0;
}
