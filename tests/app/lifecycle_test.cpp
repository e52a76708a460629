// The entry points through the built DLL, loaded as the dock loads it; the test
// executable plays the dock and records the host calls.
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include "app/entry.h"
#include "app/instance.h"
#include "core/record.h"
#include "feed/download.h"
#include "support/testhost.h"

namespace {

struct Dll {
    HMODULE h = LoadLibraryA(BuildPath("dock\\Docklets\\Quillmere\\quillmere.dll").c_str());
    ~Dll() { if (h) FreeLibrary(h); }
    template <typename T>
    T Get(const char* name) { return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(h, name))); }
};

struct LifecycleTest : testing::Test {
    Dll dll;
    PFN_OnCreate pfnCreate = nullptr;
    PFN_OnDestroy pfnDestroy = nullptr;
    HWND hwnd = CreateDockWindow();
    void SetUp() override {
        ResetHost();
        ASSERT_TRUE(dll.h) << "quillmere.dll not found";
        pfnCreate = dll.Get<PFN_OnCreate>("OnCreate");
        pfnDestroy = dll.Get<PFN_OnDestroy>("OnDestroy");
    }
    void TearDown() override { DestroyWindow(hwnd); }
};

}  // namespace

TEST_F(LifecycleTest, ExportsAllEntryPointsUndecorated) {
    for (const char* name : {"OnGetInformation", "OnCreate", "OnDestroy", "OnSave", "OnExportFiles",
                             "OnProcessMessage", "OnLeftButtonClick", "OnRightButtonClick", "OnDoubleClick",
                             "OnLeftButtonHeld", "OnConfigure", "OnAbout", "ConfigureDocklet", "AboutDocklet"})
        EXPECT_NE(GetProcAddress(dll.h, name), nullptr) << name;
    EXPECT_EQ(GetProcAddress(dll.h, "OnDoubleClick"), GetProcAddress(dll.h, "OnLeftButtonHeld"));
}

TEST_F(LifecycleTest, GetInformationIsBounded) {
    char name[256], author[256], notes[2048];
    int version = 0;
    dll.Get<PFN_OnGetInformation>("OnGetInformation")(name, author, &version, notes);
    EXPECT_STREQ(name, "Quillmere");
    EXPECT_EQ(version, 100);
    EXPECT_LT(strlen(author), 256u);
    EXPECT_GT(strlen(notes), 0u);
}

TEST_F(LifecycleTest, NullSettingsGiveDefaultsLabelAndAnIdleRefresh) {
    _DOCKLET_DATA* pData = pfnCreate(hwnd, dll.h, nullptr, nullptr);
    ASSERT_NE(pData, nullptr);
    // Loading the defaults sets the label before anything else reaches the host.
    std::vector<HostCall> labels = HostCalls("DockletSetLabel");
    ASSERT_FALSE(labels.empty());
    EXPECT_EQ(labels[0].text, "Quillmere");
    EXPECT_STREQ(pData->szTitle, L"Quillmere");
    EXPECT_EQ(pData->iCurrentProfile, -1);
    // The icon is the docklet-wide image, resolved into the images folder.
    std::string image = HostSnapshot().imageFile;
    EXPECT_NE(image.find("Docklets\\Quillmere\\icons\\background.png"), std::string::npos) << image;
    EXPECT_TRUE(WaitForWorker(pData->hRefreshThread, GetFeedTimeLimit()));
    // With no profile the worker ends at once and re-arms the timer on this thread.
    EXPECT_TRUE(KillTimer(hwnd, IDT_REFRESH));
    pfnDestroy(pData, hwnd);
}

TEST_F(LifecycleTest, ExportFilesReportsTheImagesFolderOnce) {
    SetHostFolders("C:\\dock\\", ".\\Docklets\\Quillmere\\");
    _DOCKLET_DATA* pData = pfnCreate(hwnd, dll.h, nullptr, nullptr);
    ASSERT_NE(pData, nullptr);
    auto pfnExport = dll.Get<PFN_OnExportFiles>("OnExportFiles");
    char out[261];
    memset(out, 'z', sizeof(out));
    EXPECT_FALSE(pfnExport(pData, out, 1));
    EXPECT_EQ(out[0], 'z');
    EXPECT_TRUE(pfnExport(pData, out, 0));
    EXPECT_STREQ(out, ".\\Docklets\\Quillmere\\icons");
    WaitForWorker(pData->hRefreshThread, GetFeedTimeLimit());
    pfnDestroy(pData, hwnd);
}

