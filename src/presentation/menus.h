// The two popup menus of the icon: the item menu (left click) and the context menu
// (right click).
#pragma once
#include "core/docklet.h"

// Shows the item menu and acts on the choice. 0 for a null instance, else 1.
BOOL ShowItemMenu(_DOCKLET_DATA* pData);
// Shows the context menu and acts on the choice. 0 for a null instance, else 1.
BOOL ShowContextMenu(_DOCKLET_DATA* pData);
// Makes profile iProfile the active one: images, menu picture, refresh.
void SwitchProfile(_DOCKLET_DATA* pData, int iProfile);
