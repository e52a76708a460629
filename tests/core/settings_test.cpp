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
    std::wstring File() const { return Wide(ini); }
    void Load(const wchar_t* section = L"Q") { LoadSettings(pData, File().c_str(), section); }
    bool Save(const wchar_t* section = L"Q2") { return SaveSettings(pData, File().c_str(), section); }
    static std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }
};

// A file of the test sources, as Wine sees the build machine's files.
std::string SourceFile(const char* szRelative) {
    std::string path = std::string("Z:") + __FILE__;
    path.erase(path.find_last_of("/\\") + 1);
    path += szRelative;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

}  // namespace

// Whatever the record held before, every way of having no settings gives the same
// defaults: a section missing from the file, no file named, a file that is not there,
// an empty section. A field the load forgets keeps the junk written into it first.
TEST_F(SettingsTest, NoSettingsGiveTheDefaults) {
    Write("[Other]\r\nTitle=x\r\n[Q]\r\n");
    const std::wstring missingFile = Wide(folder + "none.ini");
    struct Source {
        const char* szWhat;
        const wchar_t* szFile;
        const wchar_t* szSection;
    };
    const Source sources[] = {{"missing section", File().c_str(), L"NoSuchSection"},
                              {"no file", nullptr, L"Q"},
                              {"missing file", missingFile.c_str(), L"Q"},
                              {"empty section", File().c_str(), L"Q"}};
    for (const Source& source : sources) {
        ResetHost();
        wcscpy(pData->szTitle, L"junk");
        wcscpy(pData->szFontName, L"junk");
        wcscpy(pData->szBackgroundImage, L"junk");
        pData->iFontSize = pData->iPosX = pData->iWidth = pData->iHeight = pData->bSavePos = 99;
        pData->iDockletInfo = pData->iLabelInfo = pData->iItemAction = 99;
        pData->crFontColor = 0x123456;
        pData->bFontAlpha = pData->bBackgroundAlpha = 7;
        pData->bFramedBackground = pData->bRoundedCorners = 7;
        pData->iCurrentProfile = 5;
        LoadSettings(pData, source.szFile, source.szSection);
        auto n = [](long long v) { return std::to_wstring(v); };
        struct Field {
            const char* szName;
            std::wstring value;
            const wchar_t* szDefault;
        };
        const Field fields[] = {
            {"title", pData->szTitle, L"Quillmere"},
            {"images folder", pData->szImagesFolder, L"icons"},
            {"background", pData->szBackgroundImage, L"background.png"},
            {"menu icon", pData->szMenuIcon, L"menu.png"},
            {"font", pData->szFontName, L"Tahoma"},
            {"icon, label info", n(pData->iDockletInfo) + L" " + n(pData->iLabelInfo), L"4 16"},
            {"font size, colour, alpha",
             n(pData->iFontSize) + L" " + n(pData->crFontColor) + L" " + n(pData->bFontAlpha), L"11 16777215 255"},
            {"background alpha, framed, rounded",
             n(pData->bBackgroundAlpha) + L" " + n(pData->bFramedBackground) + L" " + n(pData->bRoundedCorners),
             L"100 1 1"},
            {"viewer x, w, h, saved",
             n(pData->iPosX) + L" " + n(pData->iWidth) + L" " + n(pData->iHeight) + L" " + n(pData->bSavePos),
             L"-1 450 300 0"},
            {"item action", n(pData->iItemAction), L"1"},
            {"refresh minutes", n(pData->iRefreshMinutes), L"60"},
            {"profiles, listed, current",
             n(pData->iProfileCount) + L" " + n(pData->profiles.GetCount()) + L" " + n(pData->iCurrentProfile),
             L"0 0 -1"},
        };
        for (const Field& f : fields) EXPECT_EQ(f.value, f.szDefault) << source.szWhat << ": " << f.szName;
        // Without a file the icon is named at once.
        if (!source.szFile) {
            EXPECT_EQ(HostSnapshot().label, "Quillmere");
        }
    }
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

    // A count above the limit loads the first MAX_PROFILES profiles.
    Write("[Q]\r\nProfiles=999999999\r\nCurrentProfile=5\r\nA9999-RssFeedTitle=Last\r\n");
    Load();
    EXPECT_EQ(pData->iProfileCount, static_cast<unsigned>(MAX_PROFILES));
    ASSERT_EQ(pData->profiles.GetCount(), static_cast<unsigned>(MAX_PROFILES));
    EXPECT_STREQ(pData->profiles.GetAt(MAX_PROFILES - 1)->szTitle, L"Last");
    EXPECT_EQ(pData->iCurrentProfile, 5);

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

TEST_F(SettingsTest, SaveRoundTripsAndDeletedProfilesKeysGo) {
    Write("[Q]\r\nTitle=My feeds\r\nDFontColor=255\r\nDFontAlpha=12\r\nItemAction=4\r\nApplication=C:\\x.exe\r\n"
          "Profiles=2\r\nCurrentProfile=1\r\nA0-RssFeedURL=http://a/\r\nA1-RssFeedURL=http://b/\r\n"
          "A1-RssFeedTitle=B\r\n");
    Load();
    ASSERT_TRUE(Save());
    EXPECT_EQ(Read("Title", "Q2"), "My feeds");
    EXPECT_EQ(Read("DFontColor", "Q2"), "255");
    EXPECT_EQ(Read("DFontAlpha", "Q2"), "12");
    EXPECT_EQ(Read("DRodundedCorners", "Q2"), "1");
    EXPECT_EQ(Read("Application", "Q2"), "C:\\x.exe");
    EXPECT_EQ(Read("A1-RssFeedTitle", "Q2"), "B");
    EXPECT_EQ(Read("A0-IconMenu", "Q2"), "menu.png");

    // Delete the first profile and save again: the count falls and the keys of the
    // profile beyond it go.
    FreeProfile(pData->profiles.GetAt(0));
    pData->profiles.RemoveAt(0);
    pData->iProfileCount = 1;
    pData->iCurrentProfile = 0;
    ASSERT_TRUE(Save());
    EXPECT_EQ(Read("Profiles", "Q2"), "1");
    EXPECT_EQ(Read("A0-RssFeedURL", "Q2"), "http://b/");
    EXPECT_EQ(Read("A1-RssFeedURL", "Q2"), "<missing>");
    EXPECT_EQ(Read("A1-RssFeedTitle", "Q2"), "<missing>");
    Load(L"Q2");
    ASSERT_EQ(pData->iProfileCount, 1u);
    EXPECT_STREQ(pData->profiles.GetAt(0)->szTitle, L"B");
    EXPECT_EQ(pData->bFontAlpha, 12);
    EXPECT_EQ(pData->iItemAction, 4u);
}

TEST_F(SettingsTest, HeadlineKeysAreClampedAndRoundTrip) {
    // Out of range, past the range of int, not a number, a flag other than 1; then missing.
    Write("[Q]\r\nCycleItems=1\r\nCycleSeconds=99999999999\r\nCycleCount=-4\r\nNotifyNew=2\r\n"
          "RefreshMinutes=1\r\n[R]\r\nCycleSeconds=soon\r\nRefreshMinutes=99999999999\r\n");
    Load();
    EXPECT_EQ(std::vector<int>({pData->bCycleItems, pData->iCycleSeconds, pData->iCycleCount, pData->bNotifyNew,
                                pData->iRefreshMinutes}),
              std::vector<int>({1, 3600, 1, 0, 5}));
    ASSERT_TRUE(Save());
    EXPECT_EQ(Read("CycleItems", "Q2") + " " + Read("CycleSeconds", "Q2") + " " + Read("CycleCount", "Q2") + " " +
                  Read("NotifyNew", "Q2") + " " + Read("RefreshMinutes", "Q2"),
              "1 3600 1 0 5");
    Load(L"R");
    EXPECT_EQ(std::vector<int>({pData->bCycleItems, pData->iCycleSeconds, pData->iCycleCount, pData->bNotifyNew,
                                pData->iRefreshMinutes}),
              std::vector<int>({0, 3, 10, 1, 1440}));
    // Missing, as in every file written before the setting: hourly, as it always was.
    Load(L"NoSuchSection");
    EXPECT_EQ(pData->iRefreshMinutes, 60);
}

// A dock's settings file that the docklet wrote before it kept the section itself: the
// dock's sections around it, keys of the dock inside it, and the keys of a deleted
// profile left behind.
TEST_F(SettingsTest, AFileWrittenBeforeLoadsAsItDidAndSavesWithOnlyTheLeftoversGone) {
    const std::string original = ReadFileBytes(Wide(SourceFile("data\\legacy_dock.ini")));
    ASSERT_FALSE(original.empty());
    Write(original.c_str());
    Load(L"Docklet1");
    EXPECT_STREQ(pData->szTitle, L"My News = \"today\"");
    EXPECT_STREQ(pData->szImagesFolder, L"icons");
    EXPECT_STREQ(pData->szBackgroundImage, L"C:\\dock\\Docklets\\Quillmere\\icons\\background.png");
    EXPECT_STREQ(pData->szMenuIcon, L"C:\\dock\\Docklets\\Quillmere\\icons\\menu.png");
    EXPECT_STREQ(pData->szFontName, L"Verdana");
    EXPECT_STREQ(pData->szApplication, L"C:\\Program Files\\Reader\\reader.exe");
    EXPECT_EQ(std::vector<long long>({pData->iDockletInfo, pData->iLabelInfo, pData->iFontSize, pData->crFontColor,
                                      pData->bFontAlpha, pData->crBackgroundColor, pData->bBackgroundAlpha,
                                      pData->bFramedBackground, pData->bRoundedCorners, pData->iPosX, pData->iPosY,
                                      pData->iWidth, pData->iHeight, pData->iItemAction, pData->bSavePos,
                                      pData->bCycleItems, pData->iCycleSeconds, pData->iCycleCount,
                                      pData->bNotifyNew, pData->iRefreshMinutes, pData->iProfileCount,
                                      pData->iCurrentProfile}),
              std::vector<long long>({5, 2, 13, 0xC0FFEE, 200, 0x102030, 77, 0, 1, 120, -5, 640, 480, 4, 1, 1, 12, 5,
                                      0, 30, 3, 2}));
    ASSERT_EQ(pData->profiles.GetCount(), 3u);
    const wchar_t* titles[] = {L"Alpha News", L"", L"Delta; with semicolon"};
    const wchar_t* urls[] = {L"http://alpha.example/rss.xml", L"http://gamma.example/feed", L"http://delta.example/"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_STREQ(pData->profiles.GetAt(i)->szTitle, titles[i]);
        EXPECT_STREQ(pData->profiles.GetAt(i)->szURL, urls[i]);
    }
    EXPECT_STREQ(pData->profiles.GetAt(2)->szBackgroundImage, L"background.png");

    // Saved unchanged: the file is the same but for the deleted profile's keys.
    ASSERT_TRUE(Save(L"Docklet1"));
    std::string expected = original;
    size_t from = expected.find("A3-RssFeedURL"), to = expected.find("Effect=2");
    ASSERT_LT(from, to);
    expected.erase(from, to - from);
    EXPECT_EQ(ReadFileBytes(File()), expected);
}

// The section is read once and its keys looked up as the platform's profile functions
// read them: the test compares every value with what they give for the same file.
TEST_F(SettingsTest, KeysReadAsTheProfileFunctionsReadThem) {
    Write((std::string("[Q\r\nTitle=not a section\r\n[q]\r\n; Title=comment\r\n\r\n  title  =  \"  Quoted  \"  \r\n"
          "Title=second\r\nDFontName='Single'\r\nApplication=\"half\r\nDFontSize\r\nDFontSize=9\r\n"
          "dfontcolor=\t255 \r\nPosX=\"12\"\r\nPosY=7x\rWidth=33\r\nProfiles=2\r\nA0-RssFeedURL=http://a/?x=\"1\"\r\n"
          "A0-RSSFEEDTITLE= ;not a comment\r\nA1-RssFeedTitle=" + std::string(600, 't') + "\r\n"
          "[Q]\r\nHeight=5\r\n")).c_str());
    Load();
    auto platform = [&](const wchar_t* key, const wchar_t* def, DWORD cchLimit) {
        std::vector<wchar_t> sz(cchLimit + 1);
        GetPrivateProfileStringW(L"Q", key, def, sz.data(), cchLimit + 1, File().c_str());
        return std::wstring(sz.data());
    };
    EXPECT_EQ(pData->szTitle, platform(L"Title", L"Quillmere", 259));
    EXPECT_EQ(pData->szFontName, platform(L"DFontName", L"Tahoma", 31));
    EXPECT_EQ(pData->szApplication, platform(L"Application", L"", 259));
    const _PROFILE_DATA* p0 = pData->profiles.GetAt(0);
    const _PROFILE_DATA* p1 = pData->profiles.GetAt(1);
    EXPECT_EQ(p0->szURL, platform(L"A0-RssFeedURL", L"", 2047));
    EXPECT_EQ(p0->szTitle, platform(L"A0-RssFeedTitle", L"", 499));
    EXPECT_EQ(p1->szTitle, platform(L"A1-RssFeedTitle", L"", 499));
    EXPECT_EQ(p1->szMenuIcon, platform(L"A1-IconMenu", L"menu.png", 259));
    auto number = [&](const wchar_t* key, const wchar_t* def) { return _wtoi(platform(key, def, 19).c_str()); };
    EXPECT_EQ(std::vector<int>({pData->iFontSize, static_cast<int>(pData->crFontColor), pData->iPosX, pData->iPosY,
                                pData->iWidth, pData->iHeight}),
              std::vector<int>({number(L"DFontSize", L"11"), number(L"DFontColor", L"16777215"),
                                number(L"PosX", L"-1"), number(L"PosY", L"-1"), number(L"Width", L"450"),
                                number(L"Height", L"300")}));
    // What that is, spelt out.
    EXPECT_STREQ(pData->szTitle, L"  Quoted  ");
    EXPECT_STREQ(pData->szFontName, L"Single");
    EXPECT_EQ(pData->iFontSize, 11);
    EXPECT_EQ(pData->iWidth, 33);
    EXPECT_EQ(pData->iHeight, 300);
}

// Only the docklet's section changes, in one write: other sections stay byte for byte,
// whatever their layout; the dock's keys in the section stay; the file keeps its
// encoding, and text the code page cannot hold survives in a Unicode file.
TEST_F(SettingsTest, SaveChangesOnlyTheDockletsKeysAndKeepsTheEncoding) {
    const std::string before = "; the dock's settings\nLoose = line\n[General]\n  Version = 1.9 \n\n;c\n";
    const std::string after = "[Other]\r\n Title=x\r\nA0-RssFeedURL = other's\r\n\r\n";
    Write((before + "[Q]\r\nDockKey = kept \r\nTitle=Old\r\n; note\r\nA5-IconMenu=gone\r\nA05-IconMenu=kept\r\n" +
           after).c_str());
    Load();
    CopyText(pData->szTitle, 500, L"New\r\n[Injected]\r\nKey=1");
    ASSERT_TRUE(Save(L"Q"));
    std::string bytes = ReadFileBytes(File());
    EXPECT_EQ(bytes.substr(0, before.size()), before);
    EXPECT_EQ(bytes.substr(bytes.size() - after.size()), after);
    std::string section = bytes.substr(before.size(), bytes.size() - before.size() - after.size());
    EXPECT_EQ(section.find("[Q]\r\nDockKey = kept \r\nTitle=New  [Injected]  Key=1\r\nImagesFolder=icons\r\n"), 0u)
        << section;
    EXPECT_NE(section.find("NotifyNew=1\r\nRefreshMinutes=60\r\nProfiles=0\r\nCurrentProfile=-1\r\n; note\r\n"
                           "A05-IconMenu=kept\r\n"),
              std::string::npos)
        << section;
    EXPECT_EQ(section.find("A5-"), std::string::npos);

    // UTF-16 with a byte-order mark, the section last and without a line break at the
    // end; then UTF-8 with a mark.
    const std::wstring title = L"Caf\u00E9 \u65E5\u672C";
    std::wstring wide = L"\uFEFF[Other]\r\nK=\u00E9\r\n[Q]\r\nTitle=x";
    Write("");
    {
        FILE* f = _wfopen(File().c_str(), L"wb");
        fwrite(wide.data(), sizeof(wchar_t), wide.size(), f);
        fclose(f);
    }
    CopyText(pData->szTitle, 500, title.c_str());
    ASSERT_TRUE(Save(L"Q"));
    bytes = ReadFileBytes(File());
    const std::wstring head = L"\uFEFF[Other]\r\nK=\u00E9\r\n[Q]\r\nTitle=" + title + L"\r\n";
    ASSERT_GE(bytes.size(), head.size() * 2);
    EXPECT_EQ(bytes.compare(0, head.size() * 2, reinterpret_cast<const char*>(head.data()), head.size() * 2), 0);
    Load();
    EXPECT_EQ(pData->szTitle, title);

    Write("\xEF\xBB\xBF[Q]\r\nTitle=x\r\n");
    CopyText(pData->szTitle, 500, title.c_str());
    ASSERT_TRUE(Save(L"Q"));
    EXPECT_EQ(ReadFileBytes(File()).find("\xEF\xBB\xBF[Q]\r\nTitle=Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC\r\n"), 0u);
    Load();
    EXPECT_EQ(pData->szTitle, title);
}

TEST_F(SettingsTest, AFileThatCannotBeWrittenIsReportedAndLeftAsItWas) {
    Write("[Q]\r\nTitle=Old\r\n");
    SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_READONLY);
    DWORD dwError = 0;
    EXPECT_FALSE(SaveSettings(pData, File().c_str(), L"Q", &dwError));
    EXPECT_EQ(dwError, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadFileBytes(File()), "[Q]\r\nTitle=Old\r\n");
    EXPECT_FALSE(SaveSettings(pData, (Wide(folder) + L"no such folder\\dock.ini").c_str(), L"Q", &dwError));
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
