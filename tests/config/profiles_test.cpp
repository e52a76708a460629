// The profiles page, the profile editor and backup and restore, driven through the
// real sheet; the live instance is checked after the hand-over.
#include <algorithm>
#include <fstream>
#include <sstream>
#include "support/httpserver.h"
#include "config/fixture.h"
#include "core/u16.h"
#include "feed/itemstate.h"

namespace {

const wchar_t c_szSheet[] = L"Configure Quillmere";
const wchar_t c_szFileDialog[] = L"Quillmere Profiles BackUp File";

int ListSelection(HWND hPage) {
    return static_cast<int>(SendDlgItemMessageW(hPage, IDC_PROFILE_LIST, LB_GETCURSEL, 0, 0));
}

std::vector<std::wstring> ListTitles(HWND hPage) {
    std::vector<std::wstring> out;
    HWND hList = GetDlgItem(hPage, IDC_PROFILE_LIST);
    LRESULT n = SendMessageW(hList, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        wchar_t sz[512];
        SendMessageW(hList, LB_GETTEXT, i, reinterpret_cast<LPARAM>(sz));
        out.push_back(sz);
    }
    return out;
}

void Select(HWND hPage, int i) {
    SendDlgItemMessageW(hPage, IDC_PROFILE_LIST, LB_SETCURSEL, i, 0);
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

int AnswerNo(const wchar_t*, UINT uType, void*) {
    return (uType & MB_YESNO) ? IDNO : IDOK;
}

}  // namespace

struct ProfilesTest : ConfigTest {
    // Adds a profile through the editor: URL and title typed, OK pressed.
    void AddThroughEditor(std::vector<Step>& steps, const wchar_t* szURL, const wchar_t* szTitle) {
        steps.push_back(Do([this] { PostClick(Page(3), IDC_PROFILE_ADD); }));
        steps.push_back(WaitEditor());
        steps.push_back(Do([this, szURL, szTitle] {
            SetDlgItemTextW(hEditor, IDC_EDITOR_URL, szURL);
            SetDlgItemTextW(hEditor, IDC_EDITOR_TITLE, szTitle);
            PostClick(hEditor, IDOK);
        }));
        steps.push_back(WaitEditorGone());
    }
    // Answers the backup file dialog with path once it shows.
    Step AnswerFile(const std::string& path) {
        return [path] {
            HWND h = FindDialog(c_szFileDialog);
            if (!h || !IsWindowEnabled(h)) return false;
            AnswerFileDialog(h, Wide(path));
            return true;
        };
    }
};

TEST_F(ProfilesTest, AddingTheFirstProfileMakesItCurrentAndTheSecondLeavesIt) {
    std::vector<Step> steps = {WaitSheet(), Tab(3)};
    AddThroughEditor(steps, L"http://a.test/feed", L"");
    int iSelAfterFirst = -2;
    steps.push_back(Do([&] { iSelAfterFirst = ListSelection(Page(3)); }));
    AddThroughEditor(steps, L"http://b.test/feed", L"Mine");
    steps.push_back(PressSheet(PSBTN_OK));
    steps.push_back(WaitDialogGone(c_szSheet));
    ASSERT_TRUE(Configure(steps));
    EXPECT_EQ(iSelAfterFirst, 0);
    ASSERT_EQ(pLive->iProfileCount, 2u);
    EXPECT_EQ(pLive->iCurrentProfile, 0);
    // An empty title takes the feed's own; a typed one is kept.
    EXPECT_EQ(LiveTitles(), (std::vector<std::wstring>{L"Feed Title", L"Mine"}));
    EXPECT_STREQ(pLive->profiles.GetAt(0)->szURL, L"http://a.test/feed");
    EXPECT_EQ(pLive->profiles.GetAt(0)->iFeedFormat, FEED_FORMAT_RSS);
    EXPECT_NE(std::wstring(pLive->profiles.GetAt(1)->szBackgroundImage).find(L"icons\\background.png"),
              std::wstring::npos);
    EXPECT_EQ(g_iChecks, 2);
}

TEST_F(ProfilesTest, DeleteKeepsTheCurrentProfileInRangeAndMovesReorder) {
    for (const wchar_t* t : {L"A", L"B", L"C &amp; <i>co</i>", L"D"}) AddLiveProfile(t);
    pLive->iCurrentProfile = 3;  // D
    std::vector<std::wstring> afterDeletes;
    int iSelTop = -2, iSelBottom = -2;
    std::vector<Step> steps = {WaitSheet(), Tab(3), Do([&] {
                                   HWND h = Page(3);
                                   Select(h, 1);  // B, before the current one
                                   Click(h, IDC_PROFILE_DELETE);
                                   Select(h, 0);  // A
                                   Click(h, IDC_PROFILE_DELETE);
                                   afterDeletes = ListTitles(h);
                                   Select(h, 0);
                                   Click(h, IDC_PROFILE_UP);
                                   iSelTop = ListSelection(h);
                               })};
    AddThroughEditor(steps, L"http://e.test/", L"E");
    steps.push_back(Do([&] {
        HWND h = Page(3);
        Select(h, 2);  // the last one
        Click(h, IDC_PROFILE_DOWN);
        iSelBottom = ListSelection(h);
        Select(h, 2);  // E up to index 1
        Click(h, IDC_PROFILE_UP);
    }));
    steps.push_back(PressSheet(PSBTN_OK));
    steps.push_back(WaitDialogGone(c_szSheet));
    ASSERT_TRUE(Configure(steps));
    // The list shows titles as text; the profiles keep them as they were.
    EXPECT_EQ(afterDeletes, (std::vector<std::wstring>{L"C & co", L"D"}));
    // D stayed current through both deletions (index 3, then 2, then 1); Up at the top and
    // Down at the bottom select the current profile and change nothing.
    EXPECT_EQ(iSelTop, 1);
    EXPECT_EQ(iSelBottom, 1);
    EXPECT_EQ(LiveTitles(), (std::vector<std::wstring>{L"C &amp; <i>co</i>", L"E", L"D"}));
    EXPECT_EQ(pLive->iCurrentProfile, 1);
}

TEST_F(ProfilesTest, DeletingTheCurrentOrTheOnlyProfile) {
    for (const wchar_t* t : {L"A", L"B", L"C"}) AddLiveProfile(t);
    pLive->iCurrentProfile = 2;
    ASSERT_TRUE(Configure({WaitSheet(), Tab(3), Do([&] {
                               Select(Page(3), 2);
                               Click(Page(3), IDC_PROFILE_DELETE);
                           }),
                           PressSheet(PSBTN_OK), WaitDialogGone(c_szSheet)}));
    EXPECT_EQ(LiveTitles(), (std::vector<std::wstring>{L"A", L"B"}));
    EXPECT_EQ(pLive->iCurrentProfile, 0);
    ASSERT_TRUE(Configure({WaitSheet(), Tab(3), Do([&] {
                               for (int i = 0; i < 2; ++i) {
                                   Select(Page(3), 0);
                                   Click(Page(3), IDC_PROFILE_DELETE);
                               }
                           }),
                           PressSheet(PSBTN_OK), WaitDialogGone(c_szSheet)}));
    EXPECT_EQ(pLive->iProfileCount, 0u);
    EXPECT_EQ(pLive->iCurrentProfile, -1);
    // One question per delete (the new current profile's refresh may add its own).
    auto messages = CapturedMessages();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), L"Do you really want to delete this profile?"), 3);
}

