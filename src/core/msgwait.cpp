#include "core/msgwait.h"
#include <cwchar>

namespace {

// Takes a message the wait found: a message for a dialog goes through its keyboard
// handling (the profile editor's check waits inside a dialog), others are dispatched.
void DispatchWaitMessage(MSG& msg) {
    HWND hwndRoot = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    wchar_t szClass[8] = {};
    if (hwndRoot && GetClassNameW(hwndRoot, szClass, 8) && wcscmp(szClass, L"#32770") == 0 &&
        IsDialogMessageW(hwndRoot, &msg))
        return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

}  // namespace

DWORD WaitDispatchingMessages(const HANDLE* ah, DWORD n, DWORD dwDeadline) {
    bool bQuit = false;
    int iQuitCode = 0;
    struct QuitAgain {
        bool& bQuit;
        int& iCode;
        ~QuitAgain() { if (bQuit) PostQuitMessage(iCode); }
    } quitAgain{bQuit, iQuitCode};
    for (;;) {
        MSG msg;
        while (!bQuit && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                bQuit = true;
                iQuitCode = static_cast<int>(msg.wParam);
            } else {
                DispatchWaitMessage(msg);
            }
        }
        LONG lLeft = static_cast<LONG>(dwDeadline - GetTickCount());
        DWORD r = MsgWaitForMultipleObjectsEx(n, ah, lLeft > 0 ? static_cast<DWORD>(lLeft) : 0,
                                              bQuit ? 0 : QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (r < WAIT_OBJECT_0 + n) return r - WAIT_OBJECT_0;
        if (r == WAIT_TIMEOUT || (r == WAIT_FAILED && lLeft <= 0)) return n;
        // Input arrived: dispatch it and wait again.
    }
}
