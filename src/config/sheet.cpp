// The settings property sheet: its placeholder dialog, the working copy it edits, the
// page protocol, and the hand-over of the copy to the live instance on OK.
#include <windows.h>
#include <commctrl.h>
#include <cwchar>
#include <new>
#include <vector>
#include "config/config.h"
#include "core/entry.h"
#include "core/host.h"
#include "core/instance.h"
#include "core/settings.h"
#include "presentation/icon.h"
#include "resources/config_ids.h"
#include "viewer/viewer.h"

namespace {

// The sheet that is open in the process. The pages keep their state in process-wide
// variables, so a second sheet would overwrite the first one's; it is refused instead
// and the open sheet is brought to the front.
bool g_bSheetOpen = false;
HWND g_hwndSheet = nullptr;

const wchar_t c_szDataProp[] = L"lpData";

bool Lists(const ProfileList& list, const _PROFILE_DATA* pProfile) {
    for (unsigned int i = 0; i < list.GetCount(); ++i)
        if (list.GetAt(i) == pProfile) return true;
    return false;
}

bool HasActiveProfile(const _DOCKLET_DATA* pData) {
    return pData->iCurrentProfile != -1 && pData->iProfileCount > 0 && pData->profiles.GetCount() != 0 &&
           static_cast<unsigned int>(pData->iCurrentProfile) < pData->profiles.GetCount();
}

void ReplaceMenuBitmap(_DOCKLET_DATA* pData, const wchar_t* szImage) {
    if (pData->hMenuBitmap) DeleteObject(pData->hMenuBitmap);
    pData->hMenuBitmap = CreateMenuBitmap(szImage);
}

void RunSheetFor(HWND hPlaceholder, _DOCKLET_DATA* pLive) {
    CenterWindow(hPlaceholder, 1, 0, 0);
    SheetContext* pContext = new (std::nothrow) SheetContext();
    if (!pContext) return;
    pContext->pLive = pLive;
    pContext->pWork = MakeWorkingCopy(pLive);
    if (pContext->pWork) {
        g_bSheetOpen = true;
        RunSettingsSheet(pLive->hInstance, hPlaceholder, pContext);
        g_bSheetOpen = false;
        g_hwndSheet = nullptr;
        if (pContext->iResult == SHEET_COMMITTED) {
            HandOverWorkingCopy(pLive, pContext);
        } else {
            // The live list is untouched; whatever the sheet made or took out goes,
            // unless the live instance still lists it.
            ReleaseSheetProfiles(pContext, pLive->profiles);
        }
        ReleaseWorkingCopy(pContext->pWork);
    }
    delete pContext;
}

}  // namespace

_DOCKLET_DATA* MakeWorkingCopy(const _DOCKLET_DATA* pLive) {
    _DOCKLET_DATA* pWork = NewDockletRecord();
    if (!pWork) return nullptr;
    try {
        CopySheetFields(pWork, pLive, true);
    } catch (...) {
        ReleaseDocklet(pWork);
        return nullptr;
    }
    return pWork;
}

void ReleaseWorkingCopy(_DOCKLET_DATA* pWork) {
    if (!pWork) return;
    // The arrays go with the record; the profile records they list are not the copy's.
    if (pWork->hMenuBitmap) DeleteObject(pWork->hMenuBitmap);
    pWork->hMenuBitmap = nullptr;
    ReleaseDocklet(pWork);
}

void CopySheetFields(_DOCKLET_DATA* pDst, const _DOCKLET_DATA* pSrc, bool bIntoCopy) {
    if (bIntoCopy) {
        pDst->hwndDocklet = pSrc->hwndDocklet;
        pDst->hInstance = pSrc->hInstance;
    }
    CopyText(pDst->szTitle, 500, pSrc->szTitle);
    pDst->iDockletInfo = pSrc->iDockletInfo;
    pDst->iLabelInfo = pSrc->iLabelInfo;

    CopyText(pDst->szFontName, 32, pSrc->szFontName);
    pDst->iFontSize = pSrc->iFontSize;
    pDst->crFontColor = pSrc->crFontColor;
    pDst->bFontAlpha = pSrc->bFontAlpha;
    pDst->crBackgroundColor = pSrc->crBackgroundColor;
    pDst->bBackgroundAlpha = pSrc->bBackgroundAlpha;
    pDst->bFramedBackground = pSrc->bFramedBackground;
    pDst->bRoundedCorners = pSrc->bRoundedCorners;

    CopyText(pDst->szImagesFolder, 270, pSrc->szImagesFolder);
    CopyText(pDst->szBackgroundImage, 270, pSrc->szBackgroundImage);
    CopyText(pDst->szMenuIcon, 270, pSrc->szMenuIcon);

    pDst->iItemAction = pSrc->iItemAction;
    pDst->bSavePos = pSrc->bSavePos;
    CopyText(pDst->szApplication, 270, pSrc->szApplication);

    pDst->iProfileCount = pSrc->iProfileCount;
    pDst->iCurrentProfile = pSrc->iCurrentProfile;
    pDst->profiles = pSrc->profiles;
}

