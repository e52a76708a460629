#include "presentation/text.h"

void DrawLabelText(qm::GpGraphics*, const wchar_t*, const wchar_t*, int, COLORREF, COLORREF, BYTE, BYTE, int, int,
                   float, bool, bool, const Gdiplus::RectF&) {}
