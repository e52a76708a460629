// The recording host of the tests: every test executable exports the dock's ten host
// functions (host/hostcalls.*, shared with the stand-in dock), so the docklet code linked
// into it finds them by name as in the dock. Helpers for the tests that drive it.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <vector>
#include "core/docklet.h"
#include "hostcalls.h"

// Forgets the host's calls and the captured messages.
void ResetHost();
// A function DockletSetLabel calls after recording, as a host may do more there (null:
// none). Tests use it to make the host wait on another thread.
void SetHostLabelHook(void (*pfnHook)());

// Messages the docklet reported, captured instead of shown.
void CaptureMessages();
std::vector<std::wstring> CapturedMessages();

// A top-level window owned by the calling thread to serve as hwndDocklet.
HWND CreateDockWindow();
// Dispatches this thread's messages until done() is true or dwMs have passed; true
// when done() was. done() is asked after each message and, for what other threads
// change without a message, every few milliseconds.
bool PumpUntil(const std::function<bool()>& done, DWORD dwMs);
// Dispatches what this thread's queue holds now: what was posted or sent to it before
// the call (a worker that has ended posts nothing more).
void PumpPosted();
// Waits up to dwMs for a thread to end, dispatching this thread's messages meanwhile;
// true when it ended. The handle stays the caller's.
bool WaitForThread(HANDLE hThread, DWORD dwMs);
// A handle of its own on the worker's thread (null when none runs), for waiting on the
// thread after its owner has let go of the worker (a destroyed instance).
qm::UniqueHandleNull DuplicateWorkerThread(const DockletWorker& worker);
// Waits up to dwMs for the worker's thread to end, dispatching this thread's messages
// meanwhile (workers post to the user-interface thread), then dispatches what they
// posted. True when the thread ended (or there was none). Call on the thread that
// starts the workers, which alone changes their handles.
bool WaitForWorker(const DockletWorker& worker, DWORD dwMs);

// Absolute Windows paths next to the test executable.
std::string TestExeFolder();         // ends in a backslash
std::string BuildPath(const char* rel);  // relative to the build folder
// The whole content of a file; empty when it cannot be read.
std::string ReadFileBytes(const std::wstring& path);
// A fresh empty folder under the temporary folder; ends in a backslash.
std::string MakeTempFolder(const char* tag);
