#include "fixture.h"
#include <cstdlib>
#include <cwchar>
#include "core/settings.h"
#include "feed/parser.h"
#include "viewer/action.h"
#include "viewer/axhost.h"
#include "viewer/pages.h"

const CLSID c_clsidWebBrowser = {0x8856f961, 0x340a, 0x11d0, {0xa9, 0x6b, 0x00, 0xc0, 0x4f, 0xd7, 0x05, 0xa2}};

namespace {
std::function<void(int)> g_script;
int g_tick = 0;
DWORD g_start = 0;
_DOCKLET_DATA* g_pData = nullptr;

void CALLBACK ScriptTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (!g_pData || !g_pData->hwndViewer) return;
    if (GetTickCount() - g_start > 8000) {
        SendMessageW(g_pData->hwndViewer, WM_CLOSE, 0, 0);
        return;
    }
    if (g_script) g_script(g_tick++);
}
}  // namespace

bool EnsureAXClass() {
    static ATOM atom = RegisterAXClass(GetModuleHandleW(nullptr));
    return atom != 0;
}

void ViewerFixture::SetUp() {
    ASSERT_TRUE(EnsureAXClass());
    ResetHost();
    ResetStandIn();
    pData = NewDockletRecord();
    pData->hInstance = GetModuleHandleW(nullptr);
    pData->hwndDocklet = CreateDockWindow();
    pData->iItemAction = ITEM_ACTION_VIEWER;
    pData->bSavePos = 0;
    pData->iPosX = pData->iPosY = -1;
    pData->iWidth = 450;
    pData->iHeight = 300;
    _PROFILE_DATA* pProfile = NewProfile();
    wcscpy(pProfile->szTitle, L"Profile title");
    wcscpy(pProfile->szURL, L"feeds.example/news.xml");
    pData->profiles.Add(pProfile);
    pData->iProfileCount = 1;
    pData->iCurrentProfile = 0;
}

void ViewerFixture::TearDown() {
    if (dwStandIn) RevokeStandIn(dwStandIn);
    if (bRecordReleased) return;
    HWND hwnd = pData->hwndDocklet;
    FreeFeedItems(pData->items);
    FreeProfiles(pData->profiles);
    ReleaseDocklet(pData);
    DestroyWindow(hwnd);
}

void ViewerFixture::AddItem(const wchar_t* title, const wchar_t* link, const wchar_t* description) {
    auto* p = static_cast<_RSSFEED_DATA*>(calloc(1, sizeof(_RSSFEED_DATA)));
    wcscpy(p->szTitle, title);
    wcscpy(p->szLink, link);
    wcscpy(p->szPubDate, L"Mon, 07 Dec 2026 10:00:00 GMT");
    size_t n = wcslen(description) + 1;
    p->pszDescription = new wchar_t[n];
    wmemcpy(p->pszDescription, description, n);
    swprintf(p->szItemFile, 260, L"item%u.html", pData->items.GetCount());
    pData->items.Add(p);
}

void ViewerFixture::UseStandIn() {
    dwStandIn = RegisterStandIn(c_clsidWebBrowser);
    ASSERT_NE(dwStandIn, 0u);
}

void ViewerFixture::RunViewer(const std::function<void(int)>& script) {
    g_script = script;
    g_tick = 0;
    g_start = GetTickCount();
    g_pData = pData;
    UINT_PTR timer = SetTimer(nullptr, 0, 20, ScriptTimer);
    DoItemAction(pData);
    KillTimer(nullptr, timer);
    g_pData = nullptr;
    g_script = nullptr;
}

std::wstring ViewerFixture::PagePath(const wchar_t* name) {
    wchar_t folder[PAGE_PATH_MAX + 1];
    GetPageFolder(folder);
    return std::wstring(folder) + L"\\" + name;
}

bool ViewerFixture::FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool ViewerFixture::PageDone() const {
    qm::ScopedLock lock(pData->csState);
    return !IsWorkerRunning(pData->hPageThread);
}
