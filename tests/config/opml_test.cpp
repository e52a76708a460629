// Subscription lists through the profiles page's Back Up and Restore: the round trip
// into an empty sheet, a list exported by another reader, and lists that must change
// nothing.
#include <fstream>
#include <sstream>
#include "config/fixture.h"
#include "config/opml.h"

namespace {

const wchar_t c_szSheet[] = L"Configure Quillmere";
const wchar_t c_szFileDialog[] = L"Quillmere Profiles BackUp File";

std::vector<std::wstring> ListTitles(HWND hPage) {
    std::vector<std::wstring> out;
    HWND hList = GetDlgItem(hPage, IDC_PROFILE_LIST);
    for (LRESULT i = 0, n = SendMessageW(hList, LB_GETCOUNT, 0, 0); i < n; ++i) {
        wchar_t sz[512];
        SendMessageW(hList, LB_GETTEXT, i, reinterpret_cast<LPARAM>(sz));
        out.push_back(sz);
    }
    return out;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

struct OwnedSearch {
    HWND hOwner, hFound;
};

BOOL CALLBACK FindOwned(HWND h, LPARAM l) {
    auto* c = reinterpret_cast<OwnedSearch*>(l);
    wchar_t szClass[64];
    GetClassNameW(h, szClass, 64);
    if (wcscmp(szClass, L"#32770") != 0 || !IsWindowVisible(h) || GetWindow(h, GW_OWNER) != c->hOwner) return TRUE;
    c->hFound = h;
    return FALSE;
}

// The visible dialog of this thread that hOwner owns (a question the dialog asks), or null.
HWND OwnedDialog(HWND hOwner) {
    OwnedSearch search = {hOwner, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindOwned, reinterpret_cast<LPARAM>(&search));
    return search.hFound;
}

// The name in the file dialog's name field.
std::wstring OfferedName(HWND hDialog) {
    for (int id : {0x47C, 0x480}) {
        wchar_t sz[MAX_PATH] = {};
        if (GetDlgItem(hDialog, id) && GetDlgItemTextW(hDialog, id, sz, MAX_PATH) > 0) return sz;
    }
    return std::wstring();
}

std::string Nested(int iDepth) {
    std::string s = "<opml version=\"2.0\"><body>";
    for (int i = 0; i < iDepth; ++i) s += "<outline text=\"f\" xmlUrl=\"http://deep.test/\">";
    for (int i = 0; i < iDepth; ++i) s += "</outline>";
    return s + "</body></opml>";
}

}  // namespace

struct OpmlTest : ConfigTest {
    // Answers the backup file dialog with path, choosing the OPML filter first when asked.
    Step AnswerFile(const std::string& path, bool bOpmlFilter = false) {
        return [path, bOpmlFilter] {
            HWND h = FindDialog(c_szFileDialog);
            if (!h || !IsWindowEnabled(h)) return false;
            if (bOpmlFilter) {
                const int iTypeCombo = 0x470;  // the dialog's file type list
                // As a choice with the mouse: the selection, then both notifications.
                SendDlgItemMessageW(h, iTypeCombo, CB_SETCURSEL, 1, 0);
                for (WORD wCode : {CBN_SELCHANGE, CBN_SELENDOK})
                    SendMessageW(h, WM_COMMAND, MAKEWPARAM(iTypeCombo, wCode),
                                 reinterpret_cast<LPARAM>(GetDlgItem(h, iTypeCombo)));
            }
            AnswerFileDialog(h, Wide(path));
            return true;
        };
    }
    // What was reported while the sheet was open (a refresh the hand-over starts may
    // report more).
    std::vector<std::wstring> messagesInSheet;
    // Restores each file in turn in one sheet, recording the list after each; ends with
    // the sheet's button.
    bool RestoreEach(const std::vector<std::string>& files, std::vector<std::vector<std::wstring>>& lists,
                     int iEndButton) {
        std::vector<Step> steps = {WaitSheet(), Tab(3)};
        for (const std::string& file : files) {
            steps.push_back(Do([this] { PostClick(Page(3), IDC_PROFILE_RESTORE); }));
            steps.push_back(AnswerFile(file));
            steps.push_back(WaitDialogGone(c_szFileDialog));
            steps.push_back(Do([this, &lists] { lists.push_back(ListTitles(Page(3))); }));
        }
        steps.push_back(Do([this] {
            for (const std::wstring& m : CapturedMessages())
                if (m.find(L"Are you sure?") == std::wstring::npos) messagesInSheet.push_back(m);
        }));
        steps.push_back(PressSheet(iEndButton));
        steps.push_back(WaitDialogGone(c_szSheet));
        return Configure(steps);
    }
    std::vector<std::wstring> LiveURLs() const {
        std::vector<std::wstring> out;
        for (unsigned int i = 0; i < pLive->iProfileCount; ++i) out.push_back(pLive->profiles.GetAt(i)->szURL);
        return out;
    }
};

// Back Up offers the name for the filter chosen and asks before it replaces a file; the
// format follows the name.
TEST_F(OpmlTest, BackUpAsOpmlThenRestoreIntoAnEmptySheetGivesTheSameFeeds) {
    AddLiveProfile(L"C &amp; <i>co</i> \"q\"", L"http://a.test/feed?x=1&y=2");
    AddLiveProfile(L"Caf\u00E9 \u4E2D\u6587 \U0001F600", L"https://b.test/atom");
    AddLiveProfile(L"", L"http://c.test/");
    const auto titles = LiveTitles();
    const auto urls = LiveURLs();
    // The docklet's folder, where the dialog offers the backup, holds one already.
    CreateDirectoryA((temp + "Docklets").c_str(), nullptr);
    CreateDirectoryA((temp + "Docklets\\Quillmere").c_str(), nullptr);
    std::string file = temp + "Docklets\\Quillmere\\QuillmereProfiles.opml";
    WriteBytes(file, "old");
    HWND hFileDialog = nullptr;
    std::wstring offered;
    bool bAsked = false;
    ASSERT_TRUE(Configure({WaitSheet(), Tab(3), Do([&] { PostClick(Page(3), IDC_PROFILE_BACKUP); }),
                           [&] {
                               hFileDialog = FindDialog(c_szFileDialog);
                               if (!hFileDialog || !IsWindowEnabled(hFileDialog)) return false;
                               const int iTypeCombo = 0x470;  // the dialog's file type list
                               SendDlgItemMessageW(hFileDialog, iTypeCombo, CB_SETCURSEL, 1, 0);
                               for (WORD wCode : {CBN_SELCHANGE, CBN_SELENDOK})
                                   SendMessageW(hFileDialog, WM_COMMAND, MAKEWPARAM(iTypeCombo, wCode),
                                                reinterpret_cast<LPARAM>(GetDlgItem(hFileDialog, iTypeCombo)));
                               return true;
                           },
                           Do([&] {
                               offered = OfferedName(hFileDialog);
                               PostMessageW(hFileDialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                                            reinterpret_cast<LPARAM>(GetDlgItem(hFileDialog, IDOK)));
                           }),
                           [&] {
                               HWND hPrompt = OwnedDialog(hFileDialog);
                               if (!hPrompt) return false;
                               bAsked = true;
                               PostMessageW(hPrompt, WM_COMMAND, IDYES, 0);
                               return true;
                           },
                           WaitDialogGone(c_szFileDialog), PressSheet(PSBTN_CANCEL), WaitDialogGone(c_szSheet)}));
    EXPECT_EQ(offered, L"QuillmereProfiles.opml");
    EXPECT_TRUE(bAsked);
    std::string opml = ReadBytes(file);
    EXPECT_EQ(opml.rfind("<?xml", 0), 0u) << opml;
    for (const char* part : {"<opml version=\"2.0\">", "<title>Quillmere feed profiles</title>", "<dateCreated>",
                             "text=\"C &amp;amp; &lt;i&gt;co&lt;/i&gt; &quot;q&quot;\"", "\xE4\xB8\xAD\xE6\x96\x87",
                             "xmlUrl=\"http://a.test/feed?x=1&amp;y=2\"", "type=\"rss\""})
        EXPECT_NE(opml.find(part), std::string::npos) << part << "\n" << opml;

    FreeProfiles(pLive->profiles);
    pLive->iProfileCount = 0;
    pLive->iCurrentProfile = -1;
    std::vector<std::vector<std::wstring>> lists;
    ASSERT_TRUE(RestoreEach({file}, lists, PSBTN_OK));
    EXPECT_EQ(LiveTitles(), titles);
    EXPECT_EQ(LiveURLs(), urls);
    EXPECT_EQ(pLive->iCurrentProfile, 0);
    EXPECT_NE(std::wstring(pLive->profiles.GetAt(1)->szBackgroundImage).find(L"icons\\background.png"),
              std::wstring::npos);
    EXPECT_TRUE(messagesInSheet.empty());
}

TEST_F(OpmlTest, ANestedListFromAnotherReaderAddsEveryFeedAndCancelUndoesIt) {
    _PROFILE_DATA* pMine = AddLiveProfile(L"Mine");
    std::string file = temp + "export.opml";
    WriteBytes(file,
               "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<opml version=\"1.0\">\n"
               "<head><title>Subscriptions in Other Reader</title></head>\n<body>\n"
               "  <outline text=\"Tech\" title=\"Tech\">\n"
               "    <outline text=\"Blog A\" title=\"Blog A\" type=\"rss\" xmlUrl=\"https://a.test/feed\" "
               "htmlUrl=\"https://a.test/\"/>\n"
               "    <outline text=\"News\"><outline type=\"rss\" text=\"B &lt;b&gt;bold&lt;/b&gt;\" "
               "xmlUrl=\" http://b.test/rss \"/></outline>\n"
               "  </outline>\n"
               "  <outline text=\"Evil\" xmlUrl=\"javascript:alert(1)\"/>\n"
               "  <outline text=\"Local\" xmlUrl=\"file:///c:/windows/win.ini\"/>\n"
               "  <outline title=\"Only a title\" xmlUrl=\"HTTP://c.test/atom\"/>\n"
               "</body>\n</opml>\n");
    std::vector<std::vector<std::wstring>> lists;
    ASSERT_TRUE(RestoreEach({file}, lists, PSBTN_CANCEL));
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(lists[0], (std::vector<std::wstring>{L"Mine", L"Blog A", L"B bold", L"Only a title"}));
    EXPECT_EQ(messagesInSheet,
              std::vector<std::wstring>{
                  L"Added 3 feeds. 2 entries were left out: their addresses are not http or https addresses."});
    ASSERT_EQ(pLive->iProfileCount, 1u);
    EXPECT_EQ(pLive->profiles.GetAt(0), pMine);
}

TEST_F(OpmlTest, BadListsChangeNothingAndSayWhy) {
    AddLiveProfile(L"Mine");
    std::vector<std::string> files;
    auto add = [&](const char* name, const std::string& bytes) {
        files.push_back(temp + name);
        WriteBytes(files.back(), bytes);
    };
    add("broken.opml", "<opml version=\"2.0\"><body><outline xmlUrl=\"http://x.test/\"></body>");
    add("entities.opml", "<?xml version=\"1.0\"?><!DOCTYPE opml [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;\">]>"
                         "<opml><body><outline text=\"&b;\" xmlUrl=\"http://x.test/\"/></body></opml>");
    add("deep.opml", Nested(150));
    add("deeper.opml", Nested(10000));
    add("unsafe.opml", "<opml><body><outline xmlUrl=\"javascript:alert(1)\"/><outline xmlUrl=\"file:///c:/x\"/>"
                       "</body></opml>");
    add("other.opml", "<rss><channel><title>Not a list</title></channel></rss>");
    std::vector<std::vector<std::wstring>> lists;
    ASSERT_TRUE(RestoreEach(files, lists, PSBTN_OK));
    ASSERT_EQ(lists.size(), files.size());
    for (const auto& titles : lists) EXPECT_EQ(titles, std::vector<std::wstring>{L"Mine"});
    EXPECT_EQ(LiveTitles(), std::vector<std::wstring>{L"Mine"});
    const auto& messages = messagesInSheet;
    ASSERT_EQ(messages.size(), files.size());
    const wchar_t* c_why[] = {L"is not well-formed XML", L"declares XML entities", L"nested more than 100 deep",
                              L"", L"lists no feed with an http or https address", L"is not an OPML subscription list"};
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_NE(messages[i].find(Wide(files[i])), std::wstring::npos) << messages[i];
        EXPECT_NE(messages[i].find(c_why[i]), std::wstring::npos) << messages[i];
        EXPECT_NE(messages[i].find(L"No profile was added."), std::wstring::npos) << messages[i];
    }
}

