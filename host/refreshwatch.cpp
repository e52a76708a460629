#include "refreshwatch.h"
#include <windows.h>
#include <vector>
#include "core/unique.h"
#include "hostcalls.h"
#include "icons.h"

namespace {

qm::CriticalSection g_lock;
DWORD g_dwDockThread = GetCurrentThreadId();
// A thread that drew on an icon since the mark, held open so its end can be seen.
struct Drawer {
    HWND hwnd;
    DWORD threadId;
    qm::UniqueHandleNull hThread;
};
std::vector<Drawer> g_drawers;

bool HasEnded(HANDLE hThread) {
    return WaitForSingleObject(hThread, 0) == WAIT_OBJECT_0;
}

}  // namespace

bool IsBusyLabel(const std::string& label) {
    return label.rfind("Retrieving RSS Feed", 0) == 0;
}

void NoteDrawing(const HostCall& call) {
    if (call.threadId == g_dwDockThread) return;
    if (call.name != "DockletSetLabel" && call.name != "DockletSetImageOverlay") return;
    qm::ScopedLock lock(g_lock);
    for (const Drawer& d : g_drawers)
        if (d.hwnd == call.hwnd && d.threadId == call.threadId && !HasEnded(d.hThread.get())) return;
    // This call runs on the drawing thread, so the handle is the thread's own.
    HANDLE hThread = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &hThread, SYNCHRONIZE, FALSE,
                         0))
        return;
    g_drawers.push_back({call.hwnd, call.threadId, qm::UniqueHandleNull(hThread)});
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
