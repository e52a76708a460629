// The settings sheet driven through comctl32's real property sheet: the hand-over on
// OK, Cancel, one sheet at a time, and the General, Icons and Font pages.
#include <windows.h>
#include <commctrl.h>
#include "config/fixture.h"

namespace {

void SetDistinctSettings(_DOCKLET_DATA* p) {
    CopyText(p->szTitle, 500, L"My Dock");
    p->iDockletInfo = INFO_ITEM_LINK;
    p->iLabelInfo = INFO_TITLE + INFO_HIDE;
    CopyText(p->szFontName, 32, L"Tahoma");
    p->iFontSize = 13;
    p->crFontColor = RGB(10, 20, 30);
    p->bFontAlpha = 200;
    p->crBackgroundColor = RGB(40, 50, 60);
    p->bBackgroundAlpha = 50;
    p->bFramedBackground = 1;
    p->bRoundedCorners = 0;
    CopyText(p->szBackgroundImage, 270, L"C:\\img\\dock-bg.png");
    CopyText(p->szMenuIcon, 270, L"C:\\img\\dock-menu.png");
    p->iItemAction = ITEM_ACTION_BROWSER;
    p->bSavePos = 1;
    CopyText(p->szApplication, 270, L"C:\\apps\\reader.exe");
}

BOOL CALLBACK CountSheets(HWND h, LPARAM l) {
    wchar_t sz[64];
    GetWindowTextW(h, sz, 64);
    if (IsWindowVisible(h) && wcscmp(sz, L"Configure Quillmere") == 0) ++*reinterpret_cast<int*>(l);
    return TRUE;
}

}  // namespace

TEST_F(ConfigTest, OkWithoutChangesCopiesEverythingBackAndShowsTheActiveProfile) {
    SetDistinctSettings(pLive);
    _PROFILE_DATA* a = AddLiveProfile(L"A");
    _PROFILE_DATA* b = AddLiveProfile(L"B");
    CopyText(b->szBackgroundImage, 270, L"C:\\img\\b-bg.png");
    pLive->iCurrentProfile = 1;
    bool bApplyVisible = true, bHelpVisible = true;
    LONG_PTR exStyle = -1;
    ASSERT_TRUE(Configure({WaitSheet(), Do([&] {
                               HWND hApply = GetDlgItem(hSheet, 0x3021);
                               bApplyVisible = hApply && IsWindowVisible(hApply);
                               HWND hHelp = GetDlgItem(hSheet, IDHELP);
                               bHelpVisible = hHelp && IsWindowVisible(hHelp);
                               exStyle = GetWindowLongPtrW(hSheet, GWL_EXSTYLE);
                           }),
                           PressSheet(PSBTN_OK), WaitDialogGone(L"Configure Quillmere")}));
    EXPECT_FALSE(bApplyVisible);
    EXPECT_FALSE(bHelpVisible);
    EXPECT_EQ(exStyle & WS_EX_CONTEXTHELP, 0);

    _DOCKLET_DATA* pExpected = NewDockletRecord();
    SetDistinctSettings(pExpected);
    EXPECT_STREQ(pLive->szTitle, pExpected->szTitle);
    EXPECT_EQ(pLive->iDockletInfo, pExpected->iDockletInfo);
    EXPECT_EQ(pLive->iLabelInfo, pExpected->iLabelInfo);
    EXPECT_STREQ(pLive->szFontName, L"Tahoma");
    EXPECT_EQ(pLive->iFontSize, 13);
    EXPECT_EQ(pLive->crFontColor, pExpected->crFontColor);
    EXPECT_EQ(pLive->bFontAlpha, 200);
    EXPECT_EQ(pLive->crBackgroundColor, pExpected->crBackgroundColor);
    EXPECT_EQ(pLive->bBackgroundAlpha, 50);
    EXPECT_EQ(pLive->bFramedBackground, 1);
    EXPECT_EQ(pLive->bRoundedCorners, 0);
    EXPECT_STREQ(pLive->szBackgroundImage, pExpected->szBackgroundImage);
    EXPECT_STREQ(pLive->szMenuIcon, pExpected->szMenuIcon);
    EXPECT_EQ(pLive->iItemAction, static_cast<unsigned>(ITEM_ACTION_BROWSER));
    EXPECT_EQ(pLive->bSavePos, 1);
    EXPECT_STREQ(pLive->szApplication, pExpected->szApplication);
    ReleaseDocklet(pExpected);
    ASSERT_EQ(pLive->iProfileCount, 2u);
    EXPECT_EQ(pLive->profiles.GetAt(0), a);
    EXPECT_EQ(pLive->profiles.GetAt(1), b);
    EXPECT_EQ(pLive->iCurrentProfile, 1);
    // The icon shows the active profile's picture again.
    auto calls = HostCalls("DockletSetImageFile");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].text, "C:\\img\\b-bg.png");
}

