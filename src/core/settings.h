// The instance's settings in one section of an INI file: one table of every setting
// drives the defaults, the load, the save and the settings sheet's copy; and turning
// stored image names into paths the host can load.
#pragma once
#include "core/docklet.h"
#include "core/inifile.h"

// The most profiles an instance holds. Every way of adding profiles stops here, and a
// stored count above it loads the first MAX_PROFILES profiles.
#define MAX_PROFILES 10000

// Fills the settings and profiles of pData from szFile/szSection, or the defaults when
// either is null (the dock label then shows "Quillmere"); a file that cannot be read or
// has no such section gives the defaults too. Always empties items. Frees any profiles
// pData held before.
void LoadSettings(_DOCKLET_DATA* pData, const wchar_t* szFile, const wchar_t* szSection);
// The same from a section already read (ReadIniSection).
void LoadSettingsFromSection(_DOCKLET_DATA* pData, const IniSection& section);
// Writes every key of pData into szFile/szSection in one write of the file. Keys of
// the section that are not the docklet's stay; profile keys beyond the count go. False
// with the Win32 error in *pdwError (may be null); the file is then unchanged.
bool SaveSettings(const _DOCKLET_DATA* pData, const wchar_t* szFile, const wchar_t* szSection,
                  DWORD* pdwError = nullptr);
// Copies the settings the settings sheet edits from pSrc to pDst (text bounded by the
// fields); the profile list, the host window and the viewer's placement are not among them.
void CopySheetSettings(_DOCKLET_DATA* pDst, const _DOCKLET_DATA* pSrc);

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
