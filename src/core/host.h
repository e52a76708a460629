// The dock's side of the contract: the ten functions the host executable exports by
// name. Each call looks the function up afresh in the process's main module and is
// skipped when the host lacks it (functions with a result then give 0 or null).
#pragma once
#include <windows.h>


BOOL HostSetLabel(HWND hwndDocklet, const char* szLabel);
// Without the host function, an image to be deleted automatically is deleted here.
BOOL HostSetImageOverlay(HWND hwndDocklet, void* pGdipImage, BOOL bAutomaticallyDeleteImage);
BOOL HostSetImageFile(HWND hwndDocklet, const char* szImage);
BOOL HostBrowseForImage(HWND hwndParent, char* szImage, const char* szAlternativeRelativeRoot);
void* HostLoadGDIPlusImage(const char* szImage);
void HostLockMouseEffect(HWND hwndDocklet, BOOL bLock);
void HostDoAttentionAnimation(HWND hwndDocklet);
void HostGetRootFolder(HWND hwndDocklet, char* szFolder);
void HostGetRelativeFolder(HWND hwndDocklet, char* szFolder);
void HostRemoveSelf(HWND hwndDocklet, WPARAM wParam);

// Function types of the host's exports, shared with the stand-in dock.
typedef BOOL(__stdcall* PFN_DockletSetLabel)(HWND, char*);
typedef BOOL(__stdcall* PFN_DockletSetImageOverlay)(HWND, void*, BOOL);
typedef BOOL(__stdcall* PFN_DockletSetImageFile)(HWND, char*);
typedef BOOL(__stdcall* PFN_DockletBrowseForImage)(HWND, char*, char*);
typedef void*(__stdcall* PFN_DockletLoadGDIPlusImage)(char*);
typedef void(__stdcall* PFN_DockletLockMouseEffect)(HWND, BOOL);
typedef void(__stdcall* PFN_DockletDoAttentionAnimation)(HWND);
typedef void(__stdcall* PFN_DockletGetRootFolder)(HWND, char*);
typedef void(__stdcall* PFN_DockletGetRelativeFolder)(HWND, char*);
typedef void(__stdcall* PFN_DockletRemoveSelf)(HWND, WPARAM);
