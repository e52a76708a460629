// The state file of the active feed (text/itemstate.h says what it holds): where it
// lives, reading it when a feed becomes current, writing it whole after each
// successful refresh and when the marks clear, and removing it with its profile. A file
// that is missing or cannot be read or written counts as no state: never a message.
#pragma once
#include <string>
#include "core/docklet.h"
#include "text/itemstate.h"

// The folder of the state files: szFolder from now on (a tool keeps them where it is
// told), or with null the default, %LOCALAPPDATA%\Quillmere.
void SetItemStateFolder(const wchar_t* szFolder);
std::wstring ItemStateFolder();

// The state of the feed at szURL from its file in the folder, or else from the one in
// fallbackFolder (empty: none). False when neither holds a whole state of that address.
bool ReadItemStateFile(const wchar_t* szURL, const std::wstring& fallbackFolder, ItemState& state);
// Writes state whole into its file (a new file that then replaces the old one): in the
// folder, or in fallbackFolder when the folder cannot take it. False when neither did.
bool WriteItemStateFile(const ItemState& state, const std::wstring& fallbackFolder);
// Removes the state file of the feed at szURL from both places; nothing else.
void DeleteItemStateFile(const wchar_t* szURL, const std::wstring& fallbackFolder);

// Before a refresh of the feed at szURL (the worker's thread): unless the instance
// knows that feed already, reads its state file, without csState, and takes what it
// holds: the items seen and still marked new, and the validators of its last 200 when
// the profile has none of its own for that address. From then on the instance knows the
// feed, file or no file, until it forgets (ForgetKnownItems).
void ReadItemState(_DOCKLET_DATA* pData, HANDLE hCancel, const wchar_t* szURL);
// Writes the state of the feed as the instance knows it now, when it knows one. Call
// without csState; from any thread (writers take turns).
void SaveItemState(_DOCKLET_DATA* pData);
