#include "icons.h"
#include <commdlg.h>
#include "console.h"
#include "core/gdiplus.h"
#include "hostcalls.h"
#include "loader.h"
#include "options.h"
#include "refreshwatch.h"
#include "script.h"

using namespace qm;

std::vector<Icon*> g_icons;

namespace {

const int c_iCellW = 160, c_iCellH = 180;
const UINT WM_HOST_REMOVE = WM_APP + 1;
const wchar_t c_szIconClass[] = L"DockhostIcon";
bool g_bDestroyed = false;
std::string g_root;

Icon* FindIcon(HWND hwnd) {
    for (Icon* p : g_icons)
        if (p->hwnd == hwnd) return p;
    return nullptr;
}

// The dock's log of the host calls, and what it does on them: the icon is painted again,
// a docklet that removes itself has its icon removed once the call has returned.
void OnHostCall(const HostCall& call) {
    NoteDrawing(call);
    const Icon* p = FindIcon(call.hwnd);
    if (!p) {
        Log("%s(%s)", call.name.c_str(), call.args.c_str());
        return;
    }
    Log("%s(%d%s%s)", call.name.c_str(), p->index, call.args.empty() ? "" : ", ", call.args.c_str());
    if (call.name == "DockletRemoveSelf")
        PostMessageW(call.hwnd, WM_HOST_REMOVE, 0, 0);
    else
        InvalidateRect(call.hwnd, nullptr, FALSE);
}

// The dock's image browser, a file dialog starting in the folder the docklet names.
BOOL BrowseForImage(HWND hwndOwner, char* szImage, const char* szRelativeRoot) {
    char szFile[270];
    lstrcpynA(szFile, szImage, sizeof(szFile));
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = hwndOwner;
    ofn.lpstrFilter = "Images (*.png;*.ico;*.bmp;*.jpg;*.gif)\0*.png;*.ico;*.bmp;*.jpg;*.jpeg;*.gif\0All files\0*.*\0";
    ofn.lpstrFile = szFile;
    ofn.nMaxFile = sizeof(szFile);
    std::string initial = szRelativeRoot;
    if (initial.rfind(".\\", 0) == 0) initial = g_root + initial.substr(2);
    if (!initial.empty()) ofn.lpstrInitialDir = initial.c_str();
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameA(&ofn)) return FALSE;
    lstrcpynA(szImage, szFile, 270);
    return TRUE;
}

// Draws the base image and the overlay over it into a size x size ARGB bitmap.
GpBitmap* ComposeIcon(HWND hwnd, int size, bool bWithBase) {
    GdipBitmapPtr bitmap;
    if (GdipCreateBitmapFromScan0(size, size, 0, PixelFormat32bppARGB, nullptr, bitmap.put()) != Gdiplus::Ok)
        return nullptr;
    GdipGraphicsPtr g;
    if (GdipGetImageGraphicsContext(bitmap.get(), g.put()) != Gdiplus::Ok) return nullptr;
    GdipSetInterpolationMode(g.get(), Gdiplus::InterpolationModeHighQualityBicubic);
    GdipGraphicsClear(g.get(), 0);
    // The overlay may be replaced from another thread: it is drawn under the host's lock.
    WithHostIcon(hwnd, [&](const HostIcon& icon) {
        if (bWithBase && !icon.imageFile.empty()) {
            GdipImagePtr base;
            if (GdipLoadImageFromFile(Wide(icon.imageFile).c_str(), base.put()) == Gdiplus::Ok)
                GdipDrawImageRectI(g.get(), base.get(), 0, 0, size, size);
        }
        if (icon.pOverlay) GdipDrawImageRectI(g.get(), static_cast<GpImage*>(icon.pOverlay), 0, 0, size, size);
    });
    return bitmap.release();
}

