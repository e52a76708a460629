// The scripted user: clicks on an icon, the choice in the menu it opens, and the dock's
// waits between them. Its timers live on a message-only window of the dock's thread, so
// they run inside whatever modal loop (menu, dialog) the docklet has open.
#pragma once
#include <windows.h>
#include "options.h"

struct Icon;

// Creates the script's window; false when it cannot be made.
bool StartScript();
void StopScript();
// The script's window, which answers on the dock's thread.
HWND ScriptWindow();

// One scripted click on an icon: the menu it opens is driven by keyboard (choose: the
// entry's command identifier; 0 closes the menu) and what the choice opens is closed by
// the dialog looks. Returns when the click's work (and its modal loops) are over.
void ScriptedClick(Icon* p, ScriptClick click, int choose);
// The icon's window saw its menu open (WM_INITMENUPOPUP of a top-level popup).
void NoteMenuOpened(HMENU hMenu);
// Whether the last scripted click opened a menu; whether a choice could not be made.
bool ScriptMenuOpened();
bool ScriptChooseFailed();
// Calls OnDestroy for every icon dwMs from now, from inside whatever is open then.
void DestroyIconsAfter(DWORD dwMs);

// Dispatches the dock's messages for up to dwMs or until done() is true; true when done()
// was. done() is asked again whenever a message comes: the dialog looks' timer, and a wake
// from the refresh watch when a drawing thread appears or ends.
template <typename Done>
bool PumpUntil(DWORD dwMs, Done done);
// Dispatches until the message queue is empty (what the docklet posted has run), 10 s at most.
void PumpPosted();

// ---- implementation ----
template <typename Done>
bool PumpUntil(DWORD dwMs, Done done) {
    DWORD dwStart = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return done();
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) return true;
        DWORD dwSpent = GetTickCount() - dwStart;
        if (dwSpent >= dwMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, dwMs - dwSpent, QS_ALLINPUT);
    }
}
