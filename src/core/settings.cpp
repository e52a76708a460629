#include "core/settings.h"
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <unordered_map>
#include "core/host.h"
#include "core/u16.h"
#include "text/ascii.h"
#include "text/ini.h"

namespace {

// How a setting's value is read and written. Numbers are written in signed decimal and
// read as _wtoi reads them from at most 19 characters (text without digits reads as 0);
// a row with a range reads past the range of int and is clamped into the range.
enum SettingKind {
    SETTING_TEXT,    // fixed array of wchar_t, read up to cchReadLimit characters
    SETTING_NUMBER,  // signed 32-bit
    SETTING_BITS,    // unsigned 32-bit bit set
    SETTING_COLOUR,  // COLORREF 0x00BBGGRR
    SETTING_ALPHA,   // 8-bit opacity; only the low 8 bits of the number are kept
    SETTING_FLAG,    // 0 or 1: the number 1 reads as 1, anything else as 0
};

// One setting: its key, the field of the record that holds it, its kind, its default
// (as the text a missing key reads as) and its limits.
template <typename Record>
struct SettingRow {
    const wchar_t* szKey;
    SettingKind kind;
    void* (*pfnField)(Record* p);
    size_t cbField;
    const wchar_t* szDefault;
    size_t cchReadLimit;  // text: characters read, at most the field's capacity less one
    int iMin, iMax;       // numbers: the range values are clamped to, when iMin < iMax
    bool bSheet;          // the settings sheet edits it (copied into and out of its copy)
};

#define DOCKLET_FIELD(f) [](_DOCKLET_DATA* p) -> void* { return &p->f; }, sizeof(_DOCKLET_DATA::f)
#define PROFILE_FIELD(f) [](_PROFILE_DATA* p) -> void* { return &p->f; }, sizeof(_PROFILE_DATA::f)

// Every setting of the icon, in the order the section holds them. The keys, defaults
// and limits are those of every settings file written so far ("DRodundedCorners" is
// spelt as it always was). "Profiles" and "CurrentProfile" follow these rows, then the
// keys of each profile.
const SettingRow<_DOCKLET_DATA> c_settings[] = {
    {L"Title", SETTING_TEXT, DOCKLET_FIELD(szTitle), L"Quillmere", 259, 0, 0, true},
    {L"ImagesFolder", SETTING_TEXT, DOCKLET_FIELD(szImagesFolder), L"icons", 259, 0, 0, true},
    {L"BackgroundImage", SETTING_TEXT, DOCKLET_FIELD(szBackgroundImage), L"background.png", 259, 0, 0, true},
    {L"IconMenu", SETTING_TEXT, DOCKLET_FIELD(szMenuIcon), L"menu.png", 259, 0, 0, true},
    {L"DockletData", SETTING_BITS, DOCKLET_FIELD(iDockletInfo), L"4", 0, 0, 0, true},
    {L"LabelData", SETTING_BITS, DOCKLET_FIELD(iLabelInfo), L"16", 0, 0, 0, true},
    {L"DFontName", SETTING_TEXT, DOCKLET_FIELD(szFontName), L"Tahoma", 31, 0, 0, true},
    {L"DFontSize", SETTING_NUMBER, DOCKLET_FIELD(iFontSize), L"11", 0, 0, 0, true},
    {L"DFontColor", SETTING_COLOUR, DOCKLET_FIELD(crFontColor), L"16777215", 0, 0, 0, true},
    {L"DFontAlpha", SETTING_ALPHA, DOCKLET_FIELD(bFontAlpha), L"255", 0, 0, 0, true},
    {L"DBackgroundColor", SETTING_COLOUR, DOCKLET_FIELD(crBackgroundColor), L"0", 0, 0, 0, true},
    {L"DBackgroundAlpha", SETTING_ALPHA, DOCKLET_FIELD(bBackgroundAlpha), L"100", 0, 0, 0, true},
    {L"DBackgroundFrame", SETTING_FLAG, DOCKLET_FIELD(bFramedBackground), L"1", 0, 0, 0, true},
    {L"DRodundedCorners", SETTING_FLAG, DOCKLET_FIELD(bRoundedCorners), L"1", 0, 0, 0, true},
    {L"PosX", SETTING_NUMBER, DOCKLET_FIELD(iPosX), L"-1", 0, 0, 0, false},
    {L"PosY", SETTING_NUMBER, DOCKLET_FIELD(iPosY), L"-1", 0, 0, 0, false},
    {L"Width", SETTING_NUMBER, DOCKLET_FIELD(iWidth), L"450", 0, 0, 0, false},
    {L"Height", SETTING_NUMBER, DOCKLET_FIELD(iHeight), L"300", 0, 0, 0, false},
    {L"ItemAction", SETTING_BITS, DOCKLET_FIELD(iItemAction), L"1", 0, 0, 0, true},
    {L"SavePos", SETTING_FLAG, DOCKLET_FIELD(bSavePos), L"0", 0, 0, 0, true},
    {L"Application", SETTING_TEXT, DOCKLET_FIELD(szApplication), L"", 259, 0, 0, true},
    {L"CycleItems", SETTING_FLAG, DOCKLET_FIELD(bCycleItems), L"0", 0, 0, 0, true},
    {L"CycleSeconds", SETTING_NUMBER, DOCKLET_FIELD(iCycleSeconds), L"8", 0, CYCLE_SECONDS_MIN, CYCLE_SECONDS_MAX,
     true},
    {L"CycleCount", SETTING_NUMBER, DOCKLET_FIELD(iCycleCount), L"10", 0, CYCLE_COUNT_MIN, CYCLE_COUNT_MAX, true},
    {L"NotifyNew", SETTING_FLAG, DOCKLET_FIELD(bNotifyNew), L"1", 0, 0, 0, true},
    {L"RefreshMinutes", SETTING_NUMBER, DOCKLET_FIELD(iRefreshMinutes), L"60", 0, REFRESH_MINUTES_MIN,
     REFRESH_MINUTES_MAX, true},
};

const wchar_t c_szProfilesKey[] = L"Profiles";
const wchar_t c_szCurrentProfileKey[] = L"CurrentProfile";

// The keys of profile i: the pattern with %d replaced by i (A0-RssFeedURL, ...).
const SettingRow<_PROFILE_DATA> c_profileSettings[] = {
    {L"A%d-RssFeedURL", SETTING_TEXT, PROFILE_FIELD(szURL), L"", 2047, 0, 0, true},
    {L"A%d-RssFeedTitle", SETTING_TEXT, PROFILE_FIELD(szTitle), L"", 499, 0, 0, true},
    {L"A%d-szBackgroundImage", SETTING_TEXT, PROFILE_FIELD(szBackgroundImage), L"background.png", 259, 0, 0, true},
    {L"A%d-IconMenu", SETTING_TEXT, PROFILE_FIELD(szMenuIcon), L"menu.png", 259, 0, 0, true},
};

#undef DOCKLET_FIELD
#undef PROFILE_FIELD

template <typename Record>
void SetFromText(const SettingRow<Record>& row, Record* pRecord, std::u16string_view value) {
    void* pField = row.pfnField(pRecord);
    if (row.kind == SETTING_TEXT) {
        std::u16string text = IniValueAsRead(value, row.cchReadLimit);
        CopyText(static_cast<wchar_t*>(pField), row.cbField / sizeof(wchar_t), AsWideView(text).data());
        return;
    }
    const std::u16string digits = IniValueAsRead(value, 19);
    const wchar_t* szDigits = reinterpret_cast<const wchar_t*>(digits.c_str());
    int iValue;
    if (row.iMin < row.iMax) {
        long long llValue = _wcstoi64(szDigits, nullptr, 10);
        iValue = llValue < row.iMin ? row.iMin : llValue > row.iMax ? row.iMax : static_cast<int>(llValue);
    } else {
        iValue = _wtoi(szDigits);
    }
    if (row.kind == SETTING_FLAG) iValue = iValue == 1 ? 1 : 0;
    if (row.cbField == sizeof(BYTE)) {
        *static_cast<BYTE*>(pField) = static_cast<BYTE>(iValue);
    } else {
        static_assert(sizeof(int) == sizeof(COLORREF) && sizeof(int) == sizeof(unsigned int), "32-bit fields");
        memcpy(pField, &iValue, sizeof(int));
    }
}

template <typename Record>
std::wstring TextOf(const SettingRow<Record>& row, const Record* pRecord) {
    const void* pField = row.pfnField(const_cast<Record*>(pRecord));
    if (row.kind == SETTING_TEXT) {
        const auto* sz = static_cast<const wchar_t*>(pField);
        return std::wstring(sz, wcsnlen(sz, row.cbField / sizeof(wchar_t)));
    }
    int iValue = 0;
    if (row.cbField == sizeof(BYTE))
        iValue = *static_cast<const BYTE*>(pField);
    else
        memcpy(&iValue, pField, sizeof(int));
    return std::to_wstring(iValue);
}

template <typename Record>
void CopyRow(const SettingRow<Record>& row, Record* pDst, const Record* pSrc) {
    void* pTo = row.pfnField(pDst);
    const void* pFrom = row.pfnField(const_cast<Record*>(pSrc));
    if (row.kind == SETTING_TEXT)
        CopyText(static_cast<wchar_t*>(pTo), row.cbField / sizeof(wchar_t), static_cast<const wchar_t*>(pFrom));
    else
        memcpy(pTo, pFrom, row.cbField);
}

std::wstring ProfileKey(const SettingRow<_PROFILE_DATA>& row, unsigned int i) {
    wchar_t szKey[64];
    swprintf(szKey, 64, row.szKey, static_cast<int>(i));
    return szKey;
}

// The section's values by key in lower case; the first line of a key counts, as the
// platform reads it, and a line without '=' makes its key read as missing.
class SectionLookup {
public:
    explicit SectionLookup(const IniSection& section) {
        m_values.reserve(section.entries.size());
        for (const IniEntry& entry : section.entries)
            m_values.emplace(AsciiLower(entry.name), entry.bHasValue ? &entry.value : nullptr);
    }
    const std::wstring* Find(const std::wstring& key) const {
        auto it = m_values.find(AsciiLower(key));
        return it == m_values.end() ? nullptr : it->second;
    }
    template <typename Record>
    void Read(const SettingRow<Record>& row, Record* pRecord, const std::wstring& key) const {
        const std::wstring* pValue = Find(key);
        SetFromText(row, pRecord, pValue ? AsU16(*pValue) : AsU16(row.szDefault));
    }

private:
    std::unordered_map<std::wstring, const std::wstring*> m_values;
};

int ReadNumber(const SectionLookup& lookup, const wchar_t* szKey, const wchar_t* szDefault) {
    const std::wstring* pValue = lookup.Find(szKey);
    std::u16string digits = IniValueAsRead(pValue ? AsU16(*pValue) : AsU16(szDefault), 19);
    return _wtoi(reinterpret_cast<const wchar_t*>(digits.c_str()));
}

// Whether a key of the section is one the docklet writes: a setting, the profile count
// and current profile, or a key of a profile at any index in its decimal form (those
// beyond the count are left from a longer list and go).
bool IsOwnedKey(std::u16string_view name) {
    for (const auto& row : c_settings)
        if (AsciiEqualNoCase(name, AsU16(row.szKey))) return true;
    if (AsciiEqualNoCase(name, AsU16(c_szProfilesKey)) || AsciiEqualNoCase(name, AsU16(c_szCurrentProfileKey)))
        return true;
    if (name.size() < 3 || (name[0] != u'A' && name[0] != u'a')) return false;
    size_t cDigits = 0;
    while (1 + cDigits < name.size() && name[1 + cDigits] >= u'0' && name[1 + cDigits] <= u'9') ++cDigits;
    if (cDigits == 0 || cDigits > 9 || (cDigits > 1 && name[1] == u'0')) return false;
    std::u16string_view suffix = name.substr(1 + cDigits);
    for (const auto& row : c_profileSettings) {
        std::u16string_view pattern = AsU16(row.szKey);
        if (AsciiEqualNoCase(suffix, pattern.substr(pattern.find(u"%d") + 2))) return true;
    }
    return false;
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

void LoadSettings(_DOCKLET_DATA* pData, const wchar_t* szFile, const wchar_t* szSection) {
    if (!pData) return;
    IniSection section;
    if (szFile && szSection) {
        // A file that cannot be read reads as one without the section: the defaults.
        if (!ReadIniSection(szFile, szSection, section, nullptr)) section = IniSection();
    } else {
        HostSetLabel(pData->hwndDocklet, "Quillmere");
    }
    LoadSettingsFromSection(pData, section);
}

void LoadSettingsFromSection(_DOCKLET_DATA* pData, const IniSection& section) {
    if (!pData) return;
    FreeProfiles(pData->profiles);
    pData->iProfileCount = 0;
    pData->iCurrentProfile = -1;
    SectionLookup lookup(section);
    for (const auto& row : c_settings) lookup.Read(row, pData, row.szKey);
    int iCount = ReadNumber(lookup, c_szProfilesKey, L"0");
    int iCurrent = ReadNumber(lookup, c_szCurrentProfileKey, L"-1");
    // A negative count is damage and loads no profile; a count above the limit loads
    // the first MAX_PROFILES. The current index must name a loaded profile.
    if (iCount < 0) iCount = 0;
    if (iCount > MAX_PROFILES) iCount = MAX_PROFILES;
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
            for (const auto& row : c_profileSettings)
                lookup.Read(row, pProfile, ProfileKey(row, static_cast<unsigned int>(i)));
            pProfile->iFeedFormat = 0;
        }
        pData->profiles = loaded;
    } catch (...) {
        FreeProfiles(loaded);
        pData->profiles.RemoveAll();
        throw;
    }
    pData->iProfileCount = static_cast<unsigned int>(iCount);
    pData->iCurrentProfile = iCurrent;
    pData->items.RemoveAll();
}

