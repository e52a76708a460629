// dockhost: a small stand-in for the dock application. It keeps the dock's folder
// layout (its own folder is the root; the docklet lives in a relative folder such as
// .\Docklets\Quillmere\), exports the ten host functions by name, loads quillmere.dll,
// gives each icon a window of its own and records every host call. Run without
// scripted options it is a small interactive dock; with them it drives the docklet for
// tests, demos and checks.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <prsht.h>
#include <fcntl.h>
#include <io.h>
#include <psapi.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "core/docklet.h"
#include "app/entry.h"
#include "core/gdiplus.h"
#include "core/unique.h"
#include "host/timers.h"

using namespace qm;

namespace {

struct Options {
    std::string ini;
    std::vector<std::string> sections;
    std::string relativeFolder = ".\\Docklets\\Quillmere\\";
    std::string overlayPng, iconPng, browseResult;
    std::vector<std::string> without;
    // Tabs and buttons to press, in order, in the dialogs a scripted choice opens.
    std::vector<std::string> presses;
    bool untilRefreshed = false, label = false, log = false, save = false;
    double seconds = -1;
    double dialogSeconds = 1.5;
    // Destroys every icon this long after the scripted click starts (0: never), as a
    // dock does when its icon is removed while something of the docklet is open.
    int destroyAfterMs = 0;
    // Cycles of the soak (0: none).
    int soak = 0;
    // After freeing the docklet, how long to wait for the system to unload it (0: not at
    // all): a request that WinHTTP is still finishing holds it until its last call.
    int waitUnloadMs = 0;
    // Scripted click: 0 none, 1 left, 2 right, 3 the dock's own menu; the entry to choose
    // (0: dismiss); whether to print the menu's entries.
    int click = 0;
    int choose = 0;
    bool menu = false;
};

struct Icon {
    int index = 0;
    HWND hwnd = nullptr;
    _DOCKLET_DATA* pData = nullptr;
    std::string section;
    std::string label;
    std::string image;
    GpImage* pOverlay = nullptr;  // owned by the host once handed over
    int attention = 0;
    int lockDepth = 0;
    bool removed = false;
};

Options g_opt;
std::vector<Icon*> g_icons;
CriticalSection g_lock;
std::string g_root;
HMODULE g_hDocklet = nullptr;

struct Entry {
    PFN_OnCreate OnCreate;
    PFN_OnDestroy OnDestroy;
    PFN_OnSave OnSave;
    PFN_OnProcessMessage OnProcessMessage;
    PFN_OnClick OnLeftButtonClick;
    PFN_OnClick OnRightButtonClick;
    PFN_OnConfigure OnConfigure;
    PFN_OnAbout OnAbout;
} g_entry;

// Console output in UTF-8, converted from the process code page the host speaks.
void Print(const char* szAnsiText) {
    int n = MultiByteToWideChar(CP_ACP, 0, szAnsiText, -1, nullptr, 0);
    std::wstring wide(n > 0 ? n : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, szAnsiText, -1, &wide[0], n);
    int m = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(m > 0 ? m : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &utf8[0], m, nullptr, nullptr);
    fputs(utf8.c_str(), stdout);
    fflush(stdout);
}

void Log(const char* szFormat, ...) {
    if (!g_opt.log) return;
    char sz[4096];
    va_list args;
    va_start(args, szFormat);
    vsnprintf(sz, sizeof(sz) - 2, szFormat, args);
    va_end(args);
    strcat(sz, "\n");
    Print(sz);
}

Icon* FindIcon(HWND hwnd) {
    for (Icon* p : g_icons)
        if (p->hwnd == hwnd) return p;
    return nullptr;
}

void DisposeOverlay(Icon* p) {
    if (p->pOverlay) GdipDisposeImage(p->pOverlay);
    p->pOverlay = nullptr;
}

// Draws the base image and the overlay over it into a size x size ARGB bitmap.
GpBitmap* ComposeIcon(Icon* p, int size, bool withBase) {
    GpBitmap* pBitmap = nullptr;
    if (GdipCreateBitmapFromScan0(size, size, 0, PixelFormat32bppARGB, nullptr, &pBitmap) != Gdiplus::Ok) return nullptr;
    GdipGraphicsPtr g;
    GdipGetImageGraphicsContext(pBitmap, g.put());
    GdipSetInterpolationMode(g.get(), Gdiplus::InterpolationModeHighQualityBicubic);
    GdipGraphicsClear(g.get(), 0);
    if (withBase && !p->image.empty()) {
        wchar_t szPath[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, p->image.c_str(), -1, szPath, MAX_PATH);
        GdipImagePtr base;
        if (GdipLoadImageFromFile(szPath, base.put()) == Gdiplus::Ok)
            GdipDrawImageRectI(g.get(), base.get(), 0, 0, size, size);
    }
    if (p->pOverlay) GdipDrawImageRectI(g.get(), p->pOverlay, 0, 0, size, size);
    return pBitmap;
}

bool SavePng(GpBitmap* pBitmap, const std::string& path) {
    wchar_t szPath[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, szPath, MAX_PATH);
    return GdipSaveImageToFile(pBitmap, szPath, &PngEncoderClsid(), nullptr) == Gdiplus::Ok;
}

std::string FullPath(const std::string& path) {
    char sz[MAX_PATH];
    DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, sz, nullptr);
    return n && n < MAX_PATH ? std::string(sz) : path;
}

