#include "options.h"
#include <windows.h>
#include <cstdlib>
#include "console.h"

Options g_opt;

namespace {

std::string FullPath(const std::string& path) {
    char sz[MAX_PATH];
    DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, sz, nullptr);
    return n && n < MAX_PATH ? std::string(sz) : path;
}

}  // namespace

void PrintUsage() {
    Print("usage: dockhost [--ini FILE] [--section NAME]... [--docklet-folder .\\REL\\]\n"
          "                [--until-refreshed] [--seconds N] [--overlay FILE.png] [--icon FILE.png]\n"
          "                [--label] [--log] [--save] [--without HOSTFUNCTION]... [--browse-result PATH]\n"
          "                [--left-click | --right-click | --dock-click] [--choose ID] [--menu]\n"
          "                [--dialog-seconds N] [--press TEXT]... [--destroy-after MS] [--soak N]\n"
          "                [--wait-unload MS]\n"
          "Without --until-refreshed, --seconds, a click or --soak the dock runs interactively until its\n"
          "icons close. A click opens the first icon's menu once after its first refresh (--dock-click:\n"
          "the dock's own menu, 1 Settings, 2 About); --menu prints its entries\n"
          "(identifier, text, enabled/disabled, checked/unchecked), --choose picks the entry with that\n"
          "command identifier by keyboard; without --choose the menu is closed again. A window the\n"
          "choice opens (viewer, settings, About) is printed as \"window: CAPTION\" and closed after\n"
          "--dialog-seconds (1.5) with no window of its own open over it and the icon no longer busy\n"
          "(a page or refresh under way; 60 s at most). Each --press TEXT, in order,\n"
          "presses the tab or button of that text (without \"&\" marks) in the newest open dialog, once\n"
          "it shows there. In scripted runs the docklet's message boxes are printed as\n"
          "\"message: TEXT\" and closed. --destroy-after MS calls OnDestroy for every icon MS ms after\n"
          "the click starts, whatever is open then, and prints \"destroyed\". --soak N runs N cycles on\n"
          "the first icon (Update Now, item menu, viewer on the first item, settings cancelled) and\n"
          "prints \"resources: private_kb=P handles=H gdi=G user=U\" after the first and the last.\n"
          "--wait-unload MS, after freeing quillmere.dll at the end, waits up to MS for the system to\n"
          "unload it and prints \"unload: \" lines: whether it was held after FreeLibrary, whether it\n"
          "was unloaded, and whether winhttp.dll is still loaded. With --log, each timer the docklet\n"
          "sets is logged with its period.\n"
          "A refresh has ended when the threads that drew on the icon since it began have ended and\n"
          "the label shows no \"Retrieving\" text. Scripted runs are bounded: a refresh is awaited\n"
          "60 s at most, a menu is left within 10 s, a dialog asked to close must be gone within\n"
          "10 s, and the dock's thread must answer within 20 s; otherwise the dock prints\n"
          "\"open: CAPTION\" for each window still open and exits with 4. Exit codes: 0 done, 1 the\n"
          "docklet could not be loaded or a picture not written, 2 usage, 3 a menu entry or a press\n"
          "was not found, 4 the run could not end by itself.\n");
}

bool ParseOptions(int argc, char** argv, Options* pOptions) {
    Options& o = *pOptions;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--ini" && next(v)) o.ini = FullPath(v);
        else if (a == "--section" && next(v)) o.sections.push_back(v);
        else if (a == "--docklet-folder" && next(v)) o.relativeFolder = v;
        else if (a == "--until-refreshed") o.untilRefreshed = true;
        else if (a == "--seconds" && next(v)) o.seconds = atof(v.c_str());
        else if (a == "--overlay" && next(v)) o.overlayPng = v;
        else if (a == "--icon" && next(v)) o.iconPng = v;
        else if (a == "--label") o.label = true;
        else if (a == "--log") o.log = true;
        else if (a == "--save") o.save = true;
        else if (a == "--without" && next(v)) o.without.push_back(v);
        else if (a == "--browse-result" && next(v)) o.browseResult = v;
        else if (a == "--left-click") o.click = CLICK_LEFT;
        else if (a == "--right-click") o.click = CLICK_RIGHT;
        else if (a == "--dock-click") o.click = CLICK_DOCK;
        else if (a == "--choose" && next(v)) o.choose = atoi(v.c_str());
        else if (a == "--dialog-seconds" && next(v)) o.dialogSeconds = atof(v.c_str());
        else if (a == "--menu") o.menu = true;
        else if (a == "--press" && next(v)) o.presses.push_back(v);
        else if (a == "--destroy-after" && next(v)) o.destroyAfterMs = atoi(v.c_str());
        else if (a == "--soak" && next(v)) o.soak = atoi(v.c_str());
        else if (a == "--wait-unload" && next(v)) o.waitUnloadMs = atoi(v.c_str());
        else {
            PrintUsage();
            return false;
        }
    }
    if (o.sections.empty()) o.sections.push_back("Quillmere");
    return true;
}

bool IsScripted(const Options& o) {
    return o.untilRefreshed || o.seconds >= 0 || o.click != CLICK_NONE || o.soak != 0;
}

unsigned long DialogMs(const Options& o) {
    // A negative or absurd time would make every dialog wait forever or close at once.
    double ms = o.dialogSeconds * 1000;
    if (!(ms > 0)) return 0;
    return ms > 3600000 ? 3600000 : static_cast<unsigned long>(ms);
}
