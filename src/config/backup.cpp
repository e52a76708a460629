// Backing up the settings and profiles to a file of the user's choice and restoring
// them from one. A backup is an INI file with one section, "Quillmere", in the format of
// the host's settings file; a file named *.opml exchanges the profiles' feeds with other
// readers as a subscription list. Every failure is said in one message and changes
// nothing.
#include <windows.h>
#include <commdlg.h>
#include <cwchar>
#include <string>
#include <unordered_set>
#include <vector>
#include "config/config.h"
#include "config/opml.h"
#include "core/host.h"
#include "core/message.h"
#include "core/record.h"
#include "core/settings.h"
#include "core/u16.h"
#include "feed/parser.h"
#include "presentation/profile.h"
#include "text/feedaddress.h"

namespace {

const wchar_t c_szSection[] = L"Quillmere";
const wchar_t c_szDialogTitle[] = L"Quillmere Profiles BackUp File";
const wchar_t c_szFilters[] = L"Configuration option files (*.ini)\0*.ini\0OPML subscription lists (*.opml)\0*.opml\0";
// The file dialog's filters, in the order of c_szFilters.
const DWORD c_dwIniFilter = 1, c_dwOpmlFilter = 2;
// The file name fields of the Explorer-style file dialog (cmb13, edt1): which one it
// has depends on the template.
const int c_aiFileNameFields[] = {0x47C, 0x480};

void Warn(HWND hwndOwner, const std::wstring& text) {
    ReportMessage(hwndOwner, text.c_str(), MB_OK | MB_ICONWARNING);
}

// A failure on a file: szFormat names the file (%s) and the failing step's code (%d).
void WarnFileFailure(HWND hwndOwner, const wchar_t* szFormat, const wchar_t* szPath, DWORD dwError) {
    Warn(hwndOwner, FormatMessageText(szFormat, szPath, static_cast<long>(HRESULT_FROM_WIN32(dwError))));
}

bool HasExtension(const std::wstring& name, const wchar_t* szExtension) {
    size_t cch = wcslen(szExtension);
    return name.size() >= cch && _wcsicmp(name.c_str() + name.size() - cch, szExtension) == 0;
}

bool IsOpmlPath(const wchar_t* szPath) {
    return HasExtension(szPath, L".opml");
}

// Switching the Save As dialog's filter gives the offered name the filter's extension,
// so the file written is the format that was chosen.
UINT_PTR CALLBACK SaveDialogHook(HWND hHook, UINT uMsg, WPARAM, LPARAM lParam) {
    if (uMsg != WM_NOTIFY) return 0;
    const auto* pNotify = reinterpret_cast<const OFNOTIFYW*>(lParam);
    if (pNotify->hdr.code != CDN_TYPECHANGE) return 0;
    HWND hDialog = GetParent(hHook);
    const bool bOpml = pNotify->lpOFN->nFilterIndex == c_dwOpmlFilter;
    SendMessageW(hDialog, CDM_SETDEFEXT, 0, reinterpret_cast<LPARAM>(bOpml ? L"opml" : L"ini"));
    wchar_t szName[MAX_PATH] = {};
    if (SendMessageW(hDialog, CDM_GETSPEC, MAX_PATH, reinterpret_cast<LPARAM>(szName)) <= 0 || !szName[0]) return 0;
    std::wstring name = BackupNameForFilter(szName, bOpml);
    for (int iField : c_aiFileNameFields)
        SendMessageW(hDialog, CDM_SETCONTROLTEXT, iField, reinterpret_cast<LPARAM>(name.c_str()));
    return 0;
}

// Shows the file dialog pre-filled with the suggested path: Save As (asking before it
// replaces a file) or Open (the file must exist). False when cancelled or when no name
// was chosen.
bool ChooseBackupFile(_DOCKLET_DATA* pData, HWND hwndOwner, const wchar_t* szFileName, bool bSave,
                      std::wstring& path) {
    std::vector<wchar_t> buffer(4096);
    BuildBackupPath(pData->hwndDocklet, szFileName, buffer.data(), 261);
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = hwndOwner;
    ofn.lpstrTitle = c_szDialogTitle;
    ofn.lpstrFilter = c_szFilters;
    ofn.nFilterIndex = IsOpmlPath(buffer.data()) ? c_dwOpmlFilter : c_dwIniFilter;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrDefExt = ofn.nFilterIndex == c_dwOpmlFilter ? L"opml" : L"ini";
    // The dialog must not move the host's current folder.
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    BOOL bChosen;
    if (bSave) {
        ofn.Flags |= OFN_OVERWRITEPROMPT | OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLESIZING;
        ofn.lpfnHook = SaveDialogHook;
        bChosen = GetSaveFileNameW(&ofn);
    } else {
        ofn.Flags |= OFN_FILEMUSTEXIST;
        bChosen = GetOpenFileNameW(&ofn);
    }
    if (!bChosen || !buffer[0]) return false;
    path = buffer.data();
    return true;
}

// The profile's address as two addresses of one feed share it.
std::u16string AddressKey(const wchar_t* szURL) {
    return FeedAddressKey(AsU16(szURL));
}

// Adds the feeds of an OPML list to the instance's profiles, after the ones it has,
// each with the images a new profile gets. Feeds whose address is in the list already
// are skipped, and no more are added than the list has room for; the message says how
// many were left out and why. All or none: a list that cannot be read, or memory
// running out, leaves the profiles as they were. 1 when profiles were added.
int AddProfilesFromOpml(_DOCKLET_DATA* pData, HWND hwndOwner, const wchar_t* szPath, bool bWorkingCopy) {
    OpmlList list;
    std::wstring error;
    if (!ReadOpmlFile(szPath, list, error)) {
        Warn(hwndOwner, error + L"\r\nNo profile was added.");
        return 0;
    }
    if (list.feeds.empty()) {
        Warn(hwndOwner,
             std::wstring(szPath) + L" lists no feed with an http or https address.\r\nNo profile was added.");
        return 0;
    }
    std::vector<_PROFILE_DATA*> added;
    unsigned int nKnown = 0, nOverLimit = 0;
    bool bComplete = false, bFirstProfile = false;
    try {
        std::unordered_set<std::u16string> known;
        for (unsigned int i = 0; i < pData->profiles.GetCount(); ++i)
            if (pData->profiles.GetAt(i)) known.insert(AddressKey(pData->profiles.GetAt(i)->szURL));
        const unsigned int nRoom =
            pData->profiles.GetCount() < MAX_PROFILES ? MAX_PROFILES - pData->profiles.GetCount() : 0;
        added.reserve(list.feeds.size() < nRoom ? list.feeds.size() : nRoom);
        for (const OpmlFeed& feed : list.feeds) {
            if (!known.insert(AddressKey(feed.url.c_str())).second) {
                ++nKnown;
                continue;
            }
            if (added.size() >= nRoom) {
                ++nOverLimit;
                continue;
            }
            _PROFILE_DATA* pProfile = NewProfile();
            if (!pProfile) throw ProfileList::ALLOCATION_FAILED;
            added.push_back(pProfile);
            CopyText(pProfile->szTitle, 501, feed.title.c_str());
            CopyText(pProfile->szURL, 2049, feed.url.c_str());
            CopyText(pProfile->szBackgroundImage, 270, L"background.png");
            CopyText(pProfile->szMenuIcon, 270, L"menu.png");
            ResolveImagePath(pProfile->szBackgroundImage, 270, L"background.png", pData->szImagesFolder,
                             pData->hwndDocklet);
            ResolveImagePath(pProfile->szMenuIcon, 270, L"menu.png", pData->szImagesFolder, pData->hwndDocklet);
        }
        // The live instance's refresh worker reads its list under the lock; the working
        // copy's list is the sheet's alone.
        ProfileList grown(pData->profiles);
        for (_PROFILE_DATA* pProfile : added) grown.Add(pProfile);
        auto commit = [&] {
            pData->profiles = grown;
            pData->iProfileCount = pData->profiles.GetCount();
            if (pData->iCurrentProfile == -1 && pData->iProfileCount > 0) {
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
    } catch (...) {
    }
    if (!bComplete) {
        for (_PROFILE_DATA* pProfile : added) FreeProfile(pProfile);
        Warn(hwndOwner, L"Out of memory while adding the feeds.\r\nNo profile was added.");
        return 0;
    }
    if (list.nSkipped || nKnown || nOverLimit) {
        std::wstring text = FormatMessageText(L"Added %u feeds.", static_cast<unsigned int>(added.size()));
        if (nKnown) text += FormatMessageText(L" %u were in the list already.", nKnown);
        if (nOverLimit)
            text += FormatMessageText(L" %u were left out: the list holds at most %d profiles.", nOverLimit,
                                      MAX_PROFILES);
        if (list.nSkipped)
            text += FormatMessageText(L" %u entries were left out: their addresses are not http or https addresses.",
                                      list.nSkipped);
        ReportMessage(hwndOwner, text.c_str(), MB_OK | MB_ICONINFORMATION);
    }
    if (added.empty()) return 0;
    // Outside the sheet, an instance that had no profile shows and fetches the first
    // one now; the sheet's hand-over does that for its working copy.
    if (bFirstProfile && !bWorkingCopy) ApplyCurrentProfile(pData);
    return 1;
}

// Asks before a restore, saying what it does with the file chosen. True for Yes.
bool ConfirmRestore(HWND hwndOwner, const std::wstring& path, bool bOpml, bool bInSheet) {
    std::wstring text =
        bOpml ? FormatMessageText(L"The feeds of %s are added as new profiles after the ones you have.",
                                  path.c_str())
              : FormatMessageText(L"Restoring %s replaces all settings and profiles with those of the backup.",
                                  path.c_str());
    if (bInSheet) text += L"\r\nCancel on the settings sheet undoes it.";
    text += L"\r\nAre you sure?";
    return ReportMessageCaption(hwndOwner, text.c_str(), L"Restore Profiles",
                                MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

// The restore of an INI backup: the settings and profiles of the section, or a message
// and no change when the file cannot be read or holds no backup.
int RestoreFromIni(_DOCKLET_DATA* pData, HWND hwndOwner, const wchar_t* szPath, ProfileList* pRetired) {
    IniSection section;
    DWORD dwError = 0;
    if (!ReadIniSection(szPath, c_szSection, section, &dwError)) {
        WarnFileFailure(hwndOwner, L"Quillmere cannot read %s (%d).\r\nNothing was restored.", szPath, dwError);
        return 0;
    }
    if (section.entries.empty()) {
        Warn(hwndOwner, FormatMessageText(L"%s is no Quillmere backup: it has no [Quillmere] section with "
                                          L"settings.\r\nNothing was restored.",
                                          szPath));
        return 0;
    }
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
        LoadSettingsFromSection(pData, section);
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
    std::wstring path = WideFromAnsi(szRoot) + WideFromAnsi(pRelative) + (szFileName ? szFileName : L"");
    size_t cch = cchPathOut < 261 ? cchPathOut : 261;
    CopyText(szPathOut, cch, path.c_str());
}

std::wstring BackupNameForFilter(const wchar_t* szName, bool bOpml) {
    std::wstring name(szName ? szName : L"");
    if (HasExtension(name, L".ini"))
        name.resize(name.size() - 4);
    else if (HasExtension(name, L".opml"))
        name.resize(name.size() - 5);
    else
        return name;
    return name + (bOpml ? L".opml" : L".ini");
}

int BackupProfiles(_DOCKLET_DATA* pData, HWND hwndOwner, const wchar_t* szFileName) {
    if (!pData) return 0;
    std::wstring path;
    if (!ChooseBackupFile(pData, hwndOwner, szFileName, true, path)) return 0;
    return BackupProfilesTo(pData, hwndOwner, path.c_str());
}

int BackupProfilesTo(_DOCKLET_DATA* pData, HWND hwndOwner, const wchar_t* szPath) {
    if (!pData || !szPath) return 0;
    if (IsOpmlPath(szPath)) {
        std::wstring error;
        if (!WriteOpmlFile(szPath, L"Quillmere feed profiles", pData->profiles, pData->iProfileCount, error)) {
            Warn(hwndOwner, error);
            return 0;
        }
        return 1;
    }
    DWORD dwError = 0;
    if (!SaveSettings(pData, szPath, c_szSection, &dwError)) {
        WarnFileFailure(hwndOwner, L"Quillmere cannot write the backup %s (%d).", szPath, dwError);
        return 0;
    }
    return 1;
}

int RestoreProfiles(_DOCKLET_DATA* pData, HWND hwndOwner, const wchar_t* szFileName, ProfileList* pRetired) {
    if (!pData) return 0;
    std::wstring path;
    if (!ChooseBackupFile(pData, hwndOwner, szFileName, false, path)) return 0;
    // A subscription list only adds profiles; an XML file is never a settings file,
    // whatever its name.
    const bool bOpml = IsOpmlPath(path.c_str()) || IsXmlFile(path.c_str());
    if (!ConfirmRestore(hwndOwner, path, bOpml, pRetired != nullptr)) return 0;
    return RestoreProfilesFrom(pData, hwndOwner, path.c_str(), pRetired);
}

int RestoreProfilesFrom(_DOCKLET_DATA* pData, HWND hwndOwner, const wchar_t* szPath, ProfileList* pRetired) {
    if (!pData || !szPath) return 0;
    if (IsOpmlPath(szPath) || IsXmlFile(szPath))
        return AddProfilesFromOpml(pData, hwndOwner, szPath, pRetired != nullptr) ? RESTORE_ADDED : 0;
    return RestoreFromIni(pData, hwndOwner, szPath, pRetired);
}
