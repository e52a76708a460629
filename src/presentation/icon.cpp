#include "presentation/icon.h"
#include <cwchar>
#include <memory>
#include <new>
#include "core/host.h"
#include "core/record.h"
#include "feed/newitems.h"
#include "feed/title.h"
#include "presentation/badge.h"
#include "presentation/text.h"

using namespace qm;

namespace {

// Where the icon text goes on the overlay canvas: the lower part, 25 pixels in from the
// left and right edges, rows 110 to 229.
const Gdiplus::RectF c_rcIconText(25.0f, 110.0f, 206.0f, 120.0f);

const size_t c_cchDisplayText = 2048;  // overlay text, terminator included
const size_t c_cbLabel = 501;          // at most 500 bytes of label

// The system menu colour, opaque, as a GDI+ colour.
Gdiplus::ARGB MenuColour() {
    return MakeArgb(GetSysColor(COLOR_MENU), 255);
}

// Asks the host to load an image file; the docklet owns the result.
GdipImagePtr LoadHostImage(const wchar_t* szImage) {
    char szPath[270];
    WideToAnsi(szPath, sizeof(szPath), szImage);
    return GdipImagePtr(static_cast<GpImage*>(HostLoadGDIPlusImage(szPath)));
}

// A w x h ARGB bitmap filled with the brush, with pImage drawn over it at (0, 0, w, h).
GdipBitmapPtr ComposeOnBrush(GpImage* pImage, GpBrush* pBrush, int w, int h) {
    GdipBitmapPtr bitmap;
    if (GdipCreateBitmapFromScan0(w, h, 0, PixelFormat32bppARGB, nullptr, bitmap.put()) != Gdiplus::Ok)
        return GdipBitmapPtr();
    GdipGraphicsPtr g;
    if (GdipGetImageGraphicsContext(bitmap.get(), g.put()) == Gdiplus::Ok) {
        if (pBrush) GdipFillRectangleI(g.get(), pBrush, 0, 0, w, h);
        GdipDrawImageRectI(g.get(), pImage, 0, 0, w, h);
    }
    return bitmap;
}

// A GDI bitmap of a GDI+ bitmap on the opaque menu colour; the caller owns it.
HBITMAP ToHBitmap(GpBitmap* pBitmap) {
    HBITMAP hBitmap = nullptr;
    if (pBitmap) GdipCreateHBITMAPFromBitmap(pBitmap, &hBitmap, MenuColour());
    return hBitmap;
}

// The current item, or null when there is none or iCurrentItem names no item.
// Called under csState.
const _RSSFEED_DATA* CurrentItem(const _DOCKLET_DATA* pData) {
    int i = pData->iCurrentItem;
    if (i < 0 || static_cast<unsigned int>(i) >= pData->items.GetCount()) return nullptr;
    return pData->items.GetAt(i);
}

}  // namespace

unsigned int ShownItemField(unsigned int iInfo) {
    // The precedence of SelectDisplayText: hidden, then the titles, then the item fields.
    if (iInfo & (INFO_HIDE | INFO_TITLE | INFO_PROFILE_TITLE)) return 0;
    if (iInfo & INFO_ITEM_TITLE) return INFO_ITEM_TITLE;
    if (iInfo & INFO_ITEM_LINK) return INFO_ITEM_LINK;
    return 0;
}

void SelectDisplayText(_DOCKLET_DATA* pData, unsigned int iInfo, wchar_t* szOut, size_t cchOut) {
    if (!szOut || cchOut == 0) return;
    szOut[0] = 0;
    if (!pData || (iInfo & INFO_HIDE)) return;
    if (pData->bRefreshing) return CopyText(szOut, cchOut, L"Retrieving RSS Feed...");
    if (pData->bLoadingPage) return CopyText(szOut, cchOut, L"Retrieving RSS Feed Item...");
    if (iInfo & INFO_TITLE) return CopyText(szOut, cchOut, pData->szTitle);

    ScopedLock lock(pData->csState);
    if (iInfo & INFO_PROFILE_TITLE) {
        int iProfile = pData->iCurrentProfile;
        unsigned int n = pData->profiles.GetCount();
        if (iProfile == -1 && n == 0) return CopyText(szOut, cchOut, L"Feeds not configured");
        // An index that names no profile (only damaged settings give one) shows nothing.
        if (iProfile >= 0 && static_cast<unsigned int>(iProfile) < n)
            DisplayTextFromTitle(szOut, cchOut, pData->profiles.GetAt(iProfile)->szTitle);
        return;
    }
    if (pData->items.GetCount() == 0 || pData->iCurrentItem == -1)
        return CopyText(szOut, cchOut, L"Feed items not available");
    const _RSSFEED_DATA* pItem = CurrentItem(pData);
    if (!pItem) return CopyText(szOut, cchOut, L"Feed items not available");
    unsigned int iField = ShownItemField(iInfo);
    if (iField == INFO_ITEM_TITLE) return DisplayTextFromTitle(szOut, cchOut, pItem->szTitle);
    if (iField == INFO_ITEM_LINK) return CopyText(szOut, cchOut, pItem->szLink);
}

