// Waiting on the thread that runs the dock's windows, or on a worker with an apartment
// of its own: the thread's messages keep being dispatched while it waits, so the dock,
// the dialogs of the docklet and COM's calls into the apartment go on.
#pragma once
#include <windows.h>

// Waits until one of the n handles is signalled or the tick count reaches dwDeadline,
// dispatching this thread's messages meanwhile (a message for a dialog goes through its
// keyboard handling). Returns the index of the signalled handle (the lowest when several
// are), or n at the deadline. A WM_QUIT met here ends the dispatching and is posted again
// for the thread's own loop before it returns.
DWORD WaitDispatchingMessages(const HANDLE* ah, DWORD n, DWORD dwDeadline);
