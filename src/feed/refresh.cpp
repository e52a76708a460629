#include "feed/refresh.h"
#include "core/instance.h"
#include "feed/download.h"
#include "presentation/icon.h"

namespace {

bool HasActiveProfile(_DOCKLET_DATA* pData) {
    qm::ScopedLock lock(pData->csState);
    return pData->iCurrentProfile != -1 && pData->profiles.GetCount() != 0;
}

// The worker's last act: give up its handle, unless OnDestroy has taken it already.
void FinishRefresh(_DOCKLET_DATA* pData) {
    qm::ScopedLock lock(pData->csState);
    if (IsStopping(pData)) return;
    if (pData->hRefreshThread) CloseHandle(pData->hRefreshThread);
    pData->hRefreshThread = nullptr;
}

// The worker. Once the instance is stopping it drops what it has and leaves: OnDestroy
// frees the profiles and items, and only the record's memory stays valid (the thread
// holds a reference on it).
void RefreshThreadProc(_DOCKLET_DATA* pData) {
    if (IsStopping(pData)) return;
    if (!HasActiveProfile(pData)) {
        InterlockedExchange(&pData->bRefreshing, 0);
        UpdateDockDisplay(pData);
        ArmRefreshTimer(pData);
        FinishRefresh(pData);
        return;
    }
    InterlockedExchange(&pData->bRefreshing, 1);
    UpdateDockDisplay(pData);
    {
        qm::ScopedLock lock(pData->csState);
        if (IsStopping(pData)) return;
        pData->iCurrentItem = -1;
    }
    // RetrieveFeed swaps the new list in under csState, so readers never meet a freed
    // record.
    bool bResult = RetrieveFeed(pData);
    if (IsStopping(pData)) return;
    {
        qm::ScopedLock lock(pData->csState);
        if (IsStopping(pData)) return;
        if (bResult && pData->items.GetCount() != 0) pData->iCurrentItem = 0;
    }
    InterlockedExchange(&pData->bRefreshing, 0);
    UpdateDockDisplay(pData);
    ArmRefreshTimer(pData);
    FinishRefresh(pData);
}

}  // namespace

void StartRefresh(_DOCKLET_DATA* pData) {
    if (!pData || IsStopping(pData)) return;
    // Held across the thread's creation so the worker cannot finish before its handle
    // is stored.
    qm::ScopedLock lock(pData->csState);
    if (pData->hRefreshThread) return;
    KillTimer(pData->hwndDocklet, IDT_REFRESH);
    pData->hRefreshThread = StartDockletThread(pData, RefreshThreadProc);
}
