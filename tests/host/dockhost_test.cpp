// The stand-in dock run as a separate process, as a user or a script runs it: what it
// logs of the host calls, its scripted clicks (the menu a click opens is printed and an
// entry is chosen by keyboard), the dialogs it closes, and the bound on every run.
#include <gtest/gtest.h>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>
#include "support/httpserver.h"
#include "support/process.h"
#include "support/testhost.h"

namespace {

std::string RunDock(const std::string& args, DWORD* pExitCode = nullptr) {
    ProcessRun run = RunDockhost(args);
    if (pExitCode) *pExitCode = run.exitCode;
    return run.out;
}

bool Has(const std::string& out, const std::string& what) {
    return out.find(what) != std::string::npos;
}

// A settings file with one profile whose feed cannot be fetched.
std::string OneProfileIni() {
    std::string path = MakeTempFolder("dockhost") + "dock.ini";
    std::ofstream(path) << "[Quillmere]\nTitle=Quillmere\nProfiles=1\nCurrentProfile=0\n"
                           "A0-RssFeedURL=http://127.0.0.1:9/none.xml\nA0-RssFeedTitle=News & Views\n";
    return path;
}

}  // namespace

TEST(Dockhost, RunsTheDockletWithDefaults) {
    DWORD rc = 99;
    std::string out = RunDock("--until-refreshed --label --log", &rc);
    EXPECT_EQ(rc, 0u) << out;
    EXPECT_TRUE(Has(out, "OnCreate(0) -> instance")) << out;
    EXPECT_TRUE(Has(out, "DockletSetLabel(0, \"Quillmere\")")) << out;
    EXPECT_TRUE(Has(out, "DockletSetImageFile(0, ")) << out;
    EXPECT_TRUE(Has(out, "Docklets\\Quillmere\\icons\\background.png")) << out;
    // The idle refresh of an icon without profiles ends with the profile-title label.
    EXPECT_TRUE(Has(out, "label: Feeds not configured\n")) << out;
    EXPECT_TRUE(Has(out, "OnDestroy(0)")) << out;
}

TEST(Dockhost, DockletRunsOnAHostWithoutLabelFunction) {
    DWORD rc = 99;
    std::string out = RunDock("--until-refreshed --label --log --without DockletSetLabel", &rc);
    EXPECT_EQ(rc, 0u) << out;
    EXPECT_TRUE(Has(out, "OnCreate(0) -> instance")) << out;
    EXPECT_FALSE(Has(out, "DockletSetLabel(")) << out;
    EXPECT_TRUE(Has(out, "label: \n")) << out;
    EXPECT_TRUE(Has(out, "DockletSetImageFile(0, ")) << out;
}

TEST(Dockhost, SavesIntoTheSettingsFileAndSection) {
    std::string folder = MakeTempFolder("dockhost");
    std::string ini = folder + "dock.ini";
    FILE* f = fopen(ini.c_str(), "wb");
    fputs("[One]\r\nTitle=First\r\nDFontSize=14\r\n[Two]\r\nTitle=Second\r\n", f);
    fclose(f);
    std::string out = RunDock("--ini \"" + ini + "\" --section One --section Two --seconds 0.5 --save --log");
    EXPECT_TRUE(Has(out, "OnCreate(1) -> instance")) << out;
    EXPECT_TRUE(Has(out, "OnSave(0)")) << out;
    char sz[300];
    GetPrivateProfileStringA("One", "DFontSize", "", sz, sizeof(sz), ini.c_str());
    EXPECT_STREQ(sz, "14");
    GetPrivateProfileStringA("Two", "Title", "", sz, sizeof(sz), ini.c_str());
    EXPECT_STREQ(sz, "Second");
    GetPrivateProfileStringA("Two", "BackgroundImage", "", sz, sizeof(sz), ini.c_str());
    EXPECT_NE(std::string(sz).find("icons\\background.png"), std::string::npos) << sz;
}

TEST(Dockhost, WritesTheIconSnapshot) {
    std::string folder = MakeTempFolder("dockhost-icon");
    std::string png = folder + "icon.png";
    std::string out = RunDock("--until-refreshed --icon \"" + png + "\"");
    DWORD attrs = GetFileAttributesA(png.c_str());
    EXPECT_NE(attrs, INVALID_FILE_ATTRIBUTES) << out;
}