TEST_F(ConfigTest, CancelAfterEditingEveryPageLeavesTheLiveInstanceAlone) {
    SetDistinctSettings(pLive);
    _PROFILE_DATA* a = AddLiveProfile(L"A");
    _PROFILE_DATA* b = AddLiveProfile(L"B");
    pLive->iCurrentProfile = 1;
    ASSERT_TRUE(Configure({WaitSheet(), Do([&] {
                               SetDlgItemTextW(Page(0), IDC_LABEL, L"Changed");
                               Click(Page(0), IDC_LABEL_HIDE);
                               Click(Page(0), IDC_ACTION_VIEWER);
                           }),
                           Tab(1), Do([&] { Click(Page(1), IDC_BACKGROUND_RESET); }), Tab(2),
                           Do([&] {
                               SetDlgItemTextW(Page(2), IDC_FONT_SIZE, L"30");
                               Click(Page(2), IDC_ROUNDED);
                           }),
                           Tab(3), Do([&] {
                               SendDlgItemMessageW(Page(3), IDC_PROFILE_LIST, LB_SETCURSEL, 0, 0);
                               Click(Page(3), IDC_PROFILE_DELETE);
                               PostClick(Page(3), IDC_PROFILE_ADD);
                           }),
                           WaitEditor(), Do([&] {
                               SetDlgItemTextW(hEditor, IDC_EDITOR_URL, L"http://new.test/");
                               PostClick(hEditor, IDOK);
                           }),
                           WaitEditorGone(), Do([&] {
                               SendDlgItemMessageW(Page(3), IDC_PROFILE_LIST, LB_SETCURSEL, 0, 0);
                               Click(Page(3), IDC_PROFILE_UP);
                           }),
                           PressSheet(PSBTN_CANCEL), WaitDialogGone(L"Configure Quillmere")}));
    EXPECT_STREQ(pLive->szTitle, L"My Dock");
    EXPECT_EQ(pLive->iLabelInfo, static_cast<unsigned>(INFO_TITLE + INFO_HIDE));
    EXPECT_EQ(pLive->iItemAction, static_cast<unsigned>(ITEM_ACTION_BROWSER));
    EXPECT_STREQ(pLive->szBackgroundImage, L"C:\\img\\dock-bg.png");
    EXPECT_EQ(pLive->iFontSize, 13);
    EXPECT_EQ(pLive->bRoundedCorners, 0);
    // The deleted record is still the live instance's, untouched.
    ASSERT_EQ(pLive->iProfileCount, 2u);
    EXPECT_EQ(pLive->profiles.GetAt(0), a);
    EXPECT_EQ(pLive->profiles.GetAt(1), b);
    EXPECT_STREQ(a->szTitle, L"A");
    EXPECT_EQ(pLive->iCurrentProfile, 1);
    EXPECT_TRUE(HostCalls("DockletSetImageFile").empty());
}

