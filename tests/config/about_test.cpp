// The About box and the plain conversions behind the settings pages.
#include "config/fixture.h"

TEST_F(ConfigTest, AboutShowsNameAndEmblemAndOkReturnsZero) {
    INT_PTR iResult = -5;
    std::wstring name, caption;
    BITMAP bm = {};
    bool bSaved = false;
    ASSERT_TRUE(RunScript({[&] {
                               HWND h = FindDialog(L"About Quillmere v0.1.0.2b");
                               if (!h) return false;
                               name = ControlText(h, IDC_ABOUT_NAME);
                               auto hbm = reinterpret_cast<HBITMAP>(
                                   SendDlgItemMessageW(h, IDC_ABOUT_PICTURE, STM_GETIMAGE, IMAGE_BITMAP, 0));
                               if (hbm) GetObjectW(hbm, sizeof(bm), &bm);
                               return true;
                           },
                           SaveShot([] { return FindDialog(L"About Quillmere v0.1.0.2b"); }, L"about.png", &bSaved),
                           [&] {
                               PostClick(FindDialog(L"About Quillmere v0.1.0.2b"), IDOK);
                               return true;
                           }},
                          [&] { iResult = OnAbout(pLive); }));
    EXPECT_EQ(iResult, 0);
    EXPECT_EQ(name, L"Quillmere for Objectdock");
    EXPECT_EQ(bm.bmWidth, 96);
    EXPECT_EQ(bm.bmHeight, 96);
    EXPECT_TRUE(bSaved);
    EXPECT_EQ(OnAbout(nullptr), 0);
}

TEST_F(ConfigTest, AboutClosesWithEscapeToo) {
    INT_PTR iResult = -5;
    ASSERT_TRUE(RunScript({[&] {
                               HWND h = FindDialog(L"About Quillmere v0.1.0.2b");
                               if (!h) return false;
                               PostMessageW(h, WM_COMMAND, IDCANCEL, 0);
                               return true;
                           }},
                          [&] { iResult = OnAbout(pLive); }));
    EXPECT_EQ(iResult, 0);
}

TEST(ConfigConversions, OpacityPercentIsIntegerDivision) {
    EXPECT_EQ(OpacityPercent(255), 100);
    EXPECT_EQ(OpacityPercent(100), 39);
    EXPECT_EQ(OpacityPercent(0), 0);
    EXPECT_EQ(OpacityPercent(254), 99);
}

TEST(ConfigConversions, FontSizeTextIsAnUnsignedNumberOrEleven) {
    EXPECT_EQ(ParseFontSize(L"14"), 14);
    EXPECT_EQ(ParseFontSize(L""), 11);
    EXPECT_EQ(ParseFontSize(L"abc"), 11);
    EXPECT_EQ(ParseFontSize(L"100"), 100);
    EXPECT_EQ(ParseFontSize(L"-3"), 11);
    EXPECT_EQ(ParseFontSize(nullptr), 11);
    EXPECT_EQ(ParseFontSize(L"99999999999"), 0x7FFFFFFF);
}

TEST(ConfigConversions, InfoValueTakesTheFirstChoiceInStoringOrderPlusHide) {
    const bool titleAndItem[4] = {true, false, true, false};
    EXPECT_EQ(InfoValueFromChoices(titleAndItem, false), 2u);
    const bool profile[4] = {false, true, false, false};
    EXPECT_EQ(InfoValueFromChoices(profile, true), 17u);
    const bool none[4] = {false, false, false, false};
    EXPECT_EQ(InfoValueFromChoices(none, false), 0u);
    EXPECT_EQ(InfoValueFromChoices(none, true), 1u);
    EXPECT_EQ(ItemActionFromChoices(false, false, false), 0u);
    EXPECT_EQ(ItemActionFromChoices(false, true, true), 2u);
}

TEST(ConfigConversions, CurrentProfileStaysInRangeAfterADelete) {
    EXPECT_EQ(CurrentProfileAfterDelete(0, 0, 0), -1);   // the only one
    EXPECT_EQ(CurrentProfileAfterDelete(2, 2, 3), 0);    // the current one
    EXPECT_EQ(CurrentProfileAfterDelete(2, 0, 3), 1);    // one before it: the same profile stays current
    EXPECT_EQ(CurrentProfileAfterDelete(1, 2, 2), 1);    // one after it
    EXPECT_EQ(CurrentProfileAfterDelete(3, 0, 3), 2);    // the last one stays in range
    EXPECT_EQ(CurrentProfileAfterDelete(-1, 0, 2), -1);  // none current
    EXPECT_EQ(CurrentProfileAfterDelete(7, 1, 3), 2);    // an index out of range is pulled in
}

TEST_F(ConfigTest, BackupPathIsTheDockletFolderInTheHostRoot) {
    wchar_t sz[261];
    BuildBackupPath(hwnd, L"QuillmereProfiles.ini", sz, 261);
    EXPECT_EQ(std::wstring(sz), Wide(temp) + L"Docklets\\Quillmere\\QuillmereProfiles.ini");
}

TEST_F(ConfigTest, SheetReleasesOnlyRecordsNoListStillUses) {
    // Direct check of the bookkeeping: a record taken out and one made by the sheet go
    // when the sheet is cancelled; the live ones stay.
    _PROFILE_DATA* a = AddLiveProfile(L"A");
    SheetContext ctx;
    ctx.pLive = pLive;
    ctx.pWork = MakeWorkingCopy(pLive);
    ASSERT_NE(ctx.pWork, nullptr);
    EXPECT_EQ(ctx.pWork->profiles.GetAt(0), a);
    RetireProfile(&ctx, a);
    ctx.pWork->profiles.RemoveAll();
    _PROFILE_DATA* made = NewProfile();
    ctx.pWork->profiles.Add(made);
    ctx.pWork->profiles.Add(made);
    ReleaseSheetProfiles(&ctx, pLive->profiles);  // frees "made" once, keeps "a"
    EXPECT_EQ(ctx.retired.GetCount(), 0u);
    EXPECT_STREQ(a->szTitle, L"A");
    ctx.pWork->profiles.RemoveAll();
    ReleaseWorkingCopy(ctx.pWork);
}
