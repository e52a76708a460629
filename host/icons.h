// The dock's icons: one window each, painted with what the docklet last handed the host
// functions, and the calls the dock makes into the docklet for them.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

struct _DOCKLET_DATA;  // the docklet's instance: the dock only hands it back

struct Icon {
    int index = 0;
    HWND hwnd = nullptr;       // set when the icon is made, kept after the window is gone
    bool bWindow = false;      // the window still exists
    _DOCKLET_DATA* pData = nullptr;  // null once OnDestroy was called (or OnCreate failed)
    std::string section;
};

// The icons, all made on the dock's thread before the docklet's first call and freed
// after its last; threads of the docklet read the list (in the host calls' log).
extern std::vector<Icon*> g_icons;

const int c_iIconSize = 128;

// Registers the window class and sets up the host functions: the folders, the log, and
// the image browser (bBrowseDialog: a file dialog where --browse-result gives no answer).
void PrepareIcons(const std::string& root, bool bBrowseDialog);
// Creates one icon window per section and calls OnCreate for each.
void CreateIcons(bool bShow);
// OnSave (when bSave and a settings file is given) and OnDestroy for one icon.
void DestroyIcon(Icon* p, bool bSave);
// OnDestroy for every icon, from wherever the dock's thread is (inside a menu, the
// viewer or the settings of the docklet), as a dock that removes its icons does.
void DestroyAllIcons();
bool AllIconsDestroyed();
// Destroys what is left of the icons (saving when bSave) and their windows.
void FreeIcons(bool bSave);

// The dock's context menu for one icon: the docklet's settings and its About box.
void ShowDockMenu(Icon* p);
// The icon's base image and overlay drawn into a size x size picture saved as a PNG.
bool SaveIconPng(const Icon* p, int size, bool bWithBase, const std::string& path);
std::string IconLabel(const Icon* p);
// Whether an icon shows that the docklet is at work (a refresh, a page being loaded).
bool AnyIconBusy();
// The index of the icon with that window, or -1.
int IconIndex(HWND hwnd);
