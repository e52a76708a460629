#include "viewer/action.h"
#include "presentation/icon.h"

void DoItemAction(_DOCKLET_DATA* pData) {
    UpdateDockDisplay(pData);
}

void RunApplication(const wchar_t*, const wchar_t*) {}
