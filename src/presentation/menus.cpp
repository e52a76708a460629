#include "presentation/menus.h"

BOOL ShowItemMenu(_DOCKLET_DATA* pData) {
    return pData ? TRUE : FALSE;
}

BOOL ShowContextMenu(_DOCKLET_DATA* pData) {
    return pData ? TRUE : FALSE;
}

void SwitchProfile(_DOCKLET_DATA*, int) {}