void PaintIcon(HWND hwnd, HDC hdc) {
    RECT rc;
    GetClientRect(hwnd, &rc);
    FillRect(hdc, &rc, static_cast<HBRUSH>(GetStockObject(DKGRAY_BRUSH)));
    GdipBitmapPtr composed(ComposeIcon(hwnd, c_iIconSize, true));
    GdipGraphicsPtr g;
    if (composed && GdipCreateFromHDC(hdc, g.put()) == Gdiplus::Ok)
        GdipDrawImageRectI(g.get(), composed.get(), (rc.right - c_iIconSize) / 2, 8, c_iIconSize, c_iIconSize);
    std::string label;
    WithHostIcon(hwnd, [&](const HostIcon& icon) { label = icon.label; });
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, RGB(255, 255, 255));
    RECT rcText = {4, c_iIconSize + 14, rc.right - 4, rc.bottom - 4};
    DrawTextA(hdc, label.c_str(), -1, &rcText, DT_CENTER | DT_WORDBREAK | DT_END_ELLIPSIS | DT_NOPREFIX);
}

void Click(Icon* p, UINT uMsg, LPARAM lParam) {
    POINT pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    SIZE size = {c_iIconSize, c_iIconSize};
    if (uMsg == WM_LBUTTONUP)
        g_docklet.OnLeftButtonClick(p->pData, &pt, &size);
    else
        g_docklet.OnRightButtonClick(p->pData, &pt, &size);
}

LRESULT CALLBACK IconWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    Icon* p = FindIcon(hwnd);
    switch (uMsg) {
    case WM_PAINT: {
        PaintDC dc(hwnd);
        PaintIcon(hwnd, dc.get());
        return 0;
    }
    case WM_INITMENUPOPUP:
        // A popup of the icon's menus: the scripted user drives the first one.
        if (!HIWORD(lParam)) NoteMenuOpened(reinterpret_cast<HMENU>(wParam));
        return 0;
    case WM_TIMER:
        // The docklet's timers on its icon reach it as the dock passes them on.
        if (p && p->pData) g_docklet.OnProcessMessage(p->pData, hwnd, uMsg, wParam, lParam);
        return 0;
    case WM_RBUTTONUP:
        // The dock's own menu: Shift+right click, or a right click on the label.
        if (p && p->pData && (GetKeyState(VK_SHIFT) < 0 || static_cast<short>(HIWORD(lParam)) > c_iIconSize + 8)) {
            ShowDockMenu(p);
            return 0;
        }
        [[fallthrough]];
    case WM_LBUTTONUP:
        if (p && p->pData) Click(p, uMsg, lParam);
        return 0;
    case WM_HOST_REMOVE:
    case WM_CLOSE:
        // Closing the window is the user removing the icon: its settings are saved.
        if (p) DestroyIcon(p, uMsg == WM_CLOSE);
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY: {
        ForgetHostIcon(hwnd);
        if (p) p->bWindow = false;
        bool bAny = false;
        for (const Icon* q : g_icons) bAny = bAny || q->bWindow;
        if (!bAny) PostQuitMessage(0);
        return 0;
    }
    }
    return DefWindowProcW(hwnd, uMsg, wParam, lParam);
}

}  // namespace

void PrepareIcons(const std::string& root, bool bBrowseDialog) {
    g_root = root;
    SetHostFolders(root, g_opt.relativeFolder);
    SetHostBrowseResult(g_opt.browseResult);
    if (bBrowseDialog) SetHostBrowseHandler(BrowseForImage);
    // The dock logs the calls instead of keeping them, so long runs do not grow.
    KeepHostCalls(false);
    SetHostCallObserver(OnHostCall);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = IconWndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_HAND);
    wc.lpszClassName = c_szIconClass;
    RegisterClassExW(&wc);
}