TEST(Dockhost, ItemMenuOpensTheViewerOnTheChosenItem) {
    HttpServer server([](const HttpRequest&) {
        HttpResponse r;
        r.body = "<rss><channel><title>Feed</title><item><title>First</title><link>http://e/1</link></item>"
                 "<item><title>Second</title><link>http://e/2</link></item>"
                 "<item><title>Third</title><link>http://e/3</link></item></channel></rss>";
        return r;
    });
    std::string ini = MakeTempFolder("dockhost-viewer") + "dock.ini";
    std::wstring url = server.Url("/feed");
    FILE* f = fopen(ini.c_str(), "wb");
    fprintf(f, "[Q]\r\nProfiles=1\r\nCurrentProfile=0\r\nA0-RssFeedURL=%s\r\n", std::string(url.begin(), url.end()).c_str());
    fclose(f);
    DWORD rc = 99;
    // The third item: its page (item2.html) is one no other test program running beside
    // this one writes into the shared page folder.
    std::string out = RunDock("--ini \"" + ini + "\" --section Q --left-click --choose 102 --dialog-seconds 0.5 --log", &rc);
    EXPECT_EQ(rc, 0u) << out;
    EXPECT_TRUE(Has(out, "DockletSetLabel(0, \"Retrieving RSS Feed Item...\")")) << out;
    // The viewer is reported when it appears, perhaps before its page thread has named
    // it; it is closed once the icon no longer shows the page being loaded, by then
    // named after the item.
    EXPECT_TRUE(Has(out, "close: Third\n")) << out;
    EXPECT_TRUE(Has(out, "OnDestroy(0)")) << out;
}

// A scripted click prints the menu it opens and chooses an entry by its identifier, or
// fails with exit code 3 when that entry cannot be chosen.
TEST(DockhostScript, ClicksPrintTheMenuAndChooseByIdentifier) {
    struct Case {
        std::string args;
        DWORD rc;
        std::vector<std::string> lines;
    };
    const std::string ini = "--ini \"" + OneProfileIni() + "\" ";
    const Case cases[] = {
        {ini + "--left-click --menu --log",
         0,
         {"menu: 1\tNews && Views\tdisabled\tunchecked\n", "menu: 2\tUpdate Now\tenabled\tunchecked\n",
          "DockletLockMouseEffect(0, 0)"}},
        {ini + "--right-click --menu --choose 7 --log",
         0,
         {"menu: 1000\tNews && Views\tenabled\tchecked\n", "menu: 6\tAbout Quillmere\tenabled\tunchecked\n",
          "DockletRemoveSelf(0)"}},
        // No feed configured: Update Now is disabled.
        {"--right-click --choose 2", 3, {"choose: entry 2 is not available"}},
    };
    for (const Case& c : cases) {
        DWORD rc = 99;
        std::string out = RunDock(c.args, &rc);
        EXPECT_EQ(rc, c.rc) << c.args << "\n" << out;
        for (const std::string& line : c.lines) EXPECT_TRUE(Has(out, line)) << c.args << "\n" << out;
    }
}

// The dock's own menu reaches the docklet's settings and About box, which the script
// closes again.
TEST(Dockhost, DockMenuOpensTheSettingsAndTheAboutBox) {
    DWORD rc = 99;
    std::string out = RunDock("--dock-click --menu --choose 1 --dialog-seconds 0.5 --log", &rc);
    EXPECT_EQ(rc, 0u) << out;
    EXPECT_TRUE(Has(out, "menu: 1\tSettings\tenabled\tunchecked\n")) << out;
    EXPECT_TRUE(Has(out, "OnConfigure(0)")) << out;
    EXPECT_TRUE(Has(out, "window: Configure Quillmere\n")) << out;
    EXPECT_TRUE(Has(out, "OnDestroy(0)")) << out;

    out = RunDock("--dock-click --choose 2 --dialog-seconds 0.5 --log", &rc);
    EXPECT_EQ(rc, 0u) << out;
    EXPECT_TRUE(Has(out, "OnAbout(0)")) << out;
    EXPECT_TRUE(Has(out, "window: About Quillmere v0.1.0.2b\n")) << out;
}

// The dock removes the icon while the docklet's settings (with the profile editor over
// them) or its viewer are open: the sheet ends as cancelled, nothing of the instance is
// used after it is gone, and the dock goes on to exit normally.
TEST(Dockhost, IconDestroyedWhileTheSettingsOrTheViewerAreOpen) {
    HttpResponse feed;
    feed.body = "<rss><channel><title>T</title><item><title>One</title><link>http://example.test/1</link></item>"
                "</channel></rss>";
    HttpServer server(feed);
    std::string folder = MakeTempFolder("destroy");
    std::string ini = folder + "dock.ini";
    FILE* f = fopen(ini.c_str(), "wb");
    fprintf(f, "[Q]\r\nProfiles=2\r\nCurrentProfile=0\r\nA0-RssFeedURL=%ls\r\nA1-RssFeedURL=%ls\r\n",
            server.Url().c_str(), server.Url().c_str());
    fclose(f);
    // Left alone, the dock would close what is open only after 30 s. On a busy machine
    // the dialog may not be up yet when the icon goes; the run is then repeated with a
    // later destruction, so the case is really tried.
    const std::string common = "--ini \"" + ini + "\" --section Q --dialog-seconds 30 --log ";
    for (const std::string& click : {std::string("--dock-click --choose 1 --press \"RSS Feed Profiles\" --press Add"),
                                     std::string("--dock-click --choose 1"), std::string("--left-click --choose 100")}) {
        for (int iDelay = 2500; iDelay <= 10000; iDelay *= 2) {
            DWORD rc = 99;
            DWORD dwStart = GetTickCount();
            std::string out = RunDock(common + click + " --destroy-after " + std::to_string(iDelay), &rc);
            bool bOpen = Has(out, click.find("Add") != std::string::npos ? "window: RSS Feed Profile Settings"
                                                                             : "window: ");
            if (!bOpen && iDelay < 10000) continue;
            EXPECT_EQ(rc, 0u) << out;
            EXPECT_LT(GetTickCount() - dwStart, static_cast<DWORD>(iDelay) + 15000) << "what was open stayed open";
            EXPECT_TRUE(bOpen) << out;
            EXPECT_TRUE(Has(out, "OnDestroy(0)\ndestroyed\n")) << out;
            break;
        }
    }
}

