// A live instance without threads or settings file, owned by a dock window of the
// test thread, and the steps that open and close the settings sheet on it.
#pragma once
#include <windows.h>
#include <gtest/gtest.h>
#include <prsht.h>
#include <string>
#include <vector>
#include "config/config.h"
#include "config/driver.h"
#include "app/entry.h"
#include "core/record.h"
#include "app/instance.h"
#include "core/message.h"
#include "core/settings.h"
#include "feed/urlcheck.h"
#include "resources/config_ids.h"
#include "support/testhost.h"

// The URL check of the tests: answers g_bFeedValid, fills an empty title like a feed.
extern bool g_bFeedValid;
extern int g_iChecks;
bool FakeCheckFeedURL(_PROFILE_DATA* pProfile, HANDLE);

struct ConfigTest : testing::Test {
    HWND hwnd = nullptr;
    _DOCKLET_DATA* pLive = nullptr;
    HWND hSheet = nullptr;
    HWND hEditor = nullptr;
    std::string temp;

    void SetUp() override;
    void TearDown() override;

    _PROFILE_DATA* AddLiveProfile(const wchar_t* szTitle, const wchar_t* szURL = L"http://example.test/feed");
    std::vector<std::wstring> LiveTitles() const;
    // Runs OnConfigure with the steps played inside the sheet; true when all ran.
    bool Configure(std::vector<Step> steps);

    // Common steps.
    Step WaitSheet();
    Step Tab(int iIndex);
    Step PressSheet(int iButton);  // PSBTN_OK or PSBTN_CANCEL
    Step WaitEditor();
    Step WaitEditorGone();
    Step WaitDialogGone(const wchar_t* szCaption);
    Step Do(std::function<void()> fn);
    HWND Page(int iIndex) const { return SheetPage(hSheet, iIndex); }
};

std::wstring Wide(const std::string& s);