// A deleted profile's state file goes when the sheet is committed; the state of a feed
// that another profile still reads, other files of the folder, and everything when the
// sheet is cancelled, stay.
TEST_F(ProfilesTest, DeletingAProfileRemovesItsStateFileAndNothingElse) {
    const wchar_t* urls[] = {L"http://a.test/feed", L"http://b.test/feed", L"http://a.test/feed",
                             L"http://c.test/feed"};
    for (const wchar_t* url : urls) AddLiveProfile(L"P", url);
    pLive->iCurrentProfile = 3;
    auto stateFile = [](const wchar_t* url) {
        return ItemStateFolder() + L"\\" + AsWide(ItemStateFileName(AsU16(url)));
    };
    for (const wchar_t* url : {L"http://a.test/feed", L"http://b.test/feed", L"http://other.test/"}) {
        ItemState state;
        state.url = AsU16(url);
        ASSERT_TRUE(WriteItemStateFile(state, L""));
    }
    auto exists = [&](const wchar_t* url) {
        return GetFileAttributesW(stateFile(url).c_str()) != INVALID_FILE_ATTRIBUTES;
    };
    auto deleteFirstTwo = [&] {
        for (int i = 0; i < 2; ++i) {
            Select(Page(3), 0);
            Click(Page(3), IDC_PROFILE_DELETE);
        }
    };
    ASSERT_TRUE(
        Configure({WaitSheet(), Tab(3), Do(deleteFirstTwo), PressSheet(PSBTN_CANCEL), WaitDialogGone(c_szSheet)}));
    EXPECT_TRUE(exists(L"http://a.test/feed") && exists(L"http://b.test/feed"));
    ASSERT_TRUE(Configure({WaitSheet(), Tab(3), Do(deleteFirstTwo), PressSheet(PSBTN_OK), WaitDialogGone(c_szSheet)}));
    EXPECT_EQ(pLive->iProfileCount, 2u);
    EXPECT_FALSE(exists(L"http://b.test/feed"));
    EXPECT_TRUE(exists(L"http://a.test/feed"));  // the third profile reads it too
    EXPECT_TRUE(exists(L"http://other.test/"));
}

