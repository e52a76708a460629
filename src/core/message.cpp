#include "core/message.h"
#include <cstdarg>
#include <cwchar>

namespace {
MessageSink g_pfnSink = nullptr;
void* g_pSinkContext = nullptr;
}  // namespace

void SetMessageSink(MessageSink pfnSink, void* pContext) {
    g_pSinkContext = pContext;
    InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&g_pfnSink), reinterpret_cast<void*>(pfnSink));
}

int ReportMessage(HWND hwndOwner, const wchar_t* szText, UINT uType) {
    return ReportMessageCaption(hwndOwner, szText, L"Quillmere", uType);
}

int ReportMessageCaption(HWND hwndOwner, const wchar_t* szText, const wchar_t* szCaption, UINT uType) {
    MessageSink pfnSink = g_pfnSink;
    if (pfnSink) return pfnSink(szText, uType, g_pSinkContext);
    return MessageBoxW(hwndOwner, szText, szCaption, uType);
}

namespace {

std::wstring FormatArgs(const wchar_t* szFormat, va_list args) {
    wchar_t szText[2048];
    _vsnwprintf(szText, 2047, szFormat, args);
    szText[2047] = 0;
    return szText;
}

}  // namespace

std::wstring FormatMessageText(const wchar_t* szFormat, ...) {
    va_list args;
    va_start(args, szFormat);
    std::wstring text = FormatArgs(szFormat, args);
    va_end(args);
    return text;
}

int ReportMessageF(HWND hwndOwner, const wchar_t* szFormat, ...) {
    va_list args;
    va_start(args, szFormat);
    std::wstring text = FormatArgs(szFormat, args);
    va_end(args);
    return ReportMessage(hwndOwner, text.c_str(), MB_OK);
}
