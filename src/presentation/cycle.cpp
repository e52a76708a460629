#include "presentation/cycle.h"
#include <cwchar>
#include "core/record.h"
#include "presentation/icon.h"

namespace {

// Whether two items show the same text for the item field iField (0: none shown).
bool SameField(const _RSSFEED_DATA* pA, const _RSSFEED_DATA* pB, unsigned int iField) {
    if (iField == INFO_ITEM_TITLE) return wcscmp(pA->szTitle, pB->szTitle) == 0;
    if (iField == INFO_ITEM_LINK) return wcscmp(pA->szLink, pB->szLink) == 0;
    return true;
}

}  // namespace

bool IsCyclePaused(const _DOCKLET_DATA* pData) {
    return pData->iOpenUI > 0 || pData->hwndViewer || pData->bRefreshing || pData->bLoadingPage ||
           IsWorkerRunning(pData->hRefreshThread);
}

int NextCycleItem(int iCurrent, unsigned int nItems, int iCount) {
    unsigned int n = iCount < 1 ? 1u : static_cast<unsigned int>(iCount);
    if (nItems < n) n = nItems;
    if (n < 2) return -1;
    if (iCurrent < 0 || static_cast<unsigned int>(iCurrent) + 1 >= n) return 0;
    return iCurrent + 1;
}

bool StepHeadlineCycle(_DOCKLET_DATA* pData) {
    if (!pData || IsStopping(pData)) return false;
    if (!pData->bCycleItems) {
        KillTimer(pData->hwndDocklet, IDT_CYCLE);
        return false;
    }
    if (IsCyclePaused(pData)) return false;
    // Which item field the icon text and the label show; with neither, a step would
    // change nothing the user sees, and the shown item stays the current one.
    unsigned int iIconField = ShownItemField(pData->iDockletInfo);
    unsigned int iLabelField = ShownItemField(pData->iLabelInfo);
    if (!iIconField && !iLabelField) return false;
    {
        qm::ScopedLock lock(pData->csState);
        int iCurrent = pData->iCurrentItem;
        unsigned int nItems = pData->items.GetCount();
        // No current item: the dock shows that no items are available, and keeps to it.
        if (iCurrent < 0 || static_cast<unsigned int>(iCurrent) >= nItems) return false;
        int iNext = NextCycleItem(iCurrent, nItems, pData->iCycleCount);
        if (iNext < 0 || iNext == iCurrent) return false;
        const _RSSFEED_DATA* pOld = pData->items.GetAt(iCurrent);
        const _RSSFEED_DATA* pNew = pData->items.GetAt(iNext);
        pData->iCurrentItem = iNext;
        if (SameField(pOld, pNew, iIconField) && SameField(pOld, pNew, iLabelField)) return false;
    }
    UpdateDockDisplay(pData);
    return true;
}
