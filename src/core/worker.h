// Threads that work on an instance: the refresh worker and the viewer's page thread.
// The instance owns each as a DockletWorker (the thread handle and a cancel event).
// The owner starts it, asks it to stop by setting the event and joins it with a
// deadline; only the owner closes the handles. A thread that misses the deadline is
// abandoned: it holds references of its own on the record and on this module, and its
// own copy of the event, which stays set, so it drops its results at its next check and
// ends safely later.
#pragma once
#include <windows.h>
#include "core/unique.h"

struct _DOCKLET_DATA;

struct DockletWorker {
    qm::UniqueHandleNull hThread;
    qm::UniqueHandleNull hCancel;
};

// Runs pfn(pArg) on a new thread that holds a reference on this module from before it
// exists until its very last instruction (it ends in FreeLibraryAndExitThread), so a host
// that unloads the DLL never pulls the code from under it. The thread's handle goes to
// *phThread when asked for, else it is closed. False when no thread could be started
// (pfn then never runs).
bool StartModuleThread(void (*pfn)(void* pArg), void* pArg, HANDLE* phThread = nullptr);

// A worker's body: runs on its own thread; hCancel is set when the owner wants it to
// stop. Exceptions are caught around it.
typedef void (*DockletWork)(_DOCKLET_DATA* pData, HANDLE hCancel);

// Starts pfnWork on a new thread. The references are taken before the thread exists,
// so a thread that is abandoned at once still finishes safely. The worker's previous
// handles (an ended thread) are released first. The caller holds csState when others
// may look at the worker. False when nothing could be started.
bool StartWorker(_DOCKLET_DATA* pData, DockletWorker& worker, DockletWork pfnWork);
// True while the worker's thread has not ended.
bool IsWorkerRunning(const DockletWorker& worker);
// Asks the worker's thread to stop (sets its event); the caller holds csState when the
// thread checks the event under that lock.
void CancelWorker(DockletWorker& worker);
// True once hCancel is set. A null event is never set.
bool IsCancelled(HANDLE hCancel);
// Waits for the thread until the tick count reaches dwDeadline, answering messages sent
// to this thread and closing any window the thread shows (a message box), then
// releases the handles. True when the thread ended, false when it was abandoned.
bool JoinWorker(DockletWorker& worker, DWORD dwDeadline);
// Cancels the refresh worker and the page thread of the instance and joins both with
// one deadline dwTimeout ms from now. The instance can start new workers afterwards.
void StopWorkers(_DOCKLET_DATA* pData, DWORD dwTimeout);