GpBitmap* RenderIconOverlay(_DOCKLET_DATA* pData) {
    if (!pData) return nullptr;
    // Created by GDI+ itself, so the host can dispose of it as any GDI+ image; held until
    // it is handed out, so a failure while drawing releases it.
    GdipBitmapPtr canvas;
    if (GdipCreateBitmapFromScan0(OVERLAY_SIZE, OVERLAY_SIZE, 0, PixelFormat32bppARGB, nullptr, canvas.put()) !=
        Gdiplus::Ok)
        return nullptr;
    {
        GdipGraphicsPtr g;
        if (GdipGetImageGraphicsContext(canvas.get(), g.put()) != Gdiplus::Ok) return canvas.release();
        GdipSetInterpolationMode(g.get(), Gdiplus::InterpolationModeHighQuality);
        GdipSetSmoothingMode(g.get(), Gdiplus::SmoothingModeAntiAlias);
        wchar_t szFont[32];
        CopyText(szFont, 32, pData->szFontName);
        if (!(pData->iDockletInfo & INFO_HIDE)) {
            std::unique_ptr<wchar_t[]> szText(new wchar_t[c_cchDisplayText]);
            SelectDisplayText(pData, pData->iDockletInfo, szText.get(), c_cchDisplayText);
            DrawLabelText(g.get(), szText.get(), szFont, Gdiplus::FontStyleBold, pData->crFontColor,
                          pData->crBackgroundColor, pData->bFontAlpha, pData->bBackgroundAlpha,
                          Gdiplus::StringAlignmentCenter, Gdiplus::StringAlignmentCenter,
                          2.0f * static_cast<float>(pData->iFontSize), pData->bFramedBackground == 1,
                          pData->bRoundedCorners == 1, c_rcIconText);
        }
        // The count of new items goes over the text, so it wins where the two meet; it
        // has its own switch ("NotifyNew") and shows even when the text is hidden.
        size_t nNew;
        {
            ScopedLock lock(pData->csState);
            nNew = CountMarkedItems(pData);
        }
        DrawCountBadge(g.get(), nNew, szFont);
    }
    return canvas.release();
}

void UpdateDockDisplay(_DOCKLET_DATA* pData) {
    if (!pData) return;
    // One update at a time per instance, so the label and overlay of two updates never
    // interleave; an instance being destroyed gets no more updates.
    DisplayLock lock(pData);
    if (IsStopping(pData)) return;
    try {
        std::unique_ptr<char[]> szLabel(new char[c_cbLabel]);
        szLabel[0] = 0;
        if (!(pData->iLabelInfo & INFO_HIDE)) {
            std::unique_ptr<wchar_t[]> szText(new wchar_t[c_cchDisplayText]);
            SelectDisplayText(pData, pData->iLabelInfo, szText.get(), c_cchDisplayText);
            // Cut at a character boundary to at most 500 bytes.
            WideToAnsi(szLabel.get(), c_cbLabel, szText.get());
        }
        HostSetLabel(pData->hwndDocklet, szLabel.get());
        // The host deletes the overlay when it no longer needs it.
        HostSetImageOverlay(pData->hwndDocklet, RenderIconOverlay(pData), TRUE);
    } catch (...) {
        // Out of memory: the dock keeps what it showed.
    }
}

void SetStaticBitmap(HWND hDlg, int iControl, HBITMAP hBitmap) {
    HBITMAP hOld = reinterpret_cast<HBITMAP>(
        SendDlgItemMessageW(hDlg, iControl, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(hBitmap)));
    // The control hands back the picture it showed before; ours to release. A control
    // that keeps a copy of a 32-bit picture leaves the one we gave it to us as well.
    if (hOld && hOld != hBitmap) DeleteObject(hOld);
    if (!hBitmap) return;
    HBITMAP hShown = reinterpret_cast<HBITMAP>(SendDlgItemMessageW(hDlg, iControl, STM_GETIMAGE, IMAGE_BITMAP, 0));
    if (hShown != hBitmap) DeleteObject(hBitmap);
}