// Hides one of the host's exports from GetProcAddress by shortening its name by one
// character (the table stays sorted), so the docklet meets a host that lacks it.
void HideExport(const std::string& name) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (!dir.VirtualAddress) return;
    auto* exp = reinterpret_cast<IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    auto* names = reinterpret_cast<DWORD*>(base + exp->AddressOfNames);
    for (DWORD i = 0; i < exp->NumberOfNames; ++i) {
        char* sz = reinterpret_cast<char*>(base + names[i]);
        if (name != sz) continue;
        DWORD old;
        size_t len = strlen(sz);
        VirtualProtect(sz, len, PAGE_READWRITE, &old);
        sz[len - 1] = 0;
        VirtualProtect(sz, len, old, &old);
    }
}

const int c_iIconSize = 128;
const UINT_PTR c_idDestroyTimer = 0x4D53;
const int c_iCellW = 160, c_iCellH = 180;
const UINT WM_HOST_REMOVE = WM_APP + 1;

void DestroyIcon(Icon* p, bool save) {
    if (!p->pData) return;
    if (save && !g_opt.ini.empty()) {
        g_entry.OnSave(p->pData, const_cast<char*>(g_opt.ini.c_str()), const_cast<char*>(p->section.c_str()), FALSE);
        Log("OnSave(%d)", p->index);
    }
    _DOCKLET_DATA* pData = p->pData;
    p->pData = nullptr;
    g_entry.OnDestroy(pData, p->hwnd);
    Log("OnDestroy(%d)", p->index);
}

// OnDestroy for every icon, from wherever the dock's thread is (inside a menu, the
// viewer or the settings of the docklet), as a dock that removes its icons does.
bool g_bDestroyed = false;
void DestroyAllIcons() {
    for (Icon* p : g_icons) DestroyIcon(p, false);
    g_bDestroyed = true;
    Print("destroyed\n");
}

void PaintIcon(HWND hwnd, HDC hdc) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    FillRect(hdc, &rc, static_cast<HBRUSH>(GetStockObject(DKGRAY_BRUSH)));
    std::string label;
    GdipBitmapPtr composed;
    {
        ScopedLock lock(g_lock);
        Icon* p = FindIcon(hwnd);
        if (!p) return;
        label = p->label;
        composed.reset(ComposeIcon(p, c_iIconSize, true));
    }
    GdipGraphicsPtr g;
    if (composed && GdipCreateFromHDC(hdc, g.put()) == Gdiplus::Ok)
        GdipDrawImageRectI(g.get(), composed.get(), (rc.right - c_iIconSize) / 2, 8, c_iIconSize, c_iIconSize);
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, RGB(255, 255, 255));
    RECT rcText = {4, c_iIconSize + 14, rc.right - 4, rc.bottom - 4};
    DrawTextA(hdc, label.c_str(), -1, &rcText, DT_CENTER | DT_WORDBREAK | DT_END_ELLIPSIS | DT_NOPREFIX);
}

// The dock's context menu for one icon, as the real dock offers it: the docklet's
// settings and its About box.
void ShowDockMenu(Icon* p, HWND hwnd) {
    enum { ID_SETTINGS = 1, ID_ABOUT = 2 };
    UniqueMenu menu(CreatePopupMenu());
    if (!menu) return;
    AppendMenuW(menu.get(), MF_STRING, ID_SETTINGS, L"Settings");
    AppendMenuW(menu.get(), MF_STRING, ID_ABOUT, L"About");
    POINT pt;
    GetCursorPos(&pt);
    SetForegroundWindow(hwnd);
    int id = TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, pt.x, pt.y, 0, hwnd, nullptr);
    if (!p->pData) return;
    if (id == ID_SETTINGS) {
        Log("OnConfigure(%d)", p->index);
        g_entry.OnConfigure(p->pData);
    } else if (id == ID_ABOUT) {
        Log("OnAbout(%d)", p->index);
        g_entry.OnAbout(p->pData);
    }
}

// In scripted runs nobody is there to click a message box away: each box the docklet
// shows (caption "Quillmere") is printed as "message: TEXT" and closed with OK.
BOOL CALLBACK DismissMessageBox(HWND hwnd, LPARAM) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(hwnd)) return TRUE;
    char szClass[32], szCaption[64];
    GetClassNameA(hwnd, szClass, sizeof(szClass));
    GetWindowTextA(hwnd, szCaption, sizeof(szCaption));
    if (strcmp(szClass, "#32770") != 0 || strcmp(szCaption, "Quillmere") != 0) return TRUE;
    if (GetPropA(hwnd, "dockhost.dismissed")) return TRUE;
    char szText[2048] = {};
    GetDlgItemTextA(hwnd, 0xFFFF, szText, sizeof(szText));
    Print((std::string("message: ") + szText + "\n").c_str());
    SetPropA(hwnd, "dockhost.dismissed", reinterpret_cast<HANDLE>(1));
    PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
    return TRUE;
}

void DismissMessageBoxes() {
    EnumWindows(DismissMessageBox, 0);
}

// A dialog that a scripted choice opened (the viewer, the settings, the About box and
// what they open) is printed as "window: CAPTION" and closed after --dialog-seconds of
// having the input, as a user would close it, so the run goes on. The timer runs inside
// the dialogs' own modal loops.
const UINT_PTR c_idDialogTimer = 0x4D52;
struct SeenDialog {
    HWND hwnd;
    DWORD dwSince;  // when it last got the input (or was last pressed)
    bool bInput;    // enabled at the last tick: no dialog of its own is open over it
};
std::vector<SeenDialog> g_seenDialogs;

