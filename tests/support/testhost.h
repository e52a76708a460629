// The recording host of the tests: every test executable exports the dock's ten host
// functions, so the docklet code linked into it finds them by name as in the dock.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "core/docklet.h"

struct HostCall {
    std::string name;   // host function, e.g. "DockletSetLabel"
    HWND hwnd;
    std::string text;   // label or path, where the call carries one
    int value;          // lock flag, overlay width, ...
    DWORD threadId;
};

// What the host functions have seen since the last ResetHost().
struct HostRecord {
    std::vector<HostCall> calls;
    std::string label;
    std::string imageFile;
    void* pOverlay = nullptr;  // the last overlay; the host owns it
    int overlays = 0;
    int attention = 0;
    int lockDepth = 0;
    int removeSelf = 0;
};

void ResetHost();
// A copy of the record, taken under the host's lock.
HostRecord HostSnapshot();
// Calls of one host function, in order.
std::vector<HostCall> HostCalls(const char* szName);
// The folders the host reports; the relative folder must start with ".\" and end with "\".
void SetHostFolders(const std::string& root, const std::string& relative);
// What DockletBrowseForImage answers: the chosen path, or empty for cancel.
void SetHostBrowseResult(const std::string& path);
// A function DockletSetLabel calls after recording, as a host may do more there (null:
// none). Tests use it to make the host wait on another thread.
void SetHostLabelHook(void (*pfnHook)());
// Saves the last overlay as a PNG (for looking at it); false when there is none.
bool SaveHostOverlay(const wchar_t* szPath);

// Messages the docklet reported, captured instead of shown.
void CaptureMessages();
std::vector<std::wstring> CapturedMessages();

// A top-level window owned by the calling thread to serve as hwndDocklet.
HWND CreateDockWindow();
// Dispatches this thread's messages for dwMs, or until done() is true.
bool PumpUntil(DWORD dwMs, bool (*done)(void*), void* ctx);
void PumpFor(DWORD dwMs);
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
