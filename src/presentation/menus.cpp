#include "presentation/menus.h"
#include "core/host.h"
#include <memory>
#include <new>
#include "feed/newitems.h"
#include "feed/title.h"

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

// Appends a title (item or profile) as the user reads it; a new item has a bullet
// before its title.
void AppendText(HMENU hMenu, UINT uFlags, UINT_PTR id, const wchar_t* szTitle, wchar_t* szBuffer,
                bool bNew = false) {
    wchar_t szDisplay[503];
    size_t cchMark = 0;
    if (bNew) {
        szDisplay[0] = L'\x2022';
        szDisplay[1] = L' ';
        cchMark = 2;
    }
    DisplayTextFromTitle(szDisplay + cchMark, 501, szTitle);
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

HMENU BuildItemMenu(_DOCKLET_DATA* pData, LONG* plItemsVersion) {
    if (!pData) return nullptr;
    UniqueMenu menu(CreatePopupMenu());
    HMENU hMenu = menu.get();
    std::unique_ptr<wchar_t[]> text(new (std::nothrow) wchar_t[c_cchMenuText]);
    if (!hMenu || !text) return nullptr;
    wchar_t* szText = text.get();
    UINT uState = IsBusy(pData) ? MF_DISABLED : MF_ENABLED;

    // The refresh worker replaces the list and the profile's title under csState.
    ScopedLock lock(pData->csState);
    if (plItemsVersion) *plItemsVersion = pData->lItemsVersion;
    _PROFILE_DATA* pProfile = ProfileAt(pData, pData->iCurrentProfile);
    AppendText(hMenu, MF_DISABLED, IDM_ITEM_HEADING, pProfile ? pProfile->szTitle : L"", szText);
    AppendMenuW(hMenu, MF_STRING | uState, IDM_ITEM_UPDATE, L"Update Now");
    unsigned int n = pData->items.GetCount();
    if (n > 0) {
        HBITMAP hPicture = pData->hMenuBitmap.get();
        AppendMenuW(hMenu, MF_SEPARATOR, IDM_ITEM_SEPARATOR1, nullptr);
        AppendMenuW(hMenu, MF_STRING | uState, IDM_ITEM_VIEWALL, L"View all items");
        if (hPicture) SetMenuItemBitmaps(hMenu, IDM_ITEM_VIEWALL, MF_BYCOMMAND, hPicture, hPicture);
        AppendMenuW(hMenu, MF_SEPARATOR, IDM_ITEM_SEPARATOR2, nullptr);
        for (unsigned int i = 0; i < n && i < MAX_MENU_ITEMS; ++i) {
            UINT id = IDM_ITEM_FIRST + i;
            const _RSSFEED_DATA* pItem = pData->items.GetAt(i);
            AppendText(hMenu, uState | MF_CHECKED, id, pItem->szTitle, szText, IsItemMarkedNew(pData, pItem));
            if (hPicture) SetMenuItemBitmaps(hMenu, id, MF_BYCOMMAND, hPicture, hPicture);
        }
    }
    return menu.release();
}

// ---- Context menu ----

HMENU BuildContextMenu(_DOCKLET_DATA* pData) {
    if (!pData) return nullptr;
    UniqueMenu menu(CreatePopupMenu());
    HMENU hMenu = menu.get();
    std::unique_ptr<wchar_t[]> text(new (std::nothrow) wchar_t[c_cchMenuText]);
    if (!hMenu || !text) return nullptr;
    wchar_t* szText = text.get();
    bool bBusy = IsBusy(pData);
    UINT uState = bBusy ? MF_DISABLED : MF_ENABLED;
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
    AppendMenuW(hMenu, MF_SEPARATOR, IDM_CONTEXT_SEPARATOR2, nullptr);
    AppendMenuW(hMenu, MF_STRING, IDM_CONTEXT_ABOUT, L"About Quillmere");
    AppendMenuW(hMenu, MF_STRING, IDM_CONTEXT_REMOVE, L"Remove Entry");
    AppendMenuW(hMenu, MF_STRING | uState, IDM_CONTEXT_SETTINGS, L"Quillmere Settings...");
    return menu.release();
}
