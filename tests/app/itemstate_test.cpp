// What was seen survives a restart of the dock: instances made and destroyed as the dock
// does, with a settings file, against feeds on loopback; the state files they leave, and
// files that cannot be read.
#include "support/httpserver.h"
#include <gtest/gtest.h>
#include <fstream>
#include <string>
#include "app/instance.h"
#include "core/record.h"
#include "core/u16.h"
#include "core/unique.h"
#include "feed/itemstate.h"
#include "feed/newitems.h"
#include "feed/download.h"
#include "support/testhost.h"

namespace {

// A feed of lItems items, newest ("Item n-1") first, whose ETag names its length.
struct Feed {
    volatile LONG lItems = 5;
    HttpServer server{[this](const HttpRequest&) {
        HttpResponse r;
        r.eTag = "\"v" + std::to_string(lItems) + "\"";
        r.body = NewestFirstRss(lItems);
        return r;
    }};
    std::string Url() const {
        std::wstring url = server.Url();
        return std::string(url.begin(), url.end());
    }
    std::wstring StateFile() const {
        return ItemStateFolder() + L"\\" + AsWide(ItemStateFileName(AsU16(server.Url())));
    }
    // The If-None-Match of each request so far.
    std::vector<std::string> Conditions() const {
        std::vector<std::string> out;
        for (const HttpRequest& r : server.Requests()) out.push_back(r.Header("If-None-Match"));
        return out;
    }
};

struct ItemStateTest : testing::Test {
    std::string folder = MakeTempFolder("itemstate");
    std::string ini = folder + "dock.ini";
    std::vector<HWND> windows;
    std::vector<_DOCKLET_DATA*> icons;

    void SetUp() override { ResetHost(); }
    void TearDown() override {
        StopAll();
        for (HWND h : windows) DestroyWindow(h);
    }
    void WriteIni(const std::vector<std::string>& urls) {
        std::ofstream f(ini, std::ios::binary);
        for (size_t i = 0; i < urls.size(); ++i)
            f << "[Icon" << i << "]\r\nProfiles=1\r\nCurrentProfile=0\r\nA0-RssFeedURL=" << urls[i] << "\r\n";
    }
    // Starts the dock's icons as it does on its start, each after its first refresh.
    void StartAll(size_t nIcons = 1) {
        for (size_t i = 0; i < nIcons; ++i) {
            HWND hwnd = CreateDockWindow();
            windows.push_back(hwnd);
            std::string section = "Icon" + std::to_string(i);
            _DOCKLET_DATA* p = CreateDocklet(hwnd, GetModuleHandleW(nullptr), ini.c_str(), section.c_str());
            ASSERT_NE(p, nullptr);
            icons.push_back(p);
        }
        for (_DOCKLET_DATA* p : icons) ASSERT_TRUE(WaitForWorker(p->hRefreshThread, GetFeedTimeLimit()));
    }
    void StopAll() {
        for (_DOCKLET_DATA* p : icons) DestroyDocklet(p);
        icons.clear();
    }
    static size_t Marked(_DOCKLET_DATA* p) {
        qm::ScopedLock lock(p->csState);
        return CountMarkedItems(p);
    }
};

}  // namespace

// After a restart the first request is conditional on the state's validators; a feed
// that did not change answers 304, and as the new instance has no items to keep yet, the
// feed is fetched once more. (The stand-in dock's restart test follows a feed that did
// change, with the badge and the item menu.)
TEST_F(ItemStateTest, AnUnchangedFeedAfterARestartIsFetchedAfterIts304) {
    Feed feed;
    WriteIni({feed.Url()});
    StartAll();
    StopAll();
    ResetHost();
    size_t nBefore = feed.server.Requests().size();
    StartAll();
    std::vector<std::string> conditions = feed.Conditions();
    EXPECT_EQ(std::vector<std::string>(conditions.begin() + nBefore, conditions.end()),
              (std::vector<std::string>{"\"v5\"", ""}));
    EXPECT_EQ(icons[0]->items.GetCount(), 5u);
    EXPECT_EQ(icons[0]->iCurrentItem, 0);
    EXPECT_EQ(HostSnapshot().attention, 0);
    EXPECT_EQ(Marked(icons[0]), 0u);
    EXPECT_TRUE(CapturedMessages().empty());
}

TEST_F(ItemStateTest, TwoIconsWithDifferentFeedsKeepTheirOwnState) {
    Feed one, two;
    WriteIni({one.Url(), two.Url()});
    StartAll(2);
    StopAll();
    one.lItems = 6;
    two.lItems = 9;
    StartAll(2);
    EXPECT_EQ(Marked(icons[0]), 1u);
    EXPECT_EQ(Marked(icons[1]), 4u);
    EXPECT_NE(one.StateFile(), two.StateFile());
}

// A state file that cannot be read is no state: the refresh goes on as on a first start,
// without a word. Where the folder cannot take the file, it goes next to the dock's
// settings file and is read from there.
TEST_F(ItemStateTest, AStateFileThatCannotBeReadIsNoState) {
    Feed feed;
    WriteIni({feed.Url()});
    StartAll();
    StopAll();
    const std::wstring file = feed.StateFile();
    const std::string good = ReadFileBytes(file);
    ASSERT_FALSE(good.empty());
    const std::wstring beside =
        std::wstring(folder.begin(), folder.end()) + AsWide(ItemStateFileName(AsU16(feed.server.Url())));
    auto startDamaged = [&](const char* szWhat) {
        DeleteFileW(beside.c_str());
        feed.lItems = feed.lItems + 1;
        ResetHost();
        size_t nBefore = feed.server.Requests().size();
        StartAll();
        EXPECT_EQ(feed.Conditions().at(nBefore), "") << szWhat;
        EXPECT_EQ(icons[0]->items.GetCount(), static_cast<unsigned int>(feed.lItems)) << szWhat;
        EXPECT_EQ(HostSnapshot().attention, 0) << szWhat;
        EXPECT_EQ(Marked(icons[0]), 0u) << szWhat;
        EXPECT_TRUE(CapturedMessages().empty()) << szWhat;
        StopAll();
    };
    {
        std::ofstream(std::string(file.begin(), file.end()), std::ios::binary) << good.substr(0, good.size() / 2);
        startDamaged("cut in half");
    }
    {
        // Held by another program that lets nobody read it.
        qm::UniqueFileHandle hHeld(CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(hHeld);
        startDamaged("no permission to read");
    }
    {
        // A folder where the file should be: nothing is read, and the state goes next
        // to the settings file instead, where the next start finds it.
        ASSERT_TRUE(DeleteFileW(file.c_str()));
        ASSERT_TRUE(CreateDirectoryW(file.c_str(), nullptr));
        startDamaged("a folder");
        EXPECT_FALSE(ReadFileBytes(beside).empty());
        feed.lItems = feed.lItems + 2;
        StartAll();
        EXPECT_EQ(Marked(icons[0]), 2u);
    }
}