TEST_F(ConfigTest, MenuPictureIsRebuiltOnlyWhenTheMenuIconChanged) {
    // Without a profile the docklet-wide images count; OK without a change keeps the
    // menu picture, a Reset of the menu icon rebuilds it.
    HBITMAP hKeep = CreateBitmap(16, 16, 1, 32, nullptr);
    pLive->hMenuBitmap.reset(hKeep);
    CopyText(pLive->szMenuIcon, 270, L"C:\\img\\old-menu.png");
    ASSERT_TRUE(Configure({WaitSheet(), PressSheet(PSBTN_OK), WaitDialogGone(L"Configure Quillmere")}));
    EXPECT_EQ(pLive->hMenuBitmap.get(), hKeep);
    ASSERT_TRUE(Configure({WaitSheet(), Tab(1), Do([&] { Click(Page(1), IDC_MENU_RESET); }), PressSheet(PSBTN_OK),
                           WaitDialogGone(L"Configure Quillmere")}));
    // The picture was replaced (the stand-in renderer gives none).
    EXPECT_NE(pLive->hMenuBitmap.get(), hKeep);
    EXPECT_NE(std::wstring(pLive->szMenuIcon).find(L"Docklets\\Quillmere\\icons\\menu.png"), std::wstring::npos);
    EXPECT_EQ(GetObjectType(hKeep), 0u) << "the old picture is deleted";
}

TEST_F(ConfigTest, WithAnActiveProfileTheDockletImagesAreStoredButTheProfileShows) {
    _PROFILE_DATA* a = AddLiveProfile(L"A");
    CopyText(a->szBackgroundImage, 270, L"C:\\img\\a-bg.png");
    ASSERT_TRUE(Configure({WaitSheet(), Tab(1), Do([&] { Click(Page(1), IDC_BACKGROUND_RESET); }),
                           PressSheet(PSBTN_OK), WaitDialogGone(L"Configure Quillmere")}));
    EXPECT_NE(std::wstring(pLive->szBackgroundImage).find(L"icons\\background.png"), std::wstring::npos);
    auto calls = HostCalls("DockletSetImageFile");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].text, "C:\\img\\a-bg.png");
}

TEST_F(ConfigTest, OnlyOneSheetIsOpenAtATime) {
    _DOCKLET_DATA* pOther = NewDockletRecord();
    pOther->hwndDocklet = hwnd;
    pOther->hInstance = GetModuleHandleW(nullptr);
    LoadSettings(pOther, nullptr, nullptr);
    int iSheets = 0;
    bool bReturned = false;
    ASSERT_TRUE(Configure({WaitSheet(), Do([&] {
                               OnConfigure(pOther);  // returns at once: the open sheet keeps the page state
                               bReturned = true;
                               EnumThreadWindows(GetCurrentThreadId(), CountSheets,
                                                 reinterpret_cast<LPARAM>(&iSheets));
                           }),
                           Do([&] { SetDlgItemTextW(Page(0), IDC_LABEL, L"First"); }), PressSheet(PSBTN_OK),
                           WaitDialogGone(L"Configure Quillmere")}));
    EXPECT_TRUE(bReturned);
    EXPECT_EQ(iSheets, 1);
    EXPECT_STREQ(pLive->szTitle, L"First");
    EXPECT_STREQ(pOther->szTitle, L"Quillmere");
    ReleaseDocklet(pOther);
    // Once closed, a sheet opens again.
    ASSERT_TRUE(Configure({WaitSheet(), PressSheet(PSBTN_CANCEL), WaitDialogGone(L"Configure Quillmere")}));
}

