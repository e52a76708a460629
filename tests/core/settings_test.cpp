#include <gtest/gtest.h>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>
#include "core/record.h"
#include "app/instance.h"
#include "core/settings.h"
#include "support/testhost.h"

namespace {

struct SettingsTest : testing::Test {
    std::string folder = MakeTempFolder("settings");
    std::string ini = folder + "dock.ini";
    _DOCKLET_DATA* pData = NewDockletRecord();

    void SetUp() override { ResetHost(); }
    void TearDown() override {
        FreeProfiles(pData->profiles);
        ReleaseDocklet(pData);
    }
    void Write(const char* text) {
        FILE* f = fopen(ini.c_str(), "wb");
        fputs(text, f);
        fclose(f);
    }
    std::string Read(const char* key, const char* section = "Q") {
        char sz[4096];
        GetPrivateProfileStringA(section, key, "<missing>", sz, sizeof(sz), ini.c_str());
        return sz;
    }
    void Load(const char* section = "Q") { LoadSettings(pData, ini.c_str(), section); }
};

}  // namespace

TEST_F(SettingsTest, MissingSectionGivesDefaults) {
    Write("[Other]\r\nTitle=x\r\n");
    Load();
    EXPECT_STREQ(pData->szTitle, L"Quillmere");
    EXPECT_STREQ(pData->szImagesFolder, L"icons");
    EXPECT_STREQ(pData->szBackgroundImage, L"background.png");
    EXPECT_STREQ(pData->szMenuIcon, L"menu.png");
    EXPECT_EQ(pData->iDockletInfo, 4u);
    EXPECT_EQ(pData->iLabelInfo, 16u);
    EXPECT_STREQ(pData->szFontName, L"Tahoma");
    EXPECT_EQ(pData->iFontSize, 11);
    EXPECT_EQ(pData->crFontColor, 0xFFFFFFu);
    EXPECT_EQ(pData->bFontAlpha, 255);
    EXPECT_EQ(pData->bBackgroundAlpha, 100);
    EXPECT_EQ(pData->bFramedBackground, 1);
    EXPECT_EQ(pData->bRoundedCorners, 1);
    EXPECT_EQ(pData->iPosX, -1);
    EXPECT_EQ(pData->iWidth, 450);
    EXPECT_EQ(pData->iHeight, 300);
    EXPECT_EQ(pData->iItemAction, 1u);
    EXPECT_EQ(pData->bSavePos, 0);
    EXPECT_EQ(pData->iProfileCount, 0u);
    EXPECT_EQ(pData->profiles.GetCount(), 0u);
    EXPECT_EQ(pData->iCurrentProfile, -1);
}

TEST_F(SettingsTest, NullFileSetsDefaultsAndLabel) {
    pData->iFontSize = 99;
    LoadSettings(pData, nullptr, "Q");
    EXPECT_EQ(pData->iFontSize, 11);
    EXPECT_EQ(HostSnapshot().label, "Quillmere");
}

TEST_F(SettingsTest, ValuesFlagsAndMissingProfileKeys) {
    Write("[Q]\r\nDBackgroundFrame=2\r\nSavePos=1\r\nDFontAlpha=300\r\nDFontSize=  -7abc\r\nPosX=x12\r\n"
          "Profiles=2\r\nCurrentProfile=1\r\nA0-RssFeedURL=http://a/\r\nA0-RssFeedTitle=A\r\n");
    Load();
    EXPECT_EQ(pData->bFramedBackground, 0);
    EXPECT_EQ(pData->bSavePos, 1);
    EXPECT_EQ(pData->bFontAlpha, 44);
    EXPECT_EQ(pData->iFontSize, -7);
    EXPECT_EQ(pData->iPosX, 0);
    ASSERT_EQ(pData->iProfileCount, 2u);
    ASSERT_EQ(pData->profiles.GetCount(), 2u);
    EXPECT_EQ(pData->iCurrentProfile, 1);
    EXPECT_STREQ(pData->profiles.GetAt(0)->szURL, L"http://a/");
    EXPECT_STREQ(pData->profiles.GetAt(0)->szTitle, L"A");
    const _PROFILE_DATA* p1 = pData->profiles.GetAt(1);
    EXPECT_STREQ(p1->szURL, L"");
    EXPECT_STREQ(p1->szTitle, L"");
    EXPECT_STREQ(p1->szBackgroundImage, L"background.png");
    EXPECT_STREQ(p1->szMenuIcon, L"menu.png");
    EXPECT_EQ(p1->iFeedFormat, 0);
}

TEST_F(SettingsTest, DamagedCountsNeverReachTheList) {
    Write("[Q]\r\nProfiles=-3\r\nCurrentProfile=0\r\n");
    Load();
    EXPECT_EQ(pData->iProfileCount, 0u);
    EXPECT_EQ(pData->iCurrentProfile, -1);

    Write("[Q]\r\nProfiles=999999999\r\nCurrentProfile=5\r\n");
    Load();
    EXPECT_EQ(pData->iProfileCount, 0u);
    EXPECT_EQ(pData->profiles.GetCount(), 0u);
    EXPECT_EQ(pData->iCurrentProfile, -1);

    Write("[Q]\r\nProfiles=1\r\nCurrentProfile=1\r\n");
    Load();
    EXPECT_EQ(pData->iProfileCount, 1u);
    EXPECT_EQ(pData->iCurrentProfile, -1);
}

TEST_F(SettingsTest, LongTextIsCutToItsReadLimit) {
    std::string url(3000, 'u'), title(700, 't'), font(50, 'f');
    Write(("[Q]\r\nDFontName=" + font + "\r\nProfiles=1\r\nA0-RssFeedURL=" + url + "\r\nA0-RssFeedTitle=" + title +
           "\r\n").c_str());
    Load();
    EXPECT_EQ(wcslen(pData->szFontName), 31u);
    EXPECT_EQ(wcslen(pData->profiles.GetAt(0)->szURL), 2047u);
    EXPECT_EQ(wcslen(pData->profiles.GetAt(0)->szTitle), 499u);
}

