// Creation and destruction of an instance: what OnCreate and OnDestroy do.
#pragma once
#include "core/docklet.h"

// How long OnDestroy waits for the instance's threads, all together, in ms.
#define DOCKLET_STOP_WAIT_MS 2000u

// Builds and starts an instance for the host window hwndDocklet (OnCreate). Returns
// null when it could not be created; nothing of it remains then.
_DOCKLET_DATA* CreateDocklet(HWND hwndDocklet, HINSTANCE hInstance, const char* szFile, const char* szSection);
// Stops the instance's threads at a safe point and releases it (OnDestroy). Whatever
// of ours is open for it (a menu, the viewer, the settings) is closed, as Cancel would;
// the modal loops still on the stack hold references and find the instance stopping.
// Returns within about two seconds even when a thread is stuck; such a thread is
// abandoned and frees the record when it ends. Safe on a partly built instance.
void DestroyDocklet(_DOCKLET_DATA* pData);
