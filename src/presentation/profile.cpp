#include "presentation/profile.h"
#include "core/host.h"
#include "core/record.h"
#include "core/settings.h"
#include "feed/newitems.h"
#include "feed/parser.h"
#include "feed/refresh.h"
#include "presentation/icon.h"

namespace {

// How long a profile change waits for the threads of the profile it replaces; one that
// is still busy then is abandoned and drops its results.
const DWORD c_dwStopWorkersWait = 2000;

void ResolveImages(_DOCKLET_DATA* pData, wchar_t* szBackground, wchar_t* szMenuIcon) {
    ResolveImagePath(szBackground, 270, L"background.png", pData->szImagesFolder, pData->hwndDocklet);
    ResolveImagePath(szMenuIcon, 270, L"menu.png", pData->szImagesFolder, pData->hwndDocklet);
}

}  // namespace

_PROFILE_DATA* ActiveProfile(_DOCKLET_DATA* pData) {
    int i = pData->iCurrentProfile;
    if (i < 0 || static_cast<unsigned int>(i) >= pData->profiles.GetCount() || pData->iProfileCount == 0)
        return nullptr;
    return pData->profiles.GetAt(i);
}

void ApplyProfileImages(_DOCKLET_DATA* pData, bool bKeepMenuPicture) {
    if (!pData) return;
    ResolveImages(pData, pData->szBackgroundImage, pData->szMenuIcon);
    const wchar_t* szBackground = pData->szBackgroundImage;
    const wchar_t* szMenuIcon = pData->szMenuIcon;
    if (_PROFILE_DATA* pProfile = ActiveProfile(pData)) {
        ResolveImages(pData, pProfile->szBackgroundImage, pProfile->szMenuIcon);
        szBackground = pProfile->szBackgroundImage;
        szMenuIcon = pProfile->szMenuIcon;
    }
    char szImage[270];
    WideToAnsi(szImage, sizeof(szImage), szBackground);
    HostSetImageFile(pData->hwndDocklet, szImage);
    if (!bKeepMenuPicture || !pData->hMenuBitmap) pData->hMenuBitmap.reset(CreateMenuBitmap(szMenuIcon));
}

void ApplyCurrentProfile(_DOCKLET_DATA* pData) {
    if (!pData) return;
    ApplyProfileImages(pData);
    // A running refresh (and a page thread) belong to what was active before: they are
    // stopped, and the items they or an earlier refresh brought go with them.
    StopWorkers(pData, c_dwStopWorkersWait);
    FeedItemList dropped;
    {
        qm::ScopedLock lock(pData->csState);
        dropped = pData->items;
        pData->items.RemoveAll();
        pData->pItemsSource = nullptr;
        pData->iCurrentItem = -1;
        // The first refresh of what is now active has nothing to compare with.
        ForgetKnownItems(pData);
        InterlockedIncrement(&pData->lItemsVersion);
        InterlockedExchange(&pData->bRefreshing, 0);
    }
    FreeFeedItems(dropped);
    ArmRefreshTimer(pData);
    StartRefresh(pData);
}
