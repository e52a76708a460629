// The stand-in dock started, closed and started again over the same settings file, as a
// user's dock is: new items since the last run, the badge that counts them, and the
// period of the refresh timer it sets.
#include "support/httpserver.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <string>
#include "core/gdiplus.h"
#include "presentation/text.h"
#include "support/process.h"
#include "support/testhost.h"

namespace {

bool Has(const std::string& out, const std::string& what) {
    return out.find(what) != std::string::npos;
}

size_t Count(const std::string& out, const std::string& what) {
    size_t n = 0;
    for (size_t at = out.find(what); at != std::string::npos; at = out.find(what, at + 1)) ++n;
    return n;
}

// A pixel of a PNG the dock wrote; 0 when it cannot be read.
Gdiplus::ARGB PngPixel(const std::string& path, int x, int y) {
    std::wstring wide(path.begin(), path.end());
    qm::GdipBitmapPtr bitmap;
    if (qm::GdipCreateBitmapFromFile(wide.c_str(), bitmap.put()) != Gdiplus::Ok) return 0;
    Gdiplus::ARGB argb = 0;
    qm::GdipBitmapGetPixel(bitmap.get(), x, y, &argb);
    return argb;
}

void WriteIni(const std::string& path, const std::string& body) {
    FILE* f = fopen(path.c_str(), "wb");
    fputs(body.c_str(), f);
    fclose(f);
}

// A feed of lItems items, newest first, whose ETag names its length.
HttpResponse GrowingFeed(LONG lItems, const char* szChannelExtra = "") {
    HttpResponse r;
    r.eTag = "\"v" + std::to_string(lItems) + "\"";
    r.body = NewestFirstRss(lItems, szChannelExtra);
    return r;
}

}  // namespace

TEST(DockRestart, ItemsThatCameWhileTheDockWasClosedAreCountedOnTheIconUntilTheMenuOpens) {
    volatile LONG lItems = 5;
    HttpServer server([&](const HttpRequest&) { return GrowingFeed(lItems); });
    const std::string folder = MakeTempFolder("dockrestart"), ini = folder + "dock.ini";
    std::wstring url = server.Url();
    WriteIni(ini, "[Quillmere]\r\nProfiles=1\r\nCurrentProfile=0\r\nA0-RssFeedURL=" +
                      std::string(url.begin(), url.end()) + "\r\n");
    const std::string dock = "--ini \"" + ini + "\" --section Quillmere --log ";
    const Gdiplus::ARGB highlight = MakeArgb(GetSysColor(COLOR_HIGHLIGHT), 255);

    std::string out = RunDockhost(dock + "--until-refreshed --overlay \"" + folder + "first.png\"").out;
    EXPECT_EQ(Count(out, "DockletDoAttentionAnimation(0)"), 0u) << out;
    EXPECT_EQ(PngPixel(folder + "first.png", 160, 54), 0u);

    // Two items while the dock is closed; the next start notices them once.
    lItems = 7;
    size_t nBefore = server.Requests().size();
    // The icon as the dock shows it then is also kept for the README (docs/new-items.png).
    const std::string shots = TestExeFolder() + "shots\\";
    CreateDirectoryA(shots.c_str(), nullptr);
    out = RunDockhost(dock + "--until-refreshed --overlay \"" + folder + "second.png\" --icon \"" + shots +
                      "icon-new-items.png\"")
              .out;
    EXPECT_EQ(server.Requests().at(nBefore).Header("If-None-Match"), "\"v5\"");
    EXPECT_EQ(Count(out, "DockletDoAttentionAnimation(0)"), 1u) << out;
    EXPECT_EQ(PngPixel(folder + "second.png", 160, 54), highlight);

    // Still new after another restart, until the item menu has been open.
    out = RunDockhost(dock + "--left-click --menu").out;
    EXPECT_TRUE(Has(out, "menu: 100\t\xE2\x80\xA2 Item 6\t")) << out;
    EXPECT_TRUE(Has(out, "menu: 101\t\xE2\x80\xA2 Item 5\t")) << out;
    EXPECT_TRUE(Has(out, "menu: 102\tItem 4\t")) << out;
    EXPECT_EQ(Count(out, "DockletDoAttentionAnimation(0)"), 0u) << out;
    out = RunDockhost(dock + "--until-refreshed --overlay \"" + folder + "fourth.png\"").out;
    EXPECT_EQ(PngPixel(folder + "fourth.png", 160, 54), 0u);
    EXPECT_FALSE(Has(out, "message:")) << out;
}

// The refresh timer: the icon's "RefreshMinutes" until the feed has answered, then the
// longer period its <ttl> asks for.
TEST(DockRestart, TheTimerTakesTheReadersPeriodAndTheFeedsLongerOne) {
    HttpServer server([](const HttpRequest&) { return GrowingFeed(2, "<ttl>180</ttl>"); });
    const std::string folder = MakeTempFolder("docktimer"), ini = folder + "dock.ini";
    std::wstring url = server.Url();
    WriteIni(ini, "[Quillmere]\r\nRefreshMinutes=15\r\nProfiles=1\r\nCurrentProfile=0\r\nA0-RssFeedURL=" +
                      std::string(url.begin(), url.end()) + "\r\n");
    std::string out = RunDockhost("--ini \"" + ini + "\" --section Quillmere --until-refreshed --log").out;
    size_t at15 = out.find("SetTimer(0, 123240, 900000 ms)");
    size_t at180 = out.find("SetTimer(0, 123240, 10800000 ms)");
    EXPECT_NE(at15, std::string::npos) << out;
    EXPECT_NE(at180, std::string::npos) << out;
    EXPECT_LT(at15, at180) << out;
}
