// Making a profile the one the icon shows: its images on the dock and in the menus,
// and the refresh cycle of its feed. The instance creation, the profile switch of the
// context menu, the settings sheet's hand-over and a restore all go through here.
#pragma once
#include "core/docklet.h"

// The profile that is active, or null when the index names none (call on the
// user-interface thread, which alone changes the list).
_PROFILE_DATA* ActiveProfile(_DOCKLET_DATA* pData);

// Resolves the image names of the docklet and of the active profile, gives the host the
// icon image (the profile's, or the docklet's without one) and makes the menu picture
// anew, unless bKeepMenuPicture and there already is one.
void ApplyProfileImages(_DOCKLET_DATA* pData, bool bKeepMenuPicture = false);

// ApplyProfileImages, then the refresh timer and a refresh of the active profile's feed.
// A refresh of another profile that is still running is stopped first and its items
// are dropped, so the new profile's refresh always starts.
void ApplyCurrentProfile(_DOCKLET_DATA* pData);
