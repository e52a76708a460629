#pragma once
#include <windows.h>
#include <prsht.h>

// The settings sheet is modal: while one of these lives, any open sheet is
// cancelled as soon as it shows, so code that opens it can run in a test.
struct SheetCloser {
    UINT_PTR id = SetTimer(nullptr, 0, 50, Tick);
    ~SheetCloser() { KillTimer(nullptr, id); }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        if (HWND h = FindWindowW(nullptr, L"Configure Quillmere")) PostMessageW(h, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    }
};
