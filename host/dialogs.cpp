#include "dialogs.h"
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include "console.h"
#include "dialogplan.h"
#include "icons.h"
#include "options.h"
#include "soak.h"
#include "watchdog.h"

namespace {

std::vector<TrackedDialog> g_tracked;
size_t g_iNextPress = 0;
volatile LONG g_lDialogsOpen = 0;
volatile LONG g_lLastLook = 0;

bool IsDialog(HWND hwnd) {
    wchar_t szClass[16];
    return GetClassNameW(hwnd, szClass, 16) && wcscmp(szClass, L"#32770") == 0;
}

// The docklet's message boxes carry its name and the message box's text control.
bool IsMessageBox(HWND hwnd) {
    return WindowText(hwnd) == "Quillmere" && GetDlgItem(hwnd, 0xFFFF);
}

BOOL CALLBACK AddShownDialog(HWND hwnd, LPARAM lParam) {
    DWORD pid = 0;
    DWORD tid = GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(hwnd) || !IsDialog(hwnd)) return TRUE;
    reinterpret_cast<std::vector<ShownDialog>*>(lParam)->push_back({hwnd, tid, IsMessageBox(hwnd)});
    return TRUE;
}

bool IsMessageBoxTracked(HWND hwnd) {
    for (const TrackedDialog& t : g_tracked)
        if (t.hwnd == hwnd) return t.bMessageBox;
    return false;
}

void Report(HWND hwnd) {
    if (IsMessageBoxTracked(hwnd)) {
        PrintUtf8("message: " + WindowText(GetDlgItem(hwnd, 0xFFFF)) + "\n");
    } else if (!g_opt.soak) {
        PrintUtf8("window: " + WindowText(hwnd) + "\n");
    }
}

// Posted, so the dialog's own thread closes it in its own loop, whatever has the input.
void Act(const DialogAction& action) {
    HWND hwnd = action.hwnd;
    bool bBox = IsMessageBoxTracked(hwnd);
    switch (action.step) {
    case STEP_REPORT:
        Report(hwnd);
        break;
    case STEP_CLOSE:
        if (bBox) {
            PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
        } else {
            LogUtf8("close: " + WindowText(hwnd));
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
        }
        break;
    case STEP_CANCEL:
        LogUtf8("cancel: " + WindowText(hwnd));
        PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
        if (bBox) PostMessageW(hwnd, WM_COMMAND, IDNO, 0);
        break;
    case STEP_GIVE_UP:
        GiveUp("\"" + WindowText(hwnd) + "\" did not close within " + std::to_string(c_dwCloseLimitMs / 1000) +
               " s of being asked");
        break;
    }
}

bool PressTab(HWND hDlg, const std::wstring& text) {
    HWND hTab = FindWindowExW(hDlg, nullptr, WC_TABCONTROLW, nullptr);
    if (!hTab) return false;
    int n = TabCtrl_GetItemCount(hTab);
    for (int i = 0; i < n; ++i) {
        wchar_t sz[256] = {};
        TCITEMW item = {};
        item.mask = TCIF_TEXT;
        item.pszText = sz;
        item.cchTextMax = 256;
        if (!TabCtrl_GetItem(hTab, i, &item) || !SameText(sz, text)) continue;
        // Posted like every step: leaving a page may show a message, which must not run
        // inside this look.
        PostMessageW(hDlg, PSM_SETCURSEL, i, 0);
        return true;
    }
    return false;
}

struct ButtonSearch {
    const std::wstring* text;
    HWND hwnd;
};

BOOL CALLBACK FindButton(HWND hwnd, LPARAM lParam) {
    auto* pSearch = reinterpret_cast<ButtonSearch*>(lParam);
    wchar_t szClass[16], sz[256];
    GetClassNameW(hwnd, szClass, 16);
    // Buttons of hidden pages are not visible.
    if (_wcsicmp(szClass, L"Button") != 0 || !IsWindowVisible(hwnd) || !IsWindowEnabled(hwnd)) return TRUE;
    GetWindowTextW(hwnd, sz, 256);
    if (!SameText(sz, *pSearch->text)) return TRUE;
    pSearch->hwnd = hwnd;
    return FALSE;
}

bool PressButton(HWND hDlg, const std::wstring& text) {
    ButtonSearch search = {&text, nullptr};
    EnumChildWindows(hDlg, FindButton, reinterpret_cast<LPARAM>(&search));
    if (!search.hwnd) return false;
    // Posted: the button may open a modal dialog, whose loop runs the next steps.
    PostMessageW(GetParent(search.hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(search.hwnd), BN_CLICKED),
                 reinterpret_cast<LPARAM>(search.hwnd));
    return true;
}

// The next press, in the newest open dialog (the one a user works in), once it shows
// the tab or button there.
void StepPresses() {
    if (g_iNextPress >= g_opt.presses.size()) return;
    HWND hDlg = NewestDialog(g_tracked);
    if (!hDlg || IsMessageBoxTracked(hDlg) || GetWindowThreadProcessId(hDlg, nullptr) != GetCurrentThreadId()) return;
    const std::string& press = g_opt.presses[g_iNextPress];
    std::wstring text = Wide(press);
    if (!PressTab(hDlg, text) && !PressButton(hDlg, text)) return;
    Log("press: %s", press.c_str());
    ++g_iNextPress;
    // A press is use: the dialog's time to close starts again.
    RestartDialogTime(g_tracked, hDlg, GetTickCount(), DialogMs(g_opt));
}

}  // namespace

std::string WindowText(HWND hwnd) {
    wchar_t sz[2048] = {};
    if (hwnd) InternalGetWindowText(hwnd, sz, 2048);
    return Utf8(sz);
}

void LookAtDialogs() {
    // Every step is posted, so nothing runs a modal loop inside a look; should one ever,
    // the looks inside it are skipped rather than nested.
    static bool s_bLooking = false;
    if (s_bLooking) return;
    s_bLooking = true;
    std::vector<ShownDialog> shown;
    EnumWindows(AddShownDialog, reinterpret_cast<LPARAM>(&shown));
    DWORD dwNow = GetTickCount();
    // A user waits while the icon shows the docklet at work (the page the viewer is to
    // show, a refresh): the dialogs' time starts once it is done, or after the longest
    // a refresh is awaited.
    static DWORD s_dwBusySince = 0;
    static bool s_bBusy = false;
    bool bBusy = AnyIconBusy();
    if (bBusy && !s_bBusy) s_dwBusySince = dwNow;
    s_bBusy = bBusy;
    if (bBusy && dwNow - s_dwBusySince < c_dwRefreshWaitMs)
        for (const TrackedDialog& t : g_tracked)
            if (!t.bMessageBox) RestartDialogTime(g_tracked, t.hwnd, dwNow, DialogMs(g_opt));
    std::vector<DialogAction> actions = PlanDialogs(g_tracked, shown, dwNow, DialogMs(g_opt));
    InterlockedExchange(&g_lDialogsOpen, g_tracked.empty() ? 0 : 1);
    InterlockedExchange(&g_lLastLook, static_cast<LONG>(dwNow));
    for (const DialogAction& action : actions) Act(action);
    StepPresses();
    s_bLooking = false;
}

std::vector<std::string> PressesLeft() {
    std::vector<std::string> left;
    for (size_t i = g_iNextPress; i < g_opt.presses.size(); ++i) left.push_back(g_opt.presses[i]);
    return left;
}

bool DialogsOpen(unsigned long* pdwLastLook) {
    *pdwLastLook = static_cast<DWORD>(g_lLastLook);
    return g_lDialogsOpen != 0;
}
