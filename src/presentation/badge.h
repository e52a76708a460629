// The count of new items on the icon: a round badge in the top right corner of the
// overlay, in the system's highlight colour with the number in white.
#pragma once
#include <string>
#include "core/gdiplus.h"

// What the badge says for nCount new items: the number, or "99+" above 99.
std::wstring BadgeLabel(size_t nCount);
// Draws the badge for nCount (> 0) items onto a 256 x 256 overlay, over whatever is
// drawn there already; the number in the face szFontFamily, bold (a face that is not
// installed falls back to the system's sans serif).
void DrawCountBadge(qm::GpGraphics* pGraphics, size_t nCount, const wchar_t* szFontFamily);
