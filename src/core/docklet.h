// The records shared by the whole docklet: the per-instance record, feed profiles and
// feed items, with the constants every subsystem uses.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>
#include "core/dynarray.h"
#include "core/unique.h"
#include "core/worker.h"
#include "text/refreshperiod.h"

struct _HTTP_SESSION;  // the downloads' HTTP session (feed/proxy.h)

#define IDT_REFRESH 123240
// The refresh period of the default "RefreshMinutes" (an hour), in ms.
#define REFRESH_INTERVAL 3600000
// The headline cycle's step, on the same window as the refresh timer.
#define IDT_CYCLE 123241

// Limits and defaults of the headline cycle (settings "CycleSeconds", "CycleCount").
#define CYCLE_SECONDS_MIN 3
#define CYCLE_SECONDS_MAX 3600
#define CYCLE_SECONDS_DEFAULT 8
#define CYCLE_COUNT_MIN 1
#define CYCLE_COUNT_MAX 1000
#define CYCLE_COUNT_DEFAULT 10

#define FEED_FORMAT_RSS 1
#define FEED_FORMAT_ATOM 4

#define ITEM_ACTION_VIEWER 1
#define ITEM_ACTION_BROWSER 2
#define ITEM_ACTION_APPLICATION 4

// Bits of iDockletInfo (text on the icon) and iLabelInfo (dock label).
#define INFO_HIDE 1
#define INFO_TITLE 2
#define INFO_ITEM_TITLE 4
#define INFO_ITEM_LINK 8
#define INFO_PROFILE_TITLE 16

// One feed item: filled once by the parser, never changed afterwards.
struct _RSSFEED_DATA {
    wchar_t szTitle[501];
    wchar_t szLink[2049];
    wchar_t szPubDate[101];
    wchar_t* pszDescription;  // owned; new wchar_t[], never null in a stored record
    wchar_t szItemFile[260];
};

// One feed profile; owned by the instance's profiles array.
struct _PROFILE_DATA {
    wchar_t szTitle[501];
    wchar_t szURL[2049];
    int iFeedFormat;
    wchar_t szBackgroundImage[270];
    wchar_t szMenuIcon[270];
    // Held in memory only, never written to the settings: the validators of the feed's
    // last 200 (ETag, Last-Modified) and the address they belong to; they count only
    // while szURL is still that address.
    wchar_t szETag[256];
    wchar_t szLastModified[64];
    wchar_t szValidatorsURL[2049];
    // The least minutes between checks that the feed's last 200 asked for (<ttl>, the
    // syndication module); 0 when it asked for nothing. Memory only, like the validators.
    int iFeedRuleMinutes;
};

typedef AeDynArray<_RSSFEED_DATA*> FeedItemList;
typedef AeDynArray<_PROFILE_DATA*> ProfileList;

// Items as the new-item check knows them: each by a hash of its link, or of its title
// when it has no link (feed/newitems.h).
typedef std::unordered_set<uint64_t> ItemKeySet;
// What the new-item check keeps from one successful refresh to the next, and across
// restarts in the feed's state file (feed/itemstate.h).
struct KnownItems {
    bool bKnown = false;  // keys holds the list of a successful refresh of url
    // The address keys and marks belong to; set too once its state file has been read.
    std::wstring url;
    ItemKeySet keys;
    std::vector<uint64_t> order;  // the keys in the list's order, at most as many as a state file holds
    ItemKeySet marked;            // items shown as new until the item menu is opened
    uint64_t ullRefreshed = 0;    // the last successful refresh, seconds since 1970
};

// The per-instance record. The fields up to iViewMode are the docklet's own state and
// settings; the ones after it coordinate the threads that share the record.
struct _DOCKLET_DATA {
    HWND hwndDocklet = nullptr;
    HINSTANCE hInstance = nullptr;
    wchar_t szTitle[500] = {};
    unsigned int iDockletInfo = 0;
    unsigned int iLabelInfo = 0;
    FeedItemList items;
    int iCurrentItem = 0;
    unsigned int iProfileCount = 0;
    ProfileList profiles;
    int iCurrentProfile = -1;
    wchar_t szFontName[32] = {};
    int iFontSize = 0;
    COLORREF crFontColor = 0;
    BYTE bFontAlpha = 0;
    COLORREF crBackgroundColor = 0;
    BYTE bBackgroundAlpha = 0;
    int bFramedBackground = 0;
    int bRoundedCorners = 0;
    wchar_t szImagesFolder[270] = {};
    wchar_t szBackgroundImage[270] = {};
    wchar_t szMenuIcon[270] = {};
    qm::UniqueBitmap hMenuBitmap;  // the menu picture of the active profile
    unsigned int iItemAction = 0;
    int iPosX = 0, iPosY = 0, iWidth = 0, iHeight = 0;
    int bSavePos = 0;
    wchar_t szApplication[270] = {};
    // Headlines: the icon steps through the newest items; new items are noticed.
    int bCycleItems = 0;                           // "CycleItems"
    int iCycleSeconds = CYCLE_SECONDS_DEFAULT;     // "CycleSeconds"
    int iCycleCount = CYCLE_COUNT_DEFAULT;         // "CycleCount"
    int bNotifyNew = 1;                            // "NotifyNew"
    int iRefreshMinutes = REFRESH_MINUTES_DEFAULT;  // "RefreshMinutes"
    volatile LONG bRefreshing = 0;
    volatile LONG bLoadingPage = 0;
    DockletWorker hRefreshThread;  // the refresh worker (thread and cancel event)
    DockletWorker hPageThread;     // the open viewer's page thread
    HWND hwndViewer = nullptr;
    qm::UniqueOwnedFile pszPageFile;  // the page the viewer shows; released, it is deleted
    int iViewMode = 0;

