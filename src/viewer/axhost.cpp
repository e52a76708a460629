#include "viewer/axhost.h"

BOOL RegisterAXClass(HINSTANCE hInstance) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = hInstance;
    wc.lpszClassName = L"AX";
    return RegisterClassExW(&wc) != 0;
}

BOOL UnregisterAXClass(HINSTANCE hInstance) {
    return UnregisterClassW(L"AX", hInstance);
}
