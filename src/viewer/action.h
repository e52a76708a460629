// What choosing an item does: the viewer window, the default browser or a program.
#pragma once
#include <string>
#include "core/docklet.h"

// Acts on iViewMode and iCurrentItem with the instance's item action. Runs on the
// user-interface thread; with the viewer action it returns when the viewer closes.
void DoItemAction(_DOCKLET_DATA* pData);
// Starts szApplication (environment references expanded) through the shell with
// szParameters exactly as given.
void RunApplication(const wchar_t* szApplication, const wchar_t* szParameters);

// What DoItemAction launches outside the docklet, decided without launching it.
enum ItemLaunchKind {
    ITEM_LAUNCH_NONE = 0,
    ITEM_LAUNCH_VIEWER,       // the viewer window
    ITEM_LAUNCH_SHELL,        // strFile opened with the shell's default verb
    ITEM_LAUNCH_APPLICATION,  // strFile (the user's program) started with strParameters
};
struct ItemLaunch {
    ItemLaunchKind iKind = ITEM_LAUNCH_NONE;
    std::wstring strFile;
    std::wstring strParameters;
};
// Decides the launch for the instance's current choice. A feed's item link is taken only
// when it is an absolute http or https address; the profile's own URL (view mode 0) is
// the user's and is taken as it stands. May throw std::bad_alloc.
ItemLaunch PlanItemAction(_DOCKLET_DATA* pData);
// True for an absolute http:// or https:// address with a host part and no control
// characters.
bool IsWebAddress(const wchar_t* szLink);
// szArgument as one command-line argument: in double quotes, its own double quotes
// percent-encoded, trailing backslashes doubled so the closing quote stays a quote.
std::wstring QuoteArgument(const wchar_t* szArgument);

// Hands szURL to the default browser (a shell launch through the launcher below) when it
// is an absolute http or https address; anything else is dropped. True when launched.
bool OpenWebAddress(HWND hwndOwner, const wchar_t* szURL);

// Replaces how shell and application launches are carried out (tests record them
// instead of starting a browser); null restores the shell. Returns the previous one.
typedef void (*ItemLauncher)(HWND hwndOwner, const ItemLaunch& launch);
ItemLauncher SetItemLauncher(ItemLauncher pfn);
