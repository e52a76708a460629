#include "watchdog.h"
#include <windows.h>
#include <cstdio>
#include "console.h"
#include "core/unique.h"
#include "dialogs.h"
#include "script.h"

namespace {

const DWORD c_dwCheckMs = 500;
qm::UniqueHandleNull g_hStop;
qm::UniqueHandleNull g_hThread;
volatile LONG g_lGivingUp = 0;

BOOL CALLBACK PrintOpenWindow(HWND hwnd, LPARAM) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(hwnd)) return TRUE;
    wchar_t szClass[64] = {};
    GetClassNameW(hwnd, szClass, 64);
    std::string line = "open: " + WindowText(hwnd);
    if (wcscmp(szClass, L"#32770") != 0) line += " (" + Utf8(szClass) + ")";
    PrintUtf8(line + "\n");
    return TRUE;
}

DWORD WINAPI WatchdogProc(void*) {
    DWORD dwAnswered = GetTickCount();
    while (WaitForSingleObject(g_hStop.get(), c_dwCheckMs) == WAIT_TIMEOUT) {
        DWORD_PTR result;
        if (SendMessageTimeoutW(ScriptWindow(), WM_NULL, 0, 0, SMTO_NORMAL, c_dwCheckMs, &result))
            dwAnswered = GetTickCount();
        DWORD dwNow = GetTickCount();
        if (dwNow - dwAnswered > c_dwHungMs)
            GiveUp("the dock's thread did not answer for " + std::to_string(c_dwHungMs / 1000) + " s");
        unsigned long dwLastLook = 0;
        if (DialogsOpen(&dwLastLook) && dwNow - dwLastLook > c_dwHungMs)
            GiveUp("the dock's thread did not look at its open dialogs for " + std::to_string(c_dwHungMs / 1000) +
                   " s");
    }
    return 0;
}

}  // namespace

void StartWatchdog() {
    g_hStop.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!g_hStop) return;
    g_hThread.reset(CreateThread(nullptr, 0, WatchdogProc, nullptr, 0, nullptr));
}

void StopWatchdog() {
    if (g_hStop) SetEvent(g_hStop.get());
    if (g_hThread) WaitForSingleObject(g_hThread.get(), INFINITE);
    g_hThread.reset();
    g_hStop.reset();
}

void GiveUp(const std::string& reason) {
    // The first caller ends the process; a second one waits for that.
    if (InterlockedExchange(&g_lGivingUp, 1)) Sleep(INFINITE);
    PrintUtf8("dockhost: giving up: " + reason + "\n");
    EnumWindows(PrintOpenWindow, 0);
    fflush(stdout);
    fflush(stderr);
    // Whatever is open cannot be unwound: the process ends here, its threads with it.
    TerminateProcess(GetCurrentProcess(), 4);
    ExitProcess(4);
}
