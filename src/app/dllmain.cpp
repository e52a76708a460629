#include <windows.h>

// Thread attach and detach notifications are not needed; turning them off saves work
// on every thread the host starts.
BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID) {
    if (dwReason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(hInstance);
    return TRUE;
}
