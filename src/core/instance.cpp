#include "core/instance.h"
#include <ole2.h>
#include <cstdio>
#include <cwchar>
#include <new>
#include "core/host.h"
#include "core/settings.h"
#include "feed/parser.h"
#include "feed/refresh.h"
#include "presentation/icon.h"
#include "viewer/axhost.h"

volatile DWORD g_dwLastTimerThread = 0;

namespace {

const wchar_t c_szNotifyClass[] = L"QuillmereNotify";

// GDI+ start-up is shared by every instance in the process.
CRITICAL_SECTION* ProcessLock() {
    static CRITICAL_SECTION cs;
    static LONG init = 0;
    if (InterlockedCompareExchange(&init, 1, 0) == 0) {
        InitializeCriticalSection(&cs);
        InterlockedExchange(&init, 2);
    }
    while (init != 2) Sleep(0);
    return &cs;
}

struct GdiplusStartupInputFlat {
    UINT32 GdiplusVersion;
    void* DebugEventCallback;
    BOOL SuppressBackgroundThread;
    BOOL SuppressExternalCodecs;
};
extern "C" int WINAPI GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInputFlat* input, void* output);
extern "C" void WINAPI GdiplusShutdown(ULONG_PTR token);

ULONG_PTR g_gdiplusToken = 0;
int g_iGdiplusUsers = 0;
int g_iClassUsers = 0;

HMODULE ThisModule() {
    HMODULE hModule = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &hModule);
    return hModule;
}

LRESULT CALLBACK NotifyWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    auto* pData = reinterpret_cast<_DOCKLET_DATA*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (uMsg) {
    case WM_QM_ARMTIMER:
        if (pData && !IsStopping(pData)) ArmRefreshTimer(pData);
        return 0;
    case WM_QM_CALLBACK:
        if (wParam) reinterpret_cast<void (*)(void*)>(wParam)(reinterpret_cast<void*>(lParam));
        return 0;
    }
    return DefWindowProcW(hwnd, uMsg, wParam, lParam);
}

// The window classes are registered once per process and unregistered with the last
// instance, so two dock icons never unregister a class under each other.
bool RegisterClasses(HINSTANCE hInstance) {
    EnterCriticalSection(ProcessLock());
    bool ok = true;
    if (g_iClassUsers == 0) {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = NotifyWndProc;
        wc.hInstance = ThisModule();
        wc.lpszClassName = c_szNotifyClass;
        ok = RegisterClassExW(&wc) != 0;
        if (ok && !RegisterAXClass(hInstance)) {
            UnregisterClassW(c_szNotifyClass, ThisModule());
            ok = false;
        }
    }
    if (ok) ++g_iClassUsers;
    LeaveCriticalSection(ProcessLock());
    return ok;
}

void UnregisterClasses(HINSTANCE hInstance) {
    EnterCriticalSection(ProcessLock());
    if (g_iClassUsers > 0 && --g_iClassUsers == 0) {
        UnregisterAXClass(hInstance);
        UnregisterClassW(c_szNotifyClass, ThisModule());
    }
    LeaveCriticalSection(ProcessLock());
}

struct ThreadStart {
    _DOCKLET_DATA* pData;
    void (*pfnWork)(_DOCKLET_DATA*);
    HMODULE hModule;
};

DWORD WINAPI DockletThreadProc(void* pv) {
    ThreadStart start = *static_cast<ThreadStart*>(pv);
    delete static_cast<ThreadStart*>(pv);
    try {
        start.pfnWork(start.pData);
    } catch (...) {
        // Nothing may escape a thread; the work's own handlers report what matters.
    }
    ReleaseDocklet(start.pData);
    FreeLibraryAndExitThread(start.hModule, 0);
    return 0;
}

BOOL CALLBACK CloseThreadWindow(HWND hwnd, LPARAM) {
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    return TRUE;
}

// Takes a critical section on the user-interface thread while still answering messages
// sent to this thread, so a worker that is inside a host call never waits on us.
void EnterPumping(qm::CriticalSection& cs) {
    while (!cs.TryEnter()) {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        Sleep(1);
    }
}

}  // namespace

bool StartGdiplus(int* piStatus) {
    EnterCriticalSection(ProcessLock());
    int iStatus = 0;
    if (g_iGdiplusUsers == 0) {
        GdiplusStartupInputFlat input = {1, nullptr, FALSE, FALSE};
        iStatus = GdiplusStartup(&g_gdiplusToken, &input, nullptr);
    }
    if (iStatus == 0) ++g_iGdiplusUsers;
    LeaveCriticalSection(ProcessLock());
    if (piStatus) *piStatus = iStatus;
    return iStatus == 0;
}

