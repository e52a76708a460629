// A docklet for the stand-in dock's tests whose settings dialog will not close: it
// ignores Close, OK and Cancel, or (in the section "Hang") stops its thread for good when
// asked to close. Like a real docklet it draws its label from a thread of its own when
// created, so the dock sees its first refresh end.
#include <windows.h>
#include <cstring>

namespace {

struct Stub {
    HWND hwnd;
    bool bHang;
    HANDLE hThread;
};

typedef BOOL(__stdcall* PFN_SetLabel)(HWND, char*);

DWORD WINAPI DrawLabel(void* pv) {
    auto* p = static_cast<Stub*>(pv);
    auto pfn = reinterpret_cast<PFN_SetLabel>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), "DockletSetLabel")));
    char szLabel[] = "Stubborn";
    if (pfn) pfn(p->hwnd, szLabel);
    return 0;
}

// Close, OK and Cancel are all taken and do nothing.
INT_PTR CALLBACK StubbornProc(HWND, UINT uMsg, WPARAM, LPARAM) {
    return uMsg == WM_INITDIALOG || uMsg == WM_CLOSE || uMsg == WM_COMMAND;
}

INT_PTR CALLBACK HangingProc(HWND, UINT uMsg, WPARAM, LPARAM) {
    if (uMsg == WM_INITDIALOG) return TRUE;
    if (uMsg != WM_CLOSE) return FALSE;
    // The thread that owns the dialog stops answering anything.
    HANDLE hNever = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    WaitForSingleObject(hNever, INFINITE);
    return TRUE;
}

// A dialog template in memory: a captioned frame without controls.
struct Template {
    DLGTEMPLATE dlg;
    WORD menu, windowClass;
    wchar_t szTitle[32];
};

}  // namespace

extern "C" {

void* __stdcall OnCreate(HWND hwnd, HINSTANCE, char*, char* szSection) {
    auto* p = new Stub{hwnd, szSection && strcmp(szSection, "Hang") == 0, nullptr};
    p->hThread = CreateThread(nullptr, 0, DrawLabel, p, 0, nullptr);
    return p;
}

void __stdcall OnDestroy(void* pv, HWND) {
    auto* p = static_cast<Stub*>(pv);
    if (p->hThread) {
        WaitForSingleObject(p->hThread, INFINITE);
        CloseHandle(p->hThread);
    }
    delete p;
}

void __stdcall OnSave(void*, char*, char*, BOOL) {}
void __stdcall OnProcessMessage(void*, HWND, UINT, WPARAM, LPARAM) {}
BOOL __stdcall OnLeftButtonClick(void*, POINT*, SIZE*) { return TRUE; }
BOOL __stdcall OnRightButtonClick(void*, POINT*, SIZE*) { return TRUE; }
INT_PTR __stdcall OnAbout(void*) { return 0; }

void __stdcall OnConfigure(void* pv) {
    auto* p = static_cast<Stub*>(pv);
    Template t = {};
    t.dlg.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    t.dlg.cx = 160;
    t.dlg.cy = 60;
    lstrcpyW(t.szTitle, p->bHang ? L"Hangs when closed" : L"Refuses to close");
    DialogBoxIndirectParamW(GetModuleHandleW(nullptr), &t.dlg, p->hwnd, p->bHang ? HangingProc : StubbornProc, 0);
}

}  // extern "C"
