#include "config/fixture.h"

bool g_bFeedValid = true;
int g_iChecks = 0;

bool FakeCheckFeedURL(_PROFILE_DATA* pProfile, HANDLE) {
    ++g_iChecks;
    if (!g_bFeedValid) return false;
    if (!pProfile->szTitle[0]) CopyText(pProfile->szTitle, 501, L"Feed Title");
    pProfile->iFeedFormat = FEED_FORMAT_RSS;
    return true;
}

std::wstring Wide(const std::string& s) {
    wchar_t sz[1024];
    MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, sz, 1024);
    return sz;
}

void ConfigTest::SetUp() {
    temp = MakeTempFolder("config");
    SetHostFolders(temp, ".\\Docklets\\Quillmere\\");
    hwnd = CreateDockWindow();
    pLive = NewDockletRecord();
    pLive->hwndDocklet = hwnd;
    pLive->hInstance = GetModuleHandleW(nullptr);
    LoadSettings(pLive, nullptr, nullptr);
    ResetHost();
    g_bFeedValid = true;
    g_iChecks = 0;
    g_pfnCheckFeedURL = FakeCheckFeedURL;
}

void ConfigTest::TearDown() {
    // A restore's hand-over starts a refresh of the live instance; let it end first.
    WaitForWorker(pLive->hRefreshThread, 5000);
    StopWorkers(pLive, 5000);
    FreeProfiles(pLive->profiles);
    ReleaseDocklet(pLive);
    DestroyWindow(hwnd);
    g_pfnCheckFeedURL = CheckFeedURL;
    CaptureMessages();
}

_PROFILE_DATA* ConfigTest::AddLiveProfile(const wchar_t* szTitle, const wchar_t* szURL) {
    _PROFILE_DATA* p = NewProfile();
    CopyText(p->szTitle, 501, szTitle);
    CopyText(p->szURL, 2049, szURL);
    CopyText(p->szBackgroundImage, 270, L"C:\\img\\bg.png");
    CopyText(p->szMenuIcon, 270, L"C:\\img\\menu.png");
    pLive->profiles.Add(p);
    pLive->iProfileCount = pLive->profiles.GetCount();
    if (pLive->iCurrentProfile == -1) pLive->iCurrentProfile = 0;
    return p;
}

std::vector<std::wstring> ConfigTest::LiveTitles() const {
    std::vector<std::wstring> out;
    for (unsigned int i = 0; i < pLive->iProfileCount; ++i) out.push_back(pLive->profiles.GetAt(i)->szTitle);
    return out;
}

bool ConfigTest::Configure(std::vector<Step> steps) {
    return RunScript(steps, [this] { OnConfigure(pLive); });
}

Step ConfigTest::WaitSheet() {
    return [this] {
        hSheet = FindDialog(L"Configure Quillmere");
        return hSheet != nullptr && IsWindowEnabled(hSheet);
    };
}

Step ConfigTest::Tab(int iIndex) {
    return [this, iIndex] {
        SelectTab(hSheet, iIndex);
        return true;
    };
}

Step ConfigTest::PressSheet(int iButton) {
    return [this, iButton] {
        PostMessageW(hSheet, PSM_PRESSBUTTON, iButton, 0);
        return true;
    };
}

Step ConfigTest::WaitEditor() {
    return [this] {
        hEditor = FindDialog(L"RSS Feed Profile Settings");
        return hEditor != nullptr && IsWindowEnabled(hEditor);
    };
}

Step ConfigTest::WaitEditorGone() {
    return WaitDialogGone(L"RSS Feed Profile Settings");
}

Step ConfigTest::WaitDialogGone(const wchar_t* szCaption) {
    return [szCaption] { return FindDialog(szCaption) == nullptr; };
}

Step ConfigTest::Do(std::function<void()> fn) {
    return [fn] {
        fn();
        return true;
    };
}