void StopGdiplus() {
    EnterCriticalSection(ProcessLock());
    if (g_iGdiplusUsers > 0 && --g_iGdiplusUsers == 0) {
        GdiplusShutdown(g_gdiplusToken);
        g_gdiplusToken = 0;
    }
    LeaveCriticalSection(ProcessLock());
}

_DOCKLET_DATA* NewDockletRecord() {
    try {
        return new _DOCKLET_DATA();
    } catch (...) {
        return nullptr;
    }
}

void AddRefDocklet(_DOCKLET_DATA* pData) {
    InterlockedIncrement(&pData->lRefs);
}

void ReleaseDocklet(_DOCKLET_DATA* pData) {
    if (pData && InterlockedDecrement(&pData->lRefs) == 0) delete pData;
}

HANDLE StartDockletThread(_DOCKLET_DATA* pData, void (*pfnWork)(_DOCKLET_DATA*)) {
    HMODULE hModule = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&DockletThreadProc),
                            &hModule))
        return nullptr;
    auto* pStart = new (std::nothrow) ThreadStart{pData, pfnWork, hModule};
    if (!pStart) {
        FreeLibrary(hModule);
        return nullptr;
    }
    AddRefDocklet(pData);
    HANDLE hThread = CreateThread(nullptr, 0, DockletThreadProc, pStart, 0, nullptr);
    if (!hThread) {
        delete pStart;
        ReleaseDocklet(pData);
        FreeLibrary(hModule);
    }
    return hThread;
}

void TakeDockletThreads(_DOCKLET_DATA* pData, HANDLE* phPage, HANDLE* phRefresh) {
    qm::ScopedLock lock(pData->csState);
    *phPage = pData->hPageThread;
    *phRefresh = pData->hRefreshThread;
    pData->hPageThread = nullptr;
    pData->hRefreshThread = nullptr;
}

