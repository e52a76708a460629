// The headline cycle: while it is on, the icon text (and the label, where it shows item
// fields) steps through the newest items, one step per tick of IDT_CYCLE on the icon's
// window, which the host forwards through OnProcessMessage.
#pragma once
#include "core/docklet.h"

// Whether the cycle waits: a menu or the settings are open, the viewer is open or
// loading a page, or a refresh runs. User-interface thread.
bool IsCyclePaused(const _DOCKLET_DATA* pData);
// The item after iCurrent among the first iCount of nItems items, the first again after
// the last of them (and after any item beyond them); -1 when there is none to step to.
int NextCycleItem(int iCurrent, unsigned int nItems, int iCount);
// One step, on the user-interface thread: the next item becomes the current one and the
// dock is updated once, unless the text it shows would stay the same. Stops the timer
// when cycling has been turned off. True when the dock was updated.
bool StepHeadlineCycle(_DOCKLET_DATA* pData);
