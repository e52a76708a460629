// The viewer window (dialog template 112): the browser control showing the page of one
// item or of all items, with the page thread that writes it.
#pragma once
#include "core/docklet.h"

// Sent by the page thread to the viewer (posted) once its page is in pszPageFile: the
// viewer navigates its browser control there, on the control's own thread.
#define WM_QM_NAVIGATE (WM_APP + 0x61)

// How long closing the viewer waits for its page thread, in ms; a thread that is still
// busy then is abandoned and cleans up after itself.
#define VIEWER_PAGE_THREAD_WAIT_MS 2000u

// Smallest tracking size and the opening size when no placement is restored.
#define VIEWER_MIN_WIDTH 450
#define VIEWER_MIN_HEIGHT 300

// The dialog procedure; the creation parameter is the instance. The dialog ends with 2.
// Closing it (OK, WM_CLOSE, minimising) is complete when the call returns: the page
// thread has stopped, the page file is deleted, hwndViewer is null and the browser
// control is gone; the window itself goes when the modal loop unwinds and no longer
// touches the instance then.
INT_PTR CALLBACK ViewerDlgProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam);
// The page thread's work for the viewer in hwndViewer: caption, page, navigation
// request. 0 after a run, 1 when there was nothing to show (no current item). Once
// hCancel is set (the viewer closed) it hands nothing over and deletes what it wrote.
DWORD PageThreadProc(_DOCKLET_DATA* pData, HANDLE hCancel);
// Centres hwnd on the screen (iMode 1) or on its parent, resizing it first when both
// iWidth and iHeight are above 0, and keeps it on the screen (its left and top edges
// give way when it is larger). 0 for a null window, else 1.
BOOL CenterWindow(HWND hwnd, int iMode, int iWidth, int iHeight);
