#include "core/entry.h"

INT_PTR CALLBACK ConfigureDocklet(HWND hDlg, UINT uMsg, WPARAM, LPARAM) {
    if (uMsg == WM_INITDIALOG) EndDialog(hDlg, IDCANCEL);
    return 0;
}
