#include "core/docklet.h"
#include <cwchar>
#include "core/u16.h"
#include "text/ascii.h"

void CopyText(wchar_t* dst, size_t cch, const wchar_t* src) {
    if (!dst || cch == 0) return;
    if (!src) src = L"";
    size_t n = wcslen(src);
    if (n > cch - 1) n = cch - 1;
    wmemcpy(dst, src, n);
    dst[n] = 0;
}

void AnsiToWide(wchar_t* dst, size_t cch, const char* src) {
    if (!dst || cch == 0) return;
    dst[0] = 0;
    if (!src || !*src) return;
    int n = MultiByteToWideChar(CP_ACP, 0, src, -1, nullptr, 0);
    if (n <= 0) return;
    wchar_t* tmp = new wchar_t[n];
    MultiByteToWideChar(CP_ACP, 0, src, -1, tmp, n);
    CopyText(dst, cch, tmp);
    delete[] tmp;
}

std::wstring WideFromAnsi(const char* src) {
    if (!src || !*src) return std::wstring();
    int n = MultiByteToWideChar(CP_ACP, 0, src, -1, nullptr, 0);
    if (n <= 1) return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, src, -1, &out[0], n);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

// Cuts at a character boundary, so a double-byte character is never split.
void WideToAnsi(char* dst, size_t cb, const wchar_t* src) {
    if (!dst || cb == 0) return;
    dst[0] = 0;
    if (!src || !*src) return;
    int n = WideCharToMultiByte(CP_ACP, 0, src, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return;
    char* tmp = new char[n];
    WideCharToMultiByte(CP_ACP, 0, src, -1, tmp, n, nullptr, nullptr);
    size_t len = 0;
    const char* p = tmp;
    while (*p) {
        const char* next = CharNextA(p);
        size_t step = static_cast<size_t>(next - p);
        if (step == 0 || len + step > cb - 1) break;
        len += step;
        p = next;
    }
    memcpy(dst, tmp, len);
    dst[len] = 0;
    delete[] tmp;
}

std::wstring AsciiLower(std::wstring s) {
    return AsWide(AsciiLower(AsU16(s)));
}

std::wstring PrintableName(const std::wstring& name) {
    return AsWide(PrintableName(AsU16(name)));
}