void RetireProfile(SheetContext* pContext, _PROFILE_DATA* pProfile) {
    if (pContext && pProfile) pContext->retired.Add(pProfile);
}

void ReleaseSheetProfiles(SheetContext* pContext, const ProfileList& keep) {
    if (!pContext) return;
    std::vector<_PROFILE_DATA*> candidates;
    for (unsigned int i = 0; i < pContext->retired.GetCount(); ++i) candidates.push_back(pContext->retired.GetAt(i));
    if (pContext->pWork && &pContext->pWork->profiles != &keep)
        for (unsigned int i = 0; i < pContext->pWork->profiles.GetCount(); ++i)
            candidates.push_back(pContext->pWork->profiles.GetAt(i));
    std::vector<_PROFILE_DATA*> released;
    for (_PROFILE_DATA* pProfile : candidates) {
        if (!pProfile || Lists(keep, pProfile)) continue;
        bool bDone = false;
        for (_PROFILE_DATA* p : released) bDone = bDone || p == pProfile;
        if (bDone) continue;
        released.push_back(pProfile);
        FreeProfile(pProfile);
    }
    pContext->retired.RemoveAll();
}

// Waits (dispatching messages) for a refresh of the live instance that is under way, so
// the restored profiles are not replaced under it and their own refresh can start.
static void WaitForLiveRefresh(_DOCKLET_DATA* pLive) {
    HANDLE hThread = nullptr;
    {
        // The worker closes its own handle when it ends: wait on a duplicate.
        qm::ScopedLock lock(pLive->csState);
        if (pLive->hRefreshThread)
            DuplicateHandle(GetCurrentProcess(), pLive->hRefreshThread, GetCurrentProcess(), &hThread, SYNCHRONIZE,
                            FALSE, 0);
    }
    if (!hThread) return;
    WaitForDockletThread(hThread, 5000);
    CloseHandle(hThread);
}

void HandOverWorkingCopy(_DOCKLET_DATA* pLive, SheetContext* pContext) {
    _DOCKLET_DATA* pWork = pContext->pWork;
    if (pContext->bRestored) WaitForLiveRefresh(pLive);
    wchar_t szOldMenuIcon[270];
    CopyText(szOldMenuIcon, 270, pLive->szMenuIcon);
    {
        // A refresh worker reads the profile list and the active profile under this
        // lock; it finds either the old list or the new one, never a released record.
        qm::ScopedLock lock(pLive->csState);
        CopySheetFields(pLive, pWork, false);
        ReleaseSheetProfiles(pContext, pLive->profiles);
    }
    if (pContext->bRestored) {
        // Every setting came from a backup file: apply it as at start-up, which also
        // starts the refresh of the restored active profile.
        ApplyCurrentProfile(pLive);
    } else if (HasActiveProfile(pWork)) {
        _PROFILE_DATA* pProfile = pWork->profiles.GetAt(pWork->iCurrentProfile);
        char szImage[270];
        WideToAnsi(szImage, sizeof(szImage), pProfile->szBackgroundImage);
        HostSetImageFile(pLive->hwndDocklet, szImage);
        ReplaceMenuBitmap(pLive, pProfile->szMenuIcon);
    } else {
        char szImage[270];
        WideToAnsi(szImage, sizeof(szImage), pLive->szBackgroundImage);
        HostSetImageFile(pLive->hwndDocklet, szImage);
        if (_wcsicmp(szOldMenuIcon, pLive->szMenuIcon) != 0) ReplaceMenuBitmap(pLive, pLive->szMenuIcon);
    }
    UpdateDockDisplay(pLive);
}