// A list longer than the room left adds up to the limit and says how many it left out;
// Add then refuses, and the list saves and loads whole.
TEST_F(OpmlTest, AListBeyondTheLimitFillsTheListAndTheRestIsLeftOut) {
    std::string s = "<opml version=\"2.0\"><body>";
    for (int i = 0; i < 12000; ++i)
        s += "<outline text=\"Feed " + std::to_string(i) + "\" xmlUrl=\"http://many.test/" + std::to_string(i) + "\"/>";
    std::string file = temp + "many.opml";
    WriteBytes(file, s + "</body></opml>");
    std::vector<std::wstring> titles, messages;
    ASSERT_TRUE(Configure({WaitSheet(), Tab(3), Do([&] { PostClick(Page(3), IDC_PROFILE_RESTORE); }),
                           AnswerFile(file), WaitDialogGone(c_szFileDialog), Do([&] {
                               SendDlgItemMessageW(Page(3), IDC_PROFILE_LIST, LB_SETCURSEL, 9999, 0);
                               Click(Page(3), IDC_PROFILE_UP);
                               Click(Page(3), IDC_PROFILE_ADD);
                               titles = ListTitles(Page(3));
                               messages = CapturedMessages();
                           }),
                           PressSheet(PSBTN_OK), WaitDialogGone(c_szSheet)}));
    ASSERT_EQ(titles.size(), 10000u);
    EXPECT_EQ(titles[9998], L"Feed 9999");
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[1], L"Added 10000 feeds. 2000 were left out: the list holds at most 10000 profiles.");
    EXPECT_EQ(messages[2], L"The list holds 10000 profiles, the most it can. Delete one to add another.");
    ASSERT_EQ(pLive->iProfileCount, 10000u);
    EXPECT_STREQ(pLive->profiles.GetAt(9998)->szURL, L"http://many.test/9999");
    EXPECT_EQ(pLive->iCurrentProfile, 9998);
    std::wstring ini = Wide(temp + "dock.ini");
    ASSERT_TRUE(SaveSettings(pLive, ini.c_str(), L"Docklet1"));
    _DOCKLET_DATA* pLoaded = NewDockletRecord();
    LoadSettings(pLoaded, ini.c_str(), L"Docklet1");
    EXPECT_EQ(pLoaded->iProfileCount, 10000u);
    EXPECT_STREQ(pLoaded->profiles.GetAt(9999)->szTitle, L"Feed 9998");
    FreeProfiles(pLoaded->profiles);
    ReleaseDocklet(pLoaded);
}

