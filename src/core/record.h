// The instance record as the threads share it: references, the stop flag, the display
// lock, and the ways to reach the user-interface thread.
#pragma once
#include "core/docklet.h"

// A record built the way OnCreate builds it, without windows, threads or settings: the
// settings sheet's working copy and test fixtures. Free it with ReleaseDocklet.
_DOCKLET_DATA* NewDockletRecord();

// References on the record: one for its owner, one per running thread and one per modal
// loop that the host may end by destroying the instance.
void AddRefDocklet(_DOCKLET_DATA* pData);
void ReleaseDocklet(_DOCKLET_DATA* pData);

// A reference held for one scope.
class DockletRef {
public:
    explicit DockletRef(_DOCKLET_DATA* pData) : m_pData(pData) { if (m_pData) AddRefDocklet(m_pData); }
    ~DockletRef() { ReleaseDocklet(m_pData); }
    DockletRef(const DockletRef&) = delete;
    DockletRef& operator=(const DockletRef&) = delete;
private:
    _DOCKLET_DATA* m_pData;
};

// True once the instance is being destroyed; a thread checks it at each safe point and
// then leaves without touching the instance further.
inline bool IsStopping(const _DOCKLET_DATA* pData) { return pData->bStopping != 0; }
// True when a worker should stop: the instance is being destroyed or its owner set
// hCancel.
bool ShouldStop(const _DOCKLET_DATA* pData, HANDLE hCancel);

// Holds the display lock of an instance for one scope. While it waits, messages sent
// to this thread are answered: a worker that holds the lock may be inside a host call
// that waits on this thread (the host's user-interface thread). Recursive.
class DisplayLock {
public:
    explicit DisplayLock(_DOCKLET_DATA* pData);
    ~DisplayLock();
    DisplayLock(const DisplayLock&) = delete;
    DisplayLock& operator=(const DisplayLock&) = delete;
private:
    HANDLE m_hMutex;
};

// Asks for the record's state to be shown on the dock (pfnUpdateDisplay); never throws.
void RequestDisplayUpdate(_DOCKLET_DATA* pData);

// The period of the refresh timer: the instance's "RefreshMinutes", or longer when the
// active feed asks for less often or the last answer asked for more time (dwBackOffMs).
UINT RefreshTimerPeriod(_DOCKLET_DATA* pData);
// Arms the refresh timer on hwndDocklet with RefreshTimerPeriod. SetTimer needs the
// window's own thread, so a call from another thread is posted to the user-interface
// thread.
void ArmRefreshTimer(_DOCKLET_DATA* pData);
// Starts the headline cycle's timer on hwndDocklet anew with the instance's period, or
// stops it when cycling is off. From another thread it is posted to the user-interface
// thread, as ArmRefreshTimer is.
void ArmCycleTimer(_DOCKLET_DATA* pData);
// Plays the dock's attention animation on the icon once. Like a display update it
// holds the display lock and reaches the host no more once the instance is stopping;
// call it without csState.
void RequestAttention(_DOCKLET_DATA* pData);

// Marks a menu or the settings of the instance as open for one scope (user-interface
// thread); the headline cycle waits meanwhile.
class CyclePause {
public:
    explicit CyclePause(_DOCKLET_DATA* pData) : m_pData(pData) { if (m_pData) ++m_pData->iOpenUI; }
    ~CyclePause() { if (m_pData) --m_pData->iOpenUI; }
    CyclePause(const CyclePause&) = delete;
    CyclePause& operator=(const CyclePause&) = delete;
private:
    _DOCKLET_DATA* m_pData;
};

// Runs pfn(pArg) on the instance's user-interface thread (posted; returns at once).
// False when it could not be posted.
bool PostToUIThread(_DOCKLET_DATA* pData, void (*pfn)(void*), void* pArg);

// The thread that last armed the refresh timer, for checks.
extern volatile DWORD g_dwLastTimerThread;

// Guards what the instances of a process share: the GDI+ start-up and the window
// classes, each counted and released with the last user.
qm::CriticalSection& ProcessLock();
