#include "presentation/icon.h"

void UpdateDockDisplay(_DOCKLET_DATA*) {}

void SelectDisplayText(_DOCKLET_DATA*, unsigned int, wchar_t* szOut, size_t cchOut) {
    if (szOut && cchOut) szOut[0] = 0;
}

qm::GpBitmap* RenderIconOverlay(_DOCKLET_DATA*) {
    return nullptr;
}

HBITMAP CreateMenuBitmap(const wchar_t*) {
    return nullptr;
}

void SetImagePreview(HWND, int, const wchar_t*, int) {}

HRESULT CreateIconFromBitmap(HDC, HBITMAP, COLORREF, HICON* phIconOut) {
    if (!phIconOut) return E_POINTER;
    *phIconOut = nullptr;
    return E_NOTIMPL;
}
