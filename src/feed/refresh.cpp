#include "feed/refresh.h"
#include "core/record.h"
#include "feed/download.h"

namespace {

bool HasActiveProfile(_DOCKLET_DATA* pData) {
    qm::ScopedLock lock(pData->csState);
    return pData->iCurrentProfile != -1 && pData->profiles.GetCount() != 0;
}

// Sets the busy flag unless the worker was cancelled meanwhile; true when it did.
bool BeginRefresh(_DOCKLET_DATA* pData, HANDLE hCancel) {
    qm::ScopedLock lock(pData->csState);
    if (ShouldStop(pData, hCancel)) return false;
    // No current item from here on; the flag follows, so whoever sees the busy state
    // sees the item gone too.
    pData->iCurrentItem = -1;
    InterlockedExchange(&pData->bRefreshing, 1);
    return true;
}

// The worker's last act, however the work ended (an exception included): the busy flag
// goes, the dock shows the outcome and the hourly timer is armed again. A cancelled
// worker leaves all of it to whoever cancelled it.
void EndRefresh(_DOCKLET_DATA* pData, HANDLE hCancel, bool bResult) {
    {
        qm::ScopedLock lock(pData->csState);
        if (ShouldStop(pData, hCancel)) return;
        if (bResult && pData->items.GetCount() != 0) pData->iCurrentItem = 0;
        InterlockedExchange(&pData->bRefreshing, 0);
    }
    RequestDisplayUpdate(pData);
    ArmRefreshTimer(pData);
}

// The worker. Once cancelled or stopping it drops what it has and leaves: the owner
// frees the profiles and items, and only the record's memory stays valid (the thread
// holds a reference on it).
void RefreshThreadProc(_DOCKLET_DATA* pData, HANDLE hCancel) {
    bool bResult = false;
    if (HasActiveProfile(pData) && BeginRefresh(pData, hCancel)) {
        RequestDisplayUpdate(pData);
        try {
            // RetrieveFeed swaps the new list in under csState, so readers never meet a
            // freed record.
            bResult = RetrieveFeed(pData, hCancel);
        } catch (...) {
            bResult = false;
        }
    }
    EndRefresh(pData, hCancel, bResult);
}

}  // namespace

void StartRefresh(_DOCKLET_DATA* pData) {
    if (!pData || IsStopping(pData)) return;
    // Held across the thread's creation so the worker cannot look at the record before
    // its handles are stored.
    qm::ScopedLock lock(pData->csState);
    if (IsWorkerRunning(pData->hRefreshThread)) return;
    // The worker arms the timer again when it ends, through the notification window.
    // Without that window the timer stays armed, so timed refreshes still come hourly.
    if (pData->hwndNotify) KillTimer(pData->hwndDocklet, IDT_REFRESH);
    StartWorker(pData, pData->hRefreshThread, RefreshThreadProc);
}
