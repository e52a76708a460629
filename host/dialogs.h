// The scripted user's dealings with the dialogs the docklet opens: each is reported,
// pressed in as the script says, and closed when its time has come (dialogplan.h), and a
// run whose dialog will not close gives up instead of hanging.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// One look at this process's dialogs, on the dock's thread: the script window's timer
// and the dock's waits call it.
void LookAtDialogs();
// The presses (--press) not made.
std::vector<std::string> PressesLeft();
// Whether any dialog of the process is open, and since when the dock's thread last looked.
bool DialogsOpen(unsigned long* pdwLastLook);
// A window's text in UTF-8, read without a message, so a window of a thread that hangs
// cannot hold up the one who reads it.
std::string WindowText(HWND hwnd);
