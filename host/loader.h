// Loading the docklet as the dock does: the DLL from the docklet's folder, its entry
// points by name.
#pragma once
#include <windows.h>
#include <string>
#include "app/entry.h"

struct DockletEntries {
    HMODULE hModule = nullptr;
    PFN_OnCreate OnCreate = nullptr;
    PFN_OnDestroy OnDestroy = nullptr;
    PFN_OnSave OnSave = nullptr;
    PFN_OnProcessMessage OnProcessMessage = nullptr;
    PFN_OnClick OnLeftButtonClick = nullptr;
    PFN_OnClick OnRightButtonClick = nullptr;
    PFN_OnConfigure OnConfigure = nullptr;
    PFN_OnAbout OnAbout = nullptr;
};

// The loaded docklet; its module is null until LoadDocklet succeeds.
extern DockletEntries g_docklet;

// Loads quillmere.dll from the folder and finds every entry the dock calls; false (with
// the reason on standard error) when the library or an entry is missing.
bool LoadDocklet(const std::string& folder);
// Gives the docklet back to the system. With dwWaitMs, waits up to that long for the
// system to unload it (a request that WinHTTP is still finishing holds it until its last
// call) and prints whether it was held and unloaded, and whether winhttp.dll, which only
// the docklet used, is still there for WinHTTP's own threads.
void UnloadDocklet(DWORD dwWaitMs);

// Hides one of this executable's exports from GetProcAddress, so the docklet meets a
// host that lacks that function.
void HideHostExport(const std::string& name);
