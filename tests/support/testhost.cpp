#include "support/testhost.h"
#include <cstdio>
#include "core/message.h"

namespace {
qm::CriticalSection g_lock;  // guards the captured messages
std::vector<std::wstring> g_messages;
void (*volatile g_pfnLabelHook)() = nullptr;

int CaptureSink(const wchar_t* szText, UINT uType, void*) {
    qm::ScopedLock lock(g_lock);
    g_messages.push_back(szText);
    return (uType & MB_YESNO) ? IDYES : IDOK;
}

LRESULT CALLBACK DockWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, uMsg, wParam, lParam);
}

void CallLabelHook(const HostCall& call) {
    if (call.name != "DockletSetLabel") return;
    if (auto pfnHook = g_pfnLabelHook) pfnHook();
}
}  // namespace

void ResetHost() {
    ResetHostCalls();
    qm::ScopedLock lock(g_lock);
    g_messages.clear();
}

void SetHostLabelHook(void (*pfnHook)()) {
    g_pfnLabelHook = pfnHook;
    SetHostCallObserver(pfnHook ? CallLabelHook : nullptr);
}

void CaptureMessages() {
    SetMessageSink(CaptureSink, nullptr);
}

std::vector<std::wstring> CapturedMessages() {
    qm::ScopedLock lock(g_lock);
    return g_messages;
}

HWND CreateDockWindow() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DockWndProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TestDockIcon";
        RegisterClassA(&wc);
        registered = true;
    }
    return CreateWindowA("TestDockIcon", "icon", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr, GetModuleHandleA(nullptr),
                         nullptr);
}

namespace {

// How often a condition is asked again while no message comes.
const DWORD c_dwAskAgainMs = 5;

bool DispatchOne() {
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return true;
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, DWORD dwMs) {
    DWORD dwStart = GetTickCount();
    for (;;) {
        while (DispatchOne())
            if (done()) return true;
        if (done()) return true;
        DWORD dwSpent = GetTickCount() - dwStart;
        if (dwSpent >= dwMs) return false;
        DWORD dwLeft = dwMs - dwSpent;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, dwLeft < c_dwAskAgainMs ? dwLeft : c_dwAskAgainMs, QS_ALLINPUT);
    }
}

namespace {

volatile LONG g_lMarkersSeen = 0;

LRESULT CALLBACK MarkerWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_APP) {
        InterlockedExchange(&g_lMarkersSeen, static_cast<LONG>(wParam));
        return 0;
    }
    return DefWindowProcW(hwnd, uMsg, wParam, lParam);
}

}  // namespace

void PumpPosted() {
    // A marker posted behind what is queued now, to a window of this thread so any
    // message loop dispatches it: what came before it has run when it comes.
    static HWND s_hwndMarker = nullptr;
    static LONG s_lMarkers = 0;
    if (!s_hwndMarker) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = MarkerWndProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QuillmereTestMarker";
        RegisterClassW(&wc);
        s_hwndMarker = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    }
    LONG lMarker = ++s_lMarkers;
    PostMessageW(s_hwndMarker, WM_APP, static_cast<WPARAM>(lMarker), 0);
    PumpUntil([lMarker] { return g_lMarkersSeen == lMarker; }, 10000);
}

bool WaitForThread(HANDLE hThread, DWORD dwMs) {
    if (!hThread) return true;
    DWORD dwStart = GetTickCount();
    for (;;) {
        while (DispatchOne()) {
        }
        DWORD dwSpent = GetTickCount() - dwStart;
        if (dwSpent >= dwMs) return WaitForSingleObject(hThread, 0) == WAIT_OBJECT_0;
        if (MsgWaitForMultipleObjects(1, &hThread, FALSE, dwMs - dwSpent, QS_ALLINPUT) == WAIT_OBJECT_0) return true;
    }
}

bool WaitForWorker(const DockletWorker& worker, DWORD dwMs) {
    if (!WaitForThread(worker.hThread.get(), dwMs)) return false;
    PumpPosted();
    return true;
}

qm::UniqueHandleNull DuplicateWorkerThread(const DockletWorker& worker) {
    HANDLE hCopy = nullptr;
    if (worker.hThread)
        DuplicateHandle(GetCurrentProcess(), worker.hThread.get(), GetCurrentProcess(), &hCopy, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
    return qm::UniqueHandleNull(hCopy);
}

std::string ReadFileBytes(const std::wstring& path) {
    std::string bytes;
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return bytes;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0) bytes.append(buf, n);
    fclose(f);
    return bytes;
}

std::string TestExeFolder() {
    char sz[MAX_PATH];
    GetModuleFileNameA(nullptr, sz, MAX_PATH);
    std::string s = sz;
    return s.substr(0, s.find_last_of('\\') + 1);
}

std::string BuildPath(const char* rel) {
    return TestExeFolder() + "..\\" + rel;
}

std::string MakeTempFolder(const char* tag) {
    char szTemp[MAX_PATH];
    GetTempPathA(MAX_PATH, szTemp);
    static LONG counter = 0;
    char sz[MAX_PATH];
    // Process identifiers come again, so a folder of that name may be left from an
    // earlier run, with its files: the name is taken only when the folder is new.
    for (int i = 0; i < 1000; ++i) {
        snprintf(sz, sizeof(sz), "%sqm-%s-%lu-%ld\\", szTemp, tag, GetCurrentProcessId(),
                 InterlockedIncrement(&counter));
        if (CreateDirectoryA(sz, nullptr) || GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return sz;
}
