// The instance's settings in one section of an INI file: load with defaults, save, and
// turning stored image names into paths the host can load.
#pragma once
#include "core/docklet.h"

// Profile counts above this are taken as a damaged file and load as no profiles.
#define MAX_PROFILES 10000

// Fills the settings and profiles of pData from szFile/szSection, or the defaults when
// either is null; always empties items. Frees any profiles pData held before.
void LoadSettings(_DOCKLET_DATA* pData, const char* szFile, const char* szSection);
// Writes every key of pData into szFile/szSection.
void SaveSettings(_DOCKLET_DATA* pData, const char* szFile, const char* szSection);
// Writes one number key in signed decimal.
BOOL WriteProfileInt(const wchar_t* szSection, const wchar_t* szKey, int iValue, const wchar_t* szFile);
// Resolves an image name in place: the default name goes into the images folder of the
// docklet's folder, and a path starting with ".\" is made absolute against the host's
// folder. A result that would not fit in cchPath (or 269 characters) leaves szPath as it is.
void ResolveImagePath(wchar_t* szPath, size_t cchPath, const wchar_t* szDefault, const wchar_t* szImagesFolder,
                      HWND hwndDocklet);

// A new zero-filled profile; the caller owns it (FreeProfile).
_PROFILE_DATA* NewProfile();
void FreeProfile(_PROFILE_DATA* pProfile);
// Frees every profile in the list and empties it.
void FreeProfiles(ProfileList& profiles);