BOOL CALLBACK CloseScriptDialog(HWND hwnd, LPARAM) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(hwnd)) return TRUE;
    char szClass[32], szCaption[512];
    GetClassNameA(hwnd, szClass, sizeof(szClass));
    if (strcmp(szClass, "#32770") != 0) return TRUE;
    GetWindowTextA(hwnd, szCaption, sizeof(szCaption));
    if (strcmp(szCaption, "Quillmere") == 0 && GetDlgItem(hwnd, 0xFFFF)) return TRUE;  // a message box
    bool bInput = IsWindowEnabled(hwnd) != FALSE;
    for (SeenDialog& seen : g_seenDialogs) {
        if (seen.hwnd != hwnd) continue;
        // While a dialog of its own is open over it the user closes that one first; its
        // own time starts again at the first tick that finds it with the input back.
        if (bInput && !seen.bInput) seen.dwSince = GetTickCount();
        seen.bInput = bInput;
        if (bInput && GetTickCount() - seen.dwSince >= static_cast<DWORD>(g_opt.dialogSeconds * 1000)) {
            Log("close: %s", szCaption);
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
            seen.dwSince = GetTickCount();
        }
        return TRUE;
    }
    g_seenDialogs.push_back({hwnd, GetTickCount(), bInput});
    if (!g_opt.soak) Print((std::string("window: ") + szCaption + "\n").c_str());
    return TRUE;
}

// ---- Scripted presses ----
// Each --press names a tab of the property sheet on top or a button of the dialog on
// top by its text ("&" marks left out). They are pressed in order from the dialog
// timer, each once the dialog on top shows it, as a user's click would.
size_t g_iNextPress = 0;

std::wstring Wide(const std::string& s) {
    int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, nullptr, 0);
    std::wstring w(n > 0 ? n : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, &w[0], n);
    w.resize(wcslen(w.c_str()));
    return w;
}

// A control's text as shown: "&Open" -> "Open", "Icons && Images" -> "Icons & Images".
std::wstring ShownText(const wchar_t* sz) {
    std::wstring out;
    for (; *sz; ++sz) {
        if (*sz == L'&') {
            if (sz[1] != L'&') continue;
            ++sz;
        }
        out += *sz;
    }
    return out;
}

bool SameText(const wchar_t* szControl, const std::wstring& text) {
    return text == szControl || text == ShownText(szControl);
}

// The dialog that has the input: visible, enabled, of this process, topmost first.
BOOL CALLBACK FindInputDialog(HWND hwnd, LPARAM lParam) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(hwnd) || !IsWindowEnabled(hwnd)) return TRUE;
    char szClass[32];
    GetClassNameA(hwnd, szClass, sizeof(szClass));
    if (strcmp(szClass, "#32770") != 0) return TRUE;
    *reinterpret_cast<HWND*>(lParam) = hwnd;
    return FALSE;
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
        SendMessageW(hDlg, PSM_SETCURSEL, i, 0);
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

void StepPresses() {
    if (g_iNextPress >= g_opt.presses.size()) return;
    HWND hDlg = nullptr;
    EnumWindows(FindInputDialog, reinterpret_cast<LPARAM>(&hDlg));
    if (!hDlg) return;
    const std::string& press = g_opt.presses[g_iNextPress];
    std::wstring text = Wide(press);
    if (!PressTab(hDlg, text) && !PressButton(hDlg, text)) return;
    Log("press: %s", press.c_str());
    ++g_iNextPress;
    // A press is use: the dialog's time to close starts again (what the press opens may
    // take a while to show and take the input).
    for (SeenDialog& seen : g_seenDialogs)
        if (seen.hwnd == hDlg) seen.dwSince = GetTickCount();
}

// ---- Scripted menus ----
// The popup that a scripted click opens is owned by the icon's window, which therefore
// sees WM_INITMENUPOPUP; a timer then presses Down until the wanted entry is highlighted
// and Enter on it (or closes the menu), as a user at the keyboard would.
const UINT_PTR c_idMenuTimer = 0x4D51;
HMENU g_hScriptMenu = nullptr;
int g_iMenuTicks = 0;
bool g_bChooseFailed = false;

std::string Utf8(const wchar_t* sz) {
    int n = WideCharToMultiByte(CP_UTF8, 0, sz, -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, sz, -1, &s[0], n, nullptr, nullptr);
    s.resize(strlen(s.c_str()));
    return s;
}

void PrintMenu(HMENU hMenu) {
    int n = GetMenuItemCount(hMenu);
    for (int i = 0; i < n; ++i) {
        wchar_t sz[2048] = {};
        MENUITEMINFOW mii = {};
        mii.cbSize = sizeof(mii);
        mii.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING;
        mii.dwTypeData = sz;
        mii.cch = 2048;
        GetMenuItemInfoW(hMenu, i, TRUE, &mii);
        UINT state = GetMenuState(hMenu, i, MF_BYPOSITION);
        std::string line = "menu: " + std::to_string(mii.wID) + "\t";
        if (mii.fType & MFT_SEPARATOR)
            line += "(separator)";
        else
            line += Utf8(sz) + ((state & (MF_DISABLED | MF_GRAYED)) ? "\tdisabled" : "\tenabled") +
                    ((state & MF_CHECKED) ? "\tchecked" : "\tunchecked");
        line += "\n";
        fputs(line.c_str(), stdout);
    }
    fflush(stdout);
}

void PressKey(HWND hwndOwner, WPARAM vk) {
    HWND hwndMenu = FindWindowW(L"#32768", nullptr);
    PostMessageW(hwndMenu ? hwndMenu : hwndOwner, WM_KEYDOWN, vk, 0);
}

