#include "core/record.h"
#include <new>

volatile DWORD g_dwLastTimerThread = 0;

_DOCKLET_DATA* NewDockletRecord() {
    try {
        return new _DOCKLET_DATA();
    } catch (...) {
        return nullptr;
    }
}

void AddRefDocklet(_DOCKLET_DATA* pData) {
    InterlockedIncrement(&pData->lRefs);
}

void ReleaseDocklet(_DOCKLET_DATA* pData) {
    if (pData && InterlockedDecrement(&pData->lRefs) == 0) delete pData;
}

bool ShouldStop(const _DOCKLET_DATA* pData, HANDLE hCancel) {
    return IsStopping(pData) || IsCancelled(hCancel);
}

DisplayLock::DisplayLock(_DOCKLET_DATA* pData) : m_hMutex(pData->hDisplayMutex.get()) {
    if (!m_hMutex) return;
    for (;;) {
        DWORD r = MsgWaitForMultipleObjects(1, &m_hMutex, FALSE, INFINITE, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED_0) return;
        if (r != WAIT_OBJECT_0 + 1) {
            // The wait itself failed: take the lock without answering messages.
            WaitForSingleObject(m_hMutex, INFINITE);
            return;
        }
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

DisplayLock::~DisplayLock() {
    if (m_hMutex) ReleaseMutex(m_hMutex);
}

void RequestDisplayUpdate(_DOCKLET_DATA* pData) {
    if (!pData || !pData->pfnUpdateDisplay) return;
    try {
        pData->pfnUpdateDisplay(pData);
    } catch (...) {
        // Out of memory while drawing: the dock keeps what it showed.
    }
}

void ArmRefreshTimer(_DOCKLET_DATA* pData) {
    if (!pData || IsStopping(pData)) return;
    DWORD dwOwner = GetWindowThreadProcessId(pData->hwndDocklet, nullptr);
    if (dwOwner == GetCurrentThreadId() || (!dwOwner && GetCurrentThreadId() == pData->dwUIThreadId)) {
        SetTimer(pData->hwndDocklet, IDT_REFRESH, REFRESH_INTERVAL, nullptr);
        g_dwLastTimerThread = GetCurrentThreadId();
        return;
    }
    if (pData->hwndNotify) PostMessageW(pData->hwndNotify.get(), WM_QM_ARMTIMER, 0, 0);
}

bool PostToUIThread(_DOCKLET_DATA* pData, void (*pfn)(void*), void* pArg) {
    if (!pData || !pData->hwndNotify) return false;
    return PostMessageW(pData->hwndNotify.get(), WM_QM_CALLBACK, reinterpret_cast<WPARAM>(pfn),
                        reinterpret_cast<LPARAM>(pArg)) != FALSE;
}

qm::CriticalSection& ProcessLock() {
    static qm::CriticalSection cs;
    return cs;
}
