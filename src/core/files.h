// Whole files read and replaced: the settings file, backups and subscription lists.
#pragma once
#include <windows.h>
#include <string>

// Reads the whole file at szPath into bytes. False with the Win32 error in *pdwError
// when it cannot be opened or read, or ERROR_FILE_TOO_LARGE when it holds more than cbMax.
bool ReadWholeFile(const wchar_t* szPath, std::string& bytes, size_t cbMax, DWORD* pdwError);

// Makes bytes the content of the file at szPath (created when missing). The bytes go
// into a new file beside it that then takes its place, so a failure half-way leaves the
// old file whole; where no file can be made beside it, the file is written in place. A
// read-only file is refused (ERROR_ACCESS_DENIED). False with the Win32 error.
bool ReplaceWholeFile(const wchar_t* szPath, const std::string& bytes, DWORD* pdwError);
