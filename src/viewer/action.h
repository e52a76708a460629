// What choosing an item does: the viewer window, the default browser or a program.
#pragma once
#include "core/docklet.h"

// Acts on iViewMode and iCurrentItem with the instance's item action.
void DoItemAction(_DOCKLET_DATA* pData);
// Starts szApplication through the shell with szParameters.
void RunApplication(const wchar_t* szApplication, const wchar_t* szParameters);
