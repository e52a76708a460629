// The two popup menus of the icon: the item menu (left click) and the context menu
// (right click). Each is built by one function (which returns the menu), shown by
// another and acted upon by a third, so each step can be tried alone.
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

// Shows the item menu and acts on the choice; with no feed configured it opens the
// settings instead. 0 for a null instance, else 1.
BOOL ShowItemMenu(_DOCKLET_DATA* pData);
// Shows the context menu and acts on the choice. 0 for a null instance, else 1.
BOOL ShowContextMenu(_DOCKLET_DATA* pData);
// Makes profile iProfile the active one: closes the viewer, applies the profile's
// images, rebuilds the menu picture and starts a refresh. An index that names no
// profile, or the current one, changes nothing.
void SwitchProfile(_DOCKLET_DATA* pData, int iProfile);

// The item menu for the instance's present state, read under csState. The caller owns
// the menu (DestroyMenu).
HMENU BuildItemMenu(_DOCKLET_DATA* pData);
// Acts on an identifier that the item menu returned (0 or less: dismissed).
void ActOnItemMenu(_DOCKLET_DATA* pData, int iCommand);
// The context menu for the instance's present state. The caller owns the menu.
HMENU BuildContextMenu(_DOCKLET_DATA* pData);
// Acts on an identifier that the context menu returned.
void ActOnContextMenu(_DOCKLET_DATA* pData, int iCommand);
// Shows a menu at the mouse pointer, owned by hwndDocklet, with the host's mouse-over
// effect held while it is open. The chosen identifier, or 0.
int TrackDockletMenu(_DOCKLET_DATA* pData, HMENU hMenu);

// A title as a menu text that shows it as written: each "&" is doubled so that it is
// not taken as the mark of a keyboard shortcut. Cut to fit cchOut.
void MenuTextFromTitle(wchar_t* szOut, size_t cchOut, const wchar_t* szTitle);
