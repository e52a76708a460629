// The stand-in dock's view of the docklet's timers: the period each SetTimer call asks
// for, which no Windows function reports afterwards.
#pragma once
#include <windows.h>

typedef void (*TimerReport)(HWND hwnd, UINT_PTR idTimer, UINT uElapse);

// Makes hModule's calls of SetTimer go through the host, which reports each one to
// pfnReport (on the calling thread) and then sets the timer. False when the module
// imports no SetTimer.
bool WatchModuleTimers(HMODULE hModule, TimerReport pfnReport);
