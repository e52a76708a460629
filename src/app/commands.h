// What the icon's menus do: the commands of the item menu (left click) and of the
// context menu (right click), and the switch to another profile.
#pragma once
#include "core/docklet.h"

// Shows the item menu and acts on the choice; with no feed configured it opens the
// settings instead. 0 for a null instance, else 1.
BOOL ShowItemMenu(_DOCKLET_DATA* pData);
// Shows the context menu and acts on the choice. 0 for a null instance, else 1.
BOOL ShowContextMenu(_DOCKLET_DATA* pData);
// Acts on an identifier that the item menu returned (0 or less: dismissed). A choice
// made in a menu that showed another version of the item list (lItemsVersion, from
// BuildItemMenu; -1: not checked) is dropped: the item at that place is another one.
void ActOnItemMenu(_DOCKLET_DATA* pData, int iCommand, LONG lItemsVersion = -1);
// Acts on an identifier that the context menu returned.
void ActOnContextMenu(_DOCKLET_DATA* pData, int iCommand);
// Makes profile iProfile the active one: closes the viewer, stops the running refresh,
// drops the old profile's items, applies the profile's images and starts its refresh.
// An index that names no profile, or the current one, changes nothing.
void SwitchProfile(_DOCKLET_DATA* pData, int iProfile);
// Closes a menu of the instance that is open (the instance is being destroyed).
void EndMenuOf(_DOCKLET_DATA* pData);
