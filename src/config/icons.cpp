// The "Icons && Images" page: the docklet-wide background icon and strip menu icon,
// each with a preview, the host's image browser and a reset to the default image.
#include <windows.h>
#include <cstdio>
#include "config/config.h"
#include "core/host.h"
#include "core/settings.h"
#include "presentation/icon.h"
#include "resources/config_ids.h"

namespace {

PageState g_page;

struct Picture {
    wchar_t* (*pfnField)(_DOCKLET_DATA*);
    const wchar_t* szDefault;
    int iEdit;
    int iPreview;
    int iEdge;
};

wchar_t* BackgroundField(_DOCKLET_DATA* p) { return p->szBackgroundImage; }
wchar_t* MenuIconField(_DOCKLET_DATA* p) { return p->szMenuIcon; }

const Picture c_background = {BackgroundField, L"background.png", IDC_BACKGROUND_PATH, IDC_BACKGROUND_PREVIEW, 96};
const Picture c_menuIcon = {MenuIconField, L"menu.png", IDC_MENU_PATH, IDC_MENU_PREVIEW, 20};

void ShowPicture(HWND hPage, const Picture& pic, _DOCKLET_DATA* pWork) {
    SetImagePreview(hPage, pic.iPreview, pic.pfnField(pWork), pic.iEdge);
    SetDlgItemTextW(hPage, pic.iEdit, pic.pfnField(pWork));
}

void FinishPicture(HWND hPage, const Picture& pic, _DOCKLET_DATA* pWork) {
    wchar_t* szField = pic.pfnField(pWork);
    ResolveImagePath(szField, 270, pic.szDefault, pWork->szImagesFolder, pWork->hwndDocklet);
    SetDlgItemTextW(hPage, pic.iEdit, szField);
    SetImagePreview(hPage, pic.iPreview, szField, pic.iEdge);
}

void Browse(HWND hPage, const Picture& pic, _DOCKLET_DATA* pWork) {
    char szRelative[MAX_PATH + 10] = {};
    HostGetRelativeFolder(pWork->hwndDocklet, szRelative);
    szRelative[MAX_PATH] = 0;
    char szImages[270];
    WideToAnsi(szImages, sizeof(szImages), pWork->szImagesFolder);
    char szRoot[MAX_PATH + 280];
    snprintf(szRoot, sizeof(szRoot), "%s%s\\", szRelative, szImages);
    char szImage[272];
    WideToAnsi(szImage, sizeof(szImage), pic.pfnField(pWork));
    if (!HostBrowseForImage(hPage, szImage, szRoot)) return;
    szImage[sizeof(szImage) - 1] = 0;
    AnsiToWide(pic.pfnField(pWork), 270, szImage);
    FinishPicture(hPage, pic, pWork);
}

void Reset(HWND hPage, const Picture& pic, _DOCKLET_DATA* pWork) {
    CopyText(pic.pfnField(pWork), 270, pic.szDefault);
    FinishPicture(hPage, pic, pWork);
}

void LoadPage(HWND hPage, SheetContext* pContext) {
    ShowPicture(hPage, c_background, pContext->pWork);
    ShowPicture(hPage, c_menuIcon, pContext->pWork);
}

void StorePage(HWND hPage, SheetContext* pContext) {
    wchar_t szPath[270];
    GetDlgItemTextW(hPage, IDC_BACKGROUND_PATH, szPath, 270);
    CopyText(pContext->pWork->szBackgroundImage, 270, szPath);
    GetDlgItemTextW(hPage, IDC_MENU_PATH, szPath, 270);
    CopyText(pContext->pWork->szMenuIcon, 270, szPath);
}

}  // namespace

INT_PTR CALLBACK IconsPageProc(HWND hPage, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    INT_PTR iResult = 0;
    if (HandlePageMessage(g_page, hPage, uMsg, lParam, LoadPage, StorePage, true, &iResult)) return iResult;
    if (uMsg != WM_COMMAND || !g_page.pContext) return 0;
    _DOCKLET_DATA* pWork = g_page.pContext->pWork;
    switch (LOWORD(wParam)) {
    case IDC_BACKGROUND_BROWSE: Browse(hPage, c_background, pWork); break;
    case IDC_MENU_BROWSE: Browse(hPage, c_menuIcon, pWork); break;
    case IDC_BACKGROUND_RESET: Reset(hPage, c_background, pWork); break;
    case IDC_MENU_RESET: Reset(hPage, c_menuIcon, pWork); break;
    }
    return 0;
}