TEST_F(ProfilesTest, AnsweringNoChangesNothing) {
    AddLiveProfile(L"A");
    std::string file = temp + "backup.ini";
    { std::ofstream(file.c_str()) << "[Quillmere]\r\nProfiles=0\r\n"; }
    SetMessageSink(AnswerNo, nullptr);
    std::vector<std::wstring> titles;
    ASSERT_TRUE(Configure({WaitSheet(), Tab(3), Do([&] {
                               Select(Page(3), 0);
                               Click(Page(3), IDC_PROFILE_DELETE);
                               PostClick(Page(3), IDC_PROFILE_RESTORE);
                           }),
                           AnswerFile(file), WaitDialogGone(c_szFileDialog),
                           Do([&] { titles = ListTitles(Page(3)); }), PressSheet(PSBTN_OK),
                           WaitDialogGone(c_szSheet)}));
    EXPECT_EQ(titles, (std::vector<std::wstring>{L"A"}));
    EXPECT_EQ(LiveTitles(), (std::vector<std::wstring>{L"A"}));
}

TEST_F(ProfilesTest, EditorRejectsAnInvalidURLAndCancelDiscardsTheScratchProfile) {
    _PROFILE_DATA* a = AddLiveProfile(L"Old");
    g_bFeedValid = false;
    bool bStillOpen = false;
    std::wstring titleAfterCheck;
    ASSERT_TRUE(Configure({WaitSheet(), Tab(3), Do([&] {
                               Select(Page(3), 0);
                               PostClick(Page(3), IDC_PROFILE_EDIT);
                           }),
                           WaitEditor(), Do([&] {
                               SetDlgItemTextW(hEditor, IDC_EDITOR_URL, L"http://bad.test/");
                               SendMessageW(hEditor, WM_COMMAND, IDOK, 0);
                               bStillOpen = IsWindow(hEditor) && IsWindowVisible(hEditor);
                               g_bFeedValid = true;
                               SetDlgItemTextW(hEditor, IDC_EDITOR_TITLE, L"");
                               SendMessageW(hEditor, WM_COMMAND, IDC_EDITOR_CHECK, 0);
                               titleAfterCheck = ControlText(hEditor, IDC_EDITOR_TITLE);
                               PostClick(hEditor, IDCANCEL);
                           }),
                           WaitEditorGone(), PressSheet(PSBTN_OK), WaitDialogGone(c_szSheet)}));
    EXPECT_TRUE(bStillOpen);
    EXPECT_EQ(titleAfterCheck, L"Feed Title");
    auto messages = CapturedMessages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0], L"Invalid RSS Feed URL");
    EXPECT_STREQ(a->szTitle, L"Old");
    EXPECT_STREQ(a->szURL, L"http://example.test/feed");
}

