// One section of an INI file, read and replaced by the docklet itself, in one pass over
// the file each way. The file keeps its encoding (the code page, UTF-8 or UTF-16 with a
// byte-order mark), and every byte outside the section's lines that change stays as it
// was. Lines are read as the platform's profile functions read them (text/ini.h).
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// A line "key=value" of a section, as it stands in the file (value trimmed, quotes kept).
struct IniEntry {
    std::wstring name;
    std::wstring value;
    bool bHasValue = false;  // false for a line without '=': the key reads as missing
};

struct IniSection {
    bool bFound = false;             // the file has the section
    std::vector<IniEntry> entries;   // its entries in file order, repeated names included
};

// Settings files larger than this are not read.
#define INI_MAX_FILE_BYTES (64u * 1024 * 1024)

// Reads the first section named szSection (names compare without case). False with the
// Win32 error in *pdwError when the file cannot be read; a file without the section
// gives true with bFound false.
bool ReadIniSection(const wchar_t* szFile, const wchar_t* szSection, IniSection& section, DWORD* pdwError);

// Writes lines (key and value, in order) into the first section named szSection: they
// take the place of the section's first key that isOwned accepts, and every other key
// isOwned accepts goes; the section's other lines stay where they are. A missing
// section is added at the end of the file, a missing file is made. Each value passes
// IniValueToWrite, so none can start a line. False with the Win32 error; the file is
// then as it was.
bool WriteIniSection(const wchar_t* szFile, const wchar_t* szSection,
                     const std::vector<std::pair<std::wstring, std::wstring>>& lines,
                     const std::function<bool(std::u16string_view)>& isOwned, DWORD* pdwError);
