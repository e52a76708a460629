#include "presentation/menus.h"
#include "core/entry.h"
#include "core/host.h"
#include "core/settings.h"
#include "feed/refresh.h"
#include "feed/title.h"
#include "presentation/icon.h"
#include "viewer/action.h"

using namespace qm;

namespace {

const size_t c_cchMenuText = 2048;

bool IsBusy(const _DOCKLET_DATA* pData) {
    return pData->bRefreshing || pData->bLoadingPage;
}

// No profiles and no current profile: nothing to show or refresh yet.
bool IsUnconfigured(const _DOCKLET_DATA* pData) {
    return pData->iCurrentProfile == -1 && pData->profiles.GetCount() == 0;
}

// The profile at iProfile, or null when the index names none.
_PROFILE_DATA* ProfileAt(_DOCKLET_DATA* pData, int iProfile) {
    if (iProfile < 0 || static_cast<unsigned int>(iProfile) >= pData->profiles.GetCount()) return nullptr;
    return pData->profiles.GetAt(iProfile);
}

// Appends a title (item or profile) as the user reads it.
void AppendText(HMENU hMenu, UINT uFlags, UINT_PTR id, const wchar_t* szTitle, wchar_t* szBuffer) {
    wchar_t szDisplay[501];
    DisplayTextFromTitle(szDisplay, 501, szTitle);
    MenuTextFromTitle(szBuffer, c_cchMenuText, szDisplay);
    AppendMenuW(hMenu, MF_STRING | uFlags, id, szBuffer);
}

}  // namespace

void MenuTextFromTitle(wchar_t* szOut, size_t cchOut, const wchar_t* szTitle) {
    if (!szOut || cchOut == 0) return;
    size_t n = 0;
    for (const wchar_t* p = szTitle ? szTitle : L""; *p; ++p) {
        size_t need = *p == L'&' ? 2 : 1;
        if (n + need > cchOut - 1) break;
        szOut[n++] = *p;
        if (*p == L'&') szOut[n++] = L'&';
    }
    szOut[n] = 0;
}

int TrackDockletMenu(_DOCKLET_DATA* pData, HMENU hMenu) {
    if (!pData || !hMenu) return 0;
    POINT pt = {};
    GetCursorPos(&pt);
    HostLockMouseEffect(pData->hwndDocklet, TRUE);
    int iCommand = static_cast<int>(TrackPopupMenu(hMenu, TPM_RETURNCMD, pt.x, pt.y, 0, pData->hwndDocklet, nullptr));
    HostLockMouseEffect(pData->hwndDocklet, FALSE);
    return iCommand;
}

// ---- Item menu ----

HMENU BuildItemMenu(_DOCKLET_DATA* pData) {
    if (!pData) return nullptr;
    HMENU hMenu = CreatePopupMenu();
    if (!hMenu) return nullptr;
    UINT uState = IsBusy(pData) ? MF_DISABLED : MF_ENABLED;
    wchar_t* szText = new wchar_t[c_cchMenuText];

    // The refresh worker replaces the list and the profile's title under csState.
    ScopedLock lock(pData->csState);
    _PROFILE_DATA* pProfile = ProfileAt(pData, pData->iCurrentProfile);
    AppendText(hMenu, MF_DISABLED, IDM_ITEM_HEADING, pProfile ? pProfile->szTitle : L"", szText);
    AppendMenuW(hMenu, MF_STRING | uState, IDM_ITEM_UPDATE, L"Update Now");
    unsigned int n = pData->items.GetCount();
    if (n > 0) {
        HBITMAP hPicture = pData->hMenuBitmap;
        AppendMenuW(hMenu, MF_SEPARATOR, IDM_ITEM_SEPARATOR1, nullptr);
        AppendMenuW(hMenu, MF_STRING | uState, IDM_ITEM_VIEWALL, L"View all items");
        if (hPicture) SetMenuItemBitmaps(hMenu, IDM_ITEM_VIEWALL, MF_BYCOMMAND, hPicture, hPicture);
        AppendMenuW(hMenu, MF_SEPARATOR, IDM_ITEM_SEPARATOR2, nullptr);
        for (unsigned int i = 0; i < n && i < MAX_MENU_ITEMS; ++i) {
            UINT id = IDM_ITEM_FIRST + i;
            AppendText(hMenu, uState | MF_CHECKED, id, pData->items.GetAt(i)->szTitle, szText);
            if (hPicture) SetMenuItemBitmaps(hMenu, id, MF_BYCOMMAND, hPicture, hPicture);
        }
    }
    delete[] szText;
    return hMenu;
}

void ActOnItemMenu(_DOCKLET_DATA* pData, int iCommand) {
    if (!pData || iCommand <= 0) return;
    if (iCommand == IDM_ITEM_UPDATE) {
        StartRefresh(pData);
    } else if (iCommand == IDM_ITEM_VIEWALL) {
        pData->iViewMode = 0;
        DoItemAction(pData);
    } else if (iCommand >= IDM_ITEM_FIRST && iCommand < IDM_ITEM_FIRST + MAX_MENU_ITEMS) {
        {
            // A refresh may have replaced the list while the menu was open; an item that
            // is no longer there is not chosen.
            ScopedLock lock(pData->csState);
            if (static_cast<unsigned int>(iCommand - IDM_ITEM_FIRST) >= pData->items.GetCount()) return;
            pData->iCurrentItem = iCommand - IDM_ITEM_FIRST;
        }
        pData->iViewMode = 1;
        DoItemAction(pData);
    }
}