TEST_F(ProfilesTest, EditorEditsTheSharedRecordAndResetsItsImages) {
    _PROFILE_DATA* a = AddLiveProfile(L"Old");
    std::wstring resetPath;
    ASSERT_TRUE(Configure({WaitSheet(), Tab(3), Do([&] {
                               Select(Page(3), 0);
                               PostClick(Page(3), IDC_PROFILE_EDIT);
                           }),
                           WaitEditor(), Do([&] {
                               SendMessageW(hEditor, WM_COMMAND, IDC_BACKGROUND_RESET, 0);
                               resetPath = ControlText(hEditor, IDC_BACKGROUND_PATH);
                               SetHostBrowseResult("C:\\img\\picked-menu.png");
                               SendMessageW(hEditor, WM_COMMAND, IDC_MENU_BROWSE, 0);
                               SetDlgItemTextW(hEditor, IDC_EDITOR_TITLE, L"New");
                               PostClick(hEditor, IDOK);
                           }),
                           WaitEditorGone(), PressSheet(PSBTN_CANCEL), WaitDialogGone(c_szSheet)}));
    EXPECT_EQ(resetPath, Wide(TestExeFolder()) + L"Docklets\\Quillmere\\icons\\background.png");
    // Edits reach the shared record at once, even when the sheet is cancelled.
    EXPECT_EQ(pLive->profiles.GetAt(0), a);
    EXPECT_STREQ(a->szTitle, L"New");
    EXPECT_EQ(std::wstring(a->szBackgroundImage), resetPath);
    EXPECT_STREQ(a->szMenuIcon, L"C:\\img\\picked-menu.png");
}

TEST_F(ProfilesTest, TheEditorsCheckOfAWebPageFillsInTheFeedItNames) {
    HttpServer server([](const HttpRequest& req) {
        HttpResponse r;
        r.contentType = "text/html";
        r.body = "<!doctype html><html><head><title>Blog</title>"
                 "<link rel=\"alternate\" type=\"application/rss+xml\" href=\"feed.xml\"></head><body>";
        if (req.path == "/blog/feed.xml") r.body = "<rss><channel><title>The blog's feed</title></channel></rss>";
        return r;
    });
    g_pfnCheckFeedURL = CheckFeedURL;
    std::wstring url, title, status;
    ASSERT_TRUE(Configure({WaitSheet(), Tab(3), Do([&] { PostClick(Page(3), IDC_PROFILE_ADD); }), WaitEditor(), Do([&] {
                               SetDlgItemTextW(hEditor, IDC_EDITOR_URL, server.Url("/blog/").c_str());
                               SendMessageW(hEditor, WM_COMMAND, IDC_EDITOR_CHECK, 0);
                               url = ControlText(hEditor, IDC_EDITOR_URL);
                               title = ControlText(hEditor, IDC_EDITOR_TITLE);
                               status = ControlText(hEditor, IDC_EDITOR_STATUS);
                               PostClick(hEditor, IDOK);
                           }),
                           WaitEditorGone(), PressSheet(PSBTN_OK), WaitDialogGone(c_szSheet)}));
    // The new profile's refresh talks to the server too.
    EXPECT_TRUE(WaitForWorker(pLive->hRefreshThread, 10000));
    const std::wstring feed = server.Url("/blog/feed.xml");
    EXPECT_EQ(url, feed);
    EXPECT_EQ(title, L"The blog's feed");
    EXPECT_NE(status.find(feed), std::wstring::npos) << status;
    ASSERT_EQ(pLive->iProfileCount, 1u);
    EXPECT_EQ(std::wstring(pLive->profiles.GetAt(0)->szURL), feed);
    EXPECT_TRUE(CapturedMessages().empty());
}

namespace {
HWND g_hCheckingEditor = nullptr;
bool g_bOkDisabledDuringCheck = false;
bool NestedCheck(_PROFILE_DATA* pProfile, HANDLE hCancel) {
    // While the first check waits, the user presses Check again.
    if (g_iChecks == 0) {
        g_bOkDisabledDuringCheck = !IsWindowEnabled(GetDlgItem(g_hCheckingEditor, IDOK));
        SendMessageW(g_hCheckingEditor, WM_COMMAND, IDC_EDITOR_CHECK, 0);
        SendMessageW(g_hCheckingEditor, WM_COMMAND, IDOK, 0);
    }
    return FakeCheckFeedURL(pProfile, hCancel);
}
}  // namespace

