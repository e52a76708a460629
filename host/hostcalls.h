// The dock's ten host functions and the record of every call made to them. An executable
// that links them exports them by name (hostcalls.def), so a docklet in its process finds
// them as it finds the dock's: the stand-in dock and every test program share this one
// implementation. The functions take calls from any thread; what they keep is guarded by
// one lock, which is never held while the observer or the browse handler runs.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

struct HostCall {
    std::string name;   // host function, e.g. "DockletSetLabel"
    HWND hwnd;          // the icon's window; the owner dialog when browsing; null when loading an image
    std::string text;   // label or path, where the call carries one (the root folder when browsing)
    int value;          // lock flag, overlay width, ...
    DWORD threadId;
    std::string args;   // the arguments after the window as the dock's log shows them
};

// What the dock shows for one icon window.
struct HostIcon {
    std::string label;
    std::string imageFile;
    void* pOverlay = nullptr;  // the current overlay (a GDI+ image), or null
    bool bOwnsOverlay = false;  // the host disposes of it when it is replaced or forgotten
    int overlays = 0;
    int attention = 0;
    int lockDepth = 0;
    int removeSelf = 0;
};

// Every call since the last ResetHostCalls, and the latest label, image and overlay
// over all windows, with counts over all windows.
struct HostRecord {
    std::vector<HostCall> calls;
    std::string label;
    std::string imageFile;
    void* pOverlay = nullptr;  // the last overlay handed over; its window's record owns it
    int overlays = 0;
    int attention = 0;
    int lockDepth = 0;
    int removeSelf = 0;
};

// Forgets every call and window, releasing the overlays the host owns, and the browse
// result. The folders, the observer and the browse handler stay.
void ResetHostCalls();
// A copy of the record, taken under the host's lock.
HostRecord HostSnapshot();
// Calls of one host function, in order.
std::vector<HostCall> HostCalls(const char* szName);
// Whether calls are kept in the record (default yes). A long run that only logs them
// keeps none, so its memory does not grow with them.
void KeepHostCalls(bool bKeep);

// Runs fn under the host's lock with what the window shows (an empty icon for a window
// that was never drawn on). fn must not call into the docklet or wait on another thread.
void WithHostIcon(HWND hwnd, const std::function<void(const HostIcon&)>& fn);
// Drops the window's record, releasing its overlay; for an icon that is gone.
void ForgetHostIcon(HWND hwnd);
// Saves the last overlay as a PNG; false when there is none or it cannot be written.
bool SaveHostOverlay(const wchar_t* szPath);

// The folders the host reports; the relative folder starts with ".\" and ends with "\".
void SetHostFolders(const std::string& root, const std::string& relative);
// What DockletBrowseForImage answers: the chosen path, or empty for no fixed answer.
void SetHostBrowseResult(const std::string& path);
// Asked by DockletBrowseForImage when no fixed answer is set (none: the user cancels).
// Writes the chosen path (at most 270 bytes) and returns TRUE, or returns FALSE.
typedef BOOL (*HostBrowseHandler)(HWND hwndOwner, char* szImage, const char* szRelativeRoot);
void SetHostBrowseHandler(HostBrowseHandler pfnHandler);
// Called on the calling thread after each recorded call, outside the host's lock (null:
// none). Folder queries are answered without a record and without the observer.
typedef void (*HostCallObserver)(const HostCall& call);
void SetHostCallObserver(HostCallObserver pfnObserver);
