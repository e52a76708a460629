// Draws a text on a translucent, optionally framed and rounded box with GDI+.
#pragma once
#include "core/gdiplus.h"

// A COLORREF (0x00BBGGRR) and an opacity byte as one GDI+ ARGB colour; the opacity is
// the alpha as it is, unscaled.
inline Gdiplus::ARGB MakeArgb(COLORREF cr, BYTE bAlpha) {
    return (static_cast<Gdiplus::ARGB>(bAlpha) << 24) | (static_cast<Gdiplus::ARGB>(GetRValue(cr)) << 16) |
           (static_cast<Gdiplus::ARGB>(GetGValue(cr)) << 8) | GetBValue(cr);
}

// Fills rcLayout with the box colour (rounded corners of radius 5, else 1, and a one-pixel
// frame in the text colour when bFramed), then fills the text, bold or as iFontStyle says,
// centred by iAlignment/iLineAlignment and wrapped at word boundaries, over it. Draws on
// the caller's Graphics; a family that is not installed gives the box without text.
void DrawLabelText(qm::GpGraphics* pGraphics, const wchar_t* szText, const wchar_t* szFontFamily, int iFontStyle,
                   COLORREF crText, COLORREF crBox, BYTE bTextAlpha, BYTE bBoxAlpha, int iAlignment,
                   int iLineAlignment, float fEmSize, bool bFramed, bool bRounded, const Gdiplus::RectF& rcLayout);

// Fills the rounded rectangle (x, y, w, h) with pBrush and, when bFramed, outlines it with
// a 1-pixel pen of argbFrame. The corner arcs have radius iRadius.
void FillTextBox(qm::GpGraphics* pGraphics, qm::GpBrush* pBrush, int x, int y, int w, int h, Gdiplus::ARGB argbFrame,
                 int iRadius, bool bFramed);

// Replaces pPath's content with a closed rectangle outline whose corners are arcs in
// squares of iDiameter (limited to w and h); it spans columns x..x+w-1, rows y..y+h-1.
void AddRoundedRectPath(qm::GpPath* pPath, int x, int y, int w, int h, int iDiameter);
