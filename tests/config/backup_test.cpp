// Back Up and Restore without their dialogs, on a working copy as the profiles page
// passes it: what each writes, and failures that say why and change nothing.
#include "config/fixture.h"
#include "config/opml.h"
#include "core/inifile.h"

namespace {

struct BackupTest : ConfigTest {
    _DOCKLET_DATA* pWork = nullptr;
    ProfileList retired;

    void SetUp() override {
        ConfigTest::SetUp();
        for (const wchar_t* t : {L"A", L"B"}) AddLiveProfile(t, (std::wstring(L"http://") + t + L".test/feed").c_str());
        CopyText(pLive->szTitle, 500, L"Mine");
        pWork = MakeWorkingCopy(pLive);
    }
    void TearDown() override {
        // Records a restore made are the working copy's; those it took out are the live ones.
        for (unsigned int i = 0; i < pWork->profiles.GetCount(); ++i) {
            _PROFILE_DATA* p = pWork->profiles.GetAt(i);
            bool bLive = false;
            for (unsigned int j = 0; j < pLive->profiles.GetCount(); ++j)
                bLive = bLive || pLive->profiles.GetAt(j) == p;
            if (!bLive) FreeProfile(p);
        }
        ReleaseWorkingCopy(pWork);
        ConfigTest::TearDown();
    }
    std::vector<std::wstring> WorkURLs() const {
        std::vector<std::wstring> out;
        for (unsigned int i = 0; i < pWork->profiles.GetCount(); ++i) out.push_back(pWork->profiles.GetAt(i)->szURL);
        return out;
    }
    std::wstring Folder() const { return Wide(temp); }
    void WriteText(const std::wstring& path, const std::string& bytes) {
        FILE* f = _wfopen(path.c_str(), L"wb");
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
};

}  // namespace

TEST(BackupName, SwitchingTheFilterChangesOnlyOurExtensions) {
    EXPECT_EQ(BackupNameForFilter(L"QuillmereProfiles.ini", true), L"QuillmereProfiles.opml");
    EXPECT_EQ(BackupNameForFilter(L"QuillmereProfiles.OPML", false), L"QuillmereProfiles.ini");
    EXPECT_EQ(BackupNameForFilter(L"feeds.ini.bak", true), L"feeds.ini.bak");
    EXPECT_EQ(BackupNameForFilter(L"subscriptions", true), L"subscriptions");
}

// Both formats into a folder whose name the code page cannot hold, and back.
TEST_F(BackupTest, BackUpToAUnicodeFolderWritesTheFileAndRestoresIt) {
    std::wstring folder = Folder() + L"\u00DCn\u00EFc\u00F8d\u00E9 \u65E5\u672C\\";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    CopyText(pWork->profiles.GetAt(0)->szTitle, 501, L"\u65E5\u672C news");
    pWork->iRefreshMinutes = 25;
    EXPECT_EQ(BackupProfilesTo(pWork, hwnd, (folder + L"backup.ini").c_str()), 1);
    EXPECT_EQ(BackupProfilesTo(pWork, hwnd, (folder + L"backup.opml").c_str()), 1);
    EXPECT_TRUE(CapturedMessages().empty());
    IniSection section;
    ASSERT_TRUE(ReadIniSection((folder + L"backup.ini").c_str(), L"Quillmere", section, nullptr));
    EXPECT_TRUE(section.bFound);

    CopyText(pWork->szTitle, 500, L"Changed");
    pWork->iRefreshMinutes = 90;
    EXPECT_EQ(RestoreProfilesFrom(pWork, hwnd, (folder + L"backup.ini").c_str(), &retired), 1);
    EXPECT_STREQ(pWork->szTitle, L"Mine");
    EXPECT_EQ(pWork->iRefreshMinutes, 25);
    EXPECT_EQ(WorkURLs(), (std::vector<std::wstring>{L"http://A.test/feed", L"http://B.test/feed"}));
    OpmlList list;
    std::wstring error;
    ASSERT_TRUE(ReadOpmlFile((folder + L"backup.opml").c_str(), list, error)) << error;
    ASSERT_EQ(list.feeds.size(), 2u);
    EXPECT_EQ(list.feeds[0].title, L"\u65E5\u672C news");
}

TEST_F(BackupTest, FailuresSayWhyAndChangeNothing) {
    const std::wstring readOnly = Folder() + L"readonly.ini";
    WriteText(readOnly, "[Quillmere]\r\nTitle=Old\r\n");
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(BackupProfilesTo(pWork, hwnd, readOnly.c_str()), 0);
    EXPECT_EQ(BackupProfilesTo(pWork, hwnd, (Folder() + L"no folder\\x.opml").c_str()), 0);
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadFileBytes(readOnly), "[Quillmere]\r\nTitle=Old\r\n");

