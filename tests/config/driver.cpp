#include "config/driver.h"
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <memory>
#include "core/gdiplus.h"
#include "support/testhost.h"

namespace {

struct Script {
    std::vector<Step> steps;
    size_t next = 0;
    DWORD dwStart = 0;
    DWORD dwTimeout = 0;
    bool bTimedOut = false;
};
Script* g_pScript = nullptr;

BOOL CALLBACK CancelWindow(HWND hwnd, LPARAM) {
    wchar_t szClass[64];
    GetClassNameW(hwnd, szClass, 64);
    if (wcscmp(szClass, L"#32770") == 0 && IsWindowVisible(hwnd)) {
        // A property sheet takes its Cancel through PSM_PRESSBUTTON, a dialog through
        // IDCANCEL.
        PostMessageW(hwnd, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
    }
    return TRUE;
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    Script* p = g_pScript;
    if (!p) return;
    if (GetTickCount() - p->dwStart > p->dwTimeout) {
        p->bTimedOut = true;
        EnumThreadWindows(GetCurrentThreadId(), CancelWindow, 0);
        return;
    }
    if (p->next >= p->steps.size()) return;
    size_t i = p->next++;
    // A step may open a modal dialog; the next steps then run from its loop.
    bool bDone = p->steps[i]();
    if (!bDone && p->next == i + 1) p->next = i;
}

struct FindContext {
    const wchar_t* szCaption;
    HWND hFound;
};

BOOL CALLBACK FindByCaption(HWND hwnd, LPARAM lParam) {
    auto* pCtx = reinterpret_cast<FindContext*>(lParam);
    if (!IsWindowVisible(hwnd)) return TRUE;
    wchar_t szClass[64];
    GetClassNameW(hwnd, szClass, 64);
    if (wcscmp(szClass, L"#32770") != 0) return TRUE;
    if (pCtx->szCaption) {
        wchar_t sz[256];
        GetWindowTextW(hwnd, sz, 256);
        if (wcscmp(sz, pCtx->szCaption) != 0) return TRUE;
    } else if (!IsWindowEnabled(hwnd)) {
        return TRUE;
    }
    pCtx->hFound = hwnd;
    return FALSE;
}

}  // namespace

bool RunScript(const std::vector<Step>& steps, const std::function<void()>& open, DWORD dwTimeout) {
    Script script;
    script.steps = steps;
    script.dwStart = GetTickCount();
    script.dwTimeout = dwTimeout;
    Script* pOuter = g_pScript;
    g_pScript = &script;
    UINT_PTR id = SetTimer(nullptr, 0, 30, Tick);
    open();
    // Steps after the dialog closed (waiting for it to be gone) run from here.
    PumpUntil([&] { return script.bTimedOut || script.next >= script.steps.size(); }, 2 * dwTimeout);
    KillTimer(nullptr, id);
    g_pScript = pOuter;
    return !script.bTimedOut && script.next == script.steps.size();
}

HWND FindDialog(const wchar_t* szCaption) {
    FindContext ctx = {szCaption, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindByCaption, reinterpret_cast<LPARAM>(&ctx));
    return ctx.hFound;
}

HWND TopDialog() {
    return FindDialog(nullptr);
}

HWND SheetPage(HWND hSheet, int iIndex) {
    return reinterpret_cast<HWND>(SendMessageW(hSheet, PSM_INDEXTOHWND, iIndex, 0));
}

void SelectTab(HWND hSheet, int iIndex) {
    SendMessageW(hSheet, PSM_SETCURSEL, iIndex, 0);
}

void Click(HWND hDlg, int iControl) {
    SendMessageW(GetDlgItem(hDlg, iControl), BM_CLICK, 0, 0);
}

void PostClick(HWND hDlg, int iControl) {
    PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(iControl, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(hDlg, iControl)));
}

std::wstring ControlText(HWND hDlg, int iControl) {
    wchar_t sz[2100];
    GetDlgItemTextW(hDlg, iControl, sz, 2100);
    return sz;
}

bool IsChecked(HWND hDlg, int iControl) {
    return IsDlgButtonChecked(hDlg, iControl) == BST_CHECKED;
}

bool IsEnabled(HWND hDlg, int iControl) {
    return IsWindowEnabled(GetDlgItem(hDlg, iControl)) != FALSE;
}

void AnswerFileDialog(HWND hDlg, const std::wstring& path) {
    // The Explorer-style dialog names its file field cmb13 (an editable combo box) or
    // edt1, depending on the template.
    for (int id : {0x47C, 0x480})
        if (GetDlgItem(hDlg, id)) SetDlgItemTextW(hDlg, id, path.c_str());
    PostMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(hDlg, IDOK)));
}

bool SaveWindowPng(HWND hwnd, const std::wstring& path) {
    // The client area only: without a window manager on the test display nobody draws
    // the frames.
    RECT rc;
    GetClientRect(hwnd, &rc);
    MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&rc), 2);
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    HDC hdcScreen = GetDC(nullptr);
    HDC hdcMem = CreateCompatibleDC(hdcScreen);
    HBITMAP hbm = CreateCompatibleBitmap(hdcScreen, w, h);
    HGDIOBJ old = SelectObject(hdcMem, hbm);
    BitBlt(hdcMem, 0, 0, w, h, hdcScreen, rc.left, rc.top, SRCCOPY);
    SelectObject(hdcMem, old);
    bool ok = false;
    qm::GpBitmap* pBitmap = nullptr;
    if (qm::GdipCreateBitmapFromHBITMAP(hbm, nullptr, &pBitmap) == Gdiplus::Ok) {
        ok = qm::GdipSaveImageToFile(pBitmap, path.c_str(), &qm::PngEncoderClsid(), nullptr) == Gdiplus::Ok;
        qm::GdipDisposeImage(pBitmap);
    }
    DeleteObject(hbm);
    DeleteDC(hdcMem);
    ReleaseDC(nullptr, hdcScreen);
    return ok;
}

Step SaveShot(const std::function<HWND()>& window, const wchar_t* szName, bool* pSaved) {
    auto pbPainted = std::make_shared<bool>(false);
    std::wstring path = ShotPath(szName);
    return [window, path, pSaved, pbPainted] {
        HWND hwnd = window();
        if (!hwnd) return false;
        if (!*pbPainted) {
            // Painted now; the display has it once the dialog's loop has waited again,
            // which it does before the next tick.
            RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
            *pbPainted = true;
            return false;
        }
        *pbPainted = false;
        *pSaved = SaveWindowPng(hwnd, path);
        return true;
    };
}

std::wstring ShotPath(const wchar_t* szName) {
    std::string folder = TestExeFolder() + "shots\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    wchar_t sz[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, folder.c_str(), -1, sz, MAX_PATH);
    return std::wstring(sz) + szName;
}