// One step of the scripted choice, on each tick while the menu is open.
void StepScriptMenu(HWND hwnd) {
    UINT id = static_cast<UINT>(g_opt.choose);
    UINT state = id ? GetMenuState(g_hScriptMenu, id, MF_BYCOMMAND) : static_cast<UINT>(-1);
    bool available = id && state != static_cast<UINT>(-1) && !(state & (MF_DISABLED | MF_GRAYED | MF_SEPARATOR));
    if (!available || ++g_iMenuTicks > 3000) {
        if (id) {
            fprintf(stdout, "choose: entry %u is not available\n", id);
            fflush(stdout);
            g_bChooseFailed = true;
        }
        KillTimer(hwnd, c_idMenuTimer);
        EndMenu();
    } else if (state & MF_HILITE) {
        KillTimer(hwnd, c_idMenuTimer);
        Log("choose: %u", id);
        PressKey(hwnd, VK_RETURN);
        SetTimer(hwnd, c_idDialogTimer, 100, nullptr);
    } else {
        PressKey(hwnd, VK_DOWN);
    }
}

LRESULT CALLBACK IconWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    Icon* p;
    {
        ScopedLock lock(g_lock);
        p = FindIcon(hwnd);
    }
    switch (uMsg) {
    case WM_PAINT: {
        PaintDC dc(hwnd);
        PaintIcon(hwnd, dc.get());
        return 0;
    }
    case WM_INITMENUPOPUP:
        if (g_opt.click && !g_hScriptMenu && !HIWORD(lParam)) {
            g_hScriptMenu = reinterpret_cast<HMENU>(wParam);
            if (g_opt.menu) PrintMenu(g_hScriptMenu);
            SetTimer(hwnd, c_idMenuTimer, 15, nullptr);
        }
        return 0;
    case WM_TIMER:
        if (wParam == c_idMenuTimer) {
            StepScriptMenu(hwnd);
            return 0;
        }
        if (wParam == c_idDestroyTimer) {
            KillTimer(hwnd, c_idDestroyTimer);
            DestroyAllIcons();
            return 0;
        }
        if (wParam == c_idDialogTimer) {
            DismissMessageBoxes();
            EnumWindows(CloseScriptDialog, 0);
            StepPresses();
            return 0;
        }
        if (p && p->pData) g_entry.OnProcessMessage(p->pData, hwnd, uMsg, wParam, lParam);
        return 0;
    case WM_RBUTTONUP:
        // The dock's own menu: Shift+right click, or a right click on the label.
        if (p && p->pData &&
            (GetKeyState(VK_SHIFT) < 0 || static_cast<short>(HIWORD(lParam)) > c_iIconSize + 8)) {
            ShowDockMenu(p, hwnd);
            return 0;
        }
        [[fallthrough]];
    case WM_LBUTTONUP:
        if (p && p->pData) {
            POINT pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            SIZE size = {c_iIconSize, c_iIconSize};
            if (uMsg == WM_LBUTTONUP)
                g_entry.OnLeftButtonClick(p->pData, &pt, &size);
            else
                g_entry.OnRightButtonClick(p->pData, &pt, &size);
            KillTimer(hwnd, c_idDialogTimer);
        }
        return 0;
    case WM_HOST_REMOVE:
        if (p) DestroyIcon(p, false);
        DestroyWindow(hwnd);
        return 0;
    case WM_CLOSE:
        if (p) DestroyIcon(p, true);
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY: {
        bool any = false;
        ScopedLock lock(g_lock);
        if (p) p->hwnd = nullptr;
        for (Icon* q : g_icons) any = any || q->hwnd;
        if (!any) PostQuitMessage(0);
        return 0;
    }
    }
    return DefWindowProcW(hwnd, uMsg, wParam, lParam);
}

void Repaint(HWND hwnd) {
    InvalidateRect(hwnd, nullptr, FALSE);
}

// True when no icon's refresh worker is running. The worker's handle changes only on
// this (the user-interface) thread, so it is read here without the instance's lock.
bool AllRefreshed() {
    for (Icon* p : g_icons) {
        if (!p->pData) continue;
        HANDLE hThread = p->pData->hRefreshThread.hThread.get();
        if ((hThread && WaitForSingleObject(hThread, 0) == WAIT_TIMEOUT) || p->pData->bRefreshing) return false;
    }
    return true;
}

// Dispatches messages for up to dwMs, or until done() says so.
template <typename Done>
void PumpFor(DWORD dwMs, Done done) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        DismissMessageBoxes();
        if (done() || GetTickCount() - start >= dwMs) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

// One scripted click on an icon: the menu it opens is driven by the menu timer
// (choose: the entry, 0 closes the menu) and what the choice opens is closed by the
// dialog timer. Returns when the click's work (and its modal loops) are over.
void ScriptedClick(Icon* p, int click, int choose) {
    g_opt.click = click;
    g_opt.choose = choose;
    g_hScriptMenu = nullptr;
    g_iMenuTicks = 0;
    g_seenDialogs.clear();
    // The menu opens at the pointer; put it over the icon's window.
    RECT rc;
    GetWindowRect(p->hwnd, &rc);
    SetCursorPos(rc.left + 20, rc.top + 40);
    POINT pt = {20, 20};
    SIZE size = {c_iIconSize, c_iIconSize};
    static const char* const c_aszClicks[] = {"", "left", "right", "dock"};
    Log("click: %s", c_aszClicks[click]);
    // A click on an icon without a profile opens the settings at once, with no menu.
    SetTimer(p->hwnd, c_idDialogTimer, 100, nullptr);
    if (click == 1)
        g_entry.OnLeftButtonClick(p->pData, &pt, &size);
    else if (click == 2)
        g_entry.OnRightButtonClick(p->pData, &pt, &size);
    else
        ShowDockMenu(p, p->hwnd);
}