TEST_F(ConfigTest, GeneralPageLoadsBitsAndStoresOneValuePerSet) {
    pLive->iDockletInfo = INFO_TITLE | INFO_ITEM_TITLE;  // 6
    pLive->iLabelInfo = INFO_PROFILE_TITLE;
    pLive->iItemAction = 0;
    bool bBoth = false, bNoAction = false, bAllEnabled = false, bGreyed = false, bKeptChecked = false,
         bBrowserGreys = false;
    ASSERT_TRUE(Configure({WaitSheet(), Do([&] {
                               HWND h = Page(0);
                               bBoth = IsChecked(h, IDC_INFO_TITLE) && IsChecked(h, IDC_INFO_ITEM_TITLE) &&
                                       !IsChecked(h, IDC_INFO_PROFILE);
                               bNoAction = !IsChecked(h, IDC_ACTION_VIEWER) && !IsChecked(h, IDC_ACTION_BROWSER) &&
                                           !IsChecked(h, IDC_ACTION_APPLICATION);
                               bAllEnabled = IsEnabled(h, IDC_SAVE_POS) && IsEnabled(h, IDC_APPLICATION) &&
                                             IsEnabled(h, IDC_APPLICATION_BROWSE);
                               Click(h, IDC_LABEL_HIDE);
                               bGreyed = !IsEnabled(h, IDC_LABEL_TITLE) && !IsEnabled(h, IDC_LABEL_PROFILE) &&
                                         !IsEnabled(h, IDC_LABEL_ITEM_TITLE) && !IsEnabled(h, IDC_LABEL_ITEM_LINK);
                               bKeptChecked = IsChecked(h, IDC_LABEL_PROFILE);
                               Click(h, IDC_ACTION_BROWSER);
                               bBrowserGreys = !IsEnabled(h, IDC_SAVE_POS) && !IsEnabled(h, IDC_APPLICATION) &&
                                               !IsEnabled(h, IDC_APPLICATION_BROWSE);
                           }),
                           PressSheet(PSBTN_OK), WaitDialogGone(L"Configure Quillmere")}));
    EXPECT_TRUE(bBoth);
    EXPECT_TRUE(bNoAction);
    EXPECT_TRUE(bAllEnabled);
    EXPECT_TRUE(bGreyed);
    EXPECT_TRUE(bKeptChecked);
    EXPECT_TRUE(bBrowserGreys);
    EXPECT_EQ(pLive->iDockletInfo, static_cast<unsigned>(INFO_TITLE));
    EXPECT_EQ(pLive->iLabelInfo, static_cast<unsigned>(INFO_PROFILE_TITLE + INFO_HIDE));
    EXPECT_EQ(pLive->iItemAction, static_cast<unsigned>(ITEM_ACTION_BROWSER));
}

TEST_F(ConfigTest, GeneralPageActionZeroStoresZeroAndViewerStateFollowsClicks) {
    pLive->iItemAction = ITEM_ACTION_APPLICATION;
    pLive->bSavePos = 1;
    bool bLoadedState = false, bViewerState = false;
    ASSERT_TRUE(Configure({WaitSheet(), Do([&] {
                               HWND h = Page(0);
                               bLoadedState = !IsEnabled(h, IDC_SAVE_POS) && IsEnabled(h, IDC_APPLICATION) &&
                                              IsChecked(h, IDC_SAVE_POS);
                               Click(h, IDC_ACTION_VIEWER);
                               bViewerState = IsEnabled(h, IDC_SAVE_POS) && !IsEnabled(h, IDC_APPLICATION) &&
                                              !IsEnabled(h, IDC_APPLICATION_BROWSE);
                               Click(h, IDC_SAVE_POS);
                           }),
                           PressSheet(PSBTN_OK), WaitDialogGone(L"Configure Quillmere")}));
    EXPECT_TRUE(bLoadedState);
    EXPECT_TRUE(bViewerState);
    EXPECT_EQ(pLive->iItemAction, static_cast<unsigned>(ITEM_ACTION_VIEWER));
    EXPECT_EQ(pLive->bSavePos, 0);
}

TEST_F(ConfigTest, ApplicationBrowseTakesTheChosenProgramAndCancelChangesNothing) {
    pLive->iItemAction = ITEM_ACTION_APPLICATION;
    CopyText(pLive->szApplication, 270, L"C:\\apps\\old.exe");
    char szExe[MAX_PATH];
    GetModuleFileNameA(nullptr, szExe, MAX_PATH);
    std::wstring exe = Wide(szExe);
    std::wstring afterCancel;
    ASSERT_TRUE(Configure(
        {WaitSheet(), Do([&] { PostClick(Page(0), IDC_APPLICATION_BROWSE); }),
         [&] {
             HWND h = TopDialog();
             if (!h || h == hSheet) return false;
             PostMessageW(h, WM_COMMAND, IDCANCEL, 0);
             return true;
         },
         [&] { return TopDialog() == hSheet; }, Do([&] { afterCancel = ControlText(Page(0), IDC_APPLICATION); }),
         Do([&] { PostClick(Page(0), IDC_APPLICATION_BROWSE); }),
         [&] {
             HWND h = TopDialog();
             if (!h || h == hSheet) return false;
             AnswerFileDialog(h, exe);
             return true;
         },
         [&] { return TopDialog() == hSheet; }, PressSheet(PSBTN_OK), WaitDialogGone(L"Configure Quillmere")}));
    EXPECT_EQ(afterCancel, L"C:\\apps\\old.exe");
    EXPECT_EQ(_wcsicmp(pLive->szApplication, exe.c_str()), 0) << pLive->szApplication;
}

