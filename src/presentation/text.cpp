#include "presentation/text.h"
#include <string>
#include <vector>

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

namespace {

// Moves every point of pPath by (dx, dy).
void TranslatePath(GpPath* pPath, float dx, float dy) {
    Gdiplus::GpMatrix* pMatrix = nullptr;
    if (GdipCreateMatrix2(1, 0, 0, 1, dx, dy, &pMatrix) != Gdiplus::Ok) return;
    GdipTransformPath(pPath, pMatrix);
    GdipDeleteMatrix(pMatrix);
}

// The distance between two lines of text of the family at fEmSize pixels.
float LineHeight(GpFontFamily* pFamily, int iFontStyle, float fEmSize) {
    UINT16 uEm = 0, uSpacing = 0;
    GdipGetEmHeight(pFamily, iFontStyle, &uEm);
    GdipGetLineSpacing(pFamily, iFontStyle, &uSpacing);
    return uEm ? fEmSize * uSpacing / uEm : fEmSize * 1.2f;
}

// How wide szText is on one line, in pixels.
float LineWidth(GpGraphics* pGraphics, GpFont* pFont, const std::wstring& text) {
    GdipStringFormatPtr format;
    GdipCreateStringFormat(Gdiplus::StringFormatFlagsNoWrap, LANG_NEUTRAL, format.put());
    Gdiplus::RectF rcAll(0, 0, 100000.0f, 100000.0f), rcUsed;
    GdipMeasureString(pGraphics, text.c_str(), static_cast<INT>(text.size()), pFont, &rcAll, format.get(), &rcUsed,
                      nullptr, nullptr);
    return rcUsed.Width;
}

// Breaks szText at spaces into lines no wider than fWidth (a longer word keeps a line
// of its own).
std::vector<std::wstring> BreakLines(GpGraphics* pGraphics, GpFont* pFont, const wchar_t* szText, float fWidth) {
    std::vector<std::wstring> lines;
    std::wstring line, word;
    auto flushWord = [&] {
        if (word.empty()) return;
        std::wstring candidate = line.empty() ? word : line + L" " + word;
        if (line.empty() || LineWidth(pGraphics, pFont, candidate) <= fWidth) {
            line = candidate;
        } else {
            lines.push_back(line);
            line = word;
        }
        word.clear();
    };
    for (const wchar_t* p = szText; *p; ++p) {
        if (*p == L' ' || *p == L'\n') {
            flushWord();
            if (*p == L'\n') {
                lines.push_back(line);
                line.clear();
            }
        } else {
            word += *p;
        }
    }
    flushWord();
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// Adds szText to pPath laid out in rcLayout by GDI+ itself. Some GDI+ implementations
// (Wine's) keep only the first line of a wrapped path string; when the text needs more
// lines than the path holds, it is broken at spaces here and each line added alone.
void AddTextPath(GpGraphics* pGraphics, GpPath* pPath, const wchar_t* szText, GpFontFamily* pFamily, int iFontStyle,
                 float fEmSize, const Gdiplus::Rect& rcLayout, GpStringFormat* pFormat, int iLineAlignment) {
    // Laid out at the origin and moved into place: the same outlines, and an offset
    // layout rectangle is where such implementations also lose the vertical centring.
    Gdiplus::Rect rcOrigin(0, 0, rcLayout.Width, rcLayout.Height);
    if (GdipAddPathStringI(pPath, szText, -1, pFamily, iFontStyle, fEmSize, &rcOrigin, pFormat) != Gdiplus::Ok)
        return;
    TranslatePath(pPath, static_cast<float>(rcLayout.X), static_cast<float>(rcLayout.Y));
    if (!*szText) return;

    GdipFontPtr font;
    GdipCreateFont(pFamily, fEmSize, iFontStyle, Gdiplus::UnitPixel, font.put());
    if (!font) return;
    Gdiplus::RectF rcF(0, 0, static_cast<float>(rcLayout.Width), static_cast<float>(rcLayout.Height)), rcUsed;
    INT iLines = 0;
    GdipMeasureString(pGraphics, szText, -1, font.get(), &rcF, pFormat, &rcUsed, nullptr, &iLines);
    float fLine = LineHeight(pFamily, iFontStyle, fEmSize);
    Gdiplus::RectF bounds;
    GdipGetPathWorldBounds(pPath, &bounds, nullptr, nullptr);
    if (iLines <= 1 || bounds.Height >= fLine * (iLines - 1)) return;

    std::vector<std::wstring> lines = BreakLines(pGraphics, font.get(), szText, rcF.Width);
    int n = static_cast<int>(lines.size());
    int iFit = std::max(1, static_cast<int>(rcF.Height / fLine));
    if (n > iFit) n = iFit;  // lines below the rectangle are cut, as GDI+ cuts them
    float fTop = 0;
    if (iLineAlignment == Gdiplus::StringAlignmentCenter) fTop = (rcF.Height - n * fLine) / 2;
    if (iLineAlignment == Gdiplus::StringAlignmentFar) fTop = rcF.Height - n * fLine;
    GdipStringFormatPtr lineFormat;
    GdipCloneStringFormat(pFormat, lineFormat.put());
    if (!lineFormat) return;
    GdipSetStringFormatLineAlign(lineFormat.get(), Gdiplus::StringAlignmentNear);
    GdipResetPath(pPath);
    Gdiplus::Rect rcLine(0, 0, rcLayout.Width, static_cast<INT>(fLine * 2));
    for (int i = 0; i < n; ++i) {
        GdipPathPtr linePath;
        GdipCreatePath(Gdiplus::FillModeAlternate, linePath.put());
        if (!linePath) return;
        GdipAddPathStringI(linePath.get(), lines[i].c_str(), -1, pFamily, iFontStyle, fEmSize, &rcLine,
                           lineFormat.get());
        TranslatePath(linePath.get(), static_cast<float>(rcLayout.X), rcLayout.Y + fTop + i * fLine);
        GdipAddPathPath(pPath, linePath.get(), FALSE);
    }
}

}  // namespace

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
    if (path && family)
        AddTextPath(pGraphics, path.get(), szText ? szText : L"", family.get(), iFontStyle, fEmSize, rc, format.get(),
                    iLineAlignment);

    if (boxBrush)
        FillTextBox(pGraphics, boxBrush.get(), rc.X, rc.Y, rc.Width, rc.Height, argbText, bRounded ? 5 : 1, bFramed);
    if (path && textBrush) GdipFillPath(pGraphics, textBrush.get(), path.get());
}
