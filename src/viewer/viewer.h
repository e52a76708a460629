// The viewer window: a dialog with the browser control that shows an item's page.
#pragma once
#include "core/docklet.h"

INT_PTR CALLBACK ViewerDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
// Centres hwnd on the screen (iMode 1) or on its parent, resizing it first when both
// iWidth and iHeight are above 0. 0 for a null window, else 1.
BOOL CenterWindow(HWND hwnd, int iMode, int iWidth, int iHeight);
