// When the scripted user closes the dialogs the docklet opens, decided from what one look
// at the screen finds, with no window calls, so the rules can be tested alone.
//
// Dialogs are kept in the order they were first seen. On one thread a modal dialog opened
// later runs inside the loop of the earlier ones, so the newest open dialog of a thread is
// the one the user works in: each dialog waits while a newer one of its thread is open
// (its time starts again when that one closes), then is asked to close, and asked again
// with Cancel every second. Which window has the input is never asked: a window manager
// decides that, and may never give it. Each dialog is asked in turn; one that is still
// there after c_dwCloseLimitMs of being asked, with nothing of its own open over it, makes
// the run give up.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

const DWORD c_dwAskAgainMs = 1000;
const DWORD c_dwCloseLimitMs = 10000;

// A dialog of this process as one look finds it.
struct ShownDialog {
    HWND hwnd;
    DWORD threadId;
    bool bMessageBox;  // the docklet's message box: closed at once
};

struct TrackedDialog {
    HWND hwnd;
    DWORD threadId;
    bool bMessageBox;
    DWORD dwDue;       // when it is to be asked to close
    bool bCovered;     // a newer dialog of its thread was open at the last look
    bool bAsked;
    DWORD dwAskedMs;   // how long it has been asked with nothing of its own over it
    DWORD dwLastAsk;
    DWORD dwLastLook;
};

enum DialogStep {
    STEP_REPORT,   // newly seen: say so
    STEP_CLOSE,    // its time has come: close it as a user would (OK for a message box)
    STEP_CANCEL,   // it is still there: press Cancel
    STEP_GIVE_UP,  // it will not close: the run cannot end by itself
};

struct DialogAction {
    HWND hwnd;
    DialogStep step;
};

// Brings the tracked dialogs up to date with the shown ones (listed topmost first) at
// dwNow and returns what to do, in the order to do it.
std::vector<DialogAction> PlanDialogs(std::vector<TrackedDialog>& tracked, const std::vector<ShownDialog>& shown,
                                      DWORD dwNow, DWORD dwDialogMs);
// A press in the dialog is use: its time to close starts again.
void RestartDialogTime(std::vector<TrackedDialog>& tracked, HWND hwnd, DWORD dwNow, DWORD dwDialogMs);
// The dialog the user works in: the newest open one (null when none is open).
HWND NewestDialog(const std::vector<TrackedDialog>& tracked);

// A control's text as shown: "&Open" -> "Open", "Icons && Images" -> "Icons & Images".
std::wstring ShownText(const std::wstring& text);
// Whether a control's text (with its "&" marks) is the text a press names.
bool SameText(const std::wstring& control, const std::wstring& press);