// The process's resources. Windows reports them directly; Wine answers
// GetProcessHandleCount and GetGuiResources with 0 (and PrivateUsage with 0), so the
// soak then counts for itself: the system's handle list filtered by this process, and
// the live GDI and USER objects found by trying every handle index, which Wine accepts
// without the handle's upper half.
DWORD CountHandles() {
    DWORD dwCount = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &dwCount) && dwCount) return dwCount;
    typedef LONG(WINAPI * PFN_NtQuerySystemInformation)(ULONG, void*, ULONG, ULONG*);
    auto pfn = reinterpret_cast<PFN_NtQuerySystemInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!pfn) return 0;
    struct HandleEntry {
        ULONG pid;
        BYTE type, flags;
        USHORT handle;
        void* object;
        ACCESS_MASK access;
    };
    std::vector<BYTE> buffer(1 << 20);
    ULONG cb = 0;
    LONG status;
    const ULONG SystemHandleInformation = 16;
    while ((status = pfn(SystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &cb)) ==
               static_cast<LONG>(0xC0000004L) &&
           buffer.size() < (64u << 20))
        buffer.resize(buffer.size() * 2);
    if (status != 0) return 0;
    ULONG n = *reinterpret_cast<ULONG*>(buffer.data());
    auto* entries = reinterpret_cast<HandleEntry*>(buffer.data() + sizeof(ULONG_PTR));
    for (ULONG i = 0; i < n; ++i)
        if (entries[i].pid == GetCurrentProcessId()) ++dwCount;
    return dwCount;
}

DWORD CountGuiObjects(DWORD dwFlags) {
    if (DWORD dw = GetGuiResources(GetCurrentProcess(), dwFlags)) return dw;
    DWORD dwCount = 0;
    if (dwFlags == GR_GDIOBJECTS) {
        for (ULONG_PTR i = 1; i < 0x10000; ++i)
            if (GetObjectType(reinterpret_cast<HGDIOBJ>(i))) ++dwCount;
        return dwCount;
    }
    // USER handles step by two from 0x20; windows are shared by all processes.
    for (ULONG_PTR i = 0x20; i < 0x10000; i += 2) {
        if (IsMenu(reinterpret_cast<HMENU>(i))) {
            ++dwCount;
            continue;
        }
        DWORD pid = 0;
        HWND hwnd = reinterpret_cast<HWND>(i);
        if (IsWindow(hwnd) && GetWindowThreadProcessId(hwnd, &pid) && pid == GetCurrentProcessId()) ++dwCount;
    }
    return dwCount;
}

void PrintResources() {
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof(pmc);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof(pmc));
    // Private bytes; the page-file share is the same figure where PrivateUsage is missing.
    SIZE_T cbPrivate = pmc.PrivateUsage ? pmc.PrivateUsage : pmc.PagefileUsage;
    char sz[200];
    snprintf(sz, sizeof(sz), "resources: private_kb=%lu handles=%lu gdi=%lu user=%lu\n",
             static_cast<unsigned long>(cbPrivate / 1024), static_cast<unsigned long>(CountHandles()),
             static_cast<unsigned long>(CountGuiObjects(GR_GDIOBJECTS)),
             static_cast<unsigned long>(CountGuiObjects(GR_USEROBJECTS)));
    Print(sz);
}

// The soak: cycles of everything a user does with an icon, with the process's resources
// printed after the first cycle and after the last.
void Soak(Icon* p, int cycles) {
    for (int i = 0; i < cycles && p->pData; ++i) {
        ScriptedClick(p, 1, 2);  // Update Now, and the refresh to its end
        PumpFor(100, [] { return false; });
        PumpFor(60000, [] { return AllRefreshed(); });
        ScriptedClick(p, 1, 0);    // the item menu, opened and closed
        ScriptedClick(p, 1, 100);  // the viewer on the first item, closed
        ScriptedClick(p, 3, 1);    // the settings, cancelled
        PumpFor(20, [] { return false; });
        if (i == 0 || i == cycles - 1) PrintResources();
    }
}

// ---- Unloading the docklet ----
// The loader's notification of a DLL unloaded (ntdll's LdrRegisterDllNotification, looked
// up by name: the SDK headers do not declare it).
struct DllUnloadedData {
    ULONG flags;
    const void* pFullName;
    const void* pBaseName;
    void* pBase;
    ULONG cbImage;
};
typedef VOID(CALLBACK* DllNotification)(ULONG uReason, const DllUnloadedData* pData, void* pContext);
typedef LONG(NTAPI* PFN_LdrRegisterDllNotification)(ULONG, DllNotification, void*, void**);
typedef LONG(NTAPI* PFN_LdrUnregisterDllNotification)(void*);
const ULONG c_uDllUnloaded = 2;
HANDLE g_hDockletUnloaded = nullptr;

VOID CALLBACK OnDllNotification(ULONG uReason, const DllUnloadedData* pData, void*) {
    if (uReason == c_uDllUnloaded && pData->pBase == static_cast<void*>(g_hDocklet)) SetEvent(g_hDockletUnloaded);
}

