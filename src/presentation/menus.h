// The two popup menus of the icon: the item menu (left click) and the context menu
// (right click). Each is built by one function (which returns the menu) and shown by
// another; what a choice does is the app's (app/commands.h), so each step can be tried
// alone.
#pragma once
#include "core/docklet.h"

// Command identifiers of the item menu.
#define IDM_ITEM_HEADING 1
#define IDM_ITEM_UPDATE 2
#define IDM_ITEM_SEPARATOR1 3
#define IDM_ITEM_VIEWALL 4
#define IDM_ITEM_SEPARATOR2 5
#define IDM_ITEM_FIRST 100
#define MAX_MENU_ITEMS 1000

// Command identifiers of the context menu.
#define IDM_CONTEXT_SETTINGS 1
#define IDM_CONTEXT_UPDATE 2
#define IDM_CONTEXT_SEPARATOR1 3
#define IDM_CONTEXT_SEPARATOR2 5
#define IDM_CONTEXT_ABOUT 6
#define IDM_CONTEXT_REMOVE 7
#define IDM_CONTEXT_PROFILE_FIRST 1000

// The item menu for the instance's present state, read under csState, with the
// version of the item list it shows in *plItemsVersion (when given). The caller owns
// the menu (DestroyMenu). Null when it could not be made.
HMENU BuildItemMenu(_DOCKLET_DATA* pData, LONG* plItemsVersion = nullptr);
// The context menu for the instance's present state. The caller owns the menu.
HMENU BuildContextMenu(_DOCKLET_DATA* pData);
// Shows a menu at the mouse pointer, owned by hwndDocklet, with the host's mouse-over
// effect held while it is open. The chosen identifier, or 0.
int TrackDockletMenu(_DOCKLET_DATA* pData, HMENU hMenu);

// A title as a menu text that shows it as written: each "&" is doubled so that it is
// not taken as the mark of a keyboard shortcut. Cut to fit cchOut.
void MenuTextFromTitle(wchar_t* szOut, size_t cchOut, const wchar_t* szTitle);
