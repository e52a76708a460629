// The "RSS Feed Profiles" page: the list of feed profiles with add, edit, delete,
// reorder, back up and restore, all on the sheet's working copy.
#include <windows.h>
#include <new>
#include "config/config.h"
#include "core/message.h"
#include "core/settings.h"
#include "feed/title.h"
#include "resources/config_ids.h"

namespace {

PageState g_page;
const wchar_t c_szBackupFile[] = L"QuillmereProfiles.ini";

int Selection(HWND hPage) {
    LRESULT i = SendDlgItemMessageW(hPage, IDC_PROFILE_LIST, LB_GETCURSEL, 0, 0);
    return i == LB_ERR ? -1 : static_cast<int>(i);
}

void Refresh(HWND hPage, SheetContext* pContext, int iSelect) {
    RefreshProfileList(GetDlgItem(hPage, IDC_PROFILE_LIST), pContext->pWork, iSelect);
}

void CopyProfileFields(_PROFILE_DATA* pDst, const _PROFILE_DATA* pSrc) {
    CopyText(pDst->szURL, 2049, pSrc->szURL);
    CopyText(pDst->szTitle, 501, pSrc->szTitle);
    pDst->iFeedFormat = pSrc->iFeedFormat;
    CopyText(pDst->szBackgroundImage, 270, pSrc->szBackgroundImage);
    CopyText(pDst->szMenuIcon, 270, pSrc->szMenuIcon);
}

// Runs the editor on pProfile; true when it ended with OK.
bool RunEditor(HWND hPage, _DOCKLET_DATA* pWork, _PROFILE_DATA* pProfile, int iAction) {
    auto* pAction = new (std::nothrow) _PROFILE_ACTION();
    if (!pAction) return false;
    pAction->iAction = iAction;
    pAction->pProfile = pProfile;
    pAction->hwndDocklet = pWork->hwndDocklet;
    CopyText(pAction->szImagesFolder, 270, pWork->szImagesFolder);
    DialogBoxParamW(pWork->hInstance, MAKEINTRESOURCEW(IDD_PROFILE_EDITOR), hPage, ProfileEditorProc,
                    reinterpret_cast<LPARAM>(pAction));
    bool bOk = pAction->iAction == PROFILE_ACTION_OK;
    delete pAction;
    return bOk;
}

void Add(HWND hPage, SheetContext* pContext) {
    _DOCKLET_DATA* pWork = pContext->pWork;
    if (pWork->profiles.GetCount() >= MAX_PROFILES) {
        ReportMessageF(hPage, L"The list holds %d profiles, the most it can. Delete one to add another.",
                       MAX_PROFILES);
        return;
    }
    _PROFILE_DATA* pProfile = NewProfile();
    if (!pProfile) return;
    CopyText(pProfile->szBackgroundImage, 270, L"background.png");
    CopyText(pProfile->szMenuIcon, 270, L"menu.png");
    ResolveImagePath(pProfile->szBackgroundImage, 270, L"background.png", pWork->szImagesFolder, pWork->hwndDocklet);
    ResolveImagePath(pProfile->szMenuIcon, 270, L"menu.png", pWork->szImagesFolder, pWork->hwndDocklet);
    if (!RunEditor(hPage, pWork, pProfile, PROFILE_ACTION_ADD)) {
        FreeProfile(pProfile);
        return;
    }
    try {
        pWork->profiles.Add(pProfile);
    } catch (...) {
        FreeProfile(pProfile);
        return;
    }
    pWork->iProfileCount = pWork->profiles.GetCount();
    Refresh(hPage, pContext, static_cast<int>(pWork->iProfileCount) - 1);
    if (pWork->iProfileCount == 1 && pWork->iCurrentProfile == -1) pWork->iCurrentProfile = 0;
}

void Edit(HWND hPage, SheetContext* pContext) {
    _DOCKLET_DATA* pWork = pContext->pWork;
    int iSel = Selection(hPage);
    if (iSel < 0 || static_cast<unsigned int>(iSel) >= pWork->profiles.GetCount()) return;
    _PROFILE_DATA* pScratch = NewProfile();
    if (!pScratch) return;
    _PROFILE_DATA* pProfile = pWork->profiles.GetAt(iSel);
    CopyProfileFields(pScratch, pProfile);
    if (RunEditor(hPage, pWork, pScratch, PROFILE_ACTION_EDIT)) {
        // The record is shared with the live instance, whose refresh worker reads the
        // active profile's fields under its lock.
        if (pContext->pLive) {
            qm::ScopedLock lock(pContext->pLive->csState);
            CopyProfileFields(pProfile, pScratch);
        } else {
            CopyProfileFields(pProfile, pScratch);
        }
    }
    FreeProfile(pScratch);
    Refresh(hPage, pContext, iSel);
}

void Delete(HWND hPage, SheetContext* pContext) {
    _DOCKLET_DATA* pWork = pContext->pWork;
    int iSel = Selection(hPage);
    if (iSel < 0 || static_cast<unsigned int>(iSel) >= pWork->profiles.GetCount()) return;
    if (ReportMessageCaption(hPage, L"Do you really want to delete this profile?", L"Delete Profile",
                             MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    _PROFILE_DATA* pProfile = pWork->profiles.GetAt(iSel);
    // The live instance may still list the record; it is released when the sheet ends.
    // Kept aside first, so a failure to keep it leaves the list as it was.
    RetireProfile(pContext, pProfile);
    pWork->profiles.RemoveAt(iSel);
    pWork->iProfileCount = pWork->profiles.GetCount();
    pWork->iCurrentProfile =
        CurrentProfileAfterDelete(pWork->iCurrentProfile, iSel, static_cast<int>(pWork->iProfileCount));
    Refresh(hPage, pContext, -1);
}

void Move(HWND hPage, SheetContext* pContext, bool bUp) {
    _DOCKLET_DATA* pWork = pContext->pWork;
    int iSel = Selection(hPage);
    int iCount = static_cast<int>(pWork->profiles.GetCount());
    if (iSel < 0 || iSel >= iCount) return;
    int iOther = bUp ? iSel - 1 : iSel + 1;
    if (iOther < 0 || iOther >= iCount) {
        Refresh(hPage, pContext, pWork->iCurrentProfile);
        return;
    }
    _PROFILE_DATA* pMoved = pWork->profiles.GetAt(iSel);
    pWork->profiles.GetAt(iSel) = pWork->profiles.GetAt(iOther);
    pWork->profiles.GetAt(iOther) = pMoved;
    pWork->iCurrentProfile = iOther;
    Refresh(hPage, pContext, iOther);
}

void Restore(HWND hPage, SheetContext* pContext) {
    // The question comes once the file is chosen: it says what the restore does with it.
    // A subscription list only added profiles to the working copy; the hand-over
    // treats them as it treats added ones.
    if (RestoreProfiles(pContext->pWork, hPage, c_szBackupFile, &pContext->retired) == 1) pContext->bRestored = true;
    Refresh(hPage, pContext, pContext->pWork->iCurrentProfile);
}

void OnCommand(HWND hPage, int iControl) {
    SheetContext* pContext = g_page.pContext;
    if (!pContext) return;
    switch (iControl) {
    case IDC_PROFILE_ADD: Add(hPage, pContext); break;
    case IDC_PROFILE_EDIT: Edit(hPage, pContext); break;
    case IDC_PROFILE_DELETE: Delete(hPage, pContext); break;
    case IDC_PROFILE_UP: Move(hPage, pContext, true); break;
    case IDC_PROFILE_DOWN: Move(hPage, pContext, false); break;
    case IDC_PROFILE_BACKUP: BackupProfiles(pContext->pWork, hPage, c_szBackupFile); break;
    case IDC_PROFILE_RESTORE: Restore(hPage, pContext); break;
    }
}

void LoadPage(HWND hPage, SheetContext* pContext) {
    Refresh(hPage, pContext, -1);
}

}  // namespace

void RefreshProfileList(HWND hList, _DOCKLET_DATA* pWork, int iSelect) {
    // Filled without drawing, then drawn once: a list of thousands of profiles (an
    // imported subscription list) would otherwise be redrawn after every entry.
    SendMessageW(hList, WM_SETREDRAW, FALSE, 0);
    SendMessageW(hList, LB_RESETCONTENT, 0, 0);
    wchar_t szTitle[501];
    for (unsigned int i = 0; i < pWork->iProfileCount && i < pWork->profiles.GetCount(); ++i) {
        const _PROFILE_DATA* pProfile = pWork->profiles.GetAt(i);
        DisplayTextFromTitle(szTitle, 501, pProfile ? pProfile->szTitle : L"");
        SendMessageW(hList, LB_INSERTSTRING, i, reinterpret_cast<LPARAM>(szTitle));
    }
    SendMessageW(hList, LB_SETCURSEL, static_cast<WPARAM>(iSelect), 0);
    SendMessageW(hList, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hList, nullptr, TRUE);
}

int CurrentProfileAfterDelete(int iCurrent, int iDeleted, int iCountAfter) {
    if (iCountAfter <= 0) return -1;
    if (iDeleted == iCurrent) return 0;
    if (iDeleted < iCurrent) --iCurrent;
    if (iCurrent >= iCountAfter) iCurrent = iCountAfter - 1;
    return iCurrent < -1 ? -1 : iCurrent;
}

INT_PTR CALLBACK ProfilesPageProc(HWND hPage, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    INT_PTR iResult = 0;
    if (HandlePageMessage(g_page, hPage, uMsg, lParam, LoadPage, nullptr, false, &iResult)) return iResult;
    if (uMsg == WM_COMMAND) {
        try {
            OnCommand(hPage, LOWORD(wParam));
        } catch (...) {
            // Out of memory growing a list: the command is dropped, the lists stay
            // consistent, and nothing may unwind into the property sheet.
        }
    }
    return 0;
}
