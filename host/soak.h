// The soak: cycles of everything a user does with an icon, with the process's resources
// printed after the first cycle and after the last.
#pragma once

struct Icon;

// How long the soak waits for one refresh to end.
const unsigned long c_dwRefreshWaitMs = 60000;

// Runs the cycles on the icon; each cycle is Update Now and its refresh to the end, the
// item menu opened and closed, the viewer on the first item, the settings cancelled.
void Soak(Icon* p, int cycles);