    // --- thread coordination (not settings) ---
    // References: one for the host (OnCreate to OnDestroy), one per running thread and
    // one per modal loop of ours that the host may end by destroying the instance. The
    // record's memory is freed with the last one.
    volatile LONG lRefs = 1;
    // Set once by OnDestroy; threads check it at their safe points and then drop their
    // results instead of touching the instance.
    volatile LONG bStopping = 0;
    // Guards items, iCurrentItem, the workers and the active profile's title and format
    // while a worker writes them. Held briefly; never across a wait or a host call.
    qm::CriticalSection csState;
    // Serialises display updates (a mutex: see DisplayLock), so the host calls of two
    // updates never interleave.
    qm::UniqueHandleNull hDisplayMutex{CreateMutexW(nullptr, FALSE, nullptr)};
    // Counts the lists that have replaced items, so a choice made in a menu of an older
    // list is not taken for the item now at the same place.
    volatile LONG lItemsVersion = 0;
    // The previous list and the marks of the new-item check; under csState.
    KnownItems known;
    // Held while the state file of the active feed is written, so two writers (the
    // worker after a refresh, the item menu when it clears the marks) write in turn and
    // the later state is the one left. Taken before csState, never inside it.
    qm::CriticalSection csStateFile;
    // The folder of the dock's settings file (empty when the host named none): where
    // state files go when the local application data folder cannot take them.
    std::wstring settingsFolder;
    // Menus and the settings of the instance that are open on the user-interface thread;
    // the headline cycle waits while any is (CyclePause).
    int iOpenUI = 0;
    // Message-only window on the user-interface thread; other threads post to it for the
    // work that must happen on that thread (arming the timer, navigating the viewer).
    qm::UniqueWindow hwndNotify;
    DWORD dwUIThreadId = 0;
    // Shows the record's state on the dock; set by whoever creates the instance, so the
    // refresh worker can ask for it without knowing how it is drawn. Null: nothing shown.
    void (*pfnUpdateDisplay)(_DOCKLET_DATA* pData) = nullptr;
    // The profile whose last 200 gave the items (null when they came otherwise); only
    // compared, never followed. Its validators are sent only while this holds, so a 304
    // never keeps another feed's items.
    const _PROFILE_DATA* pItemsSource = nullptr;
    // What the last answer asked for before the next timed refresh (a 429 or 503 with
    // Retry-After), in ms, at most a day; 0: nothing. Guarded by csState.
    DWORD dwBackOffMs = 0;
    // The HTTP session the downloads of the instance share, made by the first one.
    qm::ForeignRef<_HTTP_SESSION> pHttpSession;
    qm::ComApartment ole;  // the host thread's OLE, entered by OnCreate
    bool bGdiplusStarted = false;
    bool bClassesRegistered = false;
};

// Private messages of the notification window.
#define WM_QM_ARMTIMER (WM_APP + 0x51)
#define WM_QM_CALLBACK (WM_APP + 0x52)  // wParam: void (*)(void*), lParam: argument
#define WM_QM_ARMCYCLE (WM_APP + 0x53)

// Copies src into a fixed wide buffer, cut to fit, always terminated.
void CopyText(wchar_t* dst, size_t cch, const wchar_t* src);
// 8-bit (process code page) to wide and back, cut to fit, always terminated.
void AnsiToWide(wchar_t* dst, size_t cch, const char* src);
void WideToAnsi(char* dst, size_t cb, const wchar_t* src);
// 8-bit text in the process code page as a whole wide string (empty for null).
std::wstring WideFromAnsi(const char* src);
// s with its ASCII letters in lower case (names from the network compare this way).
std::wstring AsciiLower(std::wstring s);
// A name a server or a file gave, fit for a message: printable ASCII ('?' for anything
// else), cut after 40 characters with "..." to show it was cut.
std::wstring PrintableName(const std::wstring& name);
