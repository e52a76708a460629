// The "Docklet Font" page: face, size, colours and opacities of the icon text and its
// box, with a sample drawn by the same renderer as the icon.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <cwchar>
#include "config/config.h"
#include "core/gdiplus.h"
#include "presentation/icon.h"
#include "presentation/text.h"
#include "resources/config_ids.h"

namespace {

PageState g_page;

// The page's own copy of what it edits, loaded on activation and changed by the
// controls; stored into the working copy when the page is left.
struct FontState {
    wchar_t szFontName[32];
    int iFontSize;
    COLORREF crText;
    COLORREF crBox;
    BYTE bTextAlpha;
    BYTE bBoxAlpha;
    int bFramed;
    int bRounded;
};
FontState g_font;

void DrawSample(HWND hPage) {
    DrawFontSample(hPage, IDC_SAMPLE, g_font.szFontName, g_font.iFontSize, g_font.crText, g_font.crBox,
                   g_font.bTextAlpha, g_font.bBoxAlpha, g_font.bFramed == 1, g_font.bRounded == 1);
}

void ShowOpacity(HWND hPage, int iLabel, BYTE bAlpha) {
    wchar_t sz[16];
    swprintf(sz, 16, L"%d%%", OpacityPercent(bAlpha));
    SetDlgItemTextW(hPage, iLabel, sz);
}

void SetUpTrackbar(HWND hPage, int iTrackbar, int iLabel, BYTE bAlpha) {
    HWND hTrack = GetDlgItem(hPage, iTrackbar);
    SendMessageW(hTrack, TBM_SETRANGE, FALSE, MAKELPARAM(0, 255));
    SendMessageW(hTrack, TBM_SETPAGESIZE, 0, 15);
    SendMessageW(hTrack, TBM_SETTICFREQ, 15, 0);
    SendMessageW(hTrack, TBM_SETPOS, TRUE, bAlpha);
    ShowOpacity(hPage, iLabel, bAlpha);
}

BYTE TrackbarPos(HWND hPage, int iTrackbar) {
    LRESULT pos = SendDlgItemMessageW(hPage, iTrackbar, TBM_GETPOS, 0, 0);
    return static_cast<BYTE>(pos < 0 ? 0 : pos > 255 ? 255 : pos);
}

// The text of the combo box's selected entry, or empty.
void SelectedFace(HWND hPage, wchar_t* szOut, size_t cchOut) {
    szOut[0] = 0;
    HWND hCombo = GetDlgItem(hPage, IDC_FONT_FACE);
    LRESULT iSel = SendMessageW(hCombo, CB_GETCURSEL, 0, 0);
    if (iSel == CB_ERR) return;
    LRESULT cch = SendMessageW(hCombo, CB_GETLBTEXTLEN, iSel, 0);
    if (cch == CB_ERR || cch >= 256) return;
    wchar_t sz[256];
    SendMessageW(hCombo, CB_GETLBTEXT, iSel, reinterpret_cast<LPARAM>(sz));
    CopyText(szOut, cchOut, sz);
}

int SizeFromEdit(HWND hPage) {
    wchar_t sz[32];
    GetDlgItemTextW(hPage, IDC_FONT_SIZE, sz, 32);
    return ParseFontSize(sz);
}

void LoadPage(HWND hPage, SheetContext* pContext) {
    _DOCKLET_DATA* pWork = pContext->pWork;
    HWND hCombo = GetDlgItem(hPage, IDC_FONT_FACE);
    FillFontList(pWork, hCombo);
    CopyText(g_font.szFontName, 32, pWork->szFontName);
    if (g_font.szFontName[0]) {
        LRESULT i = SendMessageW(hCombo, CB_FINDSTRING, static_cast<WPARAM>(-1),
                                 reinterpret_cast<LPARAM>(g_font.szFontName));
        if (i != CB_ERR) SendMessageW(hCombo, CB_SETCURSEL, i, 0);
    }
    g_font.iFontSize = pWork->iFontSize;
    wchar_t sz[16];
    swprintf(sz, 16, L"%u", static_cast<unsigned int>(g_font.iFontSize));
    SetDlgItemTextW(hPage, IDC_FONT_SIZE, sz);
    SendDlgItemMessageW(hPage, IDC_FONT_SIZE_SPIN, UDM_SETRANGE, 0, MAKELPARAM(72, 0));
    g_font.crText = pWork->crFontColor;
    g_font.crBox = pWork->crBackgroundColor;
    g_font.bTextAlpha = pWork->bFontAlpha;
    SetUpTrackbar(hPage, IDC_FONT_ALPHA, IDC_FONT_ALPHA_TEXT, g_font.bTextAlpha);
    g_font.bBoxAlpha = pWork->bBackgroundAlpha;
    SetUpTrackbar(hPage, IDC_BOX_ALPHA, IDC_BOX_ALPHA_TEXT, g_font.bBoxAlpha);
    g_font.bFramed = pWork->bFramedBackground;
    g_font.bRounded = pWork->bRoundedCorners;
    DrawSample(hPage);
    CheckDlgButton(hPage, IDC_FRAMED, g_font.bFramed ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(hPage, IDC_ROUNDED, g_font.bRounded ? BST_CHECKED : BST_UNCHECKED);
}

void StorePage(HWND hPage, SheetContext* pContext) {
    _DOCKLET_DATA* pWork = pContext->pWork;
    wchar_t szFace[32];
    SelectedFace(hPage, szFace, 32);
    if (szFace[0]) CopyText(pWork->szFontName, 32, szFace);
    pWork->iFontSize = SizeFromEdit(hPage);
    pWork->crFontColor = g_font.crText;
    pWork->crBackgroundColor = g_font.crBox;
    pWork->bFontAlpha = TrackbarPos(hPage, IDC_FONT_ALPHA);
    pWork->bBackgroundAlpha = TrackbarPos(hPage, IDC_BOX_ALPHA);
    pWork->bFramedBackground = IsDlgButtonChecked(hPage, IDC_FRAMED) == BST_CHECKED ? 1 : 0;
    pWork->bRoundedCorners = IsDlgButtonChecked(hPage, IDC_ROUNDED) == BST_CHECKED ? 1 : 0;
}

// The colour dialog is owned by the page, so the sheet stays disabled (and cannot be
// closed under it) until the colour is chosen; it still repaints meanwhile.
bool ChooseColour(HWND hPage, COLORREF* pcr) {
    COLORREF acrCustom[16] = {};
    CHOOSECOLORW cc = {};
    cc.lStructSize = sizeof(cc);
    cc.hwndOwner = hPage;
    cc.lpCustColors = acrCustom;
    cc.rgbResult = *pcr;
    cc.Flags = CC_RGBINIT | CC_FULLOPEN;
    if (!ChooseColorW(&cc)) return false;
    *pcr = cc.rgbResult;
    return true;
}

void OnCommand(HWND hPage, int iControl, int iCode) {
    switch (iControl) {
    case IDC_FONT_COLOR:
    case IDC_BOX_COLOR:
        if (!g_page.pContext) return;
        if (iCode != BN_CLICKED) return;
        if (!ChooseColour(hPage, iControl == IDC_FONT_COLOR ? &g_font.crText : &g_font.crBox)) return;
        break;
    case IDC_FONT_FACE: {
        if (iCode != CBN_SELENDOK) return;
        wchar_t szFace[32];
        SelectedFace(hPage, szFace, 32);
        if (szFace[0]) CopyText(g_font.szFontName, 32, szFace);
        break;
    }
    case IDC_FONT_SIZE:
        if (iCode != EN_CHANGE) return;
        g_font.iFontSize = SizeFromEdit(hPage);
        break;
    case IDC_FRAMED:
        g_font.bFramed = IsDlgButtonChecked(hPage, IDC_FRAMED) == BST_CHECKED ? 1 : 0;
        break;
    case IDC_ROUNDED:
        g_font.bRounded = IsDlgButtonChecked(hPage, IDC_ROUNDED) == BST_CHECKED ? 1 : 0;
        break;
    default:
        return;
    }
    DrawSample(hPage);
}

void OnScroll(HWND hPage, int iCode, HWND hTrack) {
    if (iCode != TB_THUMBTRACK && iCode != TB_ENDTRACK) return;
    if (hTrack == GetDlgItem(hPage, IDC_FONT_ALPHA)) {
        g_font.bTextAlpha = TrackbarPos(hPage, IDC_FONT_ALPHA);
        ShowOpacity(hPage, IDC_FONT_ALPHA_TEXT, g_font.bTextAlpha);
    } else if (hTrack == GetDlgItem(hPage, IDC_BOX_ALPHA)) {
        g_font.bBoxAlpha = TrackbarPos(hPage, IDC_BOX_ALPHA);
        ShowOpacity(hPage, IDC_BOX_ALPHA_TEXT, g_font.bBoxAlpha);
    } else {
        return;
    }
    DrawSample(hPage);
}

struct EnumContext {
    HWND hCombo;
};

int CALLBACK AddFontFace(const LOGFONTW* pLogFont, const TEXTMETRICW*, DWORD dwFontType, LPARAM lParam) {
    if (!(dwFontType & TRUETYPE_FONTTYPE)) return 1;
    HWND hCombo = reinterpret_cast<EnumContext*>(lParam)->hCombo;
    // Exact match only: a face that begins another face's name is a face of its own.
    if (SendMessageW(hCombo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(pLogFont->lfFaceName)) == CB_ERR)
        SendMessageW(hCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(pLogFont->lfFaceName));
    return 1;
}

}  // namespace

int OpacityPercent(BYTE bAlpha) {
    return bAlpha * 100 / 255;
}

int ParseFontSize(const wchar_t* szText) {
    if (!szText) return 11;
    while (*szText == L' ') ++szText;
    if (*szText < L'0' || *szText > L'9') return 11;
    unsigned long long n = 0;
    for (; *szText >= L'0' && *szText <= L'9'; ++szText) {
        n = n * 10 + static_cast<unsigned>(*szText - L'0');
        if (n > 0x7FFFFFFF) n = 0x7FFFFFFF;
    }
    return static_cast<int>(n);
}

void FillFontList(_DOCKLET_DATA* pData, HWND hCombo) {
    SendMessageW(hCombo, CB_RESETCONTENT, 0, 0);
    qm::WindowDC dc(pData ? pData->hwndDocklet : nullptr);
    if (!dc.get()) return;
    LOGFONTW lf = {};
    lf.lfCharSet = DEFAULT_CHARSET;
    EnumContext ctx = {hCombo};
    EnumFontFamiliesExW(dc.get(), &lf, AddFontFace, reinterpret_cast<LPARAM>(&ctx), 0);
}

void DrawFontSample(HWND hPage, int iControl, const wchar_t* szFontName, int iFontSize, COLORREF crText,
                    COLORREF crBox, BYTE bTextAlpha, BYTE bBoxAlpha, bool bFramed, bool bRounded) {
    COLORREF crMenu = GetSysColor(COLOR_MENU);
    Gdiplus::ARGB argbMenu = 0xFF000000u | (static_cast<Gdiplus::ARGB>(GetRValue(crMenu)) << 16) |
                             (static_cast<Gdiplus::ARGB>(GetGValue(crMenu)) << 8) | GetBValue(crMenu);
    qm::GdipBitmapPtr bitmap;
    if (qm::GdipCreateBitmapFromScan0(150, 60, 0, PixelFormat32bppARGB, nullptr, bitmap.put()) != Gdiplus::Ok)
        return;
    {
        qm::GdipGraphicsPtr graphics;
        if (qm::GdipGetImageGraphicsContext(bitmap.get(), graphics.put()) != Gdiplus::Ok) return;
        qm::GdipGraphicsClear(graphics.get(), 0);
        qm::GdipSetInterpolationMode(graphics.get(), Gdiplus::InterpolationModeHighQuality);
        qm::GdipSetSmoothingMode(graphics.get(), Gdiplus::SmoothingModeAntiAlias);
        DrawLabelText(graphics.get(), L"Sample Text", szFontName, Gdiplus::FontStyleBold, crText, crBox, bTextAlpha,
                      bBoxAlpha, Gdiplus::StringAlignmentCenter, Gdiplus::StringAlignmentCenter,
                      static_cast<float>(iFontSize), bFramed, bRounded, Gdiplus::RectF(5, 5, 140, 50));
    }
    HBITMAP hBitmap = nullptr;
    if (qm::GdipCreateHBITMAPFromBitmap(bitmap.get(), &hBitmap, argbMenu) != Gdiplus::Ok || !hBitmap) return;
    SetStaticBitmap(hPage, iControl, hBitmap);
}

INT_PTR CALLBACK FontPageProc(HWND hPage, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    // The picture control does not delete the last sample it was given.
    if (uMsg == WM_DESTROY) SetStaticBitmap(hPage, IDC_SAMPLE, nullptr);
    INT_PTR iResult = 0;
    if (HandlePageMessage(g_page, hPage, uMsg, lParam, LoadPage, StorePage, true, &iResult)) return iResult;
    switch (uMsg) {
    case WM_COMMAND:
        OnCommand(hPage, LOWORD(wParam), HIWORD(wParam));
        break;
    case WM_HSCROLL:
        OnScroll(hPage, LOWORD(wParam), reinterpret_cast<HWND>(lParam));
        break;
    }
    return 0;
}
