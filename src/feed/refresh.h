// The background refresh: one worker per instance downloads and parses the active
// profile's feed, shows the busy state on the dock and re-arms the hourly timer.
#pragma once
#include "core/docklet.h"

// Starts a refresh unless one is running (the request is then dropped).
void StartRefresh(_DOCKLET_DATA* pData);