// Gives the docklet back to the system. With --wait-unload, waits for the system to
// unload it (a request that WinHTTP is still finishing holds it until its last call)
// and says whether it was unloaded, and whether winhttp.dll, which only the docklet
// used, is still there for WinHTTP's own threads.
void FreeDocklet() {
    HMODULE hNtdll = GetModuleHandleW(L"ntdll.dll");
    auto pfnRegister = reinterpret_cast<PFN_LdrRegisterDllNotification>(
        reinterpret_cast<void*>(GetProcAddress(hNtdll, "LdrRegisterDllNotification")));
    auto pfnUnregister = reinterpret_cast<PFN_LdrUnregisterDllNotification>(
        reinterpret_cast<void*>(GetProcAddress(hNtdll, "LdrUnregisterDllNotification")));
    void* pCookie = nullptr;
    if (g_opt.waitUnloadMs > 0 && pfnRegister && pfnUnregister) {
        g_hDockletUnloaded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (pfnRegister(0, OnDllNotification, nullptr, &pCookie) != 0) pCookie = nullptr;
    }
    FreeLibrary(g_hDocklet);
    if (!pCookie) return;
    bool bHeld = WaitForSingleObject(g_hDockletUnloaded, 0) != WAIT_OBJECT_0;
    Print(bHeld ? "unload: held after FreeLibrary\n" : "unload: at FreeLibrary\n");
    bool bUnloaded =
        WaitForSingleObject(g_hDockletUnloaded, static_cast<DWORD>(g_opt.waitUnloadMs)) == WAIT_OBJECT_0;
    pfnUnregister(pCookie);
    CloseHandle(g_hDockletUnloaded);
    Print(bUnloaded ? "unload: docklet unloaded\n" : "unload: docklet still loaded\n");
    Print(GetModuleHandleW(L"winhttp.dll") ? "unload: winhttp.dll loaded\n" : "unload: winhttp.dll gone\n");
}

void Usage() {
    Print("usage: dockhost [--ini FILE] [--section NAME]... [--docklet-folder .\\REL\\]\n"
          "                [--until-refreshed] [--seconds N] [--overlay FILE.png] [--icon FILE.png]\n"
          "                [--label] [--log] [--save] [--without HOSTFUNCTION]... [--browse-result PATH]\n"
          "                [--left-click | --right-click | --dock-click] [--choose ID] [--menu]\n"
          "                [--dialog-seconds N] [--press TEXT]... [--destroy-after MS] [--soak N]\n"
          "                [--wait-unload MS]\n"
          "Without --until-refreshed, --seconds or a click the dock runs interactively until its icons close.\n"
          "A click opens the first icon's menu once after its first refresh (--dock-click: the dock's own\n"
          "menu, 1 Settings, 2 About); --menu prints its entries\n"
          "(identifier, text, enabled/disabled, checked/unchecked), --choose picks the entry with that\n"
          "command identifier by keyboard; without --choose the menu is closed again. A window the\n"
          "choice opens (viewer, settings, About) is printed as \"window: CAPTION\" and closed after\n"
          "--dialog-seconds (1.5) once it has the input. Each --press TEXT, in order, presses the\n"
          "tab or button of that text (without \"&\" marks) in the dialog that has the input, once it\n"
          "shows there. In scripted runs the docklet's message boxes are printed as\n"
          "\"message: TEXT\" and closed. --destroy-after MS calls OnDestroy for every icon MS ms after\n"
          "the click starts, whatever is open then, and prints \"destroyed\". --soak N runs N cycles on\n"
          "the first icon (Update Now, item menu, viewer on the first item, settings cancelled) and\n"
          "prints \"resources: private_kb=P handles=H gdi=G user=U\" after the first and the last.\n"
          "--wait-unload MS, after freeing quillmere.dll at the end, waits up to MS for the system to\n"
          "unload it and prints \"unload: \" lines: whether it was held after FreeLibrary, whether it\n"
          "was unloaded, and whether winhttp.dll is still loaded.\n");
}

bool ParseArgs(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--ini" && next(v)) g_opt.ini = FullPath(v);
        else if (a == "--section" && next(v)) g_opt.sections.push_back(v);
        else if (a == "--docklet-folder" && next(v)) g_opt.relativeFolder = v;
        else if (a == "--until-refreshed") g_opt.untilRefreshed = true;
        else if (a == "--seconds" && next(v)) g_opt.seconds = atof(v.c_str());
        else if (a == "--overlay" && next(v)) g_opt.overlayPng = v;
        else if (a == "--icon" && next(v)) g_opt.iconPng = v;
        else if (a == "--label") g_opt.label = true;
        else if (a == "--log") g_opt.log = true;
        else if (a == "--save") g_opt.save = true;
        else if (a == "--without" && next(v)) g_opt.without.push_back(v);
        else if (a == "--browse-result" && next(v)) g_opt.browseResult = v;
        else if (a == "--left-click") g_opt.click = 1;
        else if (a == "--right-click") g_opt.click = 2;
        else if (a == "--dock-click") g_opt.click = 3;
        else if (a == "--choose" && next(v)) g_opt.choose = atoi(v.c_str());
        else if (a == "--dialog-seconds" && next(v)) g_opt.dialogSeconds = atof(v.c_str());
        else if (a == "--menu") g_opt.menu = true;
        else if (a == "--press" && next(v)) g_opt.presses.push_back(v);
        else if (a == "--destroy-after" && next(v)) g_opt.destroyAfterMs = atoi(v.c_str());
        else if (a == "--soak" && next(v)) g_opt.soak = atoi(v.c_str());
        else if (a == "--wait-unload" && next(v)) g_opt.waitUnloadMs = atoi(v.c_str());
        else {
            Usage();
            return false;
        }
    }
    if (g_opt.sections.empty()) g_opt.sections.push_back("Quillmere");
    return true;
}

template <typename T>
bool Resolve(T& fn, const char* name) {
    fn = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(g_hDocklet, name)));
    if (!fn) fprintf(stderr, "dockhost: quillmere.dll lacks %s\n", name);
    return fn != nullptr;
}

}  // namespace

