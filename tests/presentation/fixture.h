// Shared fixtures of the presentation tests: instance records with default settings,
// hand-made feed items and profiles, and pixel access to GDI+ bitmaps.
#pragma once
#include <gtest/gtest.h>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>
#include "core/gdiplus.h"
#include "app/commands.h"
#include "app/instance.h"
#include "core/record.h"
#include "core/settings.h"
#include "feed/parser.h"
#include "presentation/icon.h"
#include "support/testhost.h"

// A record with the default settings and a window of this thread as its dock icon.
struct Docklet {
    _DOCKLET_DATA* p = NewDockletRecord();
    HWND hwnd = CreateDockWindow();
    Docklet() {
        LoadSettings(p, nullptr, nullptr);
        p->hwndDocklet = hwnd;
        p->dwUIThreadId = GetCurrentThreadId();
        p->pfnUpdateDisplay = UpdateDockDisplay;
        p->iCurrentItem = -1;
    }
    ~Docklet() {
        WaitIdle();
        StopWorkers(p, 5000);
        FreeFeedItems(p->items);
        FreeProfiles(p->profiles);
        ReleaseDocklet(p);
        DestroyWindow(hwnd);
    }
    Docklet(const Docklet&) = delete;
    Docklet& operator=(const Docklet&) = delete;
    _DOCKLET_DATA* operator->() const { return p; }

    void AddItem(const wchar_t* szTitle, const wchar_t* szLink = L"http://example.test/item") {
        _RSSFEED_DATA* pItem = NewFeedItem();
        CopyText(pItem->szTitle, 501, szTitle);
        CopyText(pItem->szLink, 2049, szLink);
        CopyText(pItem->szPubDate, 101, L"undefined");
        pItem->pszDescription = new wchar_t[1]{0};
        p->items.Add(pItem);
    }
    _PROFILE_DATA* AddProfile(const wchar_t* szTitle, const wchar_t* szURL = L"http://127.0.0.1:9/feed.xml") {
        _PROFILE_DATA* pProfile = NewProfile();
        CopyText(pProfile->szTitle, 501, szTitle);
        CopyText(pProfile->szURL, 2049, szURL);
        CopyText(pProfile->szBackgroundImage, 270, L"background.png");
        CopyText(pProfile->szMenuIcon, 270, L"menu.png");
        p->profiles.Add(pProfile);
        p->iProfileCount = p->profiles.GetCount();
        return pProfile;
    }
    // Waits for a refresh worker to end (the stub download fails at once).
    bool WaitIdle(DWORD dwMs = 5000) { return WaitForWorker(p->hRefreshThread, dwMs); }
};

// The pixels of a GDI+ bitmap as ARGB values.
struct Pixels {
    int w = 0, h = 0;
    std::vector<uint32_t> argb;
    explicit Pixels(qm::GpBitmap* pBitmap) {
        if (!pBitmap) return;
        UINT uw = 0, uh = 0;
        qm::GdipGetImageWidth(pBitmap, &uw);
        qm::GdipGetImageHeight(pBitmap, &uh);
        Gdiplus::Rect rc(0, 0, static_cast<INT>(uw), static_cast<INT>(uh));
        Gdiplus::BitmapData data = {};
        if (qm::GdipBitmapLockBits(pBitmap, &rc, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) !=
            Gdiplus::Ok)
            return;
        w = static_cast<int>(uw);
        h = static_cast<int>(uh);
        argb.resize(static_cast<size_t>(w) * h);
        for (int y = 0; y < h; ++y)
            memcpy(&argb[static_cast<size_t>(y) * w], static_cast<BYTE*>(data.Scan0) + y * data.Stride, 4u * w);
        qm::GdipBitmapUnlockBits(pBitmap, &data);
    }
    uint32_t At(int x, int y) const { return argb[static_cast<size_t>(y) * w + x]; }
    int A(int x, int y) const { return At(x, y) >> 24; }
    int R(int x, int y) const { return (At(x, y) >> 16) & 0xFF; }
    int G(int x, int y) const { return (At(x, y) >> 8) & 0xFF; }
    int B(int x, int y) const { return At(x, y) & 0xFF; }
};

// The pixels of a GDI bitmap, read back through GDI+.
inline Pixels PixelsOfHBitmap(HBITMAP hBitmap) {
    qm::GpBitmap* pBitmap = nullptr;
    qm::GdipCreateBitmapFromHBITMAP(hBitmap, nullptr, &pBitmap);
    qm::GdipBitmapPtr holder(pBitmap);
    return Pixels(pBitmap);
}

inline std::wstring Wide(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

// Writes an image file of w x h pixels, each pixel given by fn(x, y) as ARGB.
template <typename Fn>
bool WriteTestImage(const std::string& path, int w, int h, Fn fn) {
    qm::GdipBitmapPtr bitmap;
    if (qm::GdipCreateBitmapFromScan0(w, h, 0, PixelFormat32bppARGB, nullptr, bitmap.put()) != Gdiplus::Ok)
        return false;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) qm::GdipBitmapSetPixel(bitmap.get(), x, y, fn(x, y));
    return qm::GdipSaveImageToFile(bitmap.get(), Wide(path).c_str(), &qm::PngEncoderClsid(), nullptr) == Gdiplus::Ok;
}

// Saves a GDI+ image as a PNG next to the test executable, for looking at it.
inline void SaveForLooking(qm::GpImage* pImage, const char* szName) {
    if (!pImage) return;
    qm::GdipSaveImageToFile(pImage, Wide(TestExeFolder() + szName).c_str(), &qm::PngEncoderClsid(), nullptr);
}