TEST_F(ConfigTest, IconsPageResetResolvesTheDefaultAndBrowseCancelChangesNothing) {
    CopyText(pLive->szBackgroundImage, 270, L"C:\\img\\mine.png");
    CopyText(pLive->szMenuIcon, 270, L"C:\\img\\menu-mine.png");
    std::wstring afterCancel, afterReset, root;
    ASSERT_TRUE(Configure({WaitSheet(), Tab(1), Do([&] {
                               SetHostBrowseResult("");
                               Click(Page(1), IDC_BACKGROUND_BROWSE);
                               afterCancel = ControlText(Page(1), IDC_BACKGROUND_PATH);
                               auto calls = HostCalls("DockletBrowseForImage");
                               if (!calls.empty()) root = Wide(calls.back().text);
                               Click(Page(1), IDC_BACKGROUND_RESET);
                               afterReset = ControlText(Page(1), IDC_BACKGROUND_PATH);
                               SetHostBrowseResult("C:\\img\\chosen.png");
                               Click(Page(1), IDC_MENU_BROWSE);
                           }),
                           PressSheet(PSBTN_OK), WaitDialogGone(L"Configure Quillmere")}));
    EXPECT_EQ(afterCancel, L"C:\\img\\mine.png");
    EXPECT_EQ(root, L".\\Docklets\\Quillmere\\icons\\");
    EXPECT_EQ(afterReset, Wide(TestExeFolder()) + L"Docklets\\Quillmere\\icons\\background.png");
    EXPECT_EQ(std::wstring(pLive->szBackgroundImage), afterReset);
    EXPECT_STREQ(pLive->szMenuIcon, L"C:\\img\\chosen.png");
}

TEST_F(ConfigTest, FontPageShowsOpacityAndStoresItsControls) {
    std::wstring textAlpha, boxAlpha, boxAfterDrag, face;
    int iTahomas = 0;
    bool bSample = false;
    ASSERT_TRUE(Configure({WaitSheet(), Tab(2), Do([&] {
                               HWND h = Page(2);
                               textAlpha = ControlText(h, IDC_FONT_ALPHA_TEXT);
                               boxAlpha = ControlText(h, IDC_BOX_ALPHA_TEXT);
                               HWND hCombo = GetDlgItem(h, IDC_FONT_FACE);
                               wchar_t sz[64] = {};
                               LRESULT i = SendMessageW(hCombo, CB_GETCURSEL, 0, 0);
                               if (i != CB_ERR) SendMessageW(hCombo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(sz));
                               face = sz;
                               for (LRESULT k = 0; k < SendMessageW(hCombo, CB_GETCOUNT, 0, 0); ++k) {
                                   SendMessageW(hCombo, CB_GETLBTEXT, k, reinterpret_cast<LPARAM>(sz));
                                   if (_wcsicmp(sz, L"Tahoma") == 0) ++iTahomas;
                               }
                               bSample = SendDlgItemMessageW(h, IDC_SAMPLE, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0;
                               HWND hTrack = GetDlgItem(h, IDC_BOX_ALPHA);
                               SendMessageW(hTrack, TBM_SETPOS, TRUE, 0);
                               SendMessageW(h, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, 0),
                                            reinterpret_cast<LPARAM>(hTrack));
                               boxAfterDrag = ControlText(h, IDC_BOX_ALPHA_TEXT);
                               SetDlgItemTextW(h, IDC_FONT_SIZE, L"");
                               Click(h, IDC_FRAMED);
                           }),
                           PressSheet(PSBTN_OK), WaitDialogGone(L"Configure Quillmere")}));
    EXPECT_EQ(textAlpha, L"100%");
    EXPECT_EQ(boxAlpha, L"39%");
    EXPECT_EQ(boxAfterDrag, L"0%");
    EXPECT_EQ(face, L"Tahoma");
    EXPECT_EQ(iTahomas, 1);
    EXPECT_TRUE(bSample);
    EXPECT_EQ(pLive->iFontSize, 11);
    EXPECT_EQ(pLive->bBackgroundAlpha, 0);
    EXPECT_EQ(pLive->bFontAlpha, 255);
    EXPECT_EQ(pLive->bFramedBackground, 0);
    EXPECT_STREQ(pLive->szFontName, L"Tahoma");
}

