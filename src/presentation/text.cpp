#include "presentation/text.h"

using namespace qm;

void AddRoundedRectPath(GpPath* pPath, int x, int y, int w, int h, int iDiameter) {
    int d = std::min(iDiameter, std::min(w, h));
    GdipResetPath(pPath);
    GdipAddPathArcI(pPath, x, y, d, d, 180, 90);             // top left
    GdipAddPathArcI(pPath, x + w - d - 1, y, d, d, 270, 90);  // top right
    GdipAddPathArcI(pPath, x + w - d - 1, y + h - d - 1, d, d, 0, 90);  // bottom right
    GdipAddPathArcI(pPath, x, y + h - d - 1, d, d, 90, 90);   // bottom left
    GdipClosePathFigure(pPath);
}

void FillTextBox(GpGraphics* pGraphics, GpBrush* pBrush, int x, int y, int w, int h, Gdiplus::ARGB argbFrame,
                 int iRadius, bool bFramed) {
    GdipSetPageUnit(pGraphics, Gdiplus::UnitPixel);
    GdipPenPtr pen;
    GdipCreatePen1(argbFrame, 1.0f, Gdiplus::UnitWorld, pen.put());
    if (pen) GdipSetPenMode(pen.get(), Gdiplus::PenAlignmentCenter);
    GdipPathPtr path;
    GdipCreatePath(Gdiplus::FillModeAlternate, path.put());
    if (path) {
        AddRoundedRectPath(path.get(), x, y, w, h, 2 * iRadius);
        GdipFillPath(pGraphics, pBrush, path.get());
        if (bFramed && pen) GdipDrawPath(pGraphics, pen.get(), path.get());
    }
    GdipSetPageUnit(pGraphics, Gdiplus::UnitWorld);
}

void DrawLabelText(GpGraphics* pGraphics, const wchar_t* szText, const wchar_t* szFontFamily, int iFontStyle,
                   COLORREF crText, COLORREF crBox, BYTE bTextAlpha, BYTE bBoxAlpha, int iAlignment,
                   int iLineAlignment, float fEmSize, bool bFramed, bool bRounded, const Gdiplus::RectF& rcLayout) {
    if (!pGraphics) return;
    // No font collection: the installed fonts. An unknown name leaves family null, so
    // adding the string fails below and only the box is drawn.
    GdipFontFamilyPtr family;
    GdipCreateFontFamilyFromName(szFontFamily ? szFontFamily : L"", nullptr, family.put());

    Gdiplus::ARGB argbText = MakeArgb(crText, bTextAlpha);
    GdipSolidFillPtr textBrush, boxBrush;
    GdipCreateSolidFill(argbText, textBrush.put());
    GdipCreateSolidFill(MakeArgb(crBox, bBoxAlpha), boxBrush.put());

    GdipPathPtr path;
    GdipCreatePath(Gdiplus::FillModeAlternate, path.put());
    GdipStringFormatPtr format;
    GdipCreateStringFormat(0, LANG_NEUTRAL, format.put());
    if (format) {
        GdipSetStringFormatAlign(format.get(), static_cast<Gdiplus::StringAlignment>(iAlignment));
        GdipSetStringFormatLineAlign(format.get(), static_cast<Gdiplus::StringAlignment>(iLineAlignment));
    }

    Gdiplus::Rect rc(static_cast<INT>(rcLayout.X), static_cast<INT>(rcLayout.Y), static_cast<INT>(rcLayout.Width),
                     static_cast<INT>(rcLayout.Height));
    if (path && family) {
        // The text is laid out in a rectangle of the same size at the origin and then moved
        // into place: the same outlines, and GDI+ implementations that mishandle an offset
        // layout rectangle (Wine's drops wrapped lines and the vertical centring) still
        // lay it out whole.
        Gdiplus::Rect rcOrigin(0, 0, rc.Width, rc.Height);
        if (GdipAddPathStringI(path.get(), szText ? szText : L"", -1, family.get(), iFontStyle, fEmSize, &rcOrigin,
                               format.get()) == Gdiplus::Ok) {
            Gdiplus::GpMatrix* pMatrix = nullptr;
            if (GdipCreateMatrix2(1, 0, 0, 1, static_cast<Gdiplus::REAL>(rc.X), static_cast<Gdiplus::REAL>(rc.Y), &pMatrix) ==
                Gdiplus::Ok) {
                GdipTransformPath(path.get(), pMatrix);
                GdipDeleteMatrix(pMatrix);
            }
        }
    }

    if (boxBrush)
        FillTextBox(pGraphics, boxBrush.get(), rc.X, rc.Y, rc.Width, rc.Height, argbText, bRounded ? 5 : 1, bFramed);
    if (path && textBrush) GdipFillPath(pGraphics, textBrush.get(), path.get());
}
