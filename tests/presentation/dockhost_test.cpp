// The stand-in dock's scripted clicks: the menu a click opens is printed and an entry is
// chosen by keyboard, through the built dockhost.exe and quillmere.dll.
#include <fstream>
#include "fixture.h"
#include "support/process.h"

namespace {

typedef ProcessRun DockRun;

DockRun RunDock(const std::string& args) {
    return RunDockhost(args);
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
