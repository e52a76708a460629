#include "script.h"
#include <cstdio>
#include <string>
#include "console.h"
#include "dialogs.h"
#include "icons.h"
#include "loader.h"

namespace {

const UINT_PTR c_idMenuTimer = 1, c_idDialogTimer = 2, c_idDestroyTimer = 3;
const UINT c_uMenuStepMs = 15, c_uDialogLookMs = 100;
// A menu that shows no wanted entry within this time is closed.
const DWORD c_dwMenuLimitMs = 10000;
const wchar_t c_szScriptClass[] = L"DockhostScript";

HWND g_hwndScript = nullptr;
HMENU g_hScriptMenu = nullptr;
bool g_bClicking = false;
int g_iChoose = 0;
DWORD g_dwMenuStart = 0;
bool g_bChooseFailed = false;

void PrintMenu(HMENU hMenu) {
    int n = GetMenuItemCount(hMenu);
    std::string out;
    for (int i = 0; i < n; ++i) {
        wchar_t sz[2048] = {};
        MENUITEMINFOW mii = {};
        mii.cbSize = sizeof(mii);
        mii.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING;
        mii.dwTypeData = sz;
        mii.cch = 2048;
        GetMenuItemInfoW(hMenu, i, TRUE, &mii);
        UINT state = GetMenuState(hMenu, i, MF_BYPOSITION);
        out += "menu: " + std::to_string(mii.wID) + "\t";
        if (mii.fType & MFT_SEPARATOR)
            out += "(separator)";
        else
            out += Utf8(sz) + ((state & (MF_DISABLED | MF_GRAYED)) ? "\tdisabled" : "\tenabled") +
                   ((state & MF_CHECKED) ? "\tchecked" : "\tunchecked");
        out += "\n";
    }
    PrintUtf8(out);
}

BOOL CALLBACK FindMenuWindow(HWND hwnd, LPARAM lParam) {
    wchar_t szClass[16];
    GetClassNameW(hwnd, szClass, 16);
    if (wcscmp(szClass, L"#32768") != 0 || !IsWindowVisible(hwnd)) return TRUE;
    *reinterpret_cast<HWND*>(lParam) = hwnd;
    return FALSE;
}

// A key for the open menu: its window is this thread's, never another program's menu on
// the same display.
void PressKey(WPARAM vk) {
    HWND hwndMenu = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindMenuWindow, reinterpret_cast<LPARAM>(&hwndMenu));
    PostMessageW(hwndMenu ? hwndMenu : g_hwndScript, WM_KEYDOWN, vk, 0);
}

// One step of the scripted choice while the menu is open: Down until the wanted entry is
// highlighted, then Enter; a menu without it is closed.
void StepScriptMenu() {
    UINT id = static_cast<UINT>(g_iChoose);
    UINT state = id ? GetMenuState(g_hScriptMenu, id, MF_BYCOMMAND) : static_cast<UINT>(-1);
    bool bAvailable = id && state != static_cast<UINT>(-1) && !(state & (MF_DISABLED | MF_GRAYED | MF_SEPARATOR));
    if (!bAvailable || GetTickCount() - g_dwMenuStart > c_dwMenuLimitMs) {
        if (id) {
            PrintUtf8("choose: entry " + std::to_string(id) + " is not available\n");
            g_bChooseFailed = true;
        }
        KillTimer(g_hwndScript, c_idMenuTimer);
        EndMenu();
    } else if (state & MF_HILITE) {
        KillTimer(g_hwndScript, c_idMenuTimer);
        Log("choose: %u", id);
        PressKey(VK_RETURN);
    } else {
        PressKey(VK_DOWN);
    }
}

LRESULT CALLBACK ScriptWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg != WM_TIMER) return DefWindowProcW(hwnd, uMsg, wParam, lParam);
    if (wParam == c_idMenuTimer) {
        StepScriptMenu();
    } else if (wParam == c_idDialogTimer) {
        LookAtDialogs();
    } else if (wParam == c_idDestroyTimer) {
        KillTimer(hwnd, c_idDestroyTimer);
        DestroyAllIcons();
    }
    return 0;
}

}  // namespace

bool StartScript() {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = ScriptWndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = c_szScriptClass;
    RegisterClassExW(&wc);
    g_hwndScript = CreateWindowExW(0, c_szScriptClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    if (!g_hwndScript) return false;
    // The dialogs are looked at throughout the run, inside the docklet's modal loops too.
    SetTimer(g_hwndScript, c_idDialogTimer, c_uDialogLookMs, nullptr);
    return true;
}

void StopScript() {
    if (g_hwndScript) DestroyWindow(g_hwndScript);
    g_hwndScript = nullptr;
}

HWND ScriptWindow() {
    return g_hwndScript;
}

void NoteMenuOpened(HMENU hMenu) {
    if (!g_bClicking || g_hScriptMenu) return;
    g_hScriptMenu = hMenu;
    if (g_opt.menu) PrintMenu(hMenu);
    g_dwMenuStart = GetTickCount();
    SetTimer(g_hwndScript, c_idMenuTimer, c_uMenuStepMs, nullptr);
}

bool ScriptMenuOpened() {
    return g_hScriptMenu != nullptr;
}

bool ScriptChooseFailed() {
    return g_bChooseFailed;
}

void DestroyIconsAfter(DWORD dwMs) {
    SetTimer(g_hwndScript, c_idDestroyTimer, dwMs, nullptr);
}

void ScriptedClick(Icon* p, ScriptClick click, int choose) {
    g_iChoose = choose;
    g_hScriptMenu = nullptr;
    g_bClicking = true;
    // The menu opens at the pointer; put it over the icon's window.
    RECT rc;
    GetWindowRect(p->hwnd, &rc);
    SetCursorPos(rc.left + 20, rc.top + 40);
    POINT pt = {20, 20};
    SIZE size = {c_iIconSize, c_iIconSize};
    static const char* const c_aszClicks[] = {"", "left", "right", "dock"};
    Log("click: %s", c_aszClicks[click]);
    if (click == CLICK_LEFT)
        g_docklet.OnLeftButtonClick(p->pData, &pt, &size);
    else if (click == CLICK_RIGHT)
        g_docklet.OnRightButtonClick(p->pData, &pt, &size);
    else if (click == CLICK_DOCK)
        ShowDockMenu(p);
    KillTimer(g_hwndScript, c_idMenuTimer);
    g_bClicking = false;
}

void PumpPosted() {
    PumpUntil(10000, [] { return HIWORD(GetQueueStatus(QS_ALLINPUT)) == 0; });
}
