#include "core/settings.h"
#include "core/host.h"
#include <cstdio>
#include <cwchar>

namespace {

void ReadText(const wchar_t* szSection, const wchar_t* szKey, const wchar_t* szDefault, wchar_t* szOut,
              size_t cchOut, DWORD cchLimit, const wchar_t* szFile) {
    wchar_t szValue[2048 + 1];
    if (cchLimit > 2048) cchLimit = 2048;
    GetPrivateProfileStringW(szSection, szKey, szDefault, szValue, cchLimit + 1, szFile);
    szValue[cchLimit] = 0;
    CopyText(szOut, cchOut, szValue);
}

int ReadInt(const wchar_t* szSection, const wchar_t* szKey, const wchar_t* szDefault, const wchar_t* szFile) {
    wchar_t szValue[20];
    GetPrivateProfileStringW(szSection, szKey, szDefault, szValue, 20, szFile);
    szValue[19] = 0;
    return _wtoi(szValue);
}

// A number clamped to iMin..iMax. Text without digits reads as 0, and digits beyond
// the range of int are clamped too rather than wrapped.
int ReadClamped(const wchar_t* szSection, const wchar_t* szKey, const wchar_t* szDefault, int iMin, int iMax,
                const wchar_t* szFile) {
    wchar_t szValue[20];
    GetPrivateProfileStringW(szSection, szKey, szDefault, szValue, 20, szFile);
    szValue[19] = 0;
    long long llValue = _wcstoi64(szValue, nullptr, 10);
    if (llValue < iMin) return iMin;
    if (llValue > iMax) return iMax;
    return static_cast<int>(llValue);
}

int ReadFlag(const wchar_t* szSection, const wchar_t* szKey, const wchar_t* szDefault, const wchar_t* szFile) {
    return ReadInt(szSection, szKey, szDefault, szFile) == 1 ? 1 : 0;
}

void WriteText(const wchar_t* szSection, const wchar_t* szKey, const wchar_t* szValue, const wchar_t* szFile) {
    WritePrivateProfileStringW(szSection, szKey, szValue, szFile);
}

void SetDefaults(_DOCKLET_DATA* pData) {
    CopyText(pData->szTitle, 500, L"Quillmere");
    CopyText(pData->szImagesFolder, 270, L"icons");
    CopyText(pData->szBackgroundImage, 270, L"background.png");
    CopyText(pData->szMenuIcon, 270, L"menu.png");
    pData->iDockletInfo = INFO_ITEM_TITLE;
    pData->iLabelInfo = INFO_PROFILE_TITLE;
    CopyText(pData->szFontName, 32, L"Tahoma");
    pData->iFontSize = 11;
    pData->crFontColor = 0xFFFFFF;
    pData->bFontAlpha = 255;
    pData->crBackgroundColor = 0;
    pData->bBackgroundAlpha = 100;
    pData->bFramedBackground = 1;
    pData->bRoundedCorners = 1;
    pData->iPosX = -1;
    pData->iPosY = -1;
    pData->iWidth = 450;
    pData->iHeight = 300;
    pData->iItemAction = ITEM_ACTION_VIEWER;
    pData->bSavePos = 0;
    pData->szApplication[0] = 0;
    pData->bCycleItems = 0;
    pData->iCycleSeconds = CYCLE_SECONDS_DEFAULT;
    pData->iCycleCount = CYCLE_COUNT_DEFAULT;
    pData->bNotifyNew = 1;
}

}  // namespace

_PROFILE_DATA* NewProfile() {
    return static_cast<_PROFILE_DATA*>(calloc(1, sizeof(_PROFILE_DATA)));
}

void FreeProfile(_PROFILE_DATA* pProfile) {
    free(pProfile);
}

void FreeProfiles(ProfileList& profiles) {
    for (unsigned int i = 0; i < profiles.GetCount(); ++i) {
        FreeProfile(profiles.GetAt(i));
        profiles.GetAt(i) = nullptr;
    }
    profiles.RemoveAll();
}

