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

// One image path with its controls, its default file name and its preview's edge.
struct ImageField {
    wchar_t* szPath;
    const wchar_t* szDefault;
    int iEdit;
    int iPreview;
    int iEdge;
};

ImageField BackgroundField(const ImageFields& fields) {
    return {fields.szBackgroundImage, L"background.png", IDC_BACKGROUND_PATH, IDC_BACKGROUND_PREVIEW, 96};
}

ImageField MenuIconField(const ImageFields& fields) {
    return {fields.szMenuIcon, L"menu.png", IDC_MENU_PATH, IDC_MENU_PREVIEW, 20};
}

void ShowImageField(HWND hDlg, const ImageField& field) {
    SetImagePreview(hDlg, field.iPreview, field.szPath, field.iEdge);
    SetDlgItemTextW(hDlg, field.iEdit, field.szPath);
}

void ResolveImageField(HWND hDlg, const ImageField& field, const wchar_t* szImagesFolder, HWND hwndDocklet) {
    ResolveImagePath(field.szPath, 270, field.szDefault, szImagesFolder, hwndDocklet);
    ShowImageField(hDlg, field);
}

void BrowseImageField(HWND hDlg, const ImageField& field, const wchar_t* szImagesFolder, HWND hwndDocklet) {
    char szRelative[MAX_PATH + 10] = {};
    HostGetRelativeFolder(hwndDocklet, szRelative);
    szRelative[MAX_PATH] = 0;
    char szImages[270];
    WideToAnsi(szImages, sizeof(szImages), szImagesFolder);
    char szRoot[MAX_PATH + 280];
    snprintf(szRoot, sizeof(szRoot), "%s%s\\", szRelative, szImages);
    char szImage[272];
    WideToAnsi(szImage, sizeof(szImage), field.szPath);
    if (!HostBrowseForImage(hDlg, szImage, szRoot)) return;
    szImage[sizeof(szImage) - 1] = 0;
    AnsiToWide(field.szPath, 270, szImage);
    ResolveImageField(hDlg, field, szImagesFolder, hwndDocklet);
}

void LoadPage(HWND hPage, SheetContext* pContext) {
    ShowImageFields(hPage, {pContext->pWork->szBackgroundImage, pContext->pWork->szMenuIcon});
}

void StorePage(HWND hPage, SheetContext* pContext) {
    wchar_t szPath[270];
    GetDlgItemTextW(hPage, IDC_BACKGROUND_PATH, szPath, 270);
    CopyText(pContext->pWork->szBackgroundImage, 270, szPath);
    GetDlgItemTextW(hPage, IDC_MENU_PATH, szPath, 270);
    CopyText(pContext->pWork->szMenuIcon, 270, szPath);
}

}  // namespace

void ClearImageFields(HWND hDlg) {
    SetStaticBitmap(hDlg, IDC_BACKGROUND_PREVIEW, nullptr);
    SetStaticBitmap(hDlg, IDC_MENU_PREVIEW, nullptr);
}

void ShowImageFields(HWND hDlg, const ImageFields& fields) {
    ShowImageField(hDlg, BackgroundField(fields));
    ShowImageField(hDlg, MenuIconField(fields));
}

bool OnImageFieldCommand(HWND hDlg, int iControl, const ImageFields& fields, const wchar_t* szImagesFolder,
                         HWND hwndDocklet) {
    bool bMenuIcon = iControl == IDC_MENU_BROWSE || iControl == IDC_MENU_RESET;
    bool bBrowse = iControl == IDC_BACKGROUND_BROWSE || iControl == IDC_MENU_BROWSE;
    if (!bMenuIcon && !bBrowse && iControl != IDC_BACKGROUND_RESET) return false;
    ImageField field = bMenuIcon ? MenuIconField(fields) : BackgroundField(fields);
    if (bBrowse) {
        BrowseImageField(hDlg, field, szImagesFolder, hwndDocklet);
    } else {
        CopyText(field.szPath, 270, field.szDefault);
        ResolveImageField(hDlg, field, szImagesFolder, hwndDocklet);
    }
    return true;
}

INT_PTR CALLBACK IconsPageProc(HWND hPage, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_DESTROY) ClearImageFields(hPage);
    INT_PTR iResult = 0;
    if (HandlePageMessage(g_page, hPage, uMsg, lParam, LoadPage, StorePage, true, &iResult)) return iResult;
    if (uMsg != WM_COMMAND || !g_page.pContext) return 0;
    _DOCKLET_DATA* pWork = g_page.pContext->pWork;
    OnImageFieldCommand(hPage, LOWORD(wParam), {pWork->szBackgroundImage, pWork->szMenuIcon}, pWork->szImagesFolder,
                        pWork->hwndDocklet);
    return 0;
}
