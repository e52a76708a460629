// A stand-in ActiveX control for the "AX" window: registered in this process under any
// class identifier, it records what the site and the window do to it.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <exdisp.h>
#include <string>
#include <vector>

struct StandInLog {
    int created = 0, destroyed = 0;
    int setClientSite = 0, clearClientSite = 0, advise = 0, unadvise = 0, close = 0;
    int doVerbInPlace = 0, setObjectRects = 0, uiDeactivate = 0, inPlaceDeactivate = 0;
    int viewAdvise = 0, dadvise = 0, dunadvise = 0;
    int inPlaceSiteOffered = -1;  // at the last DoVerb: 1 the site gave IOleInPlaceSite
    RECT lastRects = {};
    RECT lastDoVerbRect = {};
    HWND doVerbParent = nullptr;
    std::vector<std::wstring> navigated;
    DWORD navigateThread = 0;
    DWORD createThread = 0;
    // What the site answered for the download control when the control was told it
    // changed (VT_EMPTY when it was never told).
    int ambientChanges = 0;
    VARIANT dlControl = {};
    HRESULT dlControlResult = E_FAIL;
    int eventSinks = 0;  // DWebBrowserEvents2 sinks connected now
};

struct StandInOptions {
    int formats = 3;           // formats that EnumFormatEtc lists
    bool inPlaceObject = true; // gives IOleInPlaceObject
    bool webBrowser = true;    // gives IWebBrowser2
    bool keepSite = false;     // keeps its site reference after SetClientSite(null)
    bool failCreate = false;   // the class object refuses to create the control
};

StandInLog& StandIn();
StandInOptions& StandInOpts();
void ResetStandIn();
// Registers the stand-in's class object for clsid in this process; Revoke undoes it.
DWORD RegisterStandIn(const CLSID& clsid);
void RevokeStandIn(DWORD dwCookie);
// The site reference that a keepSite control still holds; releasing it is the test's.
IOleClientSite* StandInKeptSite();
// Fires the browser's events at the connected DWebBrowserEvents2 sink, as the control
// does: BeforeNavigate2 for the control itself (bTopLevel) or for a frame in it, and
// NewWindow3. True when the sink cancelled; false also when no sink is connected.
bool StandInBeforeNavigate(const wchar_t* szURL, bool bTopLevel = true);
bool StandInNewWindow(const wchar_t* szURL);
