// Backing up the settings and profiles to an INI file of the user's choice and
// restoring them from one. The file holds one section, "Quillmere", in the format of
// the host's settings file. The same buttons exchange the profiles' feeds with other
// readers as an OPML subscription list.
#include <windows.h>
#include <commdlg.h>
#include <cwchar>
#include <string>
#include <vector>
#include "config/config.h"
#include "config/opml.h"
#include "core/message.h"
#include "core/host.h"
#include "core/record.h"
#include "core/settings.h"
#include "feed/parser.h"
#include "presentation/profile.h"

namespace {

const char c_szSection[] = "Quillmere";

// The file dialog's second filter.
const DWORD c_dwOpmlFilter = 2;

// The file the user chose in the dialog.
struct ChosenFile {
    wchar_t szPath[261] = {};
    char szAnsiPath[261] = {};  // for the settings functions
    bool bOpml = false;         // the OPML filter was chosen, or the name ends in ".opml"
};

// Shows the file dialog pre-filled with the suggested path; false when cancelled or
// when no name was chosen.
bool ChooseBackupFile(_DOCKLET_DATA* pData, HWND hwndOwner, const wchar_t* szFileName, ChosenFile& chosen) {
    wchar_t* szFile = chosen.szPath;
    BuildBackupPath(pData->hwndDocklet, szFileName, szFile, 261);
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = hwndOwner;
    ofn.lpstrTitle = L"Quillmere Profiles BackUp File";
    ofn.lpstrFilter = L"Configuration option files (*.ini)\0*.ini\0OPML subscription lists (*.opml)\0*.opml\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = szFile;
    ofn.nMaxFile = 261;
    // The dialog must not move the host's current folder.
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_CREATEPROMPT | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&ofn) || !szFile[0]) return false;
    WideToAnsi(chosen.szAnsiPath, sizeof(chosen.szAnsiPath), szFile);
    size_t cch = wcslen(szFile);
    chosen.bOpml = ofn.nFilterIndex == c_dwOpmlFilter || (cch >= 5 && _wcsicmp(szFile + cch - 5, L".opml") == 0);
    return true;
}

// Adds the feeds of an OPML list to the instance's profiles, after the ones it has,
// each with the images a new profile gets. All or none: a list that cannot be read, or
// memory running out, leaves the profiles as they were. 1 when profiles were added.
int AddProfilesFromOpml(_DOCKLET_DATA* pData, HWND hwndOwner, const wchar_t* szPath, bool bWorkingCopy) {
    OpmlList list;
    std::wstring error;
    if (!ReadOpmlFile(szPath, list, error)) {
        ReportMessage(hwndOwner, (error + L"\r\nNo profile was added.").c_str(), MB_OK | MB_ICONWARNING);
        return 0;
    }
    if (list.feeds.empty()) {
        std::wstring text = std::wstring(szPath) + L" lists no feed with an http or https address.\r\nNo profile "
                                                   L"was added.";
        ReportMessage(hwndOwner, text.c_str(), MB_OK | MB_ICONWARNING);
        return 0;
    }
    std::vector<_PROFILE_DATA*> added;
    bool bComplete = false, bFirstProfile = false;
    try {
        added.reserve(list.feeds.size());
        for (const OpmlFeed& feed : list.feeds) {
            _PROFILE_DATA* pProfile = NewProfile();
            if (!pProfile) break;
            added.push_back(pProfile);
            CopyText(pProfile->szTitle, 501, feed.title.c_str());
            CopyText(pProfile->szURL, 2049, feed.url.c_str());
            CopyText(pProfile->szBackgroundImage, 270, L"background.png");
            CopyText(pProfile->szMenuIcon, 270, L"menu.png");
            ResolveImagePath(pProfile->szBackgroundImage, 270, L"background.png", pData->szImagesFolder,
                             pData->hwndDocklet);
            ResolveImagePath(pProfile->szMenuIcon, 270, L"menu.png", pData->szImagesFolder, pData->hwndDocklet);
        }
        if (added.size() == list.feeds.size()) {
            // The live instance's refresh worker reads its list under the lock; the
            // working copy's list is the sheet's alone.
            ProfileList grown(pData->profiles);
            for (_PROFILE_DATA* pProfile : added) grown.Add(pProfile);
            auto commit = [&] {
                pData->profiles = grown;
                pData->iProfileCount = pData->profiles.GetCount();
                if (pData->iCurrentProfile == -1) {
                    pData->iCurrentProfile = 0;
                    bFirstProfile = true;
                }
            };
            if (bWorkingCopy) {
                commit();
            } else {
                qm::ScopedLock lock(pData->csState);
                commit();
            }
            bComplete = true;
        }
    } catch (...) {
    }
    if (!bComplete) {
        for (_PROFILE_DATA* pProfile : added) FreeProfile(pProfile);
        ReportMessage(hwndOwner, L"Out of memory while adding the feeds.\r\nNo profile was added.",
                      MB_OK | MB_ICONWARNING);
        return 0;
    }
    if (list.nSkipped) {
        wchar_t szText[200];
        _snwprintf(szText, 199,
                   L"Added %u feeds. %u entries were left out: their addresses are not http or https addresses.",
                   static_cast<unsigned int>(list.feeds.size()), list.nSkipped);
        szText[199] = 0;
        ReportMessage(hwndOwner, szText, MB_OK | MB_ICONINFORMATION);
    }
    // Outside the sheet, an instance that had no profile shows and fetches the first
    // one now; the sheet's hand-over does that for its working copy.
    if (bFirstProfile && !bWorkingCopy) ApplyCurrentProfile(pData);
    return 1;
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
    ChosenFile chosen;
    if (!ChooseBackupFile(pData, hwndOwner, szFileName, chosen)) return 0;
    if (chosen.bOpml) {
        std::wstring error;
        if (!WriteOpmlFile(chosen.szPath, L"Quillmere feed profiles", pData->profiles, pData->iProfileCount, error)) {
            ReportMessage(hwndOwner, error.c_str(), MB_OK | MB_ICONWARNING);
            return 0;
        }
        return 1;
    }
    SaveSettings(pData, chosen.szAnsiPath, c_szSection);
    return 1;
}

int RestoreProfiles(_DOCKLET_DATA* pData, HWND hwndOwner, const wchar_t* szFileName, ProfileList* pRetired) {
    if (!pData) return 0;
    ChosenFile chosen;
    if (!ChooseBackupFile(pData, hwndOwner, szFileName, chosen)) return 0;
    // A subscription list only adds profiles; an XML file is never a settings file,
    // whichever filter was chosen.
    if (chosen.bOpml || IsXmlFile(chosen.szPath))
        return AddProfilesFromOpml(pData, hwndOwner, chosen.szPath, pRetired != nullptr) ? RESTORE_ADDED : 0;
    const char* szPath = chosen.szAnsiPath;
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
        pData->pItemsSource = nullptr;
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
