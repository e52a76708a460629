// What the dock icon and label show, and the small images made for menus and previews.
#pragma once
#include "core/docklet.h"

// Sets the dock label and hands a freshly drawn overlay to the host.
void UpdateDockDisplay(_DOCKLET_DATA* pData);
// A 16 x 16 bitmap of the image file for menus, or null. The caller deletes it.
HBITMAP CreateMenuBitmap(const wchar_t* szImage);
