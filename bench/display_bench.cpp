// Times the dock's drawing: one display update (label and overlay, default appearance)
// and one menu picture, each averaged over many runs. The executable plays the dock: it
// exports the host functions that these operations call.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include "core/gdiplus.h"
#include "core/record.h"
#include "app/instance.h"
#include "core/settings.h"
#include "feed/parser.h"
#include "presentation/icon.h"
#include "benchclock.h"

extern "C" {
BOOL __stdcall DockletSetLabel(HWND, char*) {
    return TRUE;
}
BOOL __stdcall DockletSetImageOverlay(HWND, void* pImage, BOOL bDelete) {
    if (pImage && bDelete) qm::GdipDisposeImage(static_cast<qm::GpImage*>(pImage));
    return TRUE;
}
void* __stdcall DockletLoadGDIPlusImage(char* szImage) {
    wchar_t szPath[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, szImage ? szImage : "", -1, szPath, MAX_PATH);
    qm::GpImage* pImage = nullptr;
    return qm::GdipLoadImageFromFile(szPath, &pImage) == Gdiplus::Ok ? pImage : nullptr;
}
}

namespace {

double Now() { return NowSeconds() * 1000.0; }

template <typename Fn>
double MsPerCall(int n, Fn fn) {
    fn();  // warm-up: fonts, codecs
    double start = Now();
    for (int i = 0; i < n; ++i) fn();
    return (Now() - start) / n;
}

}  // namespace

int main(int argc, char** argv) {
    int n = argc > 1 ? atoi(argv[1]) : 200;
    std::string icons = argc > 2 ? argv[2] : "dock\\Docklets\\Quillmere\\icons\\";
    if (n < 1) n = 1;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);

    _DOCKLET_DATA* pData = NewDockletRecord();
    LoadSettings(pData, nullptr, nullptr);
    pData->hwndDocklet = CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    _PROFILE_DATA* pProfile = NewProfile();
    CopyText(pProfile->szTitle, 501, L"Quillmere News");
    pData->profiles.Add(pProfile);
    pData->iCurrentProfile = 0;
    auto* pItem = static_cast<_RSSFEED_DATA*>(calloc(1, sizeof(_RSSFEED_DATA)));
    CopyText(pItem->szTitle, 501, L"Quillmere reads your feeds on the dock");
    pItem->pszDescription = new wchar_t[1]{0};
    pData->items.Add(pItem);
    pData->iCurrentItem = 0;

    double msUpdate = MsPerCall(n, [&] { UpdateDockDisplay(pData); });
    CopyText(pItem->szTitle, 501, L"Quillmere News");
    double msUpdateShort = MsPerCall(n, [&] { UpdateDockDisplay(pData); });
    std::wstring menu(icons.begin(), icons.end()), background = menu;
    menu += L"menu.png";
    background += L"background.png";
    HBITMAP hTest = CreateMenuBitmap(menu.c_str());
    if (!hTest) {
        fprintf(stderr, "display_bench: cannot load %s\n", (icons + "menu.png").c_str());
        return 1;
    }
    DeleteObject(hTest);
    double msMenu = MsPerCall(n, [&] { DeleteObject(CreateMenuBitmap(menu.c_str())); });
    double msMenuLarge = MsPerCall(n, [&] { DeleteObject(CreateMenuBitmap(background.c_str())); });

    printf("runs per figure:                              %d\n", n);
    printf("UpdateDockDisplay, two-line title:            %.3f ms\n", msUpdate);
    printf("UpdateDockDisplay, one-line title:            %.3f ms\n", msUpdateShort);
    printf("CreateMenuBitmap of menu.png (16x16):         %.3f ms\n", msMenu);
    printf("CreateMenuBitmap of background.png (256x256): %.3f ms\n", msMenuLarge);

    FreeFeedItems(pData->items);
    FreeProfiles(pData->profiles);
    DestroyWindow(pData->hwndDocklet);
    ReleaseDocklet(pData);
    Gdiplus::GdiplusShutdown(token);
    return 0;
}
