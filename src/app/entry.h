// The entry points the dock calls, exported undecorated by name (quillmere.def).
#pragma once
#include <windows.h>
#include "core/docklet.h"

extern "C" {
void __stdcall OnGetInformation(char* szName, char* szAuthor, int* iVersion, char* szNotes);
_DOCKLET_DATA* __stdcall OnCreate(HWND hwndDocklet, HINSTANCE hInstance, char* szIni, char* szIniGroup);
void __stdcall OnDestroy(_DOCKLET_DATA* pData, HWND hwndDocklet);
void __stdcall OnSave(_DOCKLET_DATA* pData, char* szIni, char* szIniGroup, BOOL bIsForExport);
BOOL __stdcall OnExportFiles(_DOCKLET_DATA* pData, char* szFileRelativeOut, int iteration);
void __stdcall OnProcessMessage(_DOCKLET_DATA* pData, HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
BOOL __stdcall OnLeftButtonClick(_DOCKLET_DATA* pData, POINT* ptCursor, SIZE* sizeDocklet);
BOOL __stdcall OnRightButtonClick(_DOCKLET_DATA* pData, POINT* ptCursor, SIZE* sizeDocklet);
BOOL __stdcall OnDoubleClick(_DOCKLET_DATA* pData, POINT* ptCursor, SIZE* sizeDocklet);
void __stdcall OnConfigure(_DOCKLET_DATA* pData);
INT_PTR __stdcall OnAbout(_DOCKLET_DATA* pData);
}
// The exported dialog procedures ConfigureDocklet and AboutDocklet are the settings
// sheet's (config/config.h).

// Function types of the entry points, for hosts that load the library.
typedef void(__stdcall* PFN_OnGetInformation)(char*, char*, int*, char*);
typedef _DOCKLET_DATA*(__stdcall* PFN_OnCreate)(HWND, HINSTANCE, char*, char*);
typedef void(__stdcall* PFN_OnDestroy)(_DOCKLET_DATA*, HWND);
typedef void(__stdcall* PFN_OnSave)(_DOCKLET_DATA*, char*, char*, BOOL);
typedef BOOL(__stdcall* PFN_OnExportFiles)(_DOCKLET_DATA*, char*, int);
typedef void(__stdcall* PFN_OnProcessMessage)(_DOCKLET_DATA*, HWND, UINT, WPARAM, LPARAM);
typedef BOOL(__stdcall* PFN_OnClick)(_DOCKLET_DATA*, POINT*, SIZE*);
typedef void(__stdcall* PFN_OnConfigure)(_DOCKLET_DATA*);
typedef INT_PTR(__stdcall* PFN_OnAbout)(_DOCKLET_DATA*);
