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
// A thread that drew on an icon since the mark, held open so its end can be seen, and
// the wait that wakes the dock's thread when it ends.
struct Drawer {
    HWND hwnd;
    DWORD threadId;
    HANDLE hThread;
    HANDLE hWait;
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

void Forget(Drawer& d) {
    // Waits for a wake under way, so nothing runs after the handle is closed.
    if (d.hWait) UnregisterWaitEx(d.hWait, INVALID_HANDLE_VALUE);
    CloseHandle(d.hThread);
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
            if (d.hwnd == call.hwnd && d.threadId == call.threadId && !HasEnded(d.hThread)) return;
        // This call runs on the drawing thread, so the handle is the thread's own.
        HANDLE hThread = nullptr;
        if (!DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &hThread, SYNCHRONIZE,
                             FALSE, 0))
            return;
        HANDLE hWait = nullptr;
        if (!RegisterWaitForSingleObject(&hWait, hThread, OnDrawerEnded, nullptr, INFINITE, WT_EXECUTEONLYONCE))
            hWait = nullptr;
        g_drawers.push_back({call.hwnd, call.threadId, hThread, hWait});
    }
    WakeDock();
}

void MarkRefresh() {
    qm::ScopedLock lock(g_lock);
    for (Drawer& d : g_drawers) Forget(d);
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
            if (!HasEnded(d.hThread)) return false;
            bSeen = true;
        }
        if (bDrawn && !bSeen) return false;
    }
    return true;
}
