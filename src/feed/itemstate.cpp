#include "feed/itemstate.h"
#include <shlobj.h>
#include <cwchar>
#include "core/files.h"
#include "core/record.h"
#include "core/u16.h"

namespace {

qm::CriticalSection& FolderLock() {
    static qm::CriticalSection cs;
    return cs;
}

std::wstring& FolderOverride() {
    static std::wstring folder;
    return folder;
}

std::wstring WithoutTrailingSlash(std::wstring path) {
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    return path;
}

std::wstring FileIn(const std::wstring& folder, const wchar_t* szURL) {
    return folder + L"\\" + AsWide(ItemStateFileName(AsU16(szURL)));
}

bool SameFolder(const std::wstring& a, const std::wstring& b) {
    return _wcsicmp(WithoutTrailingSlash(a).c_str(), WithoutTrailingSlash(b).c_str()) == 0;
}

bool ReadFrom(const std::wstring& folder, const wchar_t* szURL, ItemState& state) {
    if (folder.empty()) return false;
    std::string bytes;
    if (!ReadWholeFile(FileIn(folder, szURL).c_str(), bytes, ITEM_STATE_MAX_BYTES, nullptr)) return false;
    // A file of another address with the same name (the hash met another) is not ours.
    return ParseItemState(bytes, state) && state.url == AsU16(szURL);
}

// The file of the state in folder, which is made when missing; false with the error.
bool WriteInto(const std::wstring& folder, const ItemState& state, const std::string& bytes, DWORD* pdwError) {
    *pdwError = ERROR_PATH_NOT_FOUND;
    if (folder.empty()) return false;
    CreateDirectoryW(folder.c_str(), nullptr);
    DWORD dwAttributes = GetFileAttributesW(folder.c_str());
    if (dwAttributes == INVALID_FILE_ATTRIBUTES || !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    std::wstring url = AsWide(state.url);
    return ReplaceWholeFile(FileIn(folder, url.c_str()).c_str(), bytes, pdwError);
}

_PROFILE_DATA* ActiveProfileFor(_DOCKLET_DATA* pData, const std::wstring& url) {
    int i = pData->iCurrentProfile;
    if (i < 0 || static_cast<unsigned int>(i) >= pData->profiles.GetCount()) return nullptr;
    _PROFILE_DATA* pProfile = pData->profiles.GetAt(i);
    return pProfile && url == pProfile->szURL ? pProfile : nullptr;
}

}  // namespace

void SetItemStateFolder(const wchar_t* szFolder) {
    qm::ScopedLock lock(FolderLock());
    FolderOverride() = szFolder ? WithoutTrailingSlash(szFolder) : std::wstring();
}

std::wstring ItemStateFolder() {
    {
        qm::ScopedLock lock(FolderLock());
        if (!FolderOverride().empty()) return FolderOverride();
    }
    wchar_t szBase[MAX_PATH + 1] = {};
    DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", szBase, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH) {
        szBase[0] = 0;
        if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, szBase)))
            return std::wstring();
    }
    if (!szBase[0]) return std::wstring();
    return WithoutTrailingSlash(szBase) + L"\\Quillmere";
}

bool ReadItemStateFile(const wchar_t* szURL, const std::wstring& fallbackFolder, ItemState& state) {
    if (!szURL || !*szURL) return false;
    return ReadFrom(ItemStateFolder(), szURL, state) || ReadFrom(fallbackFolder, szURL, state);
}

bool WriteItemStateFile(const ItemState& state, const std::wstring& fallbackFolder) {
    if (state.url.empty()) return false;
    const std::string bytes = FormatItemState(state);
    const std::wstring folder = ItemStateFolder();
    DWORD dwError = 0;
    if (WriteInto(folder, state, bytes, &dwError)) {
        // One file per feed: a copy the fallback took while the folder could not goes.
        if (!fallbackFolder.empty() && !SameFolder(folder, fallbackFolder))
            DeleteFileW(FileIn(fallbackFolder, AsWide(state.url).c_str()).c_str());
        return true;
    }
    // A file that another writer holds at this moment is written next time; only a
    // folder that cannot take it sends it elsewhere.
    if (dwError == ERROR_SHARING_VIOLATION || dwError == ERROR_LOCK_VIOLATION) return false;
    if (fallbackFolder.empty() || SameFolder(folder, fallbackFolder)) return false;
    return WriteInto(fallbackFolder, state, bytes, &dwError);
}

void DeleteItemStateFile(const wchar_t* szURL, const std::wstring& fallbackFolder) {
    if (!szURL || !*szURL) return;
    std::wstring folder = ItemStateFolder();
    if (!folder.empty()) DeleteFileW(FileIn(folder, szURL).c_str());
    if (!fallbackFolder.empty()) DeleteFileW(FileIn(fallbackFolder, szURL).c_str());
}

void ReadItemState(_DOCKLET_DATA* pData, HANDLE hCancel, const wchar_t* szURL) {
    {
        qm::ScopedLock lock(pData->csState);
        if (pData->known.url == szURL) return;
    }
    ItemState state;
    bool bRead = ReadItemStateFile(szURL, pData->settingsFolder, state);
    qm::ScopedLock lock(pData->csState);
    if (ShouldStop(pData, hCancel) || pData->known.url == szURL) return;
    KnownItems known;
    known.url = szURL;
    if (bRead) {
        known.bKnown = true;
        known.ullRefreshed = state.ullRefreshed;
        known.keys.reserve(state.keys.size());
        for (const ItemStateKey& key : state.keys) {
            if (!known.keys.insert(key.key).second) continue;
            known.order.push_back(key.key);
            if (key.bNew) known.marked.insert(key.key);
        }
        // Validators the profile holds for this address are this session's and newer.
        _PROFILE_DATA* pProfile = ActiveProfileFor(pData, known.url);
        if (pProfile && wcscmp(pProfile->szValidatorsURL, szURL) != 0 && state.validatorsUrl == AsU16(szURL)) {
            CopyText(pProfile->szETag, 256, AsWide(state.eTag).c_str());
            CopyText(pProfile->szLastModified, 64, AsWide(state.lastModified).c_str());
            CopyText(pProfile->szValidatorsURL, 2049, szURL);
        }
    }
    pData->known = std::move(known);
}

void SaveItemState(_DOCKLET_DATA* pData) {
    if (!pData) return;
    try {
        qm::ScopedLock fileLock(pData->csStateFile);
        ItemState state;
        {
            qm::ScopedLock lock(pData->csState);
            const KnownItems& known = pData->known;
            if (!known.bKnown || known.url.empty()) return;
            state.url = AsU16(known.url);
            state.ullRefreshed = known.ullRefreshed;
            state.keys.reserve(known.order.size());
            for (uint64_t key : known.order) state.keys.push_back({key, known.marked.count(key) != 0});
            const _PROFILE_DATA* pProfile = ActiveProfileFor(pData, known.url);
            if (pProfile && known.url == pProfile->szValidatorsURL) {
                state.validatorsUrl = state.url;
                state.eTag = AsU16(pProfile->szETag);
                state.lastModified = AsU16(pProfile->szLastModified);
            }
        }
        WriteItemStateFile(state, pData->settingsFolder);
    } catch (...) {
        // Out of memory: the file keeps the state it had.
    }
}
