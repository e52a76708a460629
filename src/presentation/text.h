// Draws a text on a translucent, optionally framed and rounded box with GDI+.
#pragma once
#include "core/gdiplus.h"

void DrawLabelText(qm::GpGraphics* pGraphics, const wchar_t* szText, const wchar_t* szFontFamily, int iFontStyle,
                   COLORREF crText, COLORREF crBox, BYTE bTextAlpha, BYTE bBoxAlpha, int iAlignment,
                   int iLineAlignment, float fEmSize, bool bFramed, bool bRounded, const Gdiplus::RectF& rcLayout);