bool SaveSettings(const _DOCKLET_DATA* pData, const wchar_t* szFile, const wchar_t* szSection, DWORD* pdwError) {
    if (!pData || !szFile || !szSection) {
        if (pdwError) *pdwError = ERROR_INVALID_PARAMETER;
        return false;
    }
    unsigned int nProfiles = pData->iProfileCount < pData->profiles.GetCount() ? pData->iProfileCount
                                                                               : pData->profiles.GetCount();
    std::vector<std::pair<std::wstring, std::wstring>> lines;
    lines.reserve(std::size(c_settings) + 2 + nProfiles * std::size(c_profileSettings));
    for (const auto& row : c_settings) lines.emplace_back(row.szKey, TextOf(row, pData));
    lines.emplace_back(c_szProfilesKey, std::to_wstring(nProfiles));
    lines.emplace_back(c_szCurrentProfileKey, std::to_wstring(pData->iCurrentProfile));
    _PROFILE_DATA empty = {};
    for (unsigned int i = 0; i < nProfiles; ++i) {
        const _PROFILE_DATA* pProfile = pData->profiles.GetAt(i);
        if (!pProfile) pProfile = &empty;
        for (const auto& row : c_profileSettings) lines.emplace_back(ProfileKey(row, i), TextOf(row, pProfile));
    }
    return WriteIniSection(szFile, szSection, lines, IsOwnedKey, pdwError);
}

void CopySheetSettings(_DOCKLET_DATA* pDst, const _DOCKLET_DATA* pSrc) {
    for (const auto& row : c_settings)
        if (row.bSheet) CopyRow(row, pDst, pSrc);
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
