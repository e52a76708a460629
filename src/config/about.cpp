// The About box: the docklet's name and version with its emblem.
#include "config/config.h"
#include "viewer/viewer.h"

extern "C" INT_PTR CALLBACK AboutDocklet(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM) {
    switch (uMsg) {
    case WM_INITDIALOG:
        CenterWindow(hDlg, 1, 0, 0);
        return 0;
    case WM_COMMAND:
        // OK ends the box; Escape and the caption's close button (IDCANCEL) do as well,
        // with the same result.
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(hDlg, 0);
            return 1;
        }
        return 0;
    }
    return 0;
}
