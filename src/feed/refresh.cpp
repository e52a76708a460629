#include "feed/refresh.h"
#include <cwchar>
#include "core/record.h"
#include "feed/download.h"
#include "feed/itemstate.h"
#include "feed/newitems.h"

namespace {

// Whether there is a profile to refresh; its URL goes to szURL, for the new-item check.
bool HasActiveProfile(_DOCKLET_DATA* pData, wchar_t* szURL, size_t cchURL) {
    qm::ScopedLock lock(pData->csState);
    if (pData->iCurrentProfile == -1 || pData->profiles.GetCount() == 0) return false;
    int i = pData->iCurrentProfile;
    if (i >= 0 && static_cast<unsigned int>(i) < pData->profiles.GetCount() && pData->profiles.GetAt(i))
        CopyText(szURL, cchURL, pData->profiles.GetAt(i)->szURL);
    return true;
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

// Makes the request conditional on the validators the active profile holds for szURL
// when the instance holds no items (RetrieveFeed sends them only for the items it holds).
void ArmValidatorsWithoutItems(_DOCKLET_DATA* pData, const wchar_t* szURL) {
    qm::ScopedLock lock(pData->csState);
    int i = pData->iCurrentProfile;
    if (pData->items.GetCount() != 0 || i < 0 || static_cast<unsigned int>(i) >= pData->profiles.GetCount()) return;
    _PROFILE_DATA* pProfile = pData->profiles.GetAt(i);
    if (!pProfile || wcscmp(pProfile->szURL, szURL) != 0 || wcscmp(pProfile->szValidatorsURL, szURL) != 0 ||
        (!pProfile->szETag[0] && !pProfile->szLastModified[0]))
        return;
    pData->pItemsSource = pProfile;
}

// True when the instance holds no items; they are then no profile's 200, so the next
// request goes without validators.
bool NoItemsToKeep(_DOCKLET_DATA* pData) {
    qm::ScopedLock lock(pData->csState);
    if (pData->items.GetCount() != 0) return false;
    pData->pItemsSource = nullptr;
    return true;
}

// The worker's last act, however the work ended (an exception included): the busy flag
// goes, new items are noticed and the feed's state file written, the dock shows the
// outcome, and the refresh timer and the headline cycle start again. A cancelled worker
// leaves all of it to whoever cancelled it.
void EndRefresh(_DOCKLET_DATA* pData, HANDLE hCancel, bool bResult, const wchar_t* szURL) {
    bool bAttention = false;
    {
        qm::ScopedLock lock(pData->csState);
        if (ShouldStop(pData, hCancel)) return;
        // The list RetrieveFeed put in place is still the one in items: nothing else
        // replaces it without cancelling this worker first.
        if (bResult) {
            try {
                bAttention = NoteNewItems(pData, szURL);
            } catch (...) {
                // Out of memory: this refresh notices nothing; the busy flag still goes.
            }
        }
        if (bResult && pData->items.GetCount() != 0) pData->iCurrentItem = 0;
        InterlockedExchange(&pData->bRefreshing, 0);
    }
    if (bResult) SaveItemState(pData);
    // Drawn through the record's display hook, set in app/instance.cpp.
    RequestDisplayUpdate(pData);
    if (bAttention) RequestAttention(pData);
    // From this thread both are posted to the notification window (app/instance.cpp),
    // which arms the timers on the dock's thread.
    ArmRefreshTimer(pData);
    ArmCycleTimer(pData);
}

// The worker. Once cancelled or stopping it drops what it has and leaves: the owner
// frees the profiles and items, and only the record's memory stays valid (the thread
// holds a reference on it).
void RefreshThreadProc(_DOCKLET_DATA* pData, HANDLE hCancel) {
    bool bResult = false;
    wchar_t szURL[2049] = {};
    if (HasActiveProfile(pData, szURL, 2049) && BeginRefresh(pData, hCancel)) {
        RequestDisplayUpdate(pData);
        try {
            // RetrieveFeed swaps the new list in under csState, so readers never meet a
            // freed record.
            bResult = RefreshFeed(pData, hCancel, szURL);
        } catch (...) {
            bResult = false;
        }
    }
    EndRefresh(pData, hCancel, bResult, szURL);
}

}  // namespace

bool RefreshFeed(_DOCKLET_DATA* pData, HANDLE hCancel, const wchar_t* szURL, FeedAnswer* pAnswer, FeedAnswer* pAgain) {
    ReadItemState(pData, hCancel, szURL);
    ArmValidatorsWithoutItems(pData, szURL);
    FeedAnswer answer;
    bool bResult = RetrieveFeed(pData, hCancel, &answer);
    if (pAnswer) *pAnswer = answer;
    // A 304 keeps the items we hold; holding none, there is nothing to keep.
    if (bResult && answer.bNotModified && !ShouldStop(pData, hCancel) && NoItemsToKeep(pData))
        bResult = RetrieveFeed(pData, hCancel, pAgain);
    return bResult;
}

void StartRefresh(_DOCKLET_DATA* pData) {
    if (!pData || IsStopping(pData)) return;
    // Held across the thread's creation so the worker cannot look at the record before
    // its handles are stored.
    qm::ScopedLock lock(pData->csState);
    if (IsWorkerRunning(pData->hRefreshThread)) return;
    // The worker arms the timer again when it ends, through the notification window.
    // Without that window the timer stays armed, so timed refreshes still come each period.
    if (pData->hwndNotify) KillTimer(pData->hwndDocklet, IDT_REFRESH);
    StartWorker(pData, pData->hRefreshThread, RefreshThreadProc);
}
