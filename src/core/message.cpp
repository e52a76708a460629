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

int ReportMessageF(HWND hwndOwner, const wchar_t* szFormat, ...) {
    wchar_t szText[2048];
    va_list args;
    va_start(args, szFormat);
    _vsnwprintf(szText, 2047, szFormat, args);
    va_end(args);
    szText[2047] = 0;
    return ReportMessage(hwndOwner, szText, MB_OK);
}
