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

bool PumpUntil(DWORD dwMs, bool (*done)(void*), void* ctx) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done && done(ctx)) return true;
        if (GetTickCount() - start >= dwMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void PumpFor(DWORD dwMs) {
    PumpUntil(dwMs, nullptr, nullptr);
}

namespace {
void DispatchPending() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}
}  // namespace

bool WaitForWorker(const DockletWorker& worker, DWORD dwMs) {
    HANDLE hThread = worker.hThread.get();
    if (!hThread) return true;
    DWORD start = GetTickCount();
    for (;;) {
        DispatchPending();
        DWORD dwSpent = GetTickCount() - start;
        if (dwSpent >= dwMs) return WaitForSingleObject(hThread, 0) == WAIT_OBJECT_0;
        if (MsgWaitForMultipleObjects(1, &hThread, FALSE, dwMs - dwSpent, QS_ALLINPUT) == WAIT_OBJECT_0) break;
    }
    DispatchPending();
    return true;
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
    snprintf(sz, sizeof(sz), "%sqm-%s-%lu-%ld\\", szTemp, tag, GetCurrentProcessId(), InterlockedIncrement(&counter));
    CreateDirectoryA(sz, nullptr);
    return sz;
}
