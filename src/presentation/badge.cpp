#include "presentation/badge.h"
#include "presentation/text.h"

using namespace qm;

namespace {

// The badge on the 256-pixel canvas: a circle of this diameter, this far in from the top
// and right edges, widening into a pill for "99+". At a 48-pixel icon it is 19 pixels
// high and its digits 11, so it stays readable; it ends above the icon text's box.
const int c_iDiameter = 100;
const int c_iMargin = 4;
const int c_iCanvas = 256;
const float c_fEmSize = 66.0f;

// Moves every point of pPath by (dx, dy).
void MovePath(GpPath* pPath, float dx, float dy) {
    Gdiplus::GpMatrix* pMatrix = nullptr;
    if (GdipCreateMatrix2(1, 0, 0, 1, dx, dy, &pMatrix) != Gdiplus::Ok) return;
    GdipTransformPath(pPath, pMatrix);
    GdipDeleteMatrix(pMatrix);
}

}  // namespace

std::wstring BadgeLabel(size_t nCount) {
    return nCount > 99 ? std::wstring(L"99+") : std::to_wstring(nCount);
}

void DrawCountBadge(GpGraphics* pGraphics, size_t nCount, const wchar_t* szFontFamily) {
    if (!pGraphics || nCount == 0) return;
    GdipFontFamilyPtr family;
    GdipCreateFontFamilyFromName(szFontFamily ? szFontFamily : L"", nullptr, family.put());
    if (!family) {
        GpFontFamily* pGeneric = nullptr;
        GdipGetGenericFontFamilySansSerif(&pGeneric);
        if (pGeneric) GdipCloneFontFamily(pGeneric, family.put());
    }
    // The number as outlines, laid out at the origin and measured, so it can be centred
    // on the badge by what it covers rather than by the font's line metrics.
    const std::wstring label = BadgeLabel(nCount);
    GdipPathPtr text;
    GdipCreatePath(Gdiplus::FillModeWinding, text.put());
    Gdiplus::RectF bounds;
    GdipStringFormatPtr format;
    GdipCreateStringFormat(Gdiplus::StringFormatFlagsNoWrap, LANG_NEUTRAL, format.put());
    if (text && family && format) {
        Gdiplus::Rect rcOrigin(0, 0, 2 * c_iCanvas, c_iCanvas);
        GdipAddPathStringI(text.get(), label.c_str(), -1, family.get(), Gdiplus::FontStyleBold, c_fEmSize, &rcOrigin,
                           format.get());
        GdipGetPathWorldBounds(text.get(), &bounds, nullptr, nullptr);
    }
    int iWidth = c_iDiameter;
    const int iPadding = c_iDiameter / 4;
    if (bounds.Width + 2 * iPadding > iWidth) iWidth = static_cast<int>(bounds.Width) + 2 * iPadding;
    if (iWidth > c_iCanvas - 2 * c_iMargin) iWidth = c_iCanvas - 2 * c_iMargin;
    const int x = c_iCanvas - c_iMargin - iWidth, y = c_iMargin;

    GdipSolidFillPtr fill, white;
    GdipCreateSolidFill(MakeArgb(GetSysColor(COLOR_HIGHLIGHT), 255), fill.put());
    GdipCreateSolidFill(0xFFFFFFFF, white.put());
    GdipPathPtr shape;
    GdipCreatePath(Gdiplus::FillModeAlternate, shape.put());
    if (shape && fill) {
        AddRoundedRectPath(shape.get(), x, y, iWidth, c_iDiameter, c_iDiameter);
        GdipFillPath(pGraphics, fill.get(), shape.get());
    }
    if (text && white && bounds.Width > 0) {
        MovePath(text.get(), x + (iWidth - bounds.Width) / 2 - bounds.X,
                 y + (c_iDiameter - bounds.Height) / 2 - bounds.Y);
        GdipFillPath(pGraphics, white.get(), text.get());
    }
}
