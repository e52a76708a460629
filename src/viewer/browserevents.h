// Keeps the viewer's browser control on the page that the docklet wrote. The viewer
// listens to the control's DWebBrowserEvents2: a navigation to anything but that page
// is cancelled, and so is every new window (links with target="_blank"); what the user
// followed goes to the default browser instead, when it is an absolute http or https
// address and the navigation is the page's own (not a frame's inside it).
#pragma once
#include <windows.h>

// After one hand-off to the default browser, the next is taken only this much later, so
// a page that navigates over and over cannot open a flood of browser windows.
#define BROWSER_HANDOFF_INTERVAL_MS 1000

class BrowserEventSink;

// Connects a new listener to the control in the "AX" window hwndBrowser; launches are
// owned by hwndOwner. Null when the control offers no DWebBrowserEvents2 (the viewer
// then shows pages without the listener).
BrowserEventSink* ConnectBrowserEvents(HWND hwndBrowser, HWND hwndOwner);
// The page the control may show, by its full path; until it is set every navigation is
// cancelled.
void AllowBrowserPage(BrowserEventSink* pSink, const wchar_t* szPath);
// Disconnects the listener from its control and lets go of it. Null does nothing.
void DisconnectBrowserEvents(BrowserEventSink* pSink);
