// An instance record with a profile and feed items, the "AX" class registered for the
// test executable (which carries the viewer's dialog template), and a way to act inside
// the viewer's modal loop.
#pragma once
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include "core/record.h"
#include "app/instance.h"
#include "standin.h"
#include "support/testhost.h"

extern const CLSID c_clsidWebBrowser;

// Registers "AX" for the test executable once per process; true when it is registered.
bool EnsureAXClass();

class ViewerFixture : public ::testing::Test {
protected:
    _DOCKLET_DATA* pData = nullptr;
    bool bRecordReleased = false;
    DWORD dwStandIn = 0;

    void SetUp() override;
    void TearDown() override;
    // Adds an item record as the parser makes it.
    void AddItem(const wchar_t* title, const wchar_t* link, const wchar_t* description);
    // Puts the stand-in control in place of the WebBrowser control.
    void UseStandIn();
    // Runs DoItemAction; script(tick) runs every 20 ms on this thread inside the modal
    // loop while the viewer is open. A viewer still open after 8 s is closed.
    void RunViewer(const std::function<void(int)>& script);
    // Full path of a page in the page folder.
    static std::wstring PagePath(const wchar_t* name);
    static bool FileExists(const std::wstring& path);
public:
    // True once the page thread has ended.
    bool PageDone() const;
};