// A list is decoded as a feed is: a Latin-1 list with a DOCTYPE keeps its accents, and
// an encoding Windows does not know is named in the message, never read as U+FFFD.
TEST_F(OpmlTest, ListsInOtherEncodingsKeepTheirCharacters) {
    std::string latin = temp + "latin.opml", unknown = temp + "unknown.opml";
    WriteBytes(latin, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><!DOCTYPE opml>"
                      "<opml><body><outline text=\"Caf\xE9 cr\xE8me\" xmlUrl=\"http://x.test/\"/></body></opml>");
    WriteBytes(unknown, "<?xml version=\"1.0\" encoding=\"x-no-such-set\"?>"
                        "<opml><body><outline text=\"A\" xmlUrl=\"http://x.test/\"/></body></opml>");
    OpmlList list;
    std::wstring error;
    ASSERT_TRUE(ReadOpmlFile(Wide(latin).c_str(), list, error)) << error;
    ASSERT_EQ(list.feeds.size(), 1u);
    EXPECT_EQ(list.feeds[0].title, L"Caf\u00E9 cr\u00E8me");
    EXPECT_FALSE(ReadOpmlFile(Wide(unknown).c_str(), list, error));
    EXPECT_NE(error.find(L"x-no-such-set"), std::wstring::npos) << error;
}