bool WaitForDockletThread(HANDLE hThread, DWORD dwTimeout) {
    if (!hThread) return true;
    DWORD dwThreadId = GetThreadId(hThread);
    DWORD dwStart = GetTickCount();
    for (;;) {
        if (dwThreadId) EnumThreadWindows(dwThreadId, CloseThreadWindow, 0);
        DWORD dwElapsed = GetTickCount() - dwStart;
        if (dwElapsed >= dwTimeout) return WaitForSingleObject(hThread, 0) == WAIT_OBJECT_0;
        DWORD dwSlice = dwTimeout - dwElapsed;
        if (dwSlice > 50) dwSlice = 50;
        DWORD r = MsgWaitForMultipleObjects(1, &hThread, FALSE, dwSlice, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0) return true;
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

void ArmRefreshTimer(_DOCKLET_DATA* pData) {
    if (!pData || IsStopping(pData)) return;
    DWORD dwOwner = GetWindowThreadProcessId(pData->hwndDocklet, nullptr);
    if (dwOwner == GetCurrentThreadId() || (!dwOwner && GetCurrentThreadId() == pData->dwUIThreadId) ||
        !pData->hwndNotify) {
        SetTimer(pData->hwndDocklet, IDT_REFRESH, REFRESH_INTERVAL, nullptr);
        g_dwLastTimerThread = GetCurrentThreadId();
        return;
    }
    PostMessageW(pData->hwndNotify, WM_QM_ARMTIMER, 0, 0);
}

bool PostToUIThread(_DOCKLET_DATA* pData, void (*pfn)(void*), void* pArg) {
    if (!pData || !pData->hwndNotify) return false;
    return PostMessageW(pData->hwndNotify, WM_QM_CALLBACK, reinterpret_cast<WPARAM>(pfn),
                        reinterpret_cast<LPARAM>(pArg)) != FALSE;
}

_DOCKLET_DATA* CreateDocklet(HWND hwndDocklet, HINSTANCE hInstance, const char* szFile, const char* szSection) {
    _DOCKLET_DATA* pData = NewDockletRecord();
    if (!pData) return nullptr;
    pData->hwndDocklet = hwndDocklet;
    pData->hInstance = hInstance;
    pData->hwndViewer = nullptr;
    pData->dwUIThreadId = GetCurrentThreadId();
    pData->bOleInitialized = SUCCEEDED(OleInitialize(nullptr));
    if (!RegisterClasses(hInstance)) {
        if (pData->bOleInitialized) OleUninitialize();
        ReleaseDocklet(pData);
        return nullptr;
    }
    pData->hwndNotify = CreateWindowExW(0, c_szNotifyClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        ThisModule(), nullptr);
    if (pData->hwndNotify) SetWindowLongPtrW(pData->hwndNotify, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pData));
    pData->bRefreshing = 0;
    pData->bLoadingPage = 0;
    LoadSettings(pData, szFile, szSection);
    int iStatus = 0;
    pData->bGdiplusStarted = StartGdiplus(&iStatus);
    if (!pData->bGdiplusStarted) {
        char szLabel[300];
        snprintf(szLabel, sizeof(szLabel), "Error: GdiplusStartup, %d", iStatus);
        HostSetLabel(hwndDocklet, szLabel);
    }
    ApplyCurrentProfile(pData);
    return pData;
}

void ApplyCurrentProfile(_DOCKLET_DATA* pData) {
    if (!pData) return;
    ResolveImagePath(pData->szBackgroundImage, 270, L"background.png", pData->szImagesFolder, pData->hwndDocklet);
    ResolveImagePath(pData->szMenuIcon, 270, L"menu.png", pData->szImagesFolder, pData->hwndDocklet);
    char szBackground[270];
    HBITMAP hOld = pData->hMenuBitmap;
    pData->hMenuBitmap = nullptr;
    if (hOld) DeleteObject(hOld);
    if (pData->iCurrentProfile != -1 && pData->iProfileCount != 0 && pData->profiles.GetCount() != 0 &&
        static_cast<unsigned int>(pData->iCurrentProfile) < pData->profiles.GetCount()) {
        _PROFILE_DATA* pProfile = pData->profiles.GetAt(pData->iCurrentProfile);
        ResolveImagePath(pProfile->szBackgroundImage, 270, L"background.png", pData->szImagesFolder,
                         pData->hwndDocklet);
        WideToAnsi(szBackground, 270, pProfile->szBackgroundImage);
        ResolveImagePath(pProfile->szMenuIcon, 270, L"menu.png", pData->szImagesFolder, pData->hwndDocklet);
        pData->hMenuBitmap = CreateMenuBitmap(pProfile->szMenuIcon);
    } else {
        WideToAnsi(szBackground, 270, pData->szBackgroundImage);
        ResolveImagePath(pData->szMenuIcon, 270, L"menu.png", pData->szImagesFolder, pData->hwndDocklet);
        pData->hMenuBitmap = CreateMenuBitmap(pData->szMenuIcon);
    }
    HostSetImageFile(pData->hwndDocklet, szBackground);
    ArmRefreshTimer(pData);
    StartRefresh(pData);
}

void DestroyDocklet(_DOCKLET_DATA* pData) {
    if (!pData) return;
    if (pData->hwndViewer) SendMessageW(pData->hwndViewer, WM_CLOSE, 0, 0);

    // From here on no thread starts new work on the instance: each one sees the flag at
    // its next safe point, drops its results and leaves.
    InterlockedExchange(&pData->bStopping, 1);
    // Wait for a display update that is under way, so nothing draws after GDI+ stops.
    EnterPumping(pData->csDisplay);
    pData->csDisplay.Leave();

    HANDLE hPage, hRefresh;
    TakeDockletThreads(pData, &hPage, &hRefresh);
    // Both threads share one deadline of about two seconds.
    DWORD dwStart = GetTickCount();
    WaitForDockletThread(hPage, 1000);
    if (hPage) CloseHandle(hPage);
    DWORD dwSpent = GetTickCount() - dwStart;
    WaitForDockletThread(hRefresh, dwSpent < 2000 ? 2000 - dwSpent : 0);
    if (hRefresh) CloseHandle(hRefresh);

    if (pData->pszPageFile) {
        DeleteFileW(pData->pszPageFile);
        delete[] pData->pszPageFile;
        pData->pszPageFile = nullptr;
    }
    if (pData->hwndNotify) {
        DestroyWindow(pData->hwndNotify);
        pData->hwndNotify = nullptr;
    }
    KillTimer(pData->hwndDocklet, IDT_REFRESH);
    if (pData->hMenuBitmap) {
        DeleteObject(pData->hMenuBitmap);
        pData->hMenuBitmap = nullptr;
    }
    {
        qm::ScopedLock lock(pData->csState);
        FreeProfiles(pData->profiles);
        pData->iProfileCount = 0;
        pData->iCurrentProfile = -1;
        FreeFeedItems(pData->items);
        pData->iCurrentItem = -1;
    }
    UnregisterClasses(pData->hInstance);
    if (pData->bGdiplusStarted) StopGdiplus();
    if (pData->bOleInitialized) OleUninitialize();
    ReleaseDocklet(pData);
}