// A scripted run ends by itself whatever the docklet does: a dialog that ignores Close,
// OK and Cancel, or one whose thread stops answering when asked to close, ends the run
// with exit code 4 and a list of what was open, within the bound the dock states (10 s of
// asking, or 20 s without an answer), instead of hanging.
TEST(DockhostScript, RunWhoseDialogWillNotCloseEndsWithinItsBound) {
    struct Case {
        const char* section;
        const char* caption;
        const char* reason;
        DWORD dwBoundMs;
    };
    const Case cases[] = {
        {"Refuses", "Refuses to close", "did not close within 10 s of being asked", 10000},
        {"Hang", "Hangs when closed", "the dock's thread did not answer for 20 s", 20000},
    };
    std::string ini = MakeTempFolder("stubborn") + "dock.ini";
    for (const Case& c : cases) {
        DWORD rc = 99;
        DWORD dwStart = GetTickCount();
        std::string out = RunDock(std::string("--docklet-folder .\\Docklets\\Stubborn\\ --ini \"") + ini +
                                      "\" --section " + c.section + " --dock-click --choose 1 --dialog-seconds 0.2",
                                  &rc);
        DWORD dwSpent = GetTickCount() - dwStart;
        EXPECT_EQ(rc, 4u) << c.section << "\n" << out;
        EXPECT_TRUE(Has(out, std::string("window: ") + c.caption + "\n")) << out;
        EXPECT_TRUE(Has(out, c.reason)) << out;
        EXPECT_TRUE(Has(out, std::string("open: ") + c.caption + "\n")) << out;
        // The bound, with room for starting Wine on a loaded machine.
        EXPECT_LT(dwSpent, c.dwBoundMs + 20000) << c.section;
    }
}

// The dock calls OnConfigure itself (its Settings entry, or a click on an icon without a
// profile) and removes the icon while the settings are open: the sheet's reference is
// the last one, and nothing touches the record after it goes (the test build fills freed
// records and ends the run with exit code 3 when one is written to).
TEST(Dockhost, IconDestroyedWhileTheDocksOwnSettingsCallIsOpen) {
    for (const char* szClick : {"--dock-click --choose 1", "--left-click"}) {
        DWORD rc = 99;
        std::string out = RunDock(std::string(szClick) + " --dialog-seconds 10 --destroy-after 2500 --log", &rc);
        EXPECT_EQ(rc, 0u) << szClick << "\n" << out;
        EXPECT_TRUE(Has(out, "window: Configure Quillmere\n")) << out;
        EXPECT_TRUE(Has(out, "OnDestroy(0)\ndestroyed\n")) << out;
    }
}

// The icon goes while its download is held back by the server: the request WinHTTP is
// still finishing holds the docklet after the dock has freed it, and the request's last
// call is what unloads it, from WinHTTP's own thread, which goes on in winhttp.dll (kept
// loaded for it) without a crash.
TEST(Dockhost, TheDockletUnloadsWithTheLastCallOfAnAbandonedRequest) {
    HttpResponse held;
    held.body = "<rss><channel><title>Late</title></channel></rss>";
    // Held past the run's end (its 3 s leave the request time to reach the server on a
    // loaded machine), then answered, so WinHTTP's last call comes after the unload.
    held.delayMs = 7000;
    HttpServer server(held);
    std::string ini = MakeTempFolder("dockhost-unload") + "dock.ini";
    FILE* f = fopen(ini.c_str(), "wb");
    std::wstring url = server.Url("/feed");
    fprintf(f, "[Q]\r\nProfiles=1\r\nCurrentProfile=0\r\nA0-RssFeedURL=%s\r\n", std::string(url.begin(), url.end()).c_str());
    fclose(f);
    DWORD rc = 99;
    std::string out = RunDock("--ini \"" + ini + "\" --section Q --seconds 3 --wait-unload 30000 --log", &rc);
    EXPECT_EQ(rc, 0u) << out;
    ASSERT_EQ(server.Requests().size(), 1u) << out;
    EXPECT_TRUE(Has(out, "OnDestroy(0)\nunload: held after FreeLibrary\nunload: docklet unloaded\n"
                         "unload: winhttp.dll loaded\n"))
        << out;
}