BOOL ShowItemMenu(_DOCKLET_DATA* pData) {
    if (!pData) return FALSE;
    if (IsUnconfigured(pData)) {
        OnConfigure(pData);
        return TRUE;
    }
    int iCommand;
    {
        UniqueMenu menu(BuildItemMenu(pData));
        iCommand = TrackDockletMenu(pData, menu.get());
    }
    ActOnItemMenu(pData, iCommand);
    return TRUE;
}

// ---- Context menu ----

HMENU BuildContextMenu(_DOCKLET_DATA* pData) {
    if (!pData) return nullptr;
    HMENU hMenu = CreatePopupMenu();
    if (!hMenu) return nullptr;
    bool bBusy = IsBusy(pData);
    UINT uState = bBusy ? MF_DISABLED : MF_ENABLED;
    wchar_t* szText = new wchar_t[c_cchMenuText];
    {
        ScopedLock lock(pData->csState);
        AppendMenuW(hMenu, MF_STRING | (bBusy || IsUnconfigured(pData) ? MF_DISABLED : MF_ENABLED),
                    IDM_CONTEXT_UPDATE, L"Update Now");
        unsigned int n = pData->profiles.GetCount();
        if (n > 0) AppendMenuW(hMenu, MF_SEPARATOR, IDM_CONTEXT_SEPARATOR1, nullptr);
        for (unsigned int i = 0; i < n; ++i) {
            UINT uCheck = static_cast<int>(i) == pData->iCurrentProfile ? MF_CHECKED : MF_UNCHECKED;
            AppendText(hMenu, uState | uCheck, IDM_CONTEXT_PROFILE_FIRST + i, pData->profiles.GetAt(i)->szTitle,
                       szText);
        }
    }
    delete[] szText;
    AppendMenuW(hMenu, MF_SEPARATOR, IDM_CONTEXT_SEPARATOR2, nullptr);
    AppendMenuW(hMenu, MF_STRING, IDM_CONTEXT_ABOUT, L"About Quillmere");
    AppendMenuW(hMenu, MF_STRING, IDM_CONTEXT_REMOVE, L"Remove Entry");
    AppendMenuW(hMenu, MF_STRING | uState, IDM_CONTEXT_SETTINGS, L"Quillmere Settings...");
    return hMenu;
}

void ActOnContextMenu(_DOCKLET_DATA* pData, int iCommand) {
    if (!pData || iCommand <= 0) return;
    switch (iCommand) {
    case IDM_CONTEXT_SETTINGS:
        OnConfigure(pData);
        return;
    case IDM_CONTEXT_UPDATE:
        StartRefresh(pData);
        return;
    case IDM_CONTEXT_ABOUT:
        OnAbout(pData);
        return;
    case IDM_CONTEXT_REMOVE:
        HostRemoveSelf(pData->hwndDocklet, 1);
        return;
    }
    if (iCommand >= IDM_CONTEXT_PROFILE_FIRST) SwitchProfile(pData, iCommand - IDM_CONTEXT_PROFILE_FIRST);
}

BOOL ShowContextMenu(_DOCKLET_DATA* pData) {
    if (!pData) return FALSE;
    int iCommand;
    {
        UniqueMenu menu(BuildContextMenu(pData));
        iCommand = TrackDockletMenu(pData, menu.get());
    }
    ActOnContextMenu(pData, iCommand);
    return TRUE;
}

void SwitchProfile(_DOCKLET_DATA* pData, int iProfile) {
    if (!pData || iProfile == pData->iCurrentProfile) return;
    _PROFILE_DATA* pProfile = ProfileAt(pData, iProfile);
    if (!pProfile) return;
    // The viewer shows an item of the old profile; it closes before the profile changes.
    if (pData->hwndViewer) SendMessageW(pData->hwndViewer, WM_CLOSE, 0, 0);
    {
        // The old items stay until the refresh replaces them.
        ScopedLock lock(pData->csState);
        pData->iCurrentProfile = iProfile;
        pData->iCurrentItem = -1;
    }
    ResolveImagePath(pProfile->szBackgroundImage, 270, L"background.png", pData->szImagesFolder, pData->hwndDocklet);
    char szImage[270];
    WideToAnsi(szImage, sizeof(szImage), pProfile->szBackgroundImage);
    HostSetImageFile(pData->hwndDocklet, szImage);

    HBITMAP hOld = pData->hMenuBitmap;
    pData->hMenuBitmap = nullptr;
    if (hOld) DeleteObject(hOld);
    ResolveImagePath(pProfile->szMenuIcon, 270, L"menu.png", pData->szImagesFolder, pData->hwndDocklet);
    pData->hMenuBitmap = CreateMenuBitmap(pProfile->szMenuIcon);

    StartRefresh(pData);
}
