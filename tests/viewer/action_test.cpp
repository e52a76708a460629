#include <gtest/gtest.h>
#include <cstdio>
#include <fstream>
#include "fixture.h"
#include "viewer/action.h"

namespace {

std::vector<ItemLaunch> g_launches;
void RecordLaunch(HWND, const ItemLaunch& launch) {
    g_launches.push_back(launch);
}

class ItemActionTest : public ViewerFixture {
protected:
    ItemLauncher previous = nullptr;
    void SetUp() override {
        ViewerFixture::SetUp();
        g_launches.clear();
        previous = SetItemLauncher(RecordLaunch);
        AddItem(L"First", L"https://news.example/1", L"one");
        AddItem(L"Second", L"http://news.example/a b?q=\"x\"", L"two");
        pData->iCurrentItem = 0;
        pData->iViewMode = 1;
    }
    void TearDown() override {
        SetItemLauncher(previous);
        ViewerFixture::TearDown();
    }
    void SetLink(int i, const wchar_t* link) { wcscpy(pData->items.GetAt(i)->szLink, link); }
};

}  // namespace

TEST(ItemActionRules, WebAddressesOnly) {
    for (const wchar_t* ok : {L"http://a", L"https://news.example/x?y=1", L"HTTP://EXAMPLE.COM/", L"http://a b"})
        EXPECT_TRUE(IsWebAddress(ok)) << ok;
    for (const wchar_t* bad :
         {L"", L"undefined", L"file:///C:/Windows/notepad.exe", L"javascript:alert(1)", L"data:text/html,x",
          L"C:\\Windows\\system32\\calc.exe", L"\\\\server\\share\\x.exe", L"http:", L"http://", L"http:///x",
          L"http:\\\\a", L"ftp://a/", L"mailto:a@b", L"http://a\r\nb", L" http://a", L"shell:startup"})
        EXPECT_FALSE(IsWebAddress(bad)) << bad;
}

TEST(ItemActionRules, QuotedArgumentCannotAddArguments) {
    EXPECT_EQ(QuoteArgument(L"http://a/b"), L"\"http://a/b\"");
    EXPECT_EQ(QuoteArgument(L"http://a/\" -evil \"x"), L"\"http://a/%22 -evil %22x\"");
    EXPECT_EQ(QuoteArgument(L"http://a/b c"), L"\"http://a/b c\"");
    // Trailing backslashes are doubled so the closing quote is not escaped.
    EXPECT_EQ(QuoteArgument(L"http://a/b\\"), L"\"http://a/b\\\\\"");
    EXPECT_EQ(QuoteArgument(L"http://a\\b"), L"\"http://a\\b\"");
    int argc = 0;
    std::wstring cmd = L"prog.exe " + QuoteArgument(L"http://a/\\\" x\\");
    LPWSTR* argv = CommandLineToArgvW(cmd.c_str(), &argc);
    ASSERT_EQ(argc, 2);
    EXPECT_STREQ(argv[1], L"http://a/\\%22 x\\");
    LocalFree(argv);
}

TEST_F(ItemActionTest, BrowserOpensSafeItemLinksAndPlaysAttention) {
    pData->iItemAction = ITEM_ACTION_BROWSER;
    DoItemAction(pData);
    ASSERT_EQ(g_launches.size(), 1u);
    EXPECT_EQ(g_launches[0].iKind, ITEM_LAUNCH_SHELL);
    EXPECT_EQ(g_launches[0].strFile, L"https://news.example/1");
    EXPECT_EQ(HostSnapshot().attention, 1);
    DoItemAction(pData);
    EXPECT_EQ(HostSnapshot().attention, 2);
    EXPECT_EQ(HostCalls("DockletDoAttentionAnimation")[0].hwnd, pData->hwndDocklet);
}

TEST_F(ItemActionTest, UnsafeLinksLaunchNothing) {
    for (int action : {ITEM_ACTION_BROWSER, ITEM_ACTION_APPLICATION}) {
        pData->iItemAction = action;
        wcscpy(pData->szApplication, L"C:\\reader.exe");
        for (const wchar_t* link : {L"undefined", L"file:///C:/Windows/notepad.exe", L"C:\\Windows\\notepad.exe",
                                    L"\\\\host\\share\\run.exe", L"javascript:alert(1)", L"data:text/html,<b>x</b>",
                                    L""}) {
            SetLink(0, link);
            DoItemAction(pData);
            EXPECT_TRUE(g_launches.empty()) << action << " " << link;
        }
    }
    EXPECT_EQ(HostSnapshot().attention, 0);
}

