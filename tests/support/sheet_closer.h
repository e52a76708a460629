#pragma once
#include <windows.h>
#include <prsht.h>

// The settings sheet is modal: while one of these lives, a sheet that this thread
// opens is cancelled as soon as it shows, so code that opens it can run in a test.
// Only this thread's windows are looked at: other test programs run beside this one on
// the same display and have sheets of their own.
struct SheetCloser {
    UINT_PTR id = SetTimer(nullptr, 0, 50, Tick);
    ~SheetCloser() { KillTimer(nullptr, id); }
    static BOOL CALLBACK Cancel(HWND hwnd, LPARAM) {
        wchar_t sz[64] = {};
        GetWindowTextW(hwnd, sz, 64);
        if (lstrcmpW(sz, L"Configure Quillmere") == 0) PostMessageW(hwnd, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        return TRUE;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) { EnumThreadWindows(GetCurrentThreadId(), Cancel, 0); }
};
