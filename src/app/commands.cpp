#include "app/commands.h"
#include "app/entry.h"
#include "core/host.h"
#include "core/record.h"
#include "feed/newitems.h"
#include "feed/refresh.h"
#include "presentation/menus.h"
#include "presentation/profile.h"
#include "viewer/action.h"

using namespace qm;

namespace {

// The instance whose menu is open on this thread, so its destruction can close it.
_DOCKLET_DATA* g_pMenuOwner = nullptr;

// No profiles and no current profile: nothing to show or refresh yet.
bool IsUnconfigured(const _DOCKLET_DATA* pData) {
    return pData->iCurrentProfile == -1 && pData->profiles.GetCount() == 0;
}

// Shows the menu for pData; the choice, or 0. The host may destroy the instance from
// inside the menu's modal loop: the caller holds a reference and checks IsStopping.
int TrackMenuOf(_DOCKLET_DATA* pData, HMENU hMenu) {
    CyclePause pause(pData);
    _DOCKLET_DATA* pOuter = g_pMenuOwner;
    g_pMenuOwner = pData;
    int iCommand = TrackDockletMenu(pData, hMenu);
    g_pMenuOwner = pOuter;
    return iCommand;
}

}  // namespace

void EndMenuOf(_DOCKLET_DATA* pData) {
    if (pData && g_pMenuOwner == pData) EndMenu();
}

void ActOnItemMenu(_DOCKLET_DATA* pData, int iCommand, LONG lItemsVersion) {
    if (!pData || iCommand <= 0) return;
    if (iCommand == IDM_ITEM_UPDATE) {
        StartRefresh(pData);
    } else if (iCommand == IDM_ITEM_VIEWALL) {
        pData->iViewMode = 0;
        DoItemAction(pData);
    } else if (iCommand >= IDM_ITEM_FIRST && iCommand < IDM_ITEM_FIRST + MAX_MENU_ITEMS) {
        {
            // A refresh may have replaced the list while the menu was open; what is now
            // at the chosen place is not what the user chose.
            ScopedLock lock(pData->csState);
            if (lItemsVersion != -1 && lItemsVersion != pData->lItemsVersion) return;
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
    DockletRef ref(pData);
    LONG lItemsVersion = -1;
    int iCommand;
    {
        UniqueMenu menu(BuildItemMenu(pData, &lItemsVersion));
        // The menu shows which items are new this once.
        if (menu) ClearNewItemMarks(pData);
        iCommand = TrackMenuOf(pData, menu.get());
    }
    if (!IsStopping(pData)) ActOnItemMenu(pData, iCommand, lItemsVersion);
    return TRUE;
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
    DockletRef ref(pData);
    int iCommand;
    {
        UniqueMenu menu(BuildContextMenu(pData));
        iCommand = TrackMenuOf(pData, menu.get());
    }
    if (!IsStopping(pData)) ActOnContextMenu(pData, iCommand);
    return TRUE;
}

void SwitchProfile(_DOCKLET_DATA* pData, int iProfile) {
    if (!pData || iProfile == pData->iCurrentProfile) return;
    if (iProfile < 0 || static_cast<unsigned int>(iProfile) >= pData->profiles.GetCount()) return;
    // The viewer shows an item of the old profile; it closes before the profile changes.
    if (pData->hwndViewer) SendMessageW(pData->hwndViewer, WM_CLOSE, 0, 0);
    {
        ScopedLock lock(pData->csState);
        pData->iCurrentProfile = iProfile;
        pData->iCurrentItem = -1;
    }
    ApplyCurrentProfile(pData);
}
