// The function WinHTTP calls for each status of our requests. WinHTTP calls it on its
// own threads, and its last call for a request may come when nothing else of ours holds
// this module any more: that call gives back the module reference the request holds, and
// must run no instruction of this module after doing so. So the entry is a few lines of
// assembly around the handler: when the handler returns a module, the entry jumps into
// FreeLibrary with WinHTTP's own return address on the stack, and FreeLibrary returns
// straight to WinHTTP.
#pragma once
#include <windows.h>
#include <winhttp.h>

extern "C" {
// The status callback to register with WinHttpSetStatusCallback.
void CALLBACK RequestStatusEntry(HINTERNET hInternet, DWORD_PTR dwContext, DWORD dwStatus, LPVOID pvInfo,
                                 DWORD cbInfo);
// The handler behind it (feed/http.cpp): handles one call and returns the module
// reference to give back after it, or null. It must not throw.
HMODULE CALLBACK HandleRequestStatus(HINTERNET hInternet, DWORD_PTR dwContext, DWORD dwStatus, LPVOID pvInfo,
                                     DWORD cbInfo);
}
