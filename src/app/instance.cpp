#include "app/instance.h"
#include <cstdio>
#include "app/commands.h"
#include "config/config.h"
#include "core/gdiplus.h"
#include "core/host.h"
#include "core/record.h"
#include "core/settings.h"
#include "feed/parser.h"
#include "presentation/icon.h"
#include "presentation/profile.h"
#include "viewer/axhost.h"

namespace {

const wchar_t c_szNotifyClass[] = L"QuillmereNotify";

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
    // Posted by ArmRefreshTimer and ArmCycleTimer (core/record.cpp) from a worker: the
    // timers are armed here, on the thread that owns the dock's window.
    case WM_QM_ARMTIMER:
        if (pData && !IsStopping(pData)) ArmRefreshTimer(pData);
        return 0;
    case WM_QM_ARMCYCLE:
        if (pData && !IsStopping(pData)) ArmCycleTimer(pData);
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
    qm::ScopedLock lock(ProcessLock());
    if (g_iClassUsers == 0) {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = NotifyWndProc;
        wc.hInstance = ThisModule();
        wc.lpszClassName = c_szNotifyClass;
        if (!RegisterClassExW(&wc)) return false;
        if (!RegisterAXClass(hInstance)) {
            UnregisterClassW(c_szNotifyClass, ThisModule());
            return false;
        }
    }
    ++g_iClassUsers;
    return true;
}

void UnregisterClasses(HINSTANCE hInstance) {
    qm::ScopedLock lock(ProcessLock());
    if (g_iClassUsers > 0 && --g_iClassUsers == 0) {
        UnregisterAXClass(hInstance);
        UnregisterClassW(c_szNotifyClass, ThisModule());
    }
}

// The folder of the dock's settings file (empty without one): where state files go
// when the local application data folder cannot take them.
std::wstring FolderOfFile(const char* szFile) {
    std::wstring path = szFile ? WideFromAnsi(szFile) : std::wstring();
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// False when the window classes could not be registered; may throw when memory runs
// out. Either way the caller destroys the partly built instance.
bool StartInstance(_DOCKLET_DATA* pData, HWND hwndDocklet, HINSTANCE hInstance, const char* szFile,
                   const char* szSection) {
    pData->hwndDocklet = hwndDocklet;
    pData->hInstance = hInstance;
    pData->dwUIThreadId = GetCurrentThreadId();
    // The display hook: the refresh worker reaches UpdateDockDisplay through it
    // (RequestDisplayUpdate, core/record.cpp); see docs/ARCHITECTURE.md.
    pData->pfnUpdateDisplay = UpdateDockDisplay;
    pData->ole.enter(qm::ComApartment::OLE);
    pData->bClassesRegistered = RegisterClasses(hInstance);
    if (!pData->bClassesRegistered) return false;
    // Without this window the timer cannot be armed from the workers; it then stays
    // armed through refreshes (see StartRefresh).
    pData->hwndNotify.reset(CreateWindowExW(0, c_szNotifyClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                            ThisModule(), nullptr));
    if (pData->hwndNotify)
        SetWindowLongPtrW(pData->hwndNotify.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pData));
    // The host names its file and section in its code page; they are wide from here on.
    if (szFile && szSection)
        LoadSettings(pData, WideFromAnsi(szFile).c_str(), WideFromAnsi(szSection).c_str());
    else
        LoadSettings(pData, nullptr, nullptr);
    pData->settingsFolder = FolderOfFile(szFile);
    int iStatus = 0;
    pData->bGdiplusStarted = StartGdiplus(&iStatus);
    if (!pData->bGdiplusStarted) {
        char szLabel[300];
        snprintf(szLabel, sizeof(szLabel), "Error: GdiplusStartup, %d", iStatus);
        HostSetLabel(hwndDocklet, szLabel);
    }
    ApplyCurrentProfile(pData);
    return true;
}

}  // namespace

_DOCKLET_DATA* CreateDocklet(HWND hwndDocklet, HINSTANCE hInstance, const char* szFile, const char* szSection) {
    _DOCKLET_DATA* pData = NewDockletRecord();
    if (!pData) return nullptr;
    bool bStarted;
    try {
        bStarted = StartInstance(pData, hwndDocklet, hInstance, szFile, szSection);
    } catch (...) {
        bStarted = false;
    }
    if (bStarted) return pData;
    // Whatever was taken goes again, the window classes' count included.
    DestroyDocklet(pData);
    return nullptr;
}

void DestroyDocklet(_DOCKLET_DATA* pData) {
    if (!pData) return;
    // Whatever of ours is open for the instance closes first: a menu ends, the viewer
    // closes (stopping its page thread), the settings are cancelled and keep the
    // profile records they share until they end.
    EndMenuOf(pData);
    if (pData->hwndViewer) SendMessageW(pData->hwndViewer, WM_CLOSE, 0, 0);

    // From here on no thread starts new work on the instance: each one sees the flag at
    // its next safe point, drops its results and leaves.
    InterlockedExchange(&pData->bStopping, 1);
    CloseSettingsOf(pData);
    // Wait for a display update that is under way, so nothing draws after GDI+ stops.
    { DisplayLock lock(pData); }
    StopWorkers(pData, DOCKLET_STOP_WAIT_MS);

    pData->pszPageFile.reset();
    pData->hwndNotify.reset();
    KillTimer(pData->hwndDocklet, IDT_REFRESH);
    KillTimer(pData->hwndDocklet, IDT_CYCLE);
    pData->hMenuBitmap.reset();
    {
        qm::ScopedLock lock(pData->csState);
        FreeProfiles(pData->profiles);
        pData->iProfileCount = 0;
        pData->iCurrentProfile = -1;
        FreeFeedItems(pData->items);
        pData->pItemsSource = nullptr;
        pData->iCurrentItem = -1;
    }
    if (pData->bClassesRegistered) UnregisterClasses(pData->hInstance);
    pData->bClassesRegistered = false;
    if (pData->bGdiplusStarted) StopGdiplus();
    pData->bGdiplusStarted = false;
    pData->ole.reset();
    ReleaseDocklet(pData);
}
