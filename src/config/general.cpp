// The "General" page: the label text, what the icon and the dock label show, and what
// choosing a feed item does.
#include <windows.h>
#include <commdlg.h>
#include "config/config.h"
#include "resources/config_ids.h"

namespace {

PageState g_page;

// One set of info choices: the radio buttons in storing order and the hide box.
struct InfoSet {
    int aiButtons[4];
    unsigned int aiValues[4];
    int iHide;
};
const InfoSet c_docklet = {{IDC_INFO_TITLE, IDC_INFO_PROFILE, IDC_INFO_ITEM_TITLE, IDC_INFO_ITEM_LINK},
                           {INFO_TITLE, INFO_PROFILE_TITLE, INFO_ITEM_TITLE, INFO_ITEM_LINK},
                           IDC_INFO_HIDE};
const InfoSet c_label = {{IDC_LABEL_TITLE, IDC_LABEL_PROFILE, IDC_LABEL_ITEM_TITLE, IDC_LABEL_ITEM_LINK},
                         {INFO_TITLE, INFO_PROFILE_TITLE, INFO_ITEM_TITLE, INFO_ITEM_LINK},
                         IDC_LABEL_HIDE};

bool Checked(HWND hPage, int iControl) {
    return IsDlgButtonChecked(hPage, iControl) == BST_CHECKED;
}

void Enable(HWND hPage, int iControl, bool bEnable) {
    EnableWindow(GetDlgItem(hPage, iControl), bEnable ? TRUE : FALSE);
}

void EnableChoices(HWND hPage, const InfoSet& set, bool bEnable) {
    for (int id : set.aiButtons) Enable(hPage, id, bEnable);
}

void LoadInfoSet(HWND hPage, const InfoSet& set, unsigned int iValue) {
    for (int i = 0; i < 4; ++i) CheckDlgButton(hPage, set.aiButtons[i], (iValue & set.aiValues[i]) ? BST_CHECKED : BST_UNCHECKED);
    bool bHide = (iValue & INFO_HIDE) != 0;
    CheckDlgButton(hPage, set.iHide, bHide ? BST_CHECKED : BST_UNCHECKED);
    if (bHide) EnableChoices(hPage, set, false);
}

unsigned int StoreInfoSet(HWND hPage, const InfoSet& set) {
    bool abChecked[4];
    for (int i = 0; i < 4; ++i) abChecked[i] = Checked(hPage, set.aiButtons[i]);
    return InfoValueFromChoices(abChecked, Checked(hPage, set.iHide));
}

void LoadPage(HWND hPage, SheetContext* pContext) {
    _DOCKLET_DATA* pWork = pContext->pWork;
    SetDlgItemTextW(hPage, IDC_LABEL, pWork->szTitle);
    LoadInfoSet(hPage, c_docklet, pWork->iDockletInfo);
    LoadInfoSet(hPage, c_label, pWork->iLabelInfo);
    CheckDlgButton(hPage, IDC_ACTION_VIEWER, (pWork->iItemAction & 1) ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(hPage, IDC_ACTION_BROWSER, (pWork->iItemAction & 2) ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(hPage, IDC_ACTION_APPLICATION, (pWork->iItemAction & 4) ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(hPage, IDC_SAVE_POS, pWork->bSavePos ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemTextW(hPage, IDC_APPLICATION, pWork->szApplication);
    switch (pWork->iItemAction) {
    case ITEM_ACTION_VIEWER:
        Enable(hPage, IDC_APPLICATION, false);
        Enable(hPage, IDC_APPLICATION_BROWSE, false);
        break;
    case ITEM_ACTION_BROWSER:
        Enable(hPage, IDC_SAVE_POS, false);
        Enable(hPage, IDC_APPLICATION, false);
        Enable(hPage, IDC_APPLICATION_BROWSE, false);
        break;
    case ITEM_ACTION_APPLICATION:
        Enable(hPage, IDC_SAVE_POS, false);
        break;
    }
}

void StorePage(HWND hPage, SheetContext* pContext) {
    _DOCKLET_DATA* pWork = pContext->pWork;
    wchar_t szText[500];
    GetDlgItemTextW(hPage, IDC_LABEL, szText, 500);
    CopyText(pWork->szTitle, 500, szText);
    pWork->iDockletInfo = StoreInfoSet(hPage, c_docklet);
    pWork->iLabelInfo = StoreInfoSet(hPage, c_label);
    pWork->iItemAction = ItemActionFromChoices(Checked(hPage, IDC_ACTION_VIEWER), Checked(hPage, IDC_ACTION_BROWSER),
                                               Checked(hPage, IDC_ACTION_APPLICATION));
    pWork->bSavePos = Checked(hPage, IDC_SAVE_POS) ? 1 : 0;
    wchar_t szApplication[270];
    GetDlgItemTextW(hPage, IDC_APPLICATION, szApplication, 270);
    CopyText(pWork->szApplication, 270, szApplication);
}

void BrowseForApplication(HWND hPage, _DOCKLET_DATA* pWork) {
    wchar_t szFile[260] = {};
    if (pWork->szApplication[0]) CopyText(szFile, 260, pWork->szApplication);
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = hPage;
    ofn.lpstrFilter = L"Executable Files (*.exe)\0*.exe\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = szFile;
    ofn.nMaxFile = 260;
    // The dialog must not move the host's current folder.
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&ofn) || !szFile[0]) return;
    CopyText(pWork->szApplication, 270, szFile);
    SetDlgItemTextW(hPage, IDC_APPLICATION, pWork->szApplication);
}

void OnClick(HWND hPage, int iControl) {
    SheetContext* pContext = g_page.pContext;
    if (!pContext) return;
    switch (iControl) {
    case IDC_INFO_HIDE:
        EnableChoices(hPage, c_docklet, !Checked(hPage, IDC_INFO_HIDE));
        break;
    case IDC_LABEL_HIDE:
        EnableChoices(hPage, c_label, !Checked(hPage, IDC_LABEL_HIDE));
        break;
    case IDC_ACTION_VIEWER:
        if (!Checked(hPage, iControl)) break;
        Enable(hPage, IDC_SAVE_POS, true);
        Enable(hPage, IDC_APPLICATION, false);
        Enable(hPage, IDC_APPLICATION_BROWSE, false);
        break;
    case IDC_ACTION_BROWSER:
        if (!Checked(hPage, iControl)) break;
        Enable(hPage, IDC_SAVE_POS, false);
        Enable(hPage, IDC_APPLICATION, false);
        Enable(hPage, IDC_APPLICATION_BROWSE, false);
        break;
    case IDC_ACTION_APPLICATION:
        if (!Checked(hPage, iControl)) break;
        Enable(hPage, IDC_SAVE_POS, false);
        Enable(hPage, IDC_APPLICATION, true);
        Enable(hPage, IDC_APPLICATION_BROWSE, true);
        break;
    case IDC_APPLICATION_BROWSE:
        BrowseForApplication(hPage, pContext->pWork);
        break;
    }
}

}  // namespace

unsigned int InfoValueFromChoices(const bool abChecked[4], bool bHide) {
    static const unsigned int c_values[4] = {INFO_TITLE, INFO_PROFILE_TITLE, INFO_ITEM_TITLE, INFO_ITEM_LINK};
    unsigned int iValue = 0;
    for (int i = 0; i < 4; ++i) {
        if (abChecked[i]) {
            iValue = c_values[i];
            break;
        }
    }
    return bHide ? iValue + INFO_HIDE : iValue;
}

unsigned int ItemActionFromChoices(bool bViewer, bool bBrowser, bool bApplication) {
    if (bViewer) return ITEM_ACTION_VIEWER;
    if (bBrowser) return ITEM_ACTION_BROWSER;
    if (bApplication) return ITEM_ACTION_APPLICATION;
    return 0;
}

INT_PTR CALLBACK GeneralPageProc(HWND hPage, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    INT_PTR iResult = 0;
    if (HandlePageMessage(g_page, hPage, uMsg, lParam, LoadPage, StorePage, true, &iResult)) return iResult;
    if (uMsg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) OnClick(hPage, LOWORD(wParam));
    return 0;
}
