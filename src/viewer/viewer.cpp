#include "viewer/viewer.h"

INT_PTR CALLBACK ViewerDlgProc(HWND hDlg, UINT uMsg, WPARAM, LPARAM) {
    if (uMsg == WM_INITDIALOG) {
        EndDialog(hDlg, 2);
        return TRUE;
    }
    return FALSE;
}

BOOL CenterWindow(HWND hwnd, int, int, int) {
    return hwnd ? TRUE : FALSE;
}
