#include "presentation/icon.h"

void UpdateDockDisplay(_DOCKLET_DATA*) {}

HBITMAP CreateMenuBitmap(const wchar_t*) {
    return nullptr;
}