TEST_F(ConfigTest, FontPageColourDialogCancelKeepsTheColour) {
    pLive->crFontColor = RGB(1, 2, 3);
    bool bSheetDisabled = false;
    ASSERT_TRUE(Configure({WaitSheet(), Tab(2), Do([&] { PostClick(Page(2), IDC_FONT_COLOR); }),
                           [&] {
                               HWND h = TopDialog();
                               if (!h || h == hSheet) return false;
                               // Owned by the page: the sheet cannot be closed under it.
                               bSheetDisabled = !IsWindowEnabled(hSheet);
                               PostMessageW(h, WM_COMMAND, IDCANCEL, 0);
                               return true;
                           },
                           [&] { return TopDialog() == hSheet; }, PressSheet(PSBTN_OK),
                           WaitDialogGone(L"Configure Quillmere")}));
    EXPECT_TRUE(bSheetDisabled);
    EXPECT_EQ(pLive->crFontColor, RGB(1, 2, 3));
}

TEST_F(ConfigTest, HeadlinesPageEnablesTheCycleFieldsWithItsBoxAndClampsWhatIsTyped) {
    pLive->iCycleSeconds = 20;
    std::vector<bool> seen;
    ASSERT_TRUE(Configure({WaitSheet(), Tab(4), Do([&] {
                               HWND h = Page(4);
                               seen = {ControlText(h, IDC_CYCLE_SECONDS) == L"20", IsChecked(h, IDC_NOTIFY_NEW),
                                       !IsEnabled(h, IDC_CYCLE_SECONDS) && !IsEnabled(h, IDC_CYCLE_COUNT_SPIN)};
                               Click(h, IDC_CYCLE_ITEMS);
                               seen.push_back(IsEnabled(h, IDC_CYCLE_SECONDS) && IsEnabled(h, IDC_CYCLE_COUNT_SPIN));
                               SetDlgItemTextW(h, IDC_CYCLE_SECONDS, L"1");
                               SetDlgItemTextW(h, IDC_CYCLE_COUNT, L"5000");
                               Click(h, IDC_NOTIFY_NEW);
                           }),
                           PressSheet(PSBTN_OK), WaitDialogGone(L"Configure Quillmere")}));
    EXPECT_EQ(seen, std::vector<bool>(4, true));
    EXPECT_EQ(std::vector<int>({pLive->bCycleItems, pLive->iCycleSeconds, pLive->iCycleCount, pLive->bNotifyNew}),
              std::vector<int>({1, 3, 1000, 0}));
    EXPECT_TRUE(KillTimer(hwnd, IDT_CYCLE)) << "the hand-over starts the cycle";
}

