#include "core/worker.h"
#include <new>
#include "core/record.h"

namespace {

// What a module thread receives.
struct ModuleThreadStart {
    void (*pfn)(void*);
    void* pArg;
    HMODULE hModule;
};

DWORD WINAPI ModuleThreadProc(void* pv) {
    ModuleThreadStart start = *static_cast<ModuleThreadStart*>(pv);
    delete static_cast<ModuleThreadStart*>(pv);
    start.pfn(start.pArg);
    FreeLibraryAndExitThread(start.hModule, 0);
    return 0;
}

// What a worker's thread receives; it owns the cancel event's duplicate and the record's
// reference.
struct WorkerStart {
    _DOCKLET_DATA* pData;
    DockletWork pfnWork;
    HANDLE hCancel;
};

void WorkerThread(void* pv) {
    WorkerStart start = *static_cast<WorkerStart*>(pv);
    delete static_cast<WorkerStart*>(pv);
    try {
        start.pfnWork(start.pData, start.hCancel);
    } catch (...) {
        // Nothing may escape a thread; the work leaves the record consistent on its own.
    }
    CloseHandle(start.hCancel);
    ReleaseDocklet(start.pData);
}

BOOL CALLBACK CloseThreadWindow(HWND hwnd, LPARAM) {
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    return TRUE;
}

}  // namespace

bool StartModuleThread(void (*pfn)(void* pArg), void* pArg, HANDLE* phThread) {
    if (phThread) *phThread = nullptr;
    HMODULE hModule = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&ModuleThreadProc),
                            &hModule))
        return false;
    qm::UniqueModule module(hModule);
    auto* pStart = new (std::nothrow) ModuleThreadStart{pfn, pArg, hModule};
    if (!pStart) return false;
    HANDLE hThread = CreateThread(nullptr, 0, ModuleThreadProc, pStart, 0, nullptr);
    if (!hThread) {
        delete pStart;
        return false;
    }
    module.release();  // the thread's now
    if (phThread)
        *phThread = hThread;
    else
        CloseHandle(hThread);
    return true;
}

bool StartWorker(_DOCKLET_DATA* pData, DockletWorker& worker, DockletWork pfnWork) {
    worker.hThread.reset();
    worker.hCancel.reset();
    qm::UniqueHandleNull hCancel(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!hCancel) return false;
    HANDLE hThreadCancel = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), hCancel.get(), GetCurrentProcess(), &hThreadCancel, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
        return false;
    qm::UniqueHandleNull threadCancel(hThreadCancel);
    auto* pStart = new (std::nothrow) WorkerStart{pData, pfnWork, threadCancel.get()};
    if (!pStart) return false;
    AddRefDocklet(pData);
    HANDLE hThread = nullptr;
    if (!StartModuleThread(WorkerThread, pStart, &hThread)) {
        delete pStart;
        ReleaseDocklet(pData);
        return false;
    }
    // The thread owns the event's duplicate now.
    threadCancel.release();
    worker.hThread.reset(hThread);
    worker.hCancel = std::move(hCancel);
    return true;
}

bool IsWorkerRunning(const DockletWorker& worker) {
    return worker.hThread && WaitForSingleObject(worker.hThread.get(), 0) == WAIT_TIMEOUT;
}

void CancelWorker(DockletWorker& worker) {
    if (worker.hCancel) SetEvent(worker.hCancel.get());
}

bool IsCancelled(HANDLE hCancel) {
    return hCancel && WaitForSingleObject(hCancel, 0) == WAIT_OBJECT_0;
}

bool JoinWorker(DockletWorker& worker, DWORD dwDeadline) {
    bool bEnded = true;
    if (worker.hThread) {
        HANDLE hThread = worker.hThread.get();
        DWORD dwThreadId = GetThreadId(hThread);
        for (;;) {
            // A message box the thread shows would hold it up until someone clicks it.
            if (dwThreadId) EnumThreadWindows(dwThreadId, CloseThreadWindow, 0);
            DWORD dwNow = GetTickCount();
            LONG lLeft = static_cast<LONG>(dwDeadline - dwNow);
            if (lLeft <= 0) {
                bEnded = WaitForSingleObject(hThread, 0) == WAIT_OBJECT_0;
                break;
            }
            // Short slices, so a box that appears meanwhile is closed soon.
            DWORD dwSlice = lLeft > 50 ? 50 : static_cast<DWORD>(lLeft);
            DWORD r = MsgWaitForMultipleObjects(1, &hThread, FALSE, dwSlice, QS_SENDMESSAGE);
            if (r == WAIT_OBJECT_0) break;
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
    }
    worker.hThread.reset();
    worker.hCancel.reset();
    return bEnded;
}

void StopWorkers(_DOCKLET_DATA* pData, DWORD dwTimeout) {
    if (!pData) return;
    DockletWorker page, refresh;
    {
        // Cancelled under the lock the threads check it under, and taken out, so nobody
        // else waits on or closes these handles.
        qm::ScopedLock lock(pData->csState);
        CancelWorker(pData->hPageThread);
        CancelWorker(pData->hRefreshThread);
        page = std::move(pData->hPageThread);
        refresh = std::move(pData->hRefreshThread);
    }
    DWORD dwDeadline = GetTickCount() + dwTimeout;
    JoinWorker(page, dwDeadline);
    JoinWorker(refresh, dwDeadline);
}
