// The stand-in dock's output: its console in UTF-8, whatever code page the host speaks.
#pragma once
#include <string>

// Prints text in the process's code page (as the host functions receive it).
void Print(const std::string& ansiText);
// Prints text that is already UTF-8.
void PrintUtf8(const std::string& utf8Text);
// Prints one formatted line (code-page text) when logging is on (--log).
void Log(const char* szFormat, ...) __attribute__((format(printf, 1, 2)));
// Logs one line of UTF-8 text.
void LogUtf8(const std::string& utf8Line);
void SetLogging(bool bOn);

std::string Utf8(const wchar_t* sz);
std::wstring Wide(const std::string& ansiText);