// The period of checks on the Headlines page: what is typed is held to its bounds, and
// when the active feed asks for less often the page says so next to it.
TEST_F(ConfigTest, HeadlinesPageSaysWhenTheFeedAsksForFewerChecks) {
    EXPECT_EQ(FeedRuleNote(60, 0), L"");
    EXPECT_EQ(FeedRuleNote(60, 60), L"");
    EXPECT_EQ(FeedRuleNote(60, 120), L"This feed asks for at most one check every 2 hours.");
    EXPECT_EQ(FeedRuleNote(15, 90), L"This feed asks for at most one check every 90 minutes.");
    AddLiveProfile(L"A")->iFeedRuleMinutes = 120;
    pLive->iCurrentProfile = 0;
    std::vector<std::wstring> seen;
    ASSERT_TRUE(Configure({WaitSheet(), Tab(4), Do([&] {
                               HWND h = Page(4);
                               seen.push_back(ControlText(h, IDC_REFRESH_MINUTES));
                               seen.push_back(ControlText(h, IDC_FEED_RULE));
                               SetDlgItemTextW(h, IDC_REFRESH_MINUTES, L"180");
                               seen.push_back(ControlText(h, IDC_FEED_RULE));
                               SetDlgItemTextW(h, IDC_REFRESH_MINUTES, L"2");
                           }),
                           PressSheet(PSBTN_OK), WaitDialogGone(L"Configure Quillmere")}));
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"60", L"This feed asks for at most one check every 2 hours.", L""}));
    EXPECT_EQ(pLive->iRefreshMinutes, 5);
    EXPECT_TRUE(KillTimer(hwnd, IDT_REFRESH)) << "the new period counts from the hand-over";
}

TEST_F(ConfigTest, PagesRenderCleanly) {
    // The default pictures of the dock layout, so the previews have something to show.
    std::wstring background = Wide(BuildPath("dock\\Docklets\\Quillmere\\icons\\background.png"));
    std::wstring menu = Wide(BuildPath("dock\\Docklets\\Quillmere\\icons\\menu.png"));
    CopyText(pLive->szBackgroundImage, 270, background.c_str());
    CopyText(pLive->szMenuIcon, 270, menu.c_str());
    for (const wchar_t* szTitle : {L"Example News", L"Another Feed"}) {
        _PROFILE_DATA* p = AddLiveProfile(szTitle);
        CopyText(p->szBackgroundImage, 270, background.c_str());
        CopyText(p->szMenuIcon, 270, menu.c_str());
    }
    const wchar_t* names[5] = {L"page-general.png", L"page-icons.png", L"page-font.png", L"page-profiles.png",
                               L"page-headlines.png"};
    bool bSaved[6] = {};
    std::vector<Step> steps = {WaitSheet()};
    for (int i = 0; i < 5; ++i) {
        steps.push_back(Tab(i));
        steps.push_back(SaveShot([&] { return hSheet; }, names[i], &bSaved[i]));
    }
    steps.push_back(Tab(3));
    steps.push_back(Do([&] {
        SendDlgItemMessageW(Page(3), IDC_PROFILE_LIST, LB_SETCURSEL, 0, 0);
        PostClick(Page(3), IDC_PROFILE_EDIT);
    }));
    steps.push_back(WaitEditor());
    steps.push_back(SaveShot([&] { return hEditor; }, L"profile-editor.png", &bSaved[5]));
    steps.push_back(Do([&] { PostClick(hEditor, IDCANCEL); }));
    steps.push_back(WaitEditorGone());
    steps.push_back(PressSheet(PSBTN_CANCEL));
    steps.push_back(WaitDialogGone(L"Configure Quillmere"));
    ASSERT_TRUE(Configure(steps));
    for (bool b : bSaved) EXPECT_TRUE(b);
}

namespace {
bool g_bViewerClosed = false;
LRESULT CALLBACK FakeViewerProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_CLOSE) {
        g_bViewerClosed = true;
        return 0;
    }
    return DefWindowProcW(hwnd, uMsg, wParam, lParam);
}
}  // namespace

TEST_F(ConfigTest, ConfigureClosesTheViewerFirst) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = FakeViewerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"FakeViewer";
    RegisterClassW(&wc);
    pLive->hwndViewer = CreateWindowW(L"FakeViewer", L"viewer", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                      wc.hInstance, nullptr);
    g_bViewerClosed = false;
    bool bClosedBeforeSheet = false;
    ASSERT_TRUE(Configure({WaitSheet(), Do([&] { bClosedBeforeSheet = g_bViewerClosed; }), PressSheet(PSBTN_CANCEL),
                           WaitDialogGone(L"Configure Quillmere")}));
    EXPECT_TRUE(bClosedBeforeSheet);
    DestroyWindow(pLive->hwndViewer);
    pLive->hwndViewer = nullptr;
}
