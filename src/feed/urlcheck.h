// Checks a profile's feed URL for the profile editor.
#pragma once
#include "core/docklet.h"

// True when the URL answered status 200 with an RSS or Atom document; fills an empty
// profile title and the detected format. Runs on the calling thread.
bool CheckFeedURL(_PROFILE_DATA* pProfile);
