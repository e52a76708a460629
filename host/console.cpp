#include "console.h"
#include <windows.h>
#include <cstdarg>
#include <cstdio>

namespace {
bool g_bLog = false;
}  // namespace

std::string Utf8(const wchar_t* sz) {
    int n = WideCharToMultiByte(CP_UTF8, 0, sz, -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, sz, -1, &s[0], n, nullptr, nullptr);
    s.resize(strlen(s.c_str()));
    return s;
}

std::wstring Wide(const std::string& ansiText) {
    int n = MultiByteToWideChar(CP_ACP, 0, ansiText.c_str(), -1, nullptr, 0);
    std::wstring w(n > 0 ? n : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansiText.c_str(), -1, &w[0], n);
    w.resize(wcslen(w.c_str()));
    return w;
}

void PrintUtf8(const std::string& utf8Text) {
    fputs(utf8Text.c_str(), stdout);
    fflush(stdout);
}

void Print(const std::string& ansiText) {
    PrintUtf8(Utf8(Wide(ansiText).c_str()));
}

void SetLogging(bool bOn) {
    g_bLog = bOn;
}

void LogUtf8(const std::string& utf8Line) {
    if (g_bLog) PrintUtf8(utf8Line + "\n");
}

void Log(const char* szFormat, ...) {
    if (!g_bLog) return;
    char sz[4096];
    va_list args;
    va_start(args, szFormat);
    vsnprintf(sz, sizeof(sz) - 1, szFormat, args);
    va_end(args);
    Print(std::string(sz) + "\n");
}
