// The profile editor: one feed profile's URL, title, icon image and menu icon, with a
// URL check before OK.
#include <windows.h>
#include <cwchar>
#include "config/config.h"
#include "core/message.h"
#include "core/settings.h"
#include "feed/urlcheck.h"
#include "resources/config_ids.h"
#include "viewer/viewer.h"

PFN_CheckFeedURL g_pfnCheckFeedURL = CheckFeedURL;

namespace {

const wchar_t c_szActionProp[] = L"lpProfileAction";
// Set on the dialog while its URL check runs: the check's cancel event. The check
// dispatches messages while it waits, so Check and OK are disabled meanwhile, and a
// Cancel in between sets the event, which ends the check at once.
const wchar_t c_szCheckingProp[] = L"QuillmereChecking";

// The editor that is open (one at most: it is modal over the one settings sheet).
HWND g_hwndEditor = nullptr;

_PROFILE_ACTION* ActionOf(HWND hDlg) {
    return static_cast<_PROFILE_ACTION*>(GetPropW(hDlg, c_szActionProp));
}

void ReadFields(HWND hDlg, _PROFILE_DATA* pProfile) {
    GetDlgItemTextW(hDlg, IDC_EDITOR_URL, pProfile->szURL, 2049);
    wchar_t szTitle[501];
    GetDlgItemTextW(hDlg, IDC_EDITOR_TITLE, szTitle, 501);
    if (wcscmp(szTitle, pProfile->szTitle) != 0) CopyText(pProfile->szTitle, 501, szTitle);
    pProfile->iFeedFormat = 0;
}

// Reads the fields and checks the URL; the dialog stays usable but cannot start a
// second check or end with OK while this one waits. False when the URL gave no feed or
// the dialog was cancelled meanwhile.
bool CheckURL(HWND hDlg, _PROFILE_ACTION* pAction) {
    if (GetPropW(hDlg, c_szCheckingProp)) return false;
    qm::UniqueHandleNull hCancel(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!hCancel) return false;
    ReadFields(hDlg, pAction->pProfile);
    SetPropW(hDlg, c_szCheckingProp, hCancel.get());
    EnableWindow(GetDlgItem(hDlg, IDC_EDITOR_CHECK), FALSE);
    EnableWindow(GetDlgItem(hDlg, IDOK), FALSE);
    SetDlgItemTextW(hDlg, IDC_EDITOR_STATUS, L"");
    wchar_t szAsked[2049];
    CopyText(szAsked, 2049, pAction->pProfile->szURL);
    bool bValid = g_pfnCheckFeedURL && g_pfnCheckFeedURL(pAction->pProfile, hCancel.get());
    RemovePropW(hDlg, c_szCheckingProp);
    EnableWindow(GetDlgItem(hDlg, IDC_EDITOR_CHECK), TRUE);
    EnableWindow(GetDlgItem(hDlg, IDOK), TRUE);
    if (pAction->iAction == PROFILE_ACTION_CANCEL) return false;
    if (!bValid) {
        ReportMessage(hDlg, L"Invalid RSS Feed URL", MB_OK);
        return false;
    }
    SetDlgItemTextW(hDlg, IDC_EDITOR_TITLE, pAction->pProfile->szTitle);
    // The address was a web page naming its feed: the check put the feed's in its place.
    if (wcscmp(szAsked, pAction->pProfile->szURL) != 0) {
        SetDlgItemTextW(hDlg, IDC_EDITOR_URL, pAction->pProfile->szURL);
        wchar_t szStatus[2100];
        _snwprintf(szStatus, 2099, L"Feed found on the page: %s", pAction->pProfile->szURL);
        szStatus[2099] = 0;
        SetDlgItemTextW(hDlg, IDC_EDITOR_STATUS, szStatus);
    }
    return true;
}

void OnOK(HWND hDlg, _PROFILE_ACTION* pAction) {
    if (!CheckURL(hDlg, pAction)) return;
    _PROFILE_DATA* pProfile = pAction->pProfile;
    GetDlgItemTextW(hDlg, IDC_EDITOR_TITLE, pProfile->szTitle, 501);
    GetDlgItemTextW(hDlg, IDC_BACKGROUND_PATH, pProfile->szBackgroundImage, 270);
    GetDlgItemTextW(hDlg, IDC_MENU_PATH, pProfile->szMenuIcon, 270);
    pAction->iAction = PROFILE_ACTION_OK;
    EndDialog(hDlg, 0);
}

ImageFields FieldsOf(_PROFILE_DATA* pProfile) {
    return {pProfile->szBackgroundImage, pProfile->szMenuIcon};
}

// Ends the editor as Cancel: a URL check that is waiting stops at once.
void CancelEditor(HWND hDlg, _PROFILE_ACTION* pAction) {
    if (HANDLE hCancel = GetPropW(hDlg, c_szCheckingProp)) SetEvent(hCancel);
    pAction->iAction = PROFILE_ACTION_CANCEL;
    EndDialog(hDlg, 0);
}

void OnInit(HWND hDlg, _PROFILE_ACTION* pAction) {
    g_hwndEditor = hDlg;
    CenterWindow(hDlg, 0, 0, 0);
    if (!pAction) return;
    SetPropW(hDlg, c_szActionProp, pAction);
    _PROFILE_DATA* pProfile = pAction->pProfile;
    SetDlgItemTextW(hDlg, IDC_EDITOR_TITLE, pProfile->szTitle);
    SetDlgItemTextW(hDlg, IDC_EDITOR_URL, pProfile->szURL);
    ShowImageFields(hDlg, FieldsOf(pProfile));
}

}  // namespace

void CloseProfileEditor() {
    if (g_hwndEditor) PostMessageW(g_hwndEditor, WM_CLOSE, 0, 0);
}

INT_PTR CALLBACK ProfileEditorProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_INITDIALOG) {
        OnInit(hDlg, reinterpret_cast<_PROFILE_ACTION*>(lParam));
        return TRUE;
    }
    if (uMsg == WM_DESTROY) {
        if (HANDLE hCancel = GetPropW(hDlg, c_szCheckingProp)) SetEvent(hCancel);
        RemovePropW(hDlg, c_szActionProp);
        RemovePropW(hDlg, c_szCheckingProp);
        ClearImageFields(hDlg);
        if (g_hwndEditor == hDlg) g_hwndEditor = nullptr;
        return 0;
    }
    _PROFILE_ACTION* pAction = ActionOf(hDlg);
    if (!pAction || !pAction->pProfile) return 0;
    if (uMsg == WM_CLOSE) {
        CancelEditor(hDlg, pAction);
        return TRUE;
    }
    if (uMsg != WM_COMMAND) return 0;
    if (OnImageFieldCommand(hDlg, LOWORD(wParam), FieldsOf(pAction->pProfile), pAction->szImagesFolder,
                            pAction->hwndDocklet))
        return TRUE;
    switch (LOWORD(wParam)) {
    case IDC_EDITOR_CHECK:
        CheckURL(hDlg, pAction);
        return TRUE;
    case IDOK:
        OnOK(hDlg, pAction);
        return TRUE;
    case IDCANCEL:
        CancelEditor(hDlg, pAction);
        return TRUE;
    }
    return 0;
}
