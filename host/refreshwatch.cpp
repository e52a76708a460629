#include "refreshwatch.h"
#include <windows.h>
#include <vector>
#include "core/unique.h"
#include "hostcalls.h"
#include "icons.h"
#include "script.h"

namespace {

qm::CriticalSection g_lock;
DWORD g_dwDockThread = GetCurrentThreadId();
// Ends a registered wait, waiting for a callback under way, so nothing runs after it.
struct UnregisterWaitDeleter {
    void operator()(HANDLE hWait) const { UnregisterWaitEx(hWait, INVALID_HANDLE_VALUE); }
};

// A thread that drew on an icon since the mark, held open so its end can be seen, and
// the wait that wakes the dock's thread when it ends (gone before the thread's handle).
struct Drawer {
    HWND hwnd;
    DWORD threadId;
    qm::UniqueHandleNull hThread;
    qm::UniqueHandle<HANDLE, UnregisterWaitDeleter> hWait;
};
std::vector<Drawer> g_drawers;

bool HasEnded(HANDLE hThread) {
    return WaitForSingleObject(hThread, 0) == WAIT_OBJECT_0;
}

// Wakes the dock's thread, wherever it waits, to look at the refresh again.
void WakeDock() {
    if (HWND hwnd = ScriptWindow()) PostMessageW(hwnd, WM_NULL, 0, 0);
}

void CALLBACK OnDrawerEnded(void*, BOOLEAN) {
    WakeDock();
}


}  // namespace

bool IsBusyLabel(const std::string& label) {
    return label.rfind("Retrieving RSS Feed", 0) == 0;
}

void NoteDrawing(const HostCall& call) {
    // Only scripted runs wait for refreshes.
    if (call.threadId == g_dwDockThread || !ScriptWindow()) return;
    if (call.name != "DockletSetLabel" && call.name != "DockletSetImageOverlay") return;
    {
        qm::ScopedLock lock(g_lock);
        for (const Drawer& d : g_drawers)
            if (d.hwnd == call.hwnd && d.threadId == call.threadId && !HasEnded(d.hThread.get())) return;
        Drawer d = {call.hwnd, call.threadId, {}, {}};
        // This call runs on the drawing thread, so the handle is the thread's own.
        HANDLE hProcess = GetCurrentProcess();
        if (!DuplicateHandle(hProcess, GetCurrentThread(), hProcess, d.hThread.put(), SYNCHRONIZE, FALSE, 0)) return;
        if (!RegisterWaitForSingleObject(d.hWait.put(), d.hThread.get(), OnDrawerEnded, nullptr, INFINITE,
                                         WT_EXECUTEONLYONCE))
            d.hWait.release();
        g_drawers.push_back(std::move(d));
    }
    WakeDock();
}

void MarkRefresh() {
    qm::ScopedLock lock(g_lock);
    g_drawers.clear();
}

bool RefreshOver(bool bDrawn) {
    for (const Icon* p : g_icons) {
        if (!p->pData) continue;
        if (IsBusyLabel(IconLabel(p))) return false;
        qm::ScopedLock lock(g_lock);
        bool bSeen = false;
        for (const Drawer& d : g_drawers) {
            if (d.hwnd != p->hwnd) continue;
            if (!HasEnded(d.hThread.get())) return false;
            bSeen = true;
        }
        if (bDrawn && !bSeen) return false;
    }
    return true;
}
