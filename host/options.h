// The stand-in dock's command line.
#pragma once
#include <string>
#include <vector>

// The scripted click: none, a left or right click on the icon, or the dock's own menu.
enum ScriptClick { CLICK_NONE = 0, CLICK_LEFT = 1, CLICK_RIGHT = 2, CLICK_DOCK = 3 };

struct Options {
    std::string ini;
    std::vector<std::string> sections;
    std::string relativeFolder = ".\\Docklets\\Quillmere\\";
    std::string overlayPng, iconPng, browseResult;
    std::vector<std::string> without;
    // Tabs and buttons to press, in order, in the dialogs a scripted choice opens.
    std::vector<std::string> presses;
    bool untilRefreshed = false, label = false, log = false, save = false;
    double seconds = -1;
    double dialogSeconds = 1.5;
    // Destroys every icon this long after the scripted click starts (0: never), as a
    // dock does when its icon is removed while something of the docklet is open.
    int destroyAfterMs = 0;
    // Cycles of the soak (0: none).
    int soak = 0;
    // After freeing the docklet, how long to wait for the system to unload it (0: not at
    // all): a request that WinHTTP is still finishing holds it until its last call.
    int waitUnloadMs = 0;
    ScriptClick click = CLICK_NONE;
    int choose = 0;     // the menu entry to choose (0: close the menu again)
    bool menu = false;  // print the menu's entries
};

// The options of this run.
extern Options g_opt;

// Reads the arguments into *pOptions; false (with the usage printed) for one it does
// not know or one that lacks its value.
bool ParseOptions(int argc, char** argv, Options* pOptions);
// Whether the dock runs a script (and ends by itself) rather than waiting for a user.
bool IsScripted(const Options& options);
void PrintUsage();

// The dialog time in milliseconds, from --dialog-seconds.
unsigned long DialogMs(const Options& options);