void LoadSettings(_DOCKLET_DATA* pData, const char* szFile, const char* szSection) {
    if (!pData) return;
    FreeProfiles(pData->profiles);
    pData->iProfileCount = 0;
    if (szFile && szSection) {
        wchar_t szF[260], szS[260];
        AnsiToWide(szF, 260, szFile);
        AnsiToWide(szS, 260, szSection);
        ReadText(szS, L"Title", L"Quillmere", pData->szTitle, 500, 259, szF);
        ReadText(szS, L"ImagesFolder", L"icons", pData->szImagesFolder, 270, 259, szF);
        ReadText(szS, L"BackgroundImage", L"background.png", pData->szBackgroundImage, 270, 259, szF);
        ReadText(szS, L"IconMenu", L"menu.png", pData->szMenuIcon, 270, 259, szF);
        pData->iDockletInfo = static_cast<unsigned int>(ReadInt(szS, L"DockletData", L"4", szF));
        pData->iLabelInfo = static_cast<unsigned int>(ReadInt(szS, L"LabelData", L"16", szF));
        ReadText(szS, L"DFontName", L"Tahoma", pData->szFontName, 32, 31, szF);
        pData->iFontSize = ReadInt(szS, L"DFontSize", L"11", szF);
        pData->crFontColor = static_cast<COLORREF>(ReadInt(szS, L"DFontColor", L"16777215", szF));
        pData->bFontAlpha = static_cast<BYTE>(ReadInt(szS, L"DFontAlpha", L"255", szF));
        pData->crBackgroundColor = static_cast<COLORREF>(ReadInt(szS, L"DBackgroundColor", L"0", szF));
        pData->bBackgroundAlpha = static_cast<BYTE>(ReadInt(szS, L"DBackgroundAlpha", L"100", szF));
        pData->bFramedBackground = ReadFlag(szS, L"DBackgroundFrame", L"1", szF);
        pData->bRoundedCorners = ReadFlag(szS, L"DRodundedCorners", L"1", szF);
        pData->iPosX = ReadInt(szS, L"PosX", L"-1", szF);
        pData->iPosY = ReadInt(szS, L"PosY", L"-1", szF);
        pData->iWidth = ReadInt(szS, L"Width", L"450", szF);
        pData->iHeight = ReadInt(szS, L"Height", L"300", szF);
        pData->iItemAction = static_cast<unsigned int>(ReadInt(szS, L"ItemAction", L"1", szF));
        pData->bSavePos = ReadFlag(szS, L"SavePos", L"0", szF);
        ReadText(szS, L"Application", L"", pData->szApplication, 270, 259, szF);
        pData->bCycleItems = ReadFlag(szS, L"CycleItems", L"0", szF);
        pData->iCycleSeconds =
            ReadClamped(szS, L"CycleSeconds", L"8", CYCLE_SECONDS_MIN, CYCLE_SECONDS_MAX, szF);
        pData->iCycleCount = ReadClamped(szS, L"CycleCount", L"10", CYCLE_COUNT_MIN, CYCLE_COUNT_MAX, szF);
        pData->bNotifyNew = ReadFlag(szS, L"NotifyNew", L"1", szF);
        int iCount = ReadInt(szS, L"Profiles", L"0", szF);
        int iCurrent = ReadInt(szS, L"CurrentProfile", L"-1", szF);
        // A damaged count loads as no profiles; the current index must name a profile.
        if (iCount < 0 || iCount > MAX_PROFILES) iCount = 0;
        if (iCurrent < 0 || iCurrent >= iCount) iCurrent = -1;
        // The profiles are read into a list of their own and put in place whole, so a
        // failure half-way (memory) leaves no count with empty slots behind.
        ProfileList loaded;
        try {
            for (int i = 0; i < iCount; ++i) {
                _PROFILE_DATA* pProfile = NewProfile();
                if (!pProfile) throw ProfileList::ALLOCATION_FAILED;
                try {
                    loaded.Add(pProfile);
                } catch (...) {
                    FreeProfile(pProfile);
                    throw;
                }
                wchar_t szKey[64];
                swprintf(szKey, 64, L"A%d-RssFeedURL", i);
                ReadText(szS, szKey, L"", pProfile->szURL, 2049, 2047, szF);
                swprintf(szKey, 64, L"A%d-RssFeedTitle", i);
                ReadText(szS, szKey, L"", pProfile->szTitle, 501, 499, szF);
                swprintf(szKey, 64, L"A%d-szBackgroundImage", i);
                ReadText(szS, szKey, L"background.png", pProfile->szBackgroundImage, 270, 259, szF);
                swprintf(szKey, 64, L"A%d-IconMenu", i);
                ReadText(szS, szKey, L"menu.png", pProfile->szMenuIcon, 270, 259, szF);
                pProfile->iFeedFormat = 0;
            }
            pData->profiles = loaded;
        } catch (...) {
            FreeProfiles(loaded);
            pData->profiles.RemoveAll();
            pData->iCurrentProfile = -1;
            throw;
        }
        pData->iProfileCount = static_cast<unsigned int>(iCount);
        pData->iCurrentProfile = iCurrent;
    } else {
        HostSetLabel(pData->hwndDocklet, "Quillmere");
        SetDefaults(pData);
        pData->profiles.RemoveAll();
        pData->iProfileCount = 0;
        pData->iCurrentProfile = -1;
    }
    pData->items.RemoveAll();
}

BOOL WriteProfileInt(const wchar_t* szSection, const wchar_t* szKey, int iValue, const wchar_t* szFile) {
    wchar_t szValue[16];
    swprintf(szValue, 16, L"%d", iValue);
    return WritePrivateProfileStringW(szSection, szKey, szValue, szFile);
}

