// The bound on a scripted run that nothing in the docklet can hold up: a thread of the
// dock's own checks that the dock's thread still answers and still looks at the open
// dialogs, and ends the run when it does not.
#pragma once
#include <string>

// How long the dock's thread may go without answering a sent message, or without looking
// at the open dialogs, before the run gives up.
const unsigned long c_dwHungMs = 20000;

void StartWatchdog();
void StopWatchdog();
// Prints the reason and every window of the process still open ("open: CAPTION") and
// ends the process with exit code 4, from any thread.
[[noreturn]] void GiveUp(const std::string& reason);