TEST_F(LifecycleTest, OtherMessagesAndClicksDoNothing) {
    _DOCKLET_DATA* pData = pfnCreate(hwnd, dll.h, nullptr, nullptr);
    ASSERT_NE(pData, nullptr);
    WaitForWorker(pData->hRefreshThread, GetFeedTimeLimit());
    auto pfnMessage = dll.Get<PFN_OnProcessMessage>("OnProcessMessage");
    pfnMessage(pData, hwnd, WM_TIMER, 123241, 0);
    pfnMessage(pData, hwnd, WM_COMMAND, IDT_REFRESH, 0);
    EXPECT_FALSE(IsWorkerRunning(pData->hRefreshThread));
    POINT pt = {};
    SIZE size = {};
    EXPECT_FALSE(dll.Get<PFN_OnClick>("OnDoubleClick")(pData, &pt, &size));
    EXPECT_FALSE(dll.Get<PFN_OnClick>("OnLeftButtonHeld")(pData, &pt, &size));
    EXPECT_FALSE(dll.Get<PFN_OnClick>("OnLeftButtonClick")(nullptr, &pt, &size));
    EXPECT_FALSE(dll.Get<PFN_OnClick>("OnRightButtonClick")(nullptr, &pt, &size));
    dll.Get<PFN_OnConfigure>("OnConfigure")(nullptr);
    // The refresh timer's tick starts a refresh.
    pfnMessage(pData, hwnd, WM_TIMER, IDT_REFRESH, 0);
    EXPECT_TRUE(WaitForWorker(pData->hRefreshThread, GetFeedTimeLimit()));
    pfnDestroy(pData, hwnd);
}

TEST_F(LifecycleTest, TwoIconsShareTheWindowClasses) {
    HWND hwnd2 = CreateDockWindow();
    _DOCKLET_DATA* a = pfnCreate(hwnd, dll.h, nullptr, nullptr);
    _DOCKLET_DATA* b = pfnCreate(hwnd2, dll.h, nullptr, nullptr);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    WaitForWorker(a->hRefreshThread, 5000);
    WaitForWorker(b->hRefreshThread, 5000);
    pfnDestroy(a, hwnd);
    // The second icon still has its "AX" class after the first is gone.
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    EXPECT_TRUE(GetClassInfoExW(dll.h, L"AX", &wc));
    pfnDestroy(b, hwnd2);
    EXPECT_FALSE(GetClassInfoExW(dll.h, L"AX", &wc));
    DestroyWindow(hwnd2);
}

// ---- threads that share the record (linked in, not through the DLL) ----

namespace {
volatile LONG g_workerSawStop = 0;
// A call that cannot be interrupted (a slow server, a stuck parser): it goes on until
// the test releases it, whatever the cancel event says.
qm::UniqueHandleNull g_hRelease(CreateEventW(nullptr, TRUE, FALSE, nullptr));
qm::UniqueHandleNull g_hWorkerDone(CreateEventW(nullptr, TRUE, FALSE, nullptr));
void StuckWork(_DOCKLET_DATA* pData, HANDLE hCancel) {
    WaitForSingleObject(g_hRelease.get(), 10000);
    InterlockedExchange(&g_workerSawStop, ShouldStop(pData, hCancel) ? 1 : 0);
    SetEvent(g_hWorkerDone.get());
}
void ArmFromWorker(_DOCKLET_DATA* pData, HANDLE) {
    ArmRefreshTimer(pData);
}
}  // namespace

TEST(DockletThreads, DestroyAbandonsAStuckThreadAndReturnsPromptly) {
    HWND hwnd = CreateDockWindow();
    _DOCKLET_DATA* pData = CreateDocklet(hwnd, GetModuleHandleW(nullptr), nullptr, nullptr);
    ASSERT_NE(pData, nullptr);
    ASSERT_TRUE(WaitForWorker(pData->hRefreshThread, GetFeedTimeLimit()));
    ResetEvent(g_hRelease.get());
    ResetEvent(g_hWorkerDone.get());
    {
        qm::ScopedLock lock(pData->csState);
        ASSERT_TRUE(StartWorker(pData, pData->hRefreshThread, StuckWork));
    }
    DWORD start = GetTickCount();
    DestroyDocklet(pData);
    DWORD spent = GetTickCount() - start;
    // Its deadline, plus as much again on a loaded machine: far less than the stuck call.
    EXPECT_LT(spent, 2 * DOCKLET_STOP_WAIT_MS);
    // The abandoned thread still holds the record; released, it ends and frees it.
    SetEvent(g_hRelease.get());
    EXPECT_EQ(WaitForSingleObject(g_hWorkerDone.get(), 5000), WAIT_OBJECT_0);
    EXPECT_EQ(g_workerSawStop, 1);
    DestroyWindow(hwnd);
}

TEST(DockletThreads, TimerIsArmedOnTheWindowThread) {
    HWND hwnd = CreateDockWindow();
    _DOCKLET_DATA* pData = CreateDocklet(hwnd, GetModuleHandleW(nullptr), nullptr, nullptr);
    ASSERT_NE(pData, nullptr);
    ASSERT_TRUE(WaitForWorker(pData->hRefreshThread, GetFeedTimeLimit()));
    KillTimer(hwnd, IDT_REFRESH);
    g_dwLastTimerThread = 0;
    DockletWorker worker;
    ASSERT_TRUE(StartWorker(pData, worker, ArmFromWorker));
    EXPECT_TRUE(WaitForWorker(worker, DOCKLET_STOP_WAIT_MS));
    JoinWorker(worker, GetTickCount());
    EXPECT_EQ(g_dwLastTimerThread, GetCurrentThreadId());
    EXPECT_TRUE(KillTimer(hwnd, IDT_REFRESH));
    DestroyDocklet(pData);
    DestroyWindow(hwnd);
}
