#include "support/testhost.h"
#include <cstdio>
#include "core/gdiplus.h"
#include "core/message.h"

namespace {
qm::CriticalSection g_lock;
HostRecord g_record;
std::string g_root = "C:\\dock\\";
std::string g_relative = ".\\Docklets\\Quillmere\\";
std::string g_browse;
std::vector<std::wstring> g_messages;

void Record(const char* szName, HWND hwnd, const std::string& text, int value) {
    g_record.calls.push_back({szName, hwnd, text, value, GetCurrentThreadId()});
}

int CaptureSink(const wchar_t* szText, UINT uType, void*) {
    qm::ScopedLock lock(g_lock);
    g_messages.push_back(szText);
    return (uType & MB_YESNO) ? IDYES : IDOK;
}

LRESULT CALLBACK DockWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, uMsg, wParam, lParam);
}
}  // namespace

void ResetHost() {
    qm::ScopedLock lock(g_lock);
    if (g_record.pOverlay) qm::GdipDisposeImage(static_cast<qm::GpImage*>(g_record.pOverlay));
    g_record = HostRecord();
    g_browse.clear();
    g_messages.clear();
}

HostRecord HostSnapshot() {
    qm::ScopedLock lock(g_lock);
    return g_record;
}

std::vector<HostCall> HostCalls(const char* szName) {
    qm::ScopedLock lock(g_lock);
    std::vector<HostCall> out;
    for (const HostCall& c : g_record.calls)
        if (c.name == szName) out.push_back(c);
    return out;
}

void SetHostFolders(const std::string& root, const std::string& relative) {
    qm::ScopedLock lock(g_lock);
    g_root = root;
    g_relative = relative;
}

void SetHostBrowseResult(const std::string& path) {
    qm::ScopedLock lock(g_lock);
    g_browse = path;
}

bool SaveHostOverlay(const wchar_t* szPath) {
    qm::ScopedLock lock(g_lock);
    if (!g_record.pOverlay) return false;
    return qm::GdipSaveImageToFile(static_cast<qm::GpImage*>(g_record.pOverlay), szPath, &qm::PngEncoderClsid(),
                                   nullptr) == Gdiplus::Ok;
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

// ---- exported host functions ----
namespace {
void (*volatile g_pfnLabelHook)() = nullptr;
}  // namespace

void SetHostLabelHook(void (*pfnHook)()) {
    g_pfnLabelHook = pfnHook;
}

extern "C" {

BOOL __stdcall DockletSetLabel(HWND hwnd, char* szLabel) {
    {
        qm::ScopedLock lock(g_lock);
        g_record.label = szLabel ? szLabel : "";
        Record("DockletSetLabel", hwnd, g_record.label, 0);
    }
    if (auto pfnHook = g_pfnLabelHook) pfnHook();
    return TRUE;
}

BOOL __stdcall DockletSetImageOverlay(HWND hwnd, void* pImage, BOOL) {
    qm::ScopedLock lock(g_lock);
    if (g_record.pOverlay) qm::GdipDisposeImage(static_cast<qm::GpImage*>(g_record.pOverlay));
    g_record.pOverlay = pImage;
    ++g_record.overlays;
    UINT w = 0;
    if (pImage) qm::GdipGetImageWidth(static_cast<qm::GpImage*>(pImage), &w);
    Record("DockletSetImageOverlay", hwnd, "", static_cast<int>(w));
    return TRUE;
}

BOOL __stdcall DockletSetImageFile(HWND hwnd, char* szImage) {
    qm::ScopedLock lock(g_lock);
    g_record.imageFile = szImage ? szImage : "";
    Record("DockletSetImageFile", hwnd, g_record.imageFile, 0);
    return TRUE;
}

BOOL __stdcall DockletBrowseForImage(HWND hwnd, char* szImage, char* szRoot) {
    qm::ScopedLock lock(g_lock);
    Record("DockletBrowseForImage", hwnd, szRoot ? szRoot : "", 0);
    if (g_browse.empty() || !szImage) return FALSE;
    lstrcpynA(szImage, g_browse.c_str(), 270);
    return TRUE;
}

void* __stdcall DockletLoadGDIPlusImage(char* szImage) {
    {
        qm::ScopedLock lock(g_lock);
        Record("DockletLoadGDIPlusImage", nullptr, szImage ? szImage : "", 0);
    }
    if (!szImage) return nullptr;
    wchar_t szPath[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, szImage, -1, szPath, MAX_PATH);
    qm::GpImage* pImage = nullptr;
    return qm::GdipLoadImageFromFile(szPath, &pImage) == Gdiplus::Ok ? pImage : nullptr;
}

void __stdcall DockletLockMouseEffect(HWND hwnd, BOOL bLock) {
    qm::ScopedLock lock(g_lock);
    g_record.lockDepth += bLock ? 1 : -1;
    Record("DockletLockMouseEffect", hwnd, "", bLock);
}

void __stdcall DockletDoAttentionAnimation(HWND hwnd) {
    qm::ScopedLock lock(g_lock);
    ++g_record.attention;
    Record("DockletDoAttentionAnimation", hwnd, "", 0);
}

void __stdcall DockletGetRootFolder(HWND, char* szFolder) {
    qm::ScopedLock lock(g_lock);
    if (szFolder) lstrcpynA(szFolder, g_root.c_str(), MAX_PATH);
}

void __stdcall DockletGetRelativeFolder(HWND, char* szFolder) {
    qm::ScopedLock lock(g_lock);
    if (szFolder) lstrcpynA(szFolder, g_relative.c_str(), MAX_PATH);
}

void __stdcall DockletRemoveSelf(HWND hwnd, WPARAM) {
    qm::ScopedLock lock(g_lock);
    ++g_record.removeSelf;
    Record("DockletRemoveSelf", hwnd, "", 0);
}

}  // extern "C"
