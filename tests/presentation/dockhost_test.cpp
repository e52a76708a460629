// The stand-in dock's scripted clicks: the menu a click opens is printed and an entry is
// chosen by keyboard, through the built dockhost.exe and quillmere.dll.
#include <fstream>
#include "fixture.h"

namespace {

struct DockRun {
    std::string out;
    DWORD exitCode = 0xFFFFFFFF;
};

// Runs dockhost.exe with the arguments and returns what it printed.
DockRun RunDock(const std::string& args) {
    DockRun run;
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE hRead = nullptr, hWrite = nullptr;
    if (!CreatePipe(&hRead, &hWrite, &sa, 0)) return run;
    SetHandleInformation(hRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = hWrite;
    si.hStdError = hWrite;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::string folder = BuildPath("dock\\");
    std::string cmd = "\"" + folder + "dockhost.exe\" " + args;
    PROCESS_INFORMATION pi = {};
    BOOL ok = CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(), &si, &pi);
    CloseHandle(hWrite);
    if (!ok) {
        CloseHandle(hRead);
        return run;
    }
    char buf[4096];
    DWORD n;
    while (ReadFile(hRead, buf, sizeof(buf), &n, nullptr) && n) run.out.append(buf, n);
    WaitForSingleObject(pi.hProcess, 60000);
    GetExitCodeProcess(pi.hProcess, &run.exitCode);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    CloseHandle(hRead);
    return run;
}

bool Has(const DockRun& run, const std::string& text) {
    return run.out.find(text) != std::string::npos;
}

// A settings file with one profile whose feed cannot be fetched.
std::string OneProfileIni() {
    std::string path = MakeTempFolder("dockhost") + "dock.ini";
    std::ofstream(path) << "[Quillmere]\nTitle=Quillmere\nProfiles=1\nCurrentProfile=0\n"
                           "A0-RssFeedURL=http://127.0.0.1:9/none.xml\nA0-RssFeedTitle=News & Views\n";
    return path;
}

}  // namespace

TEST(DockhostScript, LeftClickPrintsTheItemMenuAndClosesIt) {
    DockRun run = RunDock("--ini \"" + OneProfileIni() + "\" --left-click --menu --log");
    EXPECT_EQ(run.exitCode, 0u) << run.out;
    EXPECT_TRUE(Has(run, "menu: 1\tNews && Views\tdisabled\tunchecked\n")) << run.out;
    EXPECT_TRUE(Has(run, "menu: 2\tUpdate Now\tenabled\tunchecked\n")) << run.out;
    EXPECT_TRUE(Has(run, "DockletLockMouseEffect(0, 0)")) << run.out;
}

TEST(DockhostScript, RightClickChoosesAnEntryByIdentifier) {
    DockRun run = RunDock("--ini \"" + OneProfileIni() + "\" --right-click --menu --choose 7 --log");
    EXPECT_EQ(run.exitCode, 0u) << run.out;
    EXPECT_TRUE(Has(run, "menu: 1000\tNews && Views\tenabled\tchecked\n")) << run.out;
    EXPECT_TRUE(Has(run, "menu: 6\tAbout Quillmere\tenabled\tunchecked\n")) << run.out;
    EXPECT_TRUE(Has(run, "DockletRemoveSelf(0)")) << run.out;
}

TEST(DockhostScript, ChoosingADisabledEntryFails) {
    DockRun run = RunDock("--right-click --choose 2");  // no feed configured: Update Now is disabled
    EXPECT_EQ(run.exitCode, 3u) << run.out;
    EXPECT_TRUE(Has(run, "choose: entry 2 is not available")) << run.out;
}