    WriteText(Folder() + L"other.ini", "[SomeOtherDocklet]\r\nTitle=Other\r\nProfiles=2\r\n");
    WriteText(Folder() + L"empty.ini", "[Quillmere]\r\n; nothing\r\n");
    for (const wchar_t* name : {L"missing.ini", L"other.ini", L"empty.ini"})
        EXPECT_EQ(RestoreProfilesFrom(pWork, hwnd, (Folder() + name).c_str(), &retired), 0) << name;
    EXPECT_STREQ(pWork->szTitle, L"Mine");
    EXPECT_EQ(WorkURLs(), (std::vector<std::wstring>{L"http://A.test/feed", L"http://B.test/feed"}));
    EXPECT_EQ(retired.GetCount(), 0u);

    const std::vector<std::wstring> messages = CapturedMessages();
    const wchar_t* why[] = {L"cannot write the backup", L"cannot write the subscription list", L"cannot read",
                            L"is no Quillmere backup", L"is no Quillmere backup"};
    const wchar_t* names[] = {L"readonly.ini", L"x.opml", L"missing.ini", L"other.ini", L"empty.ini"};
    ASSERT_EQ(messages.size(), 5u);
    for (size_t i = 0; i < messages.size(); ++i) {
        EXPECT_NE(messages[i].find(why[i]), std::wstring::npos) << messages[i];
        EXPECT_NE(messages[i].find(names[i]), std::wstring::npos) << messages[i];
    }
}

// A list holding feeds of the profiles already there (in other letter case, with white
// space around) adds only the new ones and says how many it skipped; a second import
// adds nothing.
TEST_F(BackupTest, ImportingAListTwiceAddsEachFeedOnce) {
    const std::wstring list = Folder() + L"list.opml";
    WriteText(list, "<opml version=\"2.0\"><body>"
                    "<outline text=\"A again\" xmlUrl=\" HTTP://a.TEST/feed \"/>"
                    "<outline text=\"C\" xmlUrl=\"http://c.test/feed\"/>"
                    "<outline text=\"C twice\" xmlUrl=\"http://C.test/feed\"/>"
                    "<outline text=\"A, other path case\" xmlUrl=\"http://a.test/Feed\"/>"
                    "</body></opml>");
    EXPECT_EQ(RestoreProfilesFrom(pWork, hwnd, list.c_str(), &retired), RESTORE_ADDED);
    EXPECT_EQ(WorkURLs(), (std::vector<std::wstring>{L"http://A.test/feed", L"http://B.test/feed",
                                                     L"http://c.test/feed", L"http://a.test/Feed"}));
    EXPECT_EQ(RestoreProfilesFrom(pWork, hwnd, list.c_str(), &retired), 0);
    EXPECT_EQ(pWork->iProfileCount, 4u);
    EXPECT_EQ(CapturedMessages(), (std::vector<std::wstring>{L"Added 2 feeds. 2 were in the list already.",
                                                             L"Added 0 feeds. 4 were in the list already."}));
}