HBITMAP CreateMenuBitmap(const wchar_t* szImage) {
    GdipImagePtr image = LoadHostImage(szImage);
    if (!image) return nullptr;
    UINT w = 0, h = 0;
    GdipGetImageWidth(image.get(), &w);
    GdipGetImageHeight(image.get(), &h);
    GdipSolidFillPtr brush;
    GdipCreateSolidFill(MenuColour(), brush.put());
    GdipBitmapPtr work = ComposeOnBrush(image.get(), brush.get(), static_cast<int>(w), static_cast<int>(h));
    if (!work) return nullptr;
    // The thumbnail squeezes a non-square image into the square.
    GpImage* pThumb = nullptr;
    GdipGetImageThumbnail(work.get(), MENU_PICTURE_SIZE, MENU_PICTURE_SIZE, &pThumb, nullptr, nullptr);
    GdipImagePtr thumb(pThumb);
    return ToHBitmap(static_cast<GpBitmap*>(thumb.get()));
}

void SetImagePreview(HWND hDlg, int iControl, const wchar_t* szImage, int iEdge) {
    if (iEdge <= 0) return;
    GdipImagePtr image = LoadHostImage(szImage);
    if (!image) return;
    UINT uW = 0, uH = 0;
    GdipGetImageWidth(image.get(), &uW);
    GdipGetImageHeight(image.get(), &uH);
    if (uW == 0 || uH == 0) return;
    GdipSolidFillPtr brush;
    GdipCreateSolidFill(MenuColour(), brush.put());
    GdipBitmapPtr work = ComposeOnBrush(image.get(), brush.get(), static_cast<int>(uW), static_cast<int>(uH));

    // Fit the edge x edge square, keeping the aspect ratio.
    double W = uW, H = uH;
    double s = std::max(H / iEdge, W / iEdge);
    int w = static_cast<int>(W / s), h = static_cast<int>(H / s);
    if (w < 1) w = 1;
    if (h < 1) h = 1;

    HBITMAP hBitmap = nullptr;
    if (uW > 256 || uH > 256) {
        // A thumbnail of a large image looks poor; draw it scaled instead.
        GdipBitmapPtr scaled = ComposeOnBrush(image.get(), brush.get(), w, h);
        hBitmap = ToHBitmap(scaled.get());
    } else if (work) {
        GpImage* pThumb = nullptr;
        GdipGetImageThumbnail(work.get(), w, h, &pThumb, nullptr, nullptr);
        GdipImagePtr thumb(pThumb);
        hBitmap = ToHBitmap(static_cast<GpBitmap*>(thumb.get()));
    }
    if (hBitmap) SetStaticBitmap(hDlg, iControl, hBitmap);
}

HRESULT CreateIconFromBitmap(HDC hdc, HBITMAP hBitmap, COLORREF crTransparent, HICON* phIconOut) {
    if (!phIconOut) return E_POINTER;
    *phIconOut = nullptr;
    BITMAP bm = {};
    if (!hBitmap || !GetObjectW(hBitmap, sizeof(bm), &bm)) return E_INVALIDARG;

    UniqueMemDC dcMask(CreateCompatibleDC(hdc));
    UniqueMemDC dcColour(CreateCompatibleDC(hdc));
    UniqueBitmap mask(CreateBitmap(bm.bmWidth, bm.bmHeight, 1, 1, nullptr));
    UniqueBitmap colour(static_cast<HBITMAP>(CopyImage(hBitmap, IMAGE_BITMAP, bm.bmWidth, bm.bmHeight, 0)));
    if (!dcMask || !dcColour || !mask || !colour) return E_FAIL;
    {
        SelectGuard selMask(dcMask.get(), mask.get());
        SelectGuard selColour(dcColour.get(), colour.get());
        // Pixels of the transparent colour become 1 in the mask, all others 0.
        SetBkColor(dcColour.get(), crTransparent);
        BitBlt(dcMask.get(), 0, 0, bm.bmWidth, bm.bmHeight, dcColour.get(), 0, 0, SRCCOPY);
        // ... and black in the colour image, so the icon shows the screen there.
        COLORREF crOldBk = SetBkColor(dcColour.get(), RGB(0, 0, 0));
        COLORREF crOldText = SetTextColor(dcColour.get(), RGB(255, 255, 255));
        BitBlt(dcColour.get(), 0, 0, bm.bmWidth, bm.bmHeight, dcMask.get(), 0, 0, SRCAND);
        SetTextColor(dcColour.get(), crOldText);
        SetBkColor(dcColour.get(), crOldBk);
    }
    ICONINFO ii = {};
    ii.fIcon = TRUE;
    ii.hbmMask = mask.get();
    ii.hbmColor = colour.get();
    *phIconOut = CreateIconIndirect(&ii);
    return S_OK;
}
