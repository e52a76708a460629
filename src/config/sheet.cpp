// The settings property sheet: its placeholder dialog, the working copy it edits, the
// page protocol, and the hand-over of the copy to the live instance on OK.
#include <windows.h>
#include <commctrl.h>
#include <cwchar>
#include <new>
#include <vector>
#include "config/config.h"
#include "core/host.h"
#include "core/record.h"
#include "core/settings.h"
#include "feed/itemstate.h"
#include "presentation/icon.h"
#include "presentation/profile.h"
#include "resources/config_ids.h"
#include "viewer/viewer.h"

namespace {

// The sheet that is open in the process. The pages keep their state in process-wide
// variables, so a second sheet would overwrite the first one's; it is refused instead
// and the open sheet is brought to the front.
bool g_bSheetOpen = false;
HWND g_hwndSheet = nullptr;
SheetContext* g_pOpenContext = nullptr;

// How long the hand-over waits for a refresh of the profile it replaces.
const DWORD c_dwStopWorkersWait = 2000;

const wchar_t c_szDataProp[] = L"lpData";

bool Lists(const ProfileList& list, const _PROFILE_DATA* pProfile) {
    for (unsigned int i = 0; i < list.GetCount(); ++i)
        if (list.GetAt(i) == pProfile) return true;
    return false;
}

// The addresses of the profiles taken out of the list (deleted, or replaced by a
// restore) that no profile of the committed list still has.
std::vector<std::wstring> FeedsOfRemovedProfiles(const ProfileList& retired, const ProfileList& kept) {
    std::vector<std::wstring> urls;
    for (unsigned int i = 0; i < retired.GetCount(); ++i) {
        const _PROFILE_DATA* pProfile = retired.GetAt(i);
        if (!pProfile || !pProfile->szURL[0] || Lists(kept, pProfile)) continue;
        bool bKept = false;
        for (unsigned int k = 0; k < kept.GetCount() && !bKept; ++k)
            bKept = kept.GetAt(k) && wcscmp(kept.GetAt(k)->szURL, pProfile->szURL) == 0;
        if (!bKept) urls.push_back(pProfile->szURL);
    }
    return urls;
}

void RunSheetFor(HWND hPlaceholder, _DOCKLET_DATA* pLive) {
    CenterWindow(hPlaceholder, 1, 0, 0);
    // The host may destroy the instance from inside the sheet's modal loop (or the
    // editor's, or a URL check's wait): the sheet then ends as cancelled, and this
    // reference keeps the record's memory until it has.
    DockletRef ref(pLive);
    SheetContext* pContext = new (std::nothrow) SheetContext();
    if (!pContext) return;
    pContext->pLive = pLive;
    pContext->pWork = MakeWorkingCopy(pLive);
    if (pContext->pWork) {
        g_bSheetOpen = true;
        g_pOpenContext = pContext;
        try {
            RunSettingsSheet(pLive->hInstance, hPlaceholder, pContext);
        } catch (...) {
            pContext->iResult = 0;
        }
        g_bSheetOpen = false;
        g_hwndSheet = nullptr;
        g_pOpenContext = nullptr;
        if (pContext->iResult == SHEET_COMMITTED && !pContext->bLiveGone) {
            HandOverWorkingCopy(pLive, pContext);
        } else if (!pContext->bReleaseNothing) {
            // The live list is untouched (or, when the instance was destroyed, handed to
            // the sheet and empty): whatever the sheet made or took out goes, unless the
            // live instance still lists it.
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
    // The arrays go with the record; the profile records they list are not the copy's.
    ReleaseDocklet(pWork);
}

void CopySheetFields(_DOCKLET_DATA* pDst, const _DOCKLET_DATA* pSrc, bool bIntoCopy) {
    if (bIntoCopy) {
        pDst->hwndDocklet = pSrc->hwndDocklet;
        pDst->hInstance = pSrc->hInstance;
    }
    CopySheetSettings(pDst, pSrc);
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

void HandOverWorkingCopy(_DOCKLET_DATA* pLive, SheetContext* pContext) {
    _DOCKLET_DATA* pWork = pContext->pWork;
    wchar_t szOldMenuIcon[270];
    CopyText(szOldMenuIcon, 270, pLive->szMenuIcon);
    // A restore, or another profile made the active one (Up, Down, Delete), replaces
    // what the dock shows: the refresh of the old profile stops before its records can
    // be released, and the new one's items are fetched at once.
    const bool bNewProfile = pContext->bRestored || ActiveProfile(pLive) != ActiveProfile(pWork);
    if (bNewProfile) StopWorkers(pLive, c_dwStopWorkersWait);
    const int iOldRefreshMinutes = pLive->iRefreshMinutes;
    std::vector<std::wstring> removedFeeds;
    {
        // A refresh worker reads the profile list and the active profile under this
        // lock; it finds either the old list or the new one, never a released record.
        qm::ScopedLock lock(pLive->csState);
        CopySheetFields(pLive, pWork, false);
        removedFeeds = FeedsOfRemovedProfiles(pContext->retired, pLive->profiles);
        ReleaseSheetProfiles(pContext, pLive->profiles);
        // Validators are sent only for the record whose answer the items are.
        if (!Lists(pLive->profiles, pLive->pItemsSource)) pLive->pItemsSource = nullptr;
    }
    // A removed profile's state file goes with it (unless a remaining profile reads the
    // same feed).
    for (const std::wstring& url : removedFeeds) DeleteItemStateFile(url.c_str(), pLive->settingsFolder);
    if (bNewProfile) {
        ApplyCurrentProfile(pLive);
    } else {
        // Another period of checks counts from now, not after the one under way.
        if (pLive->iRefreshMinutes != iOldRefreshMinutes) ArmRefreshTimer(pLive);
        // The same profile: its pictures (or the docklet's), the menu picture made anew
        // only when a profile shows it or the docklet-wide menu icon changed.
        bool bKeepMenuPicture = !ActiveProfile(pLive) && _wcsicmp(szOldMenuIcon, pLive->szMenuIcon) == 0;
        ApplyProfileImages(pLive, bKeepMenuPicture);
    }
    UpdateDockDisplay(pLive);
    // Cycling turned on or off, or its period changed.
    ArmCycleTimer(pLive);
}

void CloseSettingsOf(_DOCKLET_DATA* pLive) {
    SheetContext* pContext = g_pOpenContext;
    if (!pContext || pContext->pLive != pLive || pContext->bLiveGone) return;
    {
        // The instance's profile records may still be listed by the working copy: the
        // sheet takes them over and releases them, each once, when it ends.
        qm::ScopedLock lock(pLive->csState);
        unsigned int nRetired = pContext->retired.GetCount(), nLive = pLive->profiles.GetCount();
        try {
            pContext->retired.SetCount(nRetired + nLive);
            for (unsigned int i = 0; i < nLive; ++i)
                pContext->retired.GetAt(nRetired + i) = pLive->profiles.GetAt(i);
            pLive->profiles.RemoveAll();
            pLive->iProfileCount = 0;
            pLive->iCurrentProfile = -1;
        } catch (...) {
            // No room to take them over: the instance frees them, and the sheet then
            // releases no profile record at all (what it added is lost, nothing is
            // freed twice).
            pContext->bReleaseNothing = true;
        }
    }
    pContext->bLiveGone = true;
    // An editor over the sheet ends first (its URL check stops), then the sheet.
    CloseProfileEditor();
    if (g_hwndSheet) PostMessageW(g_hwndSheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
}

int RunSettingsSheet(HINSTANCE hInstance, HWND hwndOwner, SheetContext* pContext) {
    struct PageDef {
        int iTemplate;
        const wchar_t* szTitle;
        DLGPROC pfnProc;
    };
    const PageDef pages[] = {{IDD_GENERAL, L"General", GeneralPageProc},
                             {IDD_ICONS, L"Icons && Images", IconsPageProc},
                             {IDD_FONT, L"Docklet Font", FontPageProc},
                             {IDD_PROFILES, L"RSS Feed Profiles", ProfilesPageProc},
                             {IDD_HEADLINES, L"Headlines", HeadlinesPageProc}};
    const int nPages = static_cast<int>(sizeof(pages) / sizeof(pages[0]));
    PROPSHEETPAGEW psp[nPages] = {};
    for (int i = 0; i < nPages; ++i) {
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
    psh.nPages = nPages;
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
