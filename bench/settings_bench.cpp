// Times the settings store: the save (OnSave's work) and the load of an icon with 100
// and with 10,000 profiles, in a settings file that holds the dock's other sections
// too. Prints one line per measurement.
#include <windows.h>
#include <cstdio>
#include <string>
#include "core/record.h"
#include "core/settings.h"
#include "benchclock.h"

namespace {

_DOCKLET_DATA* MakeInstance(int nProfiles) {
    _DOCKLET_DATA* pData = NewDockletRecord();
    LoadSettings(pData, nullptr, nullptr);
    for (int i = 0; i < nProfiles; ++i) {
        _PROFILE_DATA* pProfile = NewProfile();
        swprintf(pProfile->szTitle, 501, L"Feed number %d of the bench", i);
        swprintf(pProfile->szURL, 2049, L"http://example.com/feeds/%d/rss.xml", i);
        CopyText(pProfile->szBackgroundImage, 270, L"C:\\Dock\\Docklets\\Quillmere\\icons\\background.png");
        CopyText(pProfile->szMenuIcon, 270, L"C:\\Dock\\Docklets\\Quillmere\\icons\\menu.png");
        pData->profiles.Add(pProfile);
    }
    pData->iProfileCount = pData->profiles.GetCount();
    pData->iCurrentProfile = nProfiles > 0 ? 0 : -1;
    return pData;
}

void Release(_DOCKLET_DATA* pData) {
    FreeProfiles(pData->profiles);
    ReleaseDocklet(pData);
}

// The best of three runs: the machine is shared, the best run is the store's own time.
template <typename Fn>
double BestSeconds(Fn fn) {
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        double t0 = NowSeconds();
        fn();
        double t = NowSeconds() - t0;
        if (t < best) best = t;
    }
    return best;
}

}  // namespace

int main() {
    wchar_t szTemp[MAX_PATH];
    GetTempPathW(MAX_PATH, szTemp);
    const std::wstring file = std::wstring(szTemp) + L"qm-settings-bench.ini";
    bool bOk = true;
    for (int nProfiles : {100, 10000}) {
        // The dock's own sections and another docklet's around the icon's.
        FILE* f = _wfopen(file.c_str(), L"wb");
        fputs("[General]\r\nVersion=1.9\r\n[Docklet0]\r\nFileName=Docklets\\Clock\\clock.dll\r\n[Docklet1]\r\n"
              "FileName=Docklets\\Quillmere\\quillmere.dll\r\n[Docklet2]\r\nTitle=Weather\r\n",
              f);
        fclose(f);
        _DOCKLET_DATA* pData = MakeInstance(nProfiles);
        double save = BestSeconds([&] { bOk = SaveSettings(pData, file.c_str(), L"Docklet1") && bOk; });
        _DOCKLET_DATA* pLoaded = NewDockletRecord();
        double load = BestSeconds([&] { LoadSettings(pLoaded, file.c_str(), L"Docklet1"); });
        bOk = bOk && pLoaded->iProfileCount == static_cast<unsigned int>(nProfiles);
        WIN32_FILE_ATTRIBUTE_DATA attributes = {};
        GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &attributes);
        printf("settings_bench: %5d profiles (file %lu KB): save %.3f s, load %.3f s\n", nProfiles,
               attributes.nFileSizeLow / 1024, save, load);
        Release(pLoaded);
        Release(pData);
    }
    DeleteFileW(file.c_str());
    if (!bOk) fprintf(stderr, "settings_bench: a save failed or a load gave another count\n");
    return bOk ? 0 : 1;
}