// ---- The host functions, exported by name (dockhost.def) ----
extern "C" {

BOOL __stdcall DockletSetLabel(HWND hwnd, char* szLabel) {
    ScopedLock lock(g_lock);
    Icon* p = FindIcon(hwnd);
    if (!p) return FALSE;
    p->label = szLabel ? szLabel : "";
    Log("DockletSetLabel(%d, \"%s\")", p->index, p->label.c_str());
    Repaint(hwnd);
    return TRUE;
}

BOOL __stdcall DockletSetImageOverlay(HWND hwnd, void* pImage, BOOL bAutomaticallyDeleteImage) {
    ScopedLock lock(g_lock);
    Icon* p = FindIcon(hwnd);
    if (!p) {
        if (pImage && bAutomaticallyDeleteImage) GdipDisposeImage(static_cast<GpImage*>(pImage));
        return FALSE;
    }
    DisposeOverlay(p);
    p->pOverlay = static_cast<GpImage*>(pImage);
    UINT w = 0, h = 0;
    if (p->pOverlay) {
        GdipGetImageWidth(p->pOverlay, &w);
        GdipGetImageHeight(p->pOverlay, &h);
    }
    Log("DockletSetImageOverlay(%d, %ux%u, %d)", p->index, w, h, bAutomaticallyDeleteImage);
    Repaint(hwnd);
    return TRUE;
}

BOOL __stdcall DockletSetImageFile(HWND hwnd, char* szImage) {
    ScopedLock lock(g_lock);
    Icon* p = FindIcon(hwnd);
    if (!p) return FALSE;
    p->image = szImage ? szImage : "";
    Log("DockletSetImageFile(%d, \"%s\")", p->index, p->image.c_str());
    Repaint(hwnd);
    return TRUE;
}

BOOL __stdcall DockletBrowseForImage(HWND hwndParent, char* szImage, char* szAlternativeRelativeRoot) {
    Log("DockletBrowseForImage(\"%s\", \"%s\")", szImage ? szImage : "",
        szAlternativeRelativeRoot ? szAlternativeRelativeRoot : "");
    if (!szImage) return FALSE;
    if (!g_opt.browseResult.empty()) {
        lstrcpynA(szImage, g_opt.browseResult.c_str(), 270);
        return TRUE;
    }
    if (g_opt.untilRefreshed || g_opt.seconds >= 0) return FALSE;
    char szFile[270];
    lstrcpynA(szFile, szImage, sizeof(szFile));
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = hwndParent;
    ofn.lpstrFilter = "Images (*.png;*.ico;*.bmp;*.jpg;*.gif)\0*.png;*.ico;*.bmp;*.jpg;*.jpeg;*.gif\0All files\0*.*\0";
    ofn.lpstrFile = szFile;
    ofn.nMaxFile = sizeof(szFile);
    // Browsing starts in the folder the docklet names, relative to the dock's root.
    std::string initial;
    if (szAlternativeRelativeRoot && *szAlternativeRelativeRoot) {
        initial = szAlternativeRelativeRoot;
        if (initial.rfind(".\\", 0) == 0) initial = g_root + initial.substr(2);
        ofn.lpstrInitialDir = initial.c_str();
    }
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameA(&ofn)) return FALSE;
    lstrcpynA(szImage, szFile, 270);
    return TRUE;
}

void* __stdcall DockletLoadGDIPlusImage(char* szImage) {
    Log("DockletLoadGDIPlusImage(\"%s\")", szImage ? szImage : "");
    if (!szImage) return nullptr;
    wchar_t szPath[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, szImage, -1, szPath, MAX_PATH);
    GpImage* pImage = nullptr;
    if (GdipLoadImageFromFile(szPath, &pImage) != Gdiplus::Ok) return nullptr;
    return pImage;
}

void __stdcall DockletLockMouseEffect(HWND hwnd, BOOL bLock) {
    ScopedLock lock(g_lock);
    Icon* p = FindIcon(hwnd);
    if (!p) return;
    p->lockDepth += bLock ? 1 : -1;
    Log("DockletLockMouseEffect(%d, %d)", p->index, bLock);
}

void __stdcall DockletDoAttentionAnimation(HWND hwnd) {
    ScopedLock lock(g_lock);
    Icon* p = FindIcon(hwnd);
    if (!p) return;
    ++p->attention;
    Log("DockletDoAttentionAnimation(%d)", p->index);
}

void __stdcall DockletGetRootFolder(HWND, char* szFolder) {
    if (szFolder) lstrcpynA(szFolder, g_root.c_str(), MAX_PATH);
}

void __stdcall DockletGetRelativeFolder(HWND, char* szFolder) {
    if (szFolder) lstrcpynA(szFolder, g_opt.relativeFolder.c_str(), MAX_PATH);
}

