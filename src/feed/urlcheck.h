// Checks a profile's feed URL for the profile editor.
#pragma once
#include "core/docklet.h"

// True when the URL answered status 200 with an RSS or Atom document; fills an empty
// profile title and the detected format. A URL of a web page whose head names a feed
// stands for that feed: when it checks out, the profile's URL becomes the feed's. Runs
// on the calling thread, dispatching its messages while it waits; setting hCancel (when
// given) ends the wait at once with false.
bool CheckFeedURL(_PROFILE_DATA* pProfile, HANDLE hCancel = nullptr);
