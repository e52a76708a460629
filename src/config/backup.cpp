// Backing up the settings and profiles to an INI file of the user's choice and
// restoring them from one. The file holds one section, "Quillmere", in the format of
// the host's settings file.
#include <windows.h>
#include <commdlg.h>
#include <cwchar>
#include "config/config.h"
#include "core/host.h"
#include "core/record.h"
#include "core/settings.h"
#include "feed/parser.h"
#include "presentation/profile.h"

namespace {

const char c_szSection[] = "Quillmere";

// Shows the file dialog pre-filled with the suggested path; false when cancelled or
// when no name was chosen.
bool ChooseBackupFile(_DOCKLET_DATA* pData, HWND hwndOwner, const wchar_t* szFileName, char* szPathOut,
                      size_t cbPathOut) {
    wchar_t szFile[261] = {};
    BuildBackupPath(pData->hwndDocklet, szFileName, szFile, 261);
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = hwndOwner;
    ofn.lpstrTitle = L"Quillmere Profiles BackUp File";
    ofn.lpstrFilter = L"Configuration option files (*.ini)\0*.ini\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = szFile;
    ofn.nMaxFile = 261;
    // The dialog must not move the host's current folder.
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_CREATEPROMPT | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&ofn) || !szFile[0]) return false;
    WideToAnsi(szPathOut, cbPathOut, szFile);
    return true;
}

}  // namespace

void BuildBackupPath(HWND hwndDocklet, const wchar_t* szFileName, wchar_t* szPathOut, size_t cchPathOut) {
    char szRoot[MAX_PATH + 10] = {};
    char szRelative[MAX_PATH + 10] = {};
    HostGetRootFolder(hwndDocklet, szRoot);
    HostGetRelativeFolder(hwndDocklet, szRelative);
    szRoot[MAX_PATH] = 0;
    szRelative[MAX_PATH] = 0;
    // The relative folder starts with ".\"; the file goes into the docklet's folder.
    const char* pRelative = strlen(szRelative) >= 2 ? szRelative + 2 : "";
    wchar_t szPath[1024];
    _snwprintf(szPath, 1023, L"%S%S%s", szRoot, pRelative, szFileName ? szFileName : L"");
    szPath[1023] = 0;
    size_t cch = cchPathOut < 261 ? cchPathOut : 261;
    CopyText(szPathOut, cch, szPath);
}

int BackupProfiles(_DOCKLET_DATA* pData, HWND hwndOwner, const wchar_t* szFileName) {
    if (!pData) return 0;
    char szPath[261];
    if (!ChooseBackupFile(pData, hwndOwner, szFileName, szPath, sizeof(szPath))) return 0;
    SaveSettings(pData, szPath, c_szSection);
    return 1;
}

int RestoreProfiles(_DOCKLET_DATA* pData, HWND hwndOwner, const wchar_t* szFileName, ProfileList* pRetired) {
    if (!pData) return 0;
    char szPath[261];
    if (!ChooseBackupFile(pData, hwndOwner, szFileName, szPath, sizeof(szPath))) return 0;
    if (pData->hwndViewer) SendMessageW(pData->hwndViewer, WM_CLOSE, 0, 0);
    // Threads of the instance are cancelled and waited for; one that does not end in
    // time is abandoned and drops its results.
    StopWorkers(pData, 2000);
    pData->hMenuBitmap.reset();
    {
        qm::ScopedLock lock(pData->csState);
        if (pRetired) {
            for (unsigned int i = 0; i < pData->profiles.GetCount(); ++i) pRetired->Add(pData->profiles.GetAt(i));
            pData->profiles.RemoveAll();
        } else {
            FreeProfiles(pData->profiles);
        }
        pData->iProfileCount = 0;
        pData->iCurrentProfile = -1;
        FreeFeedItems(pData->items);
        LoadSettings(pData, szPath, c_szSection);
    }
    if (pRetired) {
        // The sheet's working copy: resolve the restored image names for the pages; the
        // hand-over applies the profile and starts its refresh on the live instance.
        ResolveImagePath(pData->szBackgroundImage, 270, L"background.png", pData->szImagesFolder, pData->hwndDocklet);
        ResolveImagePath(pData->szMenuIcon, 270, L"menu.png", pData->szImagesFolder, pData->hwndDocklet);
        for (unsigned int i = 0; i < pData->profiles.GetCount(); ++i) {
            _PROFILE_DATA* pProfile = pData->profiles.GetAt(i);
            ResolveImagePath(pProfile->szBackgroundImage, 270, L"background.png", pData->szImagesFolder,
                             pData->hwndDocklet);
            ResolveImagePath(pProfile->szMenuIcon, 270, L"menu.png", pData->szImagesFolder, pData->hwndDocklet);
        }
    } else {
        ApplyCurrentProfile(pData);
    }
    return 1;
}
