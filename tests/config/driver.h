// Drives modal dialogs from inside their own message loops: a thread timer runs the
// steps of a script one by one while the dialog (and any dialog it opens) waits for
// input, so a test can open the real property sheet, click, type and close it.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

// One step; false means "not yet" and the step is tried again at the next tick.
using Step = std::function<bool()>;

// Runs open() (which shows something modal) while the steps are played from its message
// loop. Returns true when every step ran. After dwTimeout ms the remaining dialogs are
// cancelled so a broken test fails instead of hanging.
bool RunScript(const std::vector<Step>& steps, const std::function<void()>& open, DWORD dwTimeout = 20000);

// The enabled, visible dialog of this thread that has the given caption, or null.
HWND FindDialog(const wchar_t* szCaption);
// The modal window on top: the visible, enabled top-level dialog of this thread.
HWND TopDialog();
// The property sheet's page at index (created on first activation).
HWND SheetPage(HWND hSheet, int iIndex);
// Switches the sheet to a tab as a click on it would (leaves the current page first).
void SelectTab(HWND hSheet, int iIndex);
// Sends a click to a dialog control (BM_CLICK for buttons, which checks radio buttons
// and check boxes the way a mouse click does).
void Click(HWND hDlg, int iControl);
// WM_COMMAND with BN_CLICKED, for buttons that open modal dialogs (posted so the step
// does not block).
void PostClick(HWND hDlg, int iControl);
std::wstring ControlText(HWND hDlg, int iControl);
bool IsChecked(HWND hDlg, int iControl);
bool IsEnabled(HWND hDlg, int iControl);
// Fills the file dialog's name field and presses its Open button.
void AnswerFileDialog(HWND hDlg, const std::wstring& path);
// Saves a window's picture as a PNG (for looking at it).
bool SaveWindowPng(HWND hwnd, const std::wstring& path);
// A step that saves the window's picture under ShotPath(szName) once what it painted
// has reached the display (the tick after it painted); *pSaved tells whether it was
// written. Waits while window() gives no window.
Step SaveShot(const std::function<HWND()>& window, const wchar_t* szName, bool* pSaved);
// Folder for pictures of the dialogs, next to the test executable.
std::wstring ShotPath(const wchar_t* szName);
