// The settings sheet and what its pages share: the sheet's record, the page protocol,
// the five page procedures, the profile editor, backup and restore, and the plain
// conversions behind the controls.
#pragma once
#include <windows.h>
#include <prsht.h>
#include <string>
#include "core/docklet.h"

#define SHEET_CANCELLED 3
#define SHEET_COMMITTED 4

// The exported dialog procedures: the settings sheet's placeholder (template 108, whose
// parameter is the instance) and the About box (template 102).
extern "C" INT_PTR CALLBACK ConfigureDocklet(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
extern "C" INT_PTR CALLBACK AboutDocklet(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);

// One open settings sheet; made zero-filled on the heap and handed to every page as its
// parameter.
struct SheetContext {
    int iResult = 0;               // 0, SHEET_CANCELLED or SHEET_COMMITTED
    _DOCKLET_DATA* pWork = nullptr;  // the working copy the pages edit
    // The instance the sheet was opened for. Its lock guards the profile records the
    // working copy shares with it while a refresh worker may read them.
    _DOCKLET_DATA* pLive = nullptr;
    // Profile records taken out of the working copy's list (Delete, Restore). They may
    // still be listed by the live instance, so they are released only when the sheet
    // ends, and only those that no list still in use refers to.
    ProfileList retired;
    // A restore replaced the working copy's settings; the hand-over then re-applies the
    // active profile on the live instance and starts its refresh.
    bool bRestored = false;
    // The live instance was destroyed while the sheet was open: the sheet ends as
    // cancelled and hands nothing over; the instance's profile records were moved into
    // retired (or, without memory for that, bReleaseNothing: the sheet frees none).
    bool bLiveGone = false;
    bool bReleaseNothing = false;
};

// ---- the sheet ----
// Makes the working copy of pLive (every copied field, the same profile records).
// Released with ReleaseWorkingCopy. Null when memory runs out.
_DOCKLET_DATA* MakeWorkingCopy(const _DOCKLET_DATA* pLive);
void ReleaseWorkingCopy(_DOCKLET_DATA* pWork);
// The edited settings go from pSrc to pDst: every setting the sheet edits (the settings
// table marks them), then the profile count, the current profile and the list of the same
// profile records; bIntoCopy also copies the host window and the module.
void CopySheetFields(_DOCKLET_DATA* pDst, const _DOCKLET_DATA* pSrc, bool bIntoCopy);
// Hands the committed working copy over to the live instance and shows it on the dock.
void HandOverWorkingCopy(_DOCKLET_DATA* pLive, SheetContext* pContext);
// Releases every profile record the sheet made or took out that pKeep does not list.
void ReleaseSheetProfiles(SheetContext* pContext, const ProfileList& keep);
// Keeps a record taken out of the working copy's list until the sheet ends.
void RetireProfile(SheetContext* pContext, _PROFILE_DATA* pProfile);

int RunSettingsSheet(HINSTANCE hInstance, HWND hwndOwner, SheetContext* pContext);
// For an instance being destroyed: when the open sheet edits pLive, the sheet takes over
// the instance's profile records (the instance's list is left empty), and the profile
// editor and the sheet are closed as Cancel would (posted: their modal loops are below
// the caller).
void CloseSettingsOf(_DOCKLET_DATA* pLive);
int CALLBACK SheetCallback(HWND hwnd, UINT uMsg, LPARAM lParam);
// The open sheet's window, or null; only one sheet may be open in the process.
HWND OpenSettingsSheet();
bool IsSettingsSheetOpen();

// ---- the page protocol ----
// What a page keeps while the sheet is open: its creation record and the sheet's record
// once the page has been activated.
struct PageState {
    const PROPSHEETPAGEW* pPage = nullptr;
    SheetContext* pContext = nullptr;
};
typedef void (*PageTransfer)(HWND hPage, SheetContext* pContext);
// Runs the protocol for one message of a page: WM_INITDIALOG keeps the creation
// record, PSN_SETACTIVE loads, PSN_KILLACTIVE stores (and, when bSetsResult, commits the
// sheet's result), PSN_RESET marks the sheet cancelled, WM_DESTROY forgets the state.
// True when the message was handled; *pResult is then the procedure's return value.
bool HandlePageMessage(PageState& state, HWND hPage, UINT uMsg, LPARAM lParam, PageTransfer pfnLoad,
                       PageTransfer pfnStore, bool bSetsResult, INT_PTR* pResult);

INT_PTR CALLBACK GeneralPageProc(HWND hPage, UINT uMsg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK IconsPageProc(HWND hPage, UINT uMsg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FontPageProc(HWND hPage, UINT uMsg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ProfilesPageProc(HWND hPage, UINT uMsg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK HeadlinesPageProc(HWND hPage, UINT uMsg, WPARAM wParam, LPARAM lParam);

// ---- Image fields (Icons page and profile editor) ----
// The icon image and the menu icon that both dialogs edit: each a 270-character path
// with its edit control, preview, Browse and Reset buttons (the same identifiers in both).
struct ImageFields {
    wchar_t* szBackgroundImage;
    wchar_t* szMenuIcon;
};
// Shows both paths in their edit controls and their pictures in the previews.
void ShowImageFields(HWND hDlg, const ImageFields& fields);
// Releases both previews' pictures; the dialog calls it when it closes.
void ClearImageFields(HWND hDlg);
// Acts on a Browse or Reset button: the host's image browser starting in the images
// folder (Cancel changes nothing), or the default image; the new path is resolved
// against the images folder and shown. False for any other control.
bool OnImageFieldCommand(HWND hDlg, int iControl, const ImageFields& fields, const wchar_t* szImagesFolder,
                         HWND hwndDocklet);

// ---- General page conversions ----
// The stored value of one info set: the value of the first checked choice in the order
// title (2), profile title (16), item title (4), item link (8), or 0; plus 1 when hidden.
unsigned int InfoValueFromChoices(const bool abChecked[4], bool bHide);
// 1, 2 or 4 for the first checked action choice (viewer, browser, application), else 0.
unsigned int ItemActionFromChoices(bool bViewer, bool bBrowser, bool bApplication);

// ---- Headlines page ----
// What the page says next to the period of checks when the active feed's own rule
// (minutes, 0: none) makes them rarer: "This feed asks for at most one check every 2
// hours."; empty otherwise.
std::wstring FeedRuleNote(int iRefreshMinutes, int iFeedRuleMinutes);

// ---- Font page ----
// The opacity 0..255 as a whole percentage (255 -> 100, 100 -> 39).
int OpacityPercent(BYTE bAlpha);
// A typed font size: the unsigned number the text starts with, or 11 when it has none.
int ParseFontSize(const wchar_t* szText);
void FillFontList(_DOCKLET_DATA* pData, HWND hCombo);
void DrawFontSample(HWND hPage, int iControl, const wchar_t* szFontName, int iFontSize, COLORREF crText,
                    COLORREF crBox, BYTE bTextAlpha, BYTE bBoxAlpha, bool bFramed, bool bRounded);

// ---- Profiles page ----
void RefreshProfileList(HWND hList, _DOCKLET_DATA* pWork, int iSelect);
// The current profile after removing the profile at iDeleted, iCountAfter profiles
// remaining: -1 with none left, 0 when the current one went, one less when an earlier
// one went, and never at or beyond the count.
int CurrentProfileAfterDelete(int iCurrent, int iDeleted, int iCountAfter);

// ---- Profile editor ----
struct _PROFILE_ACTION {
    HWND hwndDocklet;
    int iAction;  // in: 1 edit, 2 add; out: 4 OK, 3 cancelled
    wchar_t szImagesFolder[270];
    _PROFILE_DATA* pProfile;  // the scratch profile, edited in place
};
#define PROFILE_ACTION_EDIT 1
#define PROFILE_ACTION_ADD 2
#define PROFILE_ACTION_CANCEL 3
#define PROFILE_ACTION_OK 4

// The URL check the editor runs; tests replace it. hCancel is set when the editor is
// cancelled while the check waits.
typedef bool (*PFN_CheckFeedURL)(_PROFILE_DATA* pProfile, HANDLE hCancel);
extern PFN_CheckFeedURL g_pfnCheckFeedURL;

INT_PTR CALLBACK ProfileEditorProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
// Ends an open profile editor as Cancel would (posted).
void CloseProfileEditor();

// ---- Backup and restore ----
// The suggested backup file: the host's root folder, the docklet's relative folder
// without its leading ".\" and szFileName, at most 260 characters.
void BuildBackupPath(HWND hwndDocklet, const wchar_t* szFileName, wchar_t* szPathOut, size_t cchPathOut);
// The name offered in the Save As dialog once a filter is chosen: a name ending in
// ".ini" or ".opml" takes the filter's extension; any other name stays as it is.
std::wstring BackupNameForFilter(const wchar_t* szName, bool bOpml);
// Back Up asks for a file in a Save As dialog (INI first and selected, or OPML); the
// format follows the chosen name: "*.opml" is a subscription list, anything else an INI
// backup. 1 when a file was written; 0 when the user chose none, or when it failed,
// which the message function has said.
int BackupProfiles(_DOCKLET_DATA* pData, HWND hwndOwner, const wchar_t* szFileName);
// The same without the dialog, into szPath.
int BackupProfilesTo(_DOCKLET_DATA* pData, HWND hwndOwner, const wchar_t* szPath);
// Restore asks for an existing file, then asks the user, naming what it does with it.
// An INI backup replaces the settings and profiles. With pRetired (the settings sheet's
// working copy) the old profile records are kept there and nothing is started; without
// it they are released and the active profile is applied, which starts a refresh.
// An OPML list (or any XML file) only adds its feeds as new profiles after the others,
// skipping addresses already in the list and stopping at MAX_PROFILES, and gives
// RESTORE_ADDED. 0 when nothing changed: cancelled, or a failure that the message
// function has said (a file that cannot be read or holds no backup changes nothing).
#define RESTORE_ADDED 2
int RestoreProfiles(_DOCKLET_DATA* pData, HWND hwndOwner, const wchar_t* szFileName, ProfileList* pRetired = nullptr);
// The same without the dialog and the question, from szPath.
int RestoreProfilesFrom(_DOCKLET_DATA* pData, HWND hwndOwner, const wchar_t* szPath,
                        ProfileList* pRetired = nullptr);
