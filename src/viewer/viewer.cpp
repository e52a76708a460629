#include "viewer/viewer.h"
#include <exdisp.h>
#include <cwchar>
#include <new>
#include "core/record.h"
#include "feed/parser.h"
#include "feed/title.h"
#include "presentation/icon.h"
#include "resources/viewer_ids.h"
#include "viewer/axhost.h"
#include "viewer/browserevents.h"
#include "viewer/pages.h"

namespace {

const wchar_t c_szDataProp[] = L"lpData";
const wchar_t c_szIconProp[] = L"qmViewerIcon";
const wchar_t c_szEventsProp[] = L"qmViewerEvents";

_DOCKLET_DATA* ViewerData(HWND hDlg) {
    return static_cast<_DOCKLET_DATA*>(GetPropW(hDlg, c_szDataProp));
}

void RecordPlacement(HWND hDlg, _DOCKLET_DATA* pData) {
    RECT rc;
    if (!GetWindowRect(hDlg, &rc)) return;
    pData->iPosX = rc.left;
    pData->iPosY = rc.top;
    pData->iWidth = rc.right - rc.left;
    pData->iHeight = rc.bottom - rc.top;
}

void LayoutControls(HWND hDlg) {
    RECT rc;
    GetClientRect(hDlg, &rc);
    const int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
    if (HWND hwndBrowser = GetDlgItem(hDlg, IDC_BROWSER)) {
        MoveWindow(hwndBrowser, 0, 0, cx, cy - 32, TRUE);
        ShowWindow(hwndBrowser, SW_SHOW);
    }
    if (HWND hwndOk = GetDlgItem(hDlg, IDOK)) {
        MoveWindow(hwndOk, cx - 80, cy - 27, 75, 23, TRUE);
        ShowWindow(hwndOk, SW_SHOW);
    }
}

// Ends this viewer's part in the instance: records the placement (unless it was closed
// by minimising), stops the page thread, destroys the browser control while the
// instance's OLE and window class are still there (and before the page it may hold
// open is deleted), deletes the page file and lets go of the instance. Idempotent: the
// second call finds no "lpData".
void DetachViewer(HWND hDlg, bool bRecordPlacement) {
    _DOCKLET_DATA* pData = ViewerData(hDlg);
    if (!pData) return;
    if (bRecordPlacement) RecordPlacement(hDlg, pData);
    RemovePropW(hDlg, c_szDataProp);

    DockletWorker page;
    {
        qm::ScopedLock lock(pData->csState);
        CancelWorker(pData->hPageThread);
        page = std::move(pData->hPageThread);
        if (pData->hwndViewer == hDlg) pData->hwndViewer = nullptr;
    }
    if (page.hThread) {
        // The thread may still be sending to this window; the join answers those sends.
        JoinWorker(page, GetTickCount() + VIEWER_PAGE_THREAD_WAIT_MS);
        InterlockedExchange(&pData->bLoadingPage, 0);
        if (!IsStopping(pData)) UpdateDockDisplay(pData);
    }
    DisconnectBrowserEvents(static_cast<BrowserEventSink*>(RemovePropW(hDlg, c_szEventsProp)));
    if (HWND hwndBrowser = GetDlgItem(hDlg, IDC_BROWSER)) DestroyWindow(hwndBrowser);
    qm::UniqueOwnedFile pageFile;
    {
        qm::ScopedLock lock(pData->csState);
        pageFile = std::move(pData->pszPageFile);
    }
}

void CloseViewer(HWND hDlg, bool bRecordPlacement) {
    DetachViewer(hDlg, bRecordPlacement);
    EndDialog(hDlg, 2);
}

// Navigates the browser control to the page, on this (the control's) thread.
void NavigateToPage(HWND hDlg, _DOCKLET_DATA* pData) {
    wchar_t szPath[PAGE_PATH_MAX + 1] = {};
    {
        qm::ScopedLock lock(pData->csState);
        if (!pData->pszPageFile) return;
        CopyText(szPath, PAGE_PATH_MAX + 1, pData->pszPageFile.get());
    }
    WIN32_FIND_DATAW fd;
    HANDLE hFind = FindFirstFileExW(szPath, FindExInfoStandard, &fd, FindExSearchNameMatch, nullptr, 0);
    if (hFind == INVALID_HANDLE_VALUE) return;
    FindClose(hFind);
    qm::ComPtr<IWebBrowser2> pBrowser;
    SendDlgItemMessageW(hDlg, IDC_BROWSER, AXM_QUERYINTERFACE, reinterpret_cast<WPARAM>(&IID_IWebBrowser2),
                        reinterpret_cast<LPARAM>(pBrowser.put_void()));
    if (!pBrowser) return;
    AllowBrowserPage(static_cast<BrowserEventSink*>(GetPropW(hDlg, c_szEventsProp)), szPath);
    qm::UniqueBstr bstrUrl(SysAllocString(szPath));
    if (!bstrUrl) return;
    pBrowser->Navigate(bstrUrl.get(), nullptr, nullptr, nullptr, nullptr);
}

void OnInitDialog(HWND hDlg, _DOCKLET_DATA* pData) {
    SetPropW(hDlg, c_szDataProp, pData);
    pData->hwndViewer = hDlg;

    HICON hIcon = nullptr;
    {
        qm::WindowDC dc(pData->hwndDocklet);
        CreateIconFromBitmap(dc.get(), pData->hMenuBitmap.get(), GetSysColor(COLOR_MENU), &hIcon);
    }
    if (hIcon) {
        SetPropW(hDlg, c_szIconProp, hIcon);
        SendMessageW(hDlg, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(hIcon));
        SendMessageW(hDlg, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(hIcon));
    }

    if (pData->bSavePos == 1)
        SetWindowPos(hDlg, nullptr, pData->iPosX, pData->iPosY, pData->iWidth, pData->iHeight,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    else
        CenterWindow(hDlg, 1, VIEWER_MIN_WIDTH, VIEWER_MIN_HEIGHT);

    // Navigation stays on the page: the listener is in place before anything navigates.
    if (BrowserEventSink* pSink = ConnectBrowserEvents(GetDlgItem(hDlg, IDC_BROWSER), hDlg))
        SetPropW(hDlg, c_szEventsProp, pSink);

    // The handles are stored before the thread can look for them.
    qm::ScopedLock lock(pData->csState);
    StartWorker(pData, pData->hPageThread, [](_DOCKLET_DATA* p, HANDLE hCancel) { PageThreadProc(p, hCancel); });
}

void OnDestroy(HWND hDlg) {
    // Not closed through CloseViewer (the dialog destroyed some other way): let go now.
    DetachViewer(hDlg, true);
    if (HICON hIcon = static_cast<HICON>(RemovePropW(hDlg, c_szIconProp))) {
        SendMessageW(hDlg, WM_SETICON, ICON_BIG, 0);
        SendMessageW(hDlg, WM_SETICON, ICON_SMALL, 0);
        DestroyIcon(hIcon);
    }
}

// The texts the page needs, copied under the items lock so a refresh can replace the
// instance's records while the page is written.
struct PageSource {
    HWND hwndViewer = nullptr;
    int iViewMode = 0;
    bool bCaption = false;
    wchar_t szCaption[501] = {};
    FeedItemList items;  // owned copies

    ~PageSource() { FreeFeedItems(items); }
    void AddCopy(const _RSSFEED_DATA* pItem) {
        _RSSFEED_DATA* pCopy = CopyFeedItem(pItem);
        try {
            items.Add(pCopy);
        } catch (...) {
            FreeFeedItem(pCopy);
            throw;
        }
    }
};

// Reads what to show; false when the view mode asks for an item and there is none.
// Called under csState.
bool ReadPageSource(_DOCKLET_DATA* pData, PageSource& source) {
    source.hwndViewer = pData->hwndViewer;
    source.iViewMode = pData->iViewMode;
    if (source.iViewMode == 1 && pData->iCurrentItem == -1) return false;
    if (source.iViewMode == 0) {
        if (pData->iCurrentProfile < 0 || static_cast<unsigned int>(pData->iCurrentProfile) >= pData->profiles.GetCount())
            return true;
        DisplayTextFromTitle(source.szCaption, 501, pData->profiles.GetAt(pData->iCurrentProfile)->szTitle);
        source.bCaption = true;
        for (unsigned int i = 0; i < pData->items.GetCount(); ++i) source.AddCopy(pData->items.GetAt(i));
    } else if (source.iViewMode == 1) {
        if (pData->iCurrentItem < 0 || static_cast<unsigned int>(pData->iCurrentItem) >= pData->items.GetCount())
            return true;
        const _RSSFEED_DATA* pItem = pData->items.GetAt(pData->iCurrentItem);
        DisplayTextFromTitle(source.szCaption, 501, pItem->szTitle);
        source.bCaption = true;
        source.AddCopy(pItem);
    }
    return true;
}

bool StillOwned(_DOCKLET_DATA* pData, HANDLE hCancel) {
    qm::ScopedLock lock(pData->csState);
    return !ShouldStop(pData, hCancel);
}

}  // namespace

DWORD PageThreadProc(_DOCKLET_DATA* pData, HANDLE hCancel) {
    if (!pData) return 1;
    PageSource source;
    {
        qm::ScopedLock lock(pData->csState);
        if (ShouldStop(pData, hCancel)) return 0;
        bool bShow;
        try {
            bShow = ReadPageSource(pData, source);
        } catch (...) {
            bShow = false;
        }
        if (!bShow) return 1;
    }

    InterlockedExchange(&pData->bLoadingPage, 1);
    UpdateDockDisplay(pData);

    qm::UniqueOwnedFile page;
    if (StillOwned(pData, hCancel)) {
        // Window work happens on the viewer's thread through these sends.
        SendDlgItemMessageW(source.hwndViewer, IDC_BROWSER, AXM_INPLACE, 1, 0);
        if (source.bCaption) SetWindowTextW(source.hwndViewer, source.szCaption);
        try {
            wchar_t* pszPage = nullptr;
            BOOL bWritten = FALSE;
            if (source.bCaption && source.iViewMode == 0)
                bWritten = WriteAllItemsPage(source.items, &pszPage);
            else if (source.bCaption && source.iViewMode == 1)
                bWritten = WriteItemPage(source.items.GetAt(0), &pszPage);
            if (bWritten) page.reset(pszPage);
        } catch (...) {
        }
    }

    bool bOwned = false;
    {
        qm::ScopedLock lock(pData->csState);
        if (!ShouldStop(pData, hCancel)) {
            bOwned = true;
            if (page) {
                // The page replaces (and deletes) one shown before.
                pData->pszPageFile = std::move(page);
                PostMessageW(source.hwndViewer, WM_QM_NAVIGATE, 0, 0);
            }
            InterlockedExchange(&pData->bLoadingPage, 0);
        }
    }
    // A viewer that closed meanwhile never receives the page; it is deleted here.
    if (bOwned) UpdateDockDisplay(pData);
    return 0;
}

INT_PTR CALLBACK ViewerDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_INITDIALOG) {
        auto* pData = reinterpret_cast<_DOCKLET_DATA*>(lParam);
        if (pData) OnInitDialog(hDlg, pData);
        return FALSE;
    }
    _DOCKLET_DATA* pData = ViewerData(hDlg);
    switch (uMsg) {
    case WM_GETMINMAXINFO: {
        auto* pInfo = reinterpret_cast<MINMAXINFO*>(lParam);
        pInfo->ptMinTrackSize.x = VIEWER_MIN_WIDTH;
        pInfo->ptMinTrackSize.y = VIEWER_MIN_HEIGHT;
        return FALSE;
    }
    case WM_SIZE:
        if (!pData) return FALSE;
        if (wParam == SIZE_MINIMIZED) {
            // Minimising closes the viewer; the minimised rectangle is not recorded.
            CloseViewer(hDlg, false);
            return TRUE;
        }
        LayoutControls(hDlg);
        RecordPlacement(hDlg, pData);
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            CloseViewer(hDlg, true);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        CloseViewer(hDlg, true);
        return FALSE;
    case WM_QM_NAVIGATE:
        if (pData) NavigateToPage(hDlg, pData);
        return TRUE;
    case WM_DESTROY:
        OnDestroy(hDlg);
        return FALSE;
    }
    return FALSE;
}

BOOL CenterWindow(HWND hwnd, int iMode, int iWidth, int iHeight) {
    if (!hwnd) return FALSE;
    const int cxScreen = GetSystemMetrics(SM_CXSCREEN), cyScreen = GetSystemMetrics(SM_CYSCREEN);
    if (iWidth > 0 && iHeight > 0)
        SetWindowPos(hwnd, nullptr, 0, 0, iWidth, iHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT rc;
    GetWindowRect(hwnd, &rc);
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    int x, y;
    if (iMode == 1) {
        x = (cxScreen - w) / 2;
        y = (cyScreen - h) / 2;
    } else {
        RECT rcParent = {};
        GetWindowRect(GetParent(hwnd), &rcParent);
        x = (rcParent.right - rcParent.left - w) / 2 + rcParent.left;
        y = (rcParent.bottom - rcParent.top - h) / 2 + rcParent.top;
    }
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    if (x + w > cxScreen) x = cxScreen - w;
    if (y + h > cyScreen) y = cyScreen - h;
    SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return TRUE;
}
