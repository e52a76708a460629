#include "app/entry.h"
#include <cstdio>
#include <cstring>
#include "app/commands.h"
#include "app/instance.h"
#include "config/config.h"
#include "core/host.h"
#include "core/settings.h"
#include "core/record.h"
#include "feed/refresh.h"
#include "presentation/cycle.h"

// No exception may cross into the host: each entry point that can meet one (the arrays
// throw when memory runs out) catches it and leaves the instance as it stands.
#define GUARD_BEGIN try {
#define GUARD_END(failure) \
    }                      \
    catch (...) {          \
        failure;           \
    }

namespace {
void CopyBounded(char* dst, size_t cb, const char* src) {
    if (!dst) return;
    strncpy(dst, src, cb - 1);
    dst[cb - 1] = 0;
}
}  // namespace

extern "C" {

void __stdcall OnGetInformation(char* szName, char* szAuthor, int* iVersion, char* szNotes) {
    if (szName) CopyBounded(szName, 256, "Quillmere");
    if (szAuthor) CopyBounded(szAuthor, 256, "The Quillmere team");
    if (iVersion) *iVersion = 100;
    if (szNotes)
        CopyBounded(szNotes, 2048,
                    "Shows the latest items of your RSS and Atom feeds on a dock icon and opens them in a click.");
}

_DOCKLET_DATA* __stdcall OnCreate(HWND hwndDocklet, HINSTANCE hInstance, char* szIni, char* szIniGroup) {
    GUARD_BEGIN
    return CreateDocklet(hwndDocklet, hInstance, szIni, szIniGroup);
    GUARD_END(return nullptr)
}

void __stdcall OnDestroy(_DOCKLET_DATA* pData, HWND) {
    GUARD_BEGIN
    DestroyDocklet(pData);
    GUARD_END((void)0)
}

void __stdcall OnSave(_DOCKLET_DATA* pData, char* szIni, char* szIniGroup, BOOL) {
    GUARD_BEGIN
    // The host names its file and section in its code page; the store works on wide names.
    if (pData && szIni && szIniGroup)
        SaveSettings(pData, WideFromAnsi(szIni).c_str(), WideFromAnsi(szIniGroup).c_str());
    GUARD_END((void)0)
}

BOOL __stdcall OnExportFiles(_DOCKLET_DATA* pData, char* szFileRelativeOut, int iteration) {
    if (!pData || !szFileRelativeOut || iteration != 0) return FALSE;
    GUARD_BEGIN
    char szRelative[MAX_PATH + 10] = {};
    HostGetRelativeFolder(pData->hwndDocklet, szRelative);
    szRelative[MAX_PATH] = 0;
    char szImages[270];
    WideToAnsi(szImages, sizeof(szImages), pData->szImagesFolder);
    snprintf(szFileRelativeOut, 261, "%s%s", szRelative, szImages);
    return TRUE;
    GUARD_END(return FALSE)
}

void __stdcall OnProcessMessage(_DOCKLET_DATA* pData, HWND, UINT uMsg, WPARAM wParam, LPARAM) {
    if (uMsg == WM_TIMER && wParam == IDT_REFRESH) {
        GUARD_BEGIN
        StartRefresh(pData);
        GUARD_END((void)0)
    } else if (uMsg == WM_TIMER && wParam == IDT_CYCLE && pData) {
        GUARD_BEGIN
        StepHeadlineCycle(pData);
        GUARD_END((void)0)
    }
}

BOOL __stdcall OnLeftButtonClick(_DOCKLET_DATA* pData, POINT*, SIZE*) {
    GUARD_BEGIN
    return ShowItemMenu(pData);
    GUARD_END(return pData ? TRUE : FALSE)
}

BOOL __stdcall OnRightButtonClick(_DOCKLET_DATA* pData, POINT*, SIZE*) {
    GUARD_BEGIN
    return ShowContextMenu(pData);
    GUARD_END(return pData ? TRUE : FALSE)
}

BOOL __stdcall OnDoubleClick(_DOCKLET_DATA*, POINT*, SIZE*) {
    return FALSE;
}

// The dock may destroy the icon from inside any modal loop of ours (its calls arrive
// through the loop). Each entry point that runs one takes a reference on the record
// before anything that can dispatch messages, and touches the record only while it
// holds it: the reference goes last, after the loop has unwound.
void __stdcall OnConfigure(_DOCKLET_DATA* pData) {
    if (!pData) return;
    GUARD_BEGIN
    DockletRef ref(pData);
    if (pData->hwndViewer) SendMessageW(pData->hwndViewer, WM_CLOSE, 0, 0);
    if (IsStopping(pData)) return;
    CyclePause pause(pData);
    DialogBoxParamW(pData->hInstance, MAKEINTRESOURCEW(108), pData->hwndDocklet, ConfigureDocklet,
                    reinterpret_cast<LPARAM>(pData));
    GUARD_END((void)0)
}

INT_PTR __stdcall OnAbout(_DOCKLET_DATA* pData) {
    if (!pData) return 0;
    GUARD_BEGIN
    DockletRef ref(pData);
    return DialogBoxParamW(pData->hInstance, MAKEINTRESOURCEW(102), pData->hwndDocklet, AboutDocklet, 0);
    GUARD_END(return 0)
}

}  // extern "C"