TEST_F(ItemActionTest, ApplicationGetsTheLinkAsOneQuotedArgument) {
    pData->iItemAction = ITEM_ACTION_APPLICATION;
    wcscpy(pData->szApplication, L"%ProgramFiles%\\Reader\\reader.exe");
    pData->iCurrentItem = 1;
    DoItemAction(pData);
    ASSERT_EQ(g_launches.size(), 1u);
    EXPECT_EQ(g_launches[0].iKind, ITEM_LAUNCH_APPLICATION);
    EXPECT_EQ(g_launches[0].strFile, L"%ProgramFiles%\\Reader\\reader.exe");
    EXPECT_EQ(g_launches[0].strParameters, L"\"http://news.example/a b?q=%22x%22\"");
    EXPECT_EQ(HostSnapshot().attention, 1);

    pData->szApplication[0] = 0;  // no program: nothing
    DoItemAction(pData);
    EXPECT_EQ(g_launches.size(), 1u);
    EXPECT_EQ(HostSnapshot().attention, 1);
}

TEST_F(ItemActionTest, AllItemsUsesTheProfileUrlAsTyped) {
    pData->iViewMode = 0;
    pData->iItemAction = ITEM_ACTION_BROWSER;
    DoItemAction(pData);
    pData->iItemAction = ITEM_ACTION_APPLICATION;
    wcscpy(pData->szApplication, L"reader.exe");
    DoItemAction(pData);
    ASSERT_EQ(g_launches.size(), 2u);
    EXPECT_EQ(g_launches[0].iKind, ITEM_LAUNCH_SHELL);
    EXPECT_EQ(g_launches[0].strFile, L"feeds.example/news.xml");
    EXPECT_EQ(g_launches[1].strParameters, L"feeds.example/news.xml");
    EXPECT_EQ(HostSnapshot().attention, 2);

    pData->iCurrentProfile = -1;  // no active profile: nothing
    DoItemAction(pData);
    pData->iCurrentProfile = 5;
    DoItemAction(pData);
    EXPECT_EQ(g_launches.size(), 2u);
}

TEST_F(ItemActionTest, OtherActionsAndViewModesDoNothing) {
    for (unsigned int action : {0u, 3u, 5u, 8u}) {
        pData->iItemAction = action;
        DoItemAction(pData);
    }
    pData->iItemAction = ITEM_ACTION_BROWSER;
    pData->iViewMode = 2;
    DoItemAction(pData);
    pData->iViewMode = -1;
    DoItemAction(pData);
    EXPECT_TRUE(g_launches.empty());
    EXPECT_EQ(HostSnapshot().attention, 0);
    EXPECT_EQ(pData->hwndViewer, nullptr);
    DoItemAction(nullptr);
}

TEST_F(ItemActionTest, PlanMatchesTheTable) {
    pData->iItemAction = ITEM_ACTION_VIEWER;
    EXPECT_EQ(PlanItemAction(pData).iKind, ITEM_LAUNCH_VIEWER);
    pData->iViewMode = 0;
    EXPECT_EQ(PlanItemAction(pData).iKind, ITEM_LAUNCH_VIEWER);
    pData->iViewMode = 1;
    pData->iCurrentItem = 7;  // not an index of items
    pData->iItemAction = ITEM_ACTION_BROWSER;
    EXPECT_EQ(PlanItemAction(pData).iKind, ITEM_LAUNCH_NONE);
    EXPECT_EQ(PlanItemAction(nullptr).iKind, ITEM_LAUNCH_NONE);
}

TEST(RunApplicationTest, StartsTheExpandedProgramWithTheQuotedLink) {
    std::string dir = MakeTempFolder("app");
    {
        std::ofstream bat(dir + "rec.bat", std::ios::binary);
        bat << "@echo off\r\necho %*> \"%~dp0args.txt\"\r\n";
    }
    SetEnvironmentVariableA("QM_REC_DIR", dir.substr(0, dir.size() - 1).c_str());
    // (A batch file re-expands percent signs, so the link here has none; the quoting of
    // quotes is checked against the command-line parser above.)
    RunApplication(L"%QM_REC_DIR%\\rec.bat", QuoteArgument(L"http://a.example/x y?z=1").c_str());
    // The program runs on its own; its one line is its answer (10 s: the command
    // interpreter's start under Wine).
    std::string out;
    PumpUntil(
        [&] {
            std::ifstream in(dir + "args.txt", std::ios::binary);
            std::getline(in, out);
            return !out.empty();
        },
        10000);
    while (!out.empty() && (out.back() == '\r' || out.back() == ' ')) out.pop_back();
    EXPECT_EQ(out, "\"http://a.example/x y?z=1\"");
}