TEST_F(SettingsTest, SaveRoundTripsAndDeletedProfileKeysStay) {
    Write("[Q]\r\nTitle=My feeds\r\nDFontColor=255\r\nDFontAlpha=12\r\nItemAction=4\r\nApplication=C:\\x.exe\r\n"
          "Profiles=2\r\nCurrentProfile=1\r\nA0-RssFeedURL=http://a/\r\nA1-RssFeedURL=http://b/\r\n"
          "A1-RssFeedTitle=B\r\n");
    Load();
    SaveSettings(pData, ini.c_str(), "Q2");
    EXPECT_EQ(Read("Title", "Q2"), "My feeds");
    EXPECT_EQ(Read("DFontColor", "Q2"), "255");
    EXPECT_EQ(Read("DFontAlpha", "Q2"), "12");
    EXPECT_EQ(Read("DRodundedCorners", "Q2"), "1");
    EXPECT_EQ(Read("Application", "Q2"), "C:\\x.exe");
    EXPECT_EQ(Read("A1-RssFeedTitle", "Q2"), "B");
    EXPECT_EQ(Read("A0-IconMenu", "Q2"), "menu.png");

    // Delete the first profile and save again: the count falls, old keys remain unread.
    FreeProfile(pData->profiles.GetAt(0));
    pData->profiles.RemoveAt(0);
    pData->iProfileCount = 1;
    pData->iCurrentProfile = 0;
    SaveSettings(pData, ini.c_str(), "Q2");
    EXPECT_EQ(Read("Profiles", "Q2"), "1");
    EXPECT_EQ(Read("A0-RssFeedURL", "Q2"), "http://b/");
    EXPECT_EQ(Read("A1-RssFeedURL", "Q2"), "http://b/");
    Load("Q2");
    ASSERT_EQ(pData->iProfileCount, 1u);
    EXPECT_STREQ(pData->profiles.GetAt(0)->szTitle, L"B");
    EXPECT_EQ(pData->bFontAlpha, 12);
    EXPECT_EQ(pData->iItemAction, 4u);
}

TEST_F(SettingsTest, HeadlineKeysAreClampedAndRoundTrip) {
    // Out of range, past the range of int, not a number, a flag other than 1; then missing.
    Write("[Q]\r\nCycleItems=1\r\nCycleSeconds=99999999999\r\nCycleCount=-4\r\nNotifyNew=2\r\n"
          "[R]\r\nCycleSeconds=soon\r\n");
    Load();
    EXPECT_EQ(std::vector<int>({pData->bCycleItems, pData->iCycleSeconds, pData->iCycleCount, pData->bNotifyNew}),
              std::vector<int>({1, 3600, 1, 0}));
    SaveSettings(pData, ini.c_str(), "Q2");
    EXPECT_EQ(Read("CycleItems", "Q2") + " " + Read("CycleSeconds", "Q2") + " " + Read("CycleCount", "Q2") + " " +
                  Read("NotifyNew", "Q2"),
              "1 3600 1 0");
    Load("R");
    EXPECT_EQ(std::vector<int>({pData->bCycleItems, pData->iCycleSeconds, pData->iCycleCount, pData->bNotifyNew}),
              std::vector<int>({0, 3, 10, 1}));
}

TEST(ResolveImagePath, DefaultNameGoesIntoTheImagesFolder) {
    SetHostFolders("C:\\dock\\", ".\\Docklets\\Quillmere\\");
    char szExe[MAX_PATH];
    GetModuleFileNameA(nullptr, szExe, MAX_PATH);
    std::string hostFolder = szExe;
    hostFolder.erase(hostFolder.find_last_of('\\') + 1);
    std::wstring hostW(hostFolder.begin(), hostFolder.end());

    wchar_t sz[270] = L"BACKGROUND.PNG";
    ResolveImagePath(sz, 270, L"background.png", L"icons", nullptr);
    EXPECT_EQ(std::wstring(sz), hostW + L"Docklets\\Quillmere\\icons\\BACKGROUND.PNG");

    wcscpy(sz, L".\\pics\\a.png");
    ResolveImagePath(sz, 270, L"background.png", L"icons", nullptr);
    EXPECT_EQ(std::wstring(sz), hostW + L"pics\\a.png");

    wcscpy(sz, L"C:\\full\\b.png");
    ResolveImagePath(sz, 270, L"background.png", L"icons", nullptr);
    EXPECT_STREQ(sz, L"C:\\full\\b.png");

    wcscpy(sz, L"other.png");
    ResolveImagePath(sz, 270, L"background.png", L"icons", nullptr);
    EXPECT_STREQ(sz, L"other.png");
}

TEST(ResolveImagePath, TooLongResultLeavesThePathAlone) {
    SetHostFolders("C:\\dock\\", ".\\Docklets\\Quillmere\\");
    std::wstring longName = L".\\" + std::wstring(250, L'x') + L".png";
    wchar_t sz[270];
    wcscpy(sz, longName.c_str());
    ResolveImagePath(sz, 270, L"background.png", L"icons", nullptr);
    EXPECT_EQ(std::wstring(sz), longName);
    std::wstring folder(260, L'f');
    wcscpy(sz, L"menu.png");
    ResolveImagePath(sz, 270, L"menu.png", folder.c_str(), nullptr);
    EXPECT_STREQ(sz, L"menu.png");
    SetHostFolders("C:\\dock\\", ".\\Docklets\\Quillmere\\");
}