void __stdcall DockletRemoveSelf(HWND hwnd, WPARAM) {
    ScopedLock lock(g_lock);
    Icon* p = FindIcon(hwnd);
    if (!p) return;
    p->removed = true;
    Log("DockletRemoveSelf(%d)", p->index);
    PostMessageW(hwnd, WM_HOST_REMOVE, 0, 0);
}

}  // extern "C"

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    if (!ParseArgs(argc, argv)) return 2;
    for (const std::string& name : g_opt.without) HideExport(name);

    char szExe[MAX_PATH];
    GetModuleFileNameA(nullptr, szExe, MAX_PATH);
    g_root = szExe;
    g_root.erase(g_root.find_last_of('\\') + 1);
    std::string rel = g_opt.relativeFolder;
    if (rel.rfind(".\\", 0) == 0) rel.erase(0, 2);
    std::string dllPath = g_root + rel + "quillmere.dll";

    ULONG_PTR gdiplusToken = 0;
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&gdiplusToken, &input, nullptr);
    OleInitialize(nullptr);

    g_hDocklet = LoadLibraryA(dllPath.c_str());
    if (!g_hDocklet) {
        fprintf(stderr, "dockhost: cannot load %s (%lu)\n", dllPath.c_str(), GetLastError());
        return 1;
    }
    // With --log, each timer the docklet sets is logged with its period.
    if (g_opt.log)
        WatchModuleTimers(g_hDocklet, [](HWND hwnd, UINT_PTR idTimer, UINT uElapse) {
            ScopedLock lock(g_lock);
            Icon* p = FindIcon(hwnd);
            Log("SetTimer(%d, %lu, %u ms)", p ? p->index : -1, static_cast<unsigned long>(idTimer), uElapse);
        });
    if (!Resolve(g_entry.OnCreate, "OnCreate") || !Resolve(g_entry.OnDestroy, "OnDestroy") ||
        !Resolve(g_entry.OnSave, "OnSave") || !Resolve(g_entry.OnProcessMessage, "OnProcessMessage") ||
        !Resolve(g_entry.OnLeftButtonClick, "OnLeftButtonClick") ||
        !Resolve(g_entry.OnRightButtonClick, "OnRightButtonClick") || !Resolve(g_entry.OnConfigure, "OnConfigure") ||
        !Resolve(g_entry.OnAbout, "OnAbout"))
        return 1;

    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = IconWndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_HAND);
    wc.lpszClassName = L"DockhostIcon";
    RegisterClassExW(&wc);

    bool scripted = g_opt.untilRefreshed || g_opt.seconds >= 0 || g_opt.click || g_opt.soak;
    for (size_t i = 0; i < g_opt.sections.size(); ++i) {
        auto* p = new Icon();
        p->index = static_cast<int>(i);
        p->section = g_opt.sections[i];
        wchar_t szTitle[300];
        swprintf(szTitle, 300, L"dockhost - %hs", p->section.c_str());
        p->hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, L"DockhostIcon", szTitle, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                                  40 + static_cast<int>(i) * (c_iCellW + 10), 40, c_iCellW, c_iCellH + 30, nullptr,
                                  nullptr, wc.hInstance, nullptr);
        {
            ScopedLock lock(g_lock);
            g_icons.push_back(p);
        }
        char* ini = g_opt.ini.empty() ? nullptr : const_cast<char*>(g_opt.ini.c_str());
        char* section = g_opt.ini.empty() ? nullptr : const_cast<char*>(p->section.c_str());
        _DOCKLET_DATA* pData = g_entry.OnCreate(p->hwnd, g_hDocklet, ini, section);
        Log("OnCreate(%d) -> %s", p->index, pData ? "instance" : "null");
        {
            ScopedLock lock(g_lock);
            p->pData = pData;
        }
        if (!scripted) ShowWindow(p->hwnd, SW_SHOWNOACTIVATE);
    }

    if (!scripted) {
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    } else {
        if (g_opt.untilRefreshed || g_opt.click || g_opt.soak) {
            PumpFor(60000, [] { return AllRefreshed(); });
            PumpFor(100, [] { return false; });
        }
        Icon* clicked = g_icons.empty() ? nullptr : g_icons[0];
        if (g_opt.soak && clicked && clicked->pData) Soak(clicked, g_opt.soak);
        if (g_opt.click && clicked && clicked->pData) {
            // The timer fires inside whatever modal loop of the docklet is running then.
            if (g_opt.destroyAfterMs > 0)
                SetTimer(clicked->hwnd, c_idDestroyTimer, static_cast<UINT>(g_opt.destroyAfterMs), nullptr);
            ScriptedClick(clicked, g_opt.click, g_opt.choose);
            if (!g_hScriptMenu) Print("menu: (no menu opened)\n");
            // Let what was chosen run its course (a refresh, a page).
            PumpFor(100, [] { return false; });
            if (g_opt.untilRefreshed) PumpFor(60000, [] { return AllRefreshed(); });
            PumpFor(100, [] { return false; });
        }
        if (g_opt.seconds > 0) PumpFor(static_cast<DWORD>(g_opt.seconds * 1000), [] { return false; });
        // A destruction on cue comes even when the click's work ended sooner; then what
        // the docklet left posted runs out before the dock exits.
        if (g_opt.destroyAfterMs > 0) {
            PumpFor(static_cast<DWORD>(g_opt.destroyAfterMs) + 5000, [] { return g_bDestroyed; });
            PumpFor(10000, [] { return HIWORD(GetQueueStatus(QS_ALLINPUT)) == 0; });
        }
    }

    // Reports and snapshots of the first icon, then save and destroy.
    Icon* first = g_icons.empty() ? nullptr : g_icons[0];
    int rc = g_bChooseFailed ? 3 : 0;
    for (size_t i = g_iNextPress; i < g_opt.presses.size(); ++i) {
        Print(("press: " + g_opt.presses[i] + " was not found\n").c_str());
        rc = 3;
    }
    if (first) {
        ScopedLock lock(g_lock);
        if (g_opt.label) {
            Print(("label: " + first->label + "\n").c_str());
        }
        if (!g_opt.overlayPng.empty()) {
            GdipBitmapPtr bmp(ComposeIcon(first, 256, false));
            if (!bmp || !SavePng(bmp.get(), g_opt.overlayPng)) rc = 1;
        }
        if (!g_opt.iconPng.empty()) {
            GdipBitmapPtr bmp(ComposeIcon(first, 256, true));
            if (!bmp || !SavePng(bmp.get(), g_opt.iconPng)) rc = 1;
        }
    }
    for (Icon* p : g_icons) {
        DestroyIcon(p, g_opt.save);
        if (p->hwnd) DestroyWindow(p->hwnd);
        DisposeOverlay(p);
        delete p;
    }
    g_icons.clear();
    FreeDocklet();
    OleUninitialize();
    Gdiplus::GdiplusShutdown(gdiplusToken);
    return rc;
}