void SaveSettings(_DOCKLET_DATA* pData, const char* szFile, const char* szSection) {
    if (!pData || !szFile || !szSection) return;
    wchar_t szF[260], szS[260];
    AnsiToWide(szF, 260, szFile);
    AnsiToWide(szS, 260, szSection);
    WriteText(szS, L"Title", pData->szTitle, szF);
    WriteText(szS, L"ImagesFolder", pData->szImagesFolder, szF);
    WriteText(szS, L"BackgroundImage", pData->szBackgroundImage, szF);
    WriteText(szS, L"IconMenu", pData->szMenuIcon, szF);
    WriteProfileInt(szS, L"DockletData", static_cast<int>(pData->iDockletInfo), szF);
    WriteProfileInt(szS, L"LabelData", static_cast<int>(pData->iLabelInfo), szF);
    WriteText(szS, L"DFontName", pData->szFontName, szF);
    WriteProfileInt(szS, L"DFontSize", pData->iFontSize, szF);
    WriteProfileInt(szS, L"DFontColor", static_cast<int>(pData->crFontColor), szF);
    WriteProfileInt(szS, L"DFontAlpha", pData->bFontAlpha, szF);
    WriteProfileInt(szS, L"DBackgroundColor", static_cast<int>(pData->crBackgroundColor), szF);
    WriteProfileInt(szS, L"DBackgroundAlpha", pData->bBackgroundAlpha, szF);
    WriteProfileInt(szS, L"DBackgroundFrame", pData->bFramedBackground, szF);
    WriteProfileInt(szS, L"DRodundedCorners", pData->bRoundedCorners, szF);
    WriteProfileInt(szS, L"PosX", pData->iPosX, szF);
    WriteProfileInt(szS, L"PosY", pData->iPosY, szF);
    WriteProfileInt(szS, L"Width", pData->iWidth, szF);
    WriteProfileInt(szS, L"Height", pData->iHeight, szF);
    WriteProfileInt(szS, L"ItemAction", static_cast<int>(pData->iItemAction), szF);
    WriteProfileInt(szS, L"SavePos", pData->bSavePos, szF);
    WriteText(szS, L"Application", pData->szApplication, szF);
    WriteProfileInt(szS, L"CycleItems", pData->bCycleItems, szF);
    WriteProfileInt(szS, L"CycleSeconds", pData->iCycleSeconds, szF);
    WriteProfileInt(szS, L"CycleCount", pData->iCycleCount, szF);
    WriteProfileInt(szS, L"NotifyNew", pData->bNotifyNew, szF);
    WriteProfileInt(szS, L"Profiles", static_cast<int>(pData->iProfileCount), szF);
    WriteProfileInt(szS, L"CurrentProfile", pData->iCurrentProfile, szF);
    for (unsigned int i = 0; i < pData->iProfileCount && i < pData->profiles.GetCount(); ++i) {
        const _PROFILE_DATA* pProfile = pData->profiles.GetAt(i);
        if (!pProfile) continue;
        wchar_t szKey[64];
        swprintf(szKey, 64, L"A%d-RssFeedURL", static_cast<int>(i));
        WriteText(szS, szKey, pProfile->szURL, szF);
        swprintf(szKey, 64, L"A%d-RssFeedTitle", static_cast<int>(i));
        WriteText(szS, szKey, pProfile->szTitle, szF);
        swprintf(szKey, 64, L"A%d-szBackgroundImage", static_cast<int>(i));
        WriteText(szS, szKey, pProfile->szBackgroundImage, szF);
        swprintf(szKey, 64, L"A%d-IconMenu", static_cast<int>(i));
        WriteText(szS, szKey, pProfile->szMenuIcon, szF);
    }
}

void ResolveImagePath(wchar_t* szPath, size_t cchPath, const wchar_t* szDefault, const wchar_t* szImagesFolder,
                      HWND hwndDocklet) {
    if (!szPath || cchPath == 0) return;
    char szRelative[MAX_PATH + 10] = {};
    HostGetRelativeFolder(hwndDocklet, szRelative);
    szRelative[MAX_PATH] = 0;
    wchar_t szRelativeW[MAX_PATH + 1];
    AnsiToWide(szRelativeW, MAX_PATH + 1, szRelative);
    wchar_t szHostFolder[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, szHostFolder, MAX_PATH);
    if (wchar_t* pSlash = wcsrchr(szHostFolder, L'\\')) pSlash[1] = 0;

    // The result is bounded by the path's capacity and by 269 characters.
    size_t cchMax = cchPath < 270 ? cchPath - 1 : 269;
    // Worked out aside and written back only whole: a result that does not fit leaves
    // the path exactly as it was, never a half-resolved intermediate.
    wchar_t szWork[1024];
    if (szDefault && _wcsicmp(szPath, szDefault) == 0) {
        int n = _snwprintf(szWork, 1023, L"%s%s\\%s", szRelativeW, szImagesFolder ? szImagesFolder : L"", szPath);
        szWork[1023] = 0;
        if (n < 0 || static_cast<size_t>(n) > cchMax) return;
    } else {
        CopyText(szWork, 1024, szPath);
    }
    if (szWork[0] == L'.') {
        wchar_t szFull[2048];
        const wchar_t* pRest = wcslen(szWork) >= 2 ? szWork + 2 : L"";
        int n = _snwprintf(szFull, 2047, L"%s%s", szHostFolder, pRest);
        szFull[2047] = 0;
        if (n < 0 || static_cast<size_t>(n) > cchMax) return;
        CopyText(szPath, cchPath, szFull);
        return;
    }
    CopyText(szPath, cchPath, szWork);
}