void CreateIcons(bool bShow) {
    // Every icon first, so the list no longer changes once the docklet's threads run.
    for (size_t i = 0; i < g_opt.sections.size(); ++i) {
        auto* p = new Icon();
        p->index = static_cast<int>(i);
        p->section = g_opt.sections[i];
        std::wstring title = L"dockhost - " + Wide(p->section);
        int x = 40 + static_cast<int>(i) * (c_iCellW + 10);
        p->hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, c_szIconClass, title.c_str(), WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                                  x, 40, c_iCellW, c_iCellH + 30, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        p->bWindow = p->hwnd != nullptr;
        g_icons.push_back(p);
    }
    for (Icon* p : g_icons) {
        char* szIni = g_opt.ini.empty() ? nullptr : const_cast<char*>(g_opt.ini.c_str());
        char* szSection = g_opt.ini.empty() ? nullptr : const_cast<char*>(p->section.c_str());
        p->pData = g_docklet.OnCreate(p->hwnd, g_docklet.hModule, szIni, szSection);
        Log("OnCreate(%d) -> %s", p->index, p->pData ? "instance" : "null");
        if (bShow) ShowWindow(p->hwnd, SW_SHOWNOACTIVATE);
    }
}

void DestroyIcon(Icon* p, bool bSave) {
    if (!p->pData) return;
    if (bSave && !g_opt.ini.empty()) {
        g_docklet.OnSave(p->pData, const_cast<char*>(g_opt.ini.c_str()), const_cast<char*>(p->section.c_str()), FALSE);
        Log("OnSave(%d)", p->index);
    }
    _DOCKLET_DATA* pData = p->pData;
    p->pData = nullptr;
    g_docklet.OnDestroy(pData, p->hwnd);
    Log("OnDestroy(%d)", p->index);
}

void DestroyAllIcons() {
    for (Icon* p : g_icons) DestroyIcon(p, false);
    g_bDestroyed = true;
    Print("destroyed\n");
}

bool AllIconsDestroyed() {
    return g_bDestroyed;
}

void FreeIcons(bool bSave) {
    for (Icon* p : g_icons) {
        DestroyIcon(p, bSave);
        if (p->bWindow) DestroyWindow(p->hwnd);
    }
    for (Icon* p : g_icons) delete p;
    g_icons.clear();
}

void ShowDockMenu(Icon* p) {
    enum { ID_SETTINGS = 1, ID_ABOUT = 2 };
    UniqueMenu menu(CreatePopupMenu());
    if (!menu) return;
    AppendMenuW(menu.get(), MF_STRING, ID_SETTINGS, L"Settings");
    AppendMenuW(menu.get(), MF_STRING, ID_ABOUT, L"About");
    POINT pt;
    GetCursorPos(&pt);
    SetForegroundWindow(p->hwnd);
    int id = TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, pt.x, pt.y, 0, p->hwnd, nullptr);
    if (!p->pData) return;
    if (id == ID_SETTINGS) {
        Log("OnConfigure(%d)", p->index);
        g_docklet.OnConfigure(p->pData);
    } else if (id == ID_ABOUT) {
        Log("OnAbout(%d)", p->index);
        g_docklet.OnAbout(p->pData);
    }
}

bool SaveIconPng(const Icon* p, int size, bool bWithBase, const std::string& path) {
    GdipBitmapPtr bitmap(ComposeIcon(p->hwnd, size, bWithBase));
    return bitmap && GdipSaveImageToFile(bitmap.get(), Wide(path).c_str(), &PngEncoderClsid(), nullptr) == Gdiplus::Ok;
}

std::string IconLabel(const Icon* p) {
    std::string label;
    WithHostIcon(p->hwnd, [&](const HostIcon& icon) { label = icon.label; });
    return label;
}

int IconIndex(HWND hwnd) {
    const Icon* p = FindIcon(hwnd);
    return p ? p->index : -1;
}

bool AnyIconBusy() {
    for (const Icon* p : g_icons)
        if (p->bWindow && IsBusyLabel(IconLabel(p))) return true;
    return false;
}
