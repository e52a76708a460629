// dockhost: a small stand-in for the dock application. It keeps the dock's folder layout
// (its own folder is the root; the docklet lives in a relative folder such as
// .\Docklets\Quillmere\), exports the ten host functions by name, loads quillmere.dll,
// gives each icon a window of its own and logs every host call. It knows what a dock
// knows: the calls it receives. Run without scripted options it is a small interactive
// dock; with them it drives the docklet for tests, demos and checks, and every such run
// ends by itself (watchdog.h).
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include "console.h"
#include "core/gdiplus.h"
#include "dialogs.h"
#include "hostcalls.h"
#include "icons.h"
#include "loader.h"
#include "options.h"
#include "refreshwatch.h"
#include "script.h"
#include "soak.h"
#include "timers.h"
#include "watchdog.h"

namespace {

// How long a destruction on cue may come after its time, and what the docklet left
// posted may take to run out after it.
const DWORD c_dwDestroyGraceMs = 5000;

void RunInteractive() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// The scripted run; returns 3 when a menu entry or a press was not found, else 0.
int RunScript() {
    const Options& o = g_opt;
    Icon* first = g_icons.empty() ? nullptr : g_icons[0];
    if (o.untilRefreshed || o.click || o.soak) {
        // The refresh each icon starts when it is created.
        PumpUntil(c_dwRefreshWaitMs, [] { return RefreshOver(true); });
        PumpPosted();
    }
    if (o.soak && first && first->pData) Soak(first, o.soak);
    if (o.click && first && first->pData) {
        // The timer fires inside whatever modal loop of the docklet is running then.
        if (o.destroyAfterMs > 0) DestroyIconsAfter(static_cast<DWORD>(o.destroyAfterMs));
        MarkRefresh();
        ScriptedClick(first, o.click, o.choose);
        if (!ScriptMenuOpened()) Print("menu: (no menu opened)\n");
        // Let what was chosen run its course (a refresh, a page).
        PumpPosted();
        if (o.untilRefreshed) PumpUntil(c_dwRefreshWaitMs, [] { return RefreshOver(false); });
        PumpPosted();
    }
    if (o.seconds > 0) PumpUntil(static_cast<DWORD>(o.seconds * 1000), [] { return false; });
    // A destruction on cue comes even when the click's work ended sooner; then what the
    // docklet left posted runs out before the dock exits.
    if (o.destroyAfterMs > 0 && o.click) {
        PumpUntil(static_cast<DWORD>(o.destroyAfterMs) + c_dwDestroyGraceMs, [] { return AllIconsDestroyed(); });
        PumpPosted();
    }
    int rc = ScriptChooseFailed() ? 3 : 0;
    for (const std::string& press : PressesLeft()) {
        Print("press: " + press + " was not found\n");
        rc = 3;
    }
    return rc;
}

// The reports and pictures of the first icon; 1 when a picture could not be written.
int Report() {
    if (g_icons.empty()) return 0;
    const Icon* first = g_icons[0];
    int rc = 0;
    if (g_opt.label) Print("label: " + IconLabel(first) + "\n");
    if (!g_opt.overlayPng.empty() && !SaveIconPng(first, 256, false, g_opt.overlayPng)) rc = 1;
    if (!g_opt.iconPng.empty() && !SaveIconPng(first, 256, true, g_opt.iconPng)) rc = 1;
    return rc;
}

}  // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    if (!ParseOptions(argc, argv, &g_opt)) return 2;
    SetLogging(g_opt.log);
    for (const std::string& name : g_opt.without) HideHostExport(name);
    bool bScripted = IsScripted(g_opt);

    char szExe[MAX_PATH];
    GetModuleFileNameA(nullptr, szExe, MAX_PATH);
    std::string root = szExe;
    root.erase(root.find_last_of('\\') + 1);
    std::string rel = g_opt.relativeFolder;
    if (rel.rfind(".\\", 0) == 0) rel.erase(0, 2);

    ULONG_PTR gdiplusToken = 0;
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&gdiplusToken, &input, nullptr);
    OleInitialize(nullptr);
    if (!LoadDocklet(root + rel)) return 1;
    if (g_opt.log)
        WatchModuleTimers(g_docklet.hModule, [](HWND hwnd, UINT_PTR idTimer, UINT uElapse) {
            Log("SetTimer(%d, %lu, %u ms)", IconIndex(hwnd), static_cast<unsigned long>(idTimer), uElapse);
        });
    if (bScripted) {
        if (!StartScript()) return 1;
        StartWatchdog();
    }

    // Runs that wait for a refresh or for time have nobody to browse for an image.
    PrepareIcons(root, !g_opt.untilRefreshed && g_opt.seconds < 0);
    CreateIcons(!bScripted);
    int rc = bScripted ? RunScript() : (RunInteractive(), 0);
    int rcReport = Report();
    if (rc == 0) rc = rcReport;
    FreeIcons(g_opt.save);

    MarkRefresh();
    StopWatchdog();
    StopScript();
    SetHostCallObserver(nullptr);
    ResetHostCalls();
    UnloadDocklet(static_cast<DWORD>(g_opt.waitUnloadMs > 0 ? g_opt.waitUnloadMs : 0));
    OleUninitialize();
    Gdiplus::GdiplusShutdown(gdiplusToken);
    return rc;
}
