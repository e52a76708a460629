// The "AX" window class that hosts an ActiveX control (the viewer's browser).
#pragma once
#include <windows.h>

BOOL RegisterAXClass(HINSTANCE hInstance);
BOOL UnregisterAXClass(HINSTANCE hInstance);
