// Creation, start-up and tear-down of an instance, and the threads that share it.
#pragma once
#include "core/docklet.h"

// Builds and starts an instance for the host window hwnd (OnCreate). Returns null when
// it could not be created; nothing of it remains then.
_DOCKLET_DATA* CreateDocklet(HWND hwndDocklet, HINSTANCE hInstance, const char* szFile, const char* szSection);
// Stops the instance's threads at a safe point and releases it (OnDestroy). Returns
// within about two seconds even when a thread is stuck; such a thread is abandoned and
// frees the record when it ends.
void DestroyDocklet(_DOCKLET_DATA* pData);
// Applies the active profile's images (or the docklet-wide ones) and starts the refresh
// cycle.
void ApplyCurrentProfile(_DOCKLET_DATA* pData);

// A record built the way OnCreate builds it, without windows, threads or settings: the
// settings sheet's working copy and test fixtures. Free it with ReleaseDocklet.
_DOCKLET_DATA* NewDockletRecord();

// References on the record: one for its owner and one per running thread.
void AddRefDocklet(_DOCKLET_DATA* pData);
void ReleaseDocklet(_DOCKLET_DATA* pData);

// True once the instance is being destroyed; a thread checks it at each safe point and
// then leaves without touching the instance further.
inline bool IsStopping(const _DOCKLET_DATA* pData) { return pData->bStopping != 0; }

// Runs pfnWork(pData) on a new thread that holds a reference on the record and on this
// module, so an abandoned thread can finish safely. Returns the thread handle (owned by
// the caller) or null.
HANDLE StartDockletThread(_DOCKLET_DATA* pData, void (*pfnWork)(_DOCKLET_DATA*));
// Waits up to dwTimeout ms for a thread while dispatching this thread's messages, and
// asks any message box the thread shows to close. True when the thread ended.
bool WaitForDockletThread(HANDLE hThread, DWORD dwTimeout);
// Takes the page and refresh thread handles out of the record under its lock, so no one
// else waits on or closes them; either may be null.
void TakeDockletThreads(_DOCKLET_DATA* pData, HANDLE* phPage, HANDLE* phRefresh);

// Arms the hourly refresh timer on hwndDocklet. SetTimer needs the window's own thread,
// so a call from another thread is posted to the user-interface thread.
void ArmRefreshTimer(_DOCKLET_DATA* pData);
// Runs pfn(pArg) on the instance's user-interface thread (posted; returns at once).
// False when it could not be posted.
bool PostToUIThread(_DOCKLET_DATA* pData, void (*pfn)(void*), void* pArg);

// The thread that last armed the refresh timer, for checks.
extern volatile DWORD g_dwLastTimerThread;

// GDI+ is started once for the process and shut down with the last instance.
bool StartGdiplus(int* piStatus);
void StopGdiplus();
