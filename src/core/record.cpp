#include "core/record.h"
#include <cstring>
#include <new>
#include "core/host.h"

volatile DWORD g_dwLastTimerThread = 0;

#ifdef QM_CHECK_FREED_RECORDS
namespace {

// The test build does not give a freed record's memory back at once: it fills it with
// this byte and keeps the last few, and checks the fill whenever another record is freed
// and when the module ends. A write into a record after its last reference went (a
// reference taken too late, or given back too early) changes the fill, and the run ends
// at once with exit code 3 and a line on the error output saying so.
const unsigned char c_bFreedFill = 0xDD;
const size_t c_cKeptFreed = 64;

struct FreedRecords {
    qm::CriticalSection cs;
    void* apRecords[c_cKeptFreed] = {};
    size_t iNext = 0;

    static bool Intact(const void* p) {
        const auto* pb = static_cast<const unsigned char*>(p);
        for (size_t i = 0; i < sizeof(_DOCKLET_DATA); ++i)
            if (pb[i] != c_bFreedFill) return false;
        return true;
    }
    static void Fail() {
        static const char c_szText[] = "quillmere: an instance record was written to after it was freed\n";
        DWORD cb = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), c_szText, sizeof(c_szText) - 1, &cb, nullptr);
        OutputDebugStringA(c_szText);
        TerminateProcess(GetCurrentProcess(), 3);
    }
    void CheckAll() {
        for (void* p : apRecords)
            if (p && !Intact(p)) Fail();
    }
    void Keep(_DOCKLET_DATA* pData) {
        pData->~_DOCKLET_DATA();
        memset(static_cast<void*>(pData), c_bFreedFill, sizeof(_DOCKLET_DATA));
        qm::ScopedLock lock(cs);
        CheckAll();
        if (void* pOldest = apRecords[iNext]) ::operator delete(pOldest);
        apRecords[iNext] = pData;
        iNext = (iNext + 1) % c_cKeptFreed;
    }
};

// Never destroyed: a thread may free a record while the module ends.
FreedRecords& Freed() {
    static FreedRecords* s_pFreed = new FreedRecords();
    return *s_pFreed;
}

// The last check, when the module ends (the DLL unloads, or the program exits).
struct FinalCheck {
    ~FinalCheck() {
        FreedRecords& freed = Freed();
        qm::ScopedLock lock(freed.cs);
        freed.CheckAll();
    }
} g_finalCheck;

}  // namespace
#endif

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
    if (!pData || InterlockedDecrement(&pData->lRefs) != 0) return;
#ifdef QM_CHECK_FREED_RECORDS
    Freed().Keep(pData);
#else
    delete pData;
#endif
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

// pfnUpdateDisplay is UpdateDockDisplay (presentation/icon.cpp), set by StartInstance in
// app/instance.cpp; see docs/ARCHITECTURE.md.
void RequestDisplayUpdate(_DOCKLET_DATA* pData) {
    if (!pData || !pData->pfnUpdateDisplay) return;
    try {
        pData->pfnUpdateDisplay(pData);
    } catch (...) {
        // Out of memory while drawing: the dock keeps what it showed.
    }
}

namespace {

// SetTimer and KillTimer work only on the thread that owns the window.
bool OnTimerThread(const _DOCKLET_DATA* pData) {
    DWORD dwOwner = GetWindowThreadProcessId(pData->hwndDocklet, nullptr);
    return dwOwner == GetCurrentThreadId() || (!dwOwner && GetCurrentThreadId() == pData->dwUIThreadId);
}

}  // namespace

UINT RefreshTimerPeriod(_DOCKLET_DATA* pData) {
    qm::ScopedLock lock(pData->csState);
    int iFeedRule = 0;
    int i = pData->iCurrentProfile;
    if (i >= 0 && static_cast<unsigned int>(i) < pData->profiles.GetCount() && pData->profiles.GetAt(i))
        iFeedRule = pData->profiles.GetAt(i)->iFeedRuleMinutes;
    return RefreshPeriodMs(pData->iRefreshMinutes, iFeedRule, pData->dwBackOffMs);
}

void ArmRefreshTimer(_DOCKLET_DATA* pData) {
    if (!pData || IsStopping(pData)) return;
    if (OnTimerThread(pData)) {
        SetTimer(pData->hwndDocklet, IDT_REFRESH, RefreshTimerPeriod(pData), nullptr);
        g_dwLastTimerThread = GetCurrentThreadId();
        return;
    }
    // Comes back here on the window's thread through NotifyWndProc (app/instance.cpp).
    if (pData->hwndNotify) PostMessageW(pData->hwndNotify.get(), WM_QM_ARMTIMER, 0, 0);
}

void ArmCycleTimer(_DOCKLET_DATA* pData) {
    if (!pData || IsStopping(pData)) return;
    if (!OnTimerThread(pData)) {
        if (pData->hwndNotify) PostMessageW(pData->hwndNotify.get(), WM_QM_ARMCYCLE, 0, 0);
        return;
    }
    if (!pData->bCycleItems) {
        KillTimer(pData->hwndDocklet, IDT_CYCLE);
        return;
    }
    int iSeconds = pData->iCycleSeconds;
    if (iSeconds < CYCLE_SECONDS_MIN) iSeconds = CYCLE_SECONDS_MIN;
    if (iSeconds > CYCLE_SECONDS_MAX) iSeconds = CYCLE_SECONDS_MAX;
    SetTimer(pData->hwndDocklet, IDT_CYCLE, static_cast<UINT>(iSeconds) * 1000u, nullptr);
}

void RequestAttention(_DOCKLET_DATA* pData) {
    if (!pData) return;
    DisplayLock lock(pData);
    if (IsStopping(pData)) return;
    HostDoAttentionAnimation(pData->hwndDocklet);
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