int RunSettingsSheet(HINSTANCE hInstance, HWND hwndOwner, SheetContext* pContext) {
    struct PageDef {
        int iTemplate;
        const wchar_t* szTitle;
        DLGPROC pfnProc;
    };
    const PageDef pages[4] = {{IDD_GENERAL, L"General", GeneralPageProc},
                              {IDD_ICONS, L"Icons && Images", IconsPageProc},
                              {IDD_FONT, L"Docklet Font", FontPageProc},
                              {IDD_PROFILES, L"RSS Feed Profiles", ProfilesPageProc}};
    PROPSHEETPAGEW psp[4] = {};
    for (int i = 0; i < 4; ++i) {
        psp[i].dwSize = sizeof(PROPSHEETPAGEW);
        psp[i].dwFlags = PSP_USETITLE;
        psp[i].hInstance = hInstance;
        psp[i].pszTemplate = MAKEINTRESOURCEW(pages[i].iTemplate);
        psp[i].pfnDlgProc = pages[i].pfnProc;
        psp[i].pszTitle = pages[i].szTitle;
        psp[i].lParam = reinterpret_cast<LPARAM>(pContext);
    }
    PROPSHEETHEADERW psh = {};
    psh.dwSize = sizeof(psh);
    psh.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW | PSH_USECALLBACK;
    psh.hwndParent = hwndOwner;
    psh.hInstance = hInstance;
    psh.pszCaption = L"Configure Quillmere";
    psh.nPages = 4;
    psh.nStartPage = 0;
    psh.ppsp = psp;
    psh.pfnCallback = SheetCallback;
    return static_cast<int>(PropertySheetW(&psh));
}

int CALLBACK SheetCallback(HWND hwnd, UINT uMsg, LPARAM lParam) {
    if (uMsg == PSCB_PRECREATE && lParam) {
        // No context-help button in the caption: the pages offer no help.
        auto* pWords = reinterpret_cast<WORD*>(lParam);
        DWORD* pStyle = pWords[1] == 0xFFFF ? reinterpret_cast<DWORD*>(reinterpret_cast<BYTE*>(lParam) + 12)
                                           : reinterpret_cast<DWORD*>(lParam);
        *pStyle &= ~static_cast<DWORD>(DS_CONTEXTHELP);
    } else if (uMsg == PSCB_INITIALIZED) {
        g_hwndSheet = hwnd;
        CenterWindow(hwnd, 1, 0, 0);
    }
    return 0;
}

HWND OpenSettingsSheet() {
    return g_hwndSheet;
}

bool IsSettingsSheetOpen() {
    return g_bSheetOpen;
}

bool HandlePageMessage(PageState& state, HWND hPage, UINT uMsg, LPARAM lParam, PageTransfer pfnLoad,
                       PageTransfer pfnStore, bool bSetsResult, INT_PTR* pResult) {
    *pResult = 0;
    switch (uMsg) {
    case WM_INITDIALOG:
        state.pPage = reinterpret_cast<const PROPSHEETPAGEW*>(lParam);
        *pResult = TRUE;
        return true;
    case WM_DESTROY:
        state = PageState();
        return false;
    case WM_NOTIFY: {
        const auto* pHdr = reinterpret_cast<const NMHDR*>(lParam);
        switch (pHdr->code) {
        case PSN_SETACTIVE:
            state.pContext = state.pPage ? reinterpret_cast<SheetContext*>(state.pPage->lParam) : nullptr;
            if (state.pContext && pfnLoad) pfnLoad(hPage, state.pContext);
            SetWindowLongPtrW(hPage, DWLP_MSGRESULT, 0);
            *pResult = TRUE;
            return true;
        case PSN_KILLACTIVE:
            if (!state.pContext) return false;
            if (pfnStore) pfnStore(hPage, state.pContext);
            if (bSetsResult) state.pContext->iResult = SHEET_COMMITTED;
            SetWindowLongPtrW(hPage, DWLP_MSGRESULT, FALSE);
            *pResult = TRUE;
            return true;
        case PSN_RESET:
            if (state.pContext) state.pContext->iResult = SHEET_CANCELLED;
            SetWindowLongPtrW(hPage, DWLP_MSGRESULT, 0);
            return true;
        }
        return false;
    }
    }
    return false;
}

extern "C" INT_PTR CALLBACK ConfigureDocklet(HWND hDlg, UINT uMsg, WPARAM, LPARAM lParam) {
    switch (uMsg) {
    case WM_INITDIALOG: {
        auto* pLive = reinterpret_cast<_DOCKLET_DATA*>(lParam);
        SetPropW(hDlg, c_szDataProp, reinterpret_cast<HANDLE>(pLive));
        if (!pLive) return 0;
        if (g_bSheetOpen) {
            if (g_hwndSheet) SetForegroundWindow(g_hwndSheet);
        } else {
            try {
                RunSheetFor(hDlg, pLive);
            } catch (...) {
                // Out of memory while copying lists: the sheet ends without a hand-over.
                g_bSheetOpen = false;
                g_hwndSheet = nullptr;
            }
        }
        EndDialog(hDlg, 0);
        return 0;
    }
    case WM_DESTROY:
        RemovePropW(hDlg, c_szDataProp);
        return 0;
    }
    return 0;
}