TEST_F(ProfilesTest, ASecondCheckDuringTheFirstIsRefused) {
    AddLiveProfile(L"A");
    g_pfnCheckFeedURL = NestedCheck;
    bool bOpenAfter = false;
    ASSERT_TRUE(Configure({WaitSheet(), Tab(3), Do([&] {
                               Select(Page(3), 0);
                               PostClick(Page(3), IDC_PROFILE_EDIT);
                           }),
                           WaitEditor(), Do([&] {
                               g_hCheckingEditor = hEditor;
                               SendMessageW(hEditor, WM_COMMAND, IDC_EDITOR_CHECK, 0);
                               bOpenAfter = IsWindowVisible(hEditor) && IsWindowEnabled(GetDlgItem(hEditor, IDOK));
                               PostClick(hEditor, IDCANCEL);
                           }),
                           WaitEditorGone(), PressSheet(PSBTN_CANCEL), WaitDialogGone(c_szSheet)}));
    EXPECT_EQ(g_iChecks, 1);
    EXPECT_TRUE(g_bOkDisabledDuringCheck);
    EXPECT_TRUE(bOpenAfter);
}

TEST_F(ProfilesTest, BackUpThenRestoreGivesTheSameProfilesAndSettings) {
    for (const wchar_t* t : {L"A", L"B", L"C"}) AddLiveProfile(t);
    pLive->iCurrentProfile = 1;
    CopyText(pLive->szTitle, 500, L"Backed");
    pLive->iFontSize = 15;
    pLive->iItemAction = ITEM_ACTION_BROWSER;
    std::string file = temp + "backup.ini";
    std::vector<std::wstring> afterDelete, afterRestore;
    int iSelAfterRestore = -2;
    ASSERT_TRUE(Configure({WaitSheet(), Tab(3), Do([&] { PostClick(Page(3), IDC_PROFILE_BACKUP); }),
                           AnswerFile(file), WaitDialogGone(c_szFileDialog), Do([&] {
                               Select(Page(3), 0);
                               Click(Page(3), IDC_PROFILE_DELETE);
                               afterDelete = ListTitles(Page(3));
                               PostClick(Page(3), IDC_PROFILE_RESTORE);
                           }),
                           AnswerFile(file), WaitDialogGone(c_szFileDialog), Do([&] {
                               afterRestore = ListTitles(Page(3));
                               iSelAfterRestore = ListSelection(Page(3));
                           }),
                           PressSheet(PSBTN_OK), WaitDialogGone(c_szSheet)}));
    EXPECT_EQ(afterDelete, (std::vector<std::wstring>{L"B", L"C"}));
    EXPECT_EQ(afterRestore, (std::vector<std::wstring>{L"A", L"B", L"C"}));
    EXPECT_EQ(iSelAfterRestore, 1);
    EXPECT_EQ(LiveTitles(), (std::vector<std::wstring>{L"A", L"B", L"C"}));
    EXPECT_EQ(pLive->iCurrentProfile, 1);
    EXPECT_STREQ(pLive->szTitle, L"Backed");
    EXPECT_EQ(pLive->iFontSize, 15);
    EXPECT_EQ(pLive->iItemAction, static_cast<unsigned>(ITEM_ACTION_BROWSER));
    EXPECT_STREQ(pLive->profiles.GetAt(2)->szURL, L"http://example.test/feed");
    std::string ini = ReadFile(file);
    EXPECT_NE(ini.find("[Quillmere]"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Profiles=3"), std::string::npos) << ini;
    EXPECT_NE(ini.find("CurrentProfile=1"), std::string::npos) << ini;
    EXPECT_NE(ini.find("A0-RssFeedTitle=A"), std::string::npos) << ini;
    EXPECT_NE(ini.find("PosX=0"), std::string::npos) << ini;
    // The hand-over applied the restored profile to the icon.
    auto calls = HostCalls("DockletSetImageFile");
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().text, "C:\\img\\bg.png");
}

TEST_F(ProfilesTest, CancelAfterRestoreAndAddKeepsTheLiveList) {
    _PROFILE_DATA* a = AddLiveProfile(L"A");
    _PROFILE_DATA* b = AddLiveProfile(L"B");
    pLive->iCurrentProfile = 1;
    std::string file = temp + "restored.ini";
    { std::ofstream(file.c_str()) << "[Quillmere]\r\nProfiles=1\r\nA0-RssFeedTitle=R\r\n"; }
    std::vector<Step> steps = {WaitSheet(), Tab(3), Do([&] { PostClick(Page(3), IDC_PROFILE_RESTORE); }),
                               AnswerFile(file), WaitDialogGone(c_szFileDialog)};
    AddThroughEditor(steps, L"http://c.test/", L"C");
    steps.push_back(PressSheet(PSBTN_CANCEL));
    steps.push_back(WaitDialogGone(c_szSheet));
    ASSERT_TRUE(Configure(steps));
    ASSERT_EQ(pLive->iProfileCount, 2u);
    EXPECT_EQ(pLive->profiles.GetAt(0), a);
    EXPECT_EQ(pLive->profiles.GetAt(1), b);
    EXPECT_STREQ(a->szTitle, L"A");
    EXPECT_STREQ(b->szTitle, L"B");
    EXPECT_EQ(pLive->iCurrentProfile, 1);
    // No refresh was started for a restore that was never handed over.
    EXPECT_FALSE(pLive->hRefreshThread.hThread);
}

TEST_F(ProfilesTest, CancellingTheFileDialogRestoresNothing) {
    AddLiveProfile(L"A");
    std::vector<std::wstring> titles;
    ASSERT_TRUE(Configure({WaitSheet(), Tab(3), Do([&] { PostClick(Page(3), IDC_PROFILE_RESTORE); }),
                           [&] {
                               HWND h = FindDialog(c_szFileDialog);
                               if (!h || !IsWindowEnabled(h)) return false;
                               PostMessageW(h, WM_COMMAND, IDCANCEL, 0);
                               return true;
                           },
                           WaitDialogGone(c_szFileDialog), Do([&] { titles = ListTitles(Page(3)); }),
                           PressSheet(PSBTN_OK), WaitDialogGone(c_szSheet)}));
    EXPECT_EQ(titles, (std::vector<std::wstring>{L"A"}));
    EXPECT_EQ(LiveTitles(), (std::vector<std::wstring>{L"A"}));
}

namespace {
volatile LONG g_lSlowCancelled = 0;
volatile DWORD g_dwSlowWorker = 0;
// A refresh that is still downloading when the sheet hands a restore over: it would
// take ten seconds unless it is cancelled.
void SlowRefresh(_DOCKLET_DATA*, HANDLE hCancel) {
    g_dwSlowWorker = GetCurrentThreadId();
    g_lSlowCancelled = WaitForSingleObject(hCancel, 10000) == WAIT_OBJECT_0;
}
}  // namespace

TEST_F(ProfilesTest, RestoreDuringARefreshCancelsItAndStartsTheRestoredProfilesRefresh) {
    AddLiveProfile(L"A");
    std::string file = temp + "three.ini";
    {
        std::ofstream f(file.c_str());
        f << "[Quillmere]\r\nProfiles=3\r\nCurrentProfile=2\r\nA0-RssFeedTitle=X\r\nA1-RssFeedTitle=Y\r\n"
             "A2-RssFeedTitle=Z\r\nA2-RssFeedURL=http://127.0.0.1:9/\r\n";
    }
    g_lSlowCancelled = 0;
    DWORD dwHandOver = 0;
    ASSERT_TRUE(Configure({WaitSheet(), Tab(3), Do([&] { PostClick(Page(3), IDC_PROFILE_RESTORE); }),
                           AnswerFile(file), WaitDialogGone(c_szFileDialog), Do([&] {
                               qm::ScopedLock lock(pLive->csState);
                               StartWorker(pLive, pLive->hRefreshThread, SlowRefresh);
                           }),
                           Do([&] { dwHandOver = GetTickCount(); }), PressSheet(PSBTN_OK),
                           WaitDialogGone(c_szSheet)}));
    // The running refresh was stopped, not waited out, before the restored list came.
    EXPECT_EQ(g_lSlowCancelled, 1);
    EXPECT_LT(GetTickCount() - dwHandOver, 5000u);
    EXPECT_EQ(LiveTitles(), (std::vector<std::wstring>{L"X", L"Y", L"Z"}));
    EXPECT_EQ(pLive->iCurrentProfile, 2);
    // The restored profile's own refresh was started at once.
    ASSERT_TRUE(pLive->hRefreshThread.hThread);
    EXPECT_NE(GetThreadId(pLive->hRefreshThread.hThread.get()), g_dwSlowWorker);
    EXPECT_TRUE(WaitForWorker(pLive->hRefreshThread, 10000));
}
