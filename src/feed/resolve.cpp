#include "feed/resolve.h"
#include <windows.h>
#include <shlwapi.h>
#include <cwchar>
#include <vector>

bool CombineUrl(const wchar_t* szBase, const wchar_t* szRelative, std::wstring& out) {
    if (!szBase || !szRelative) return false;
    DWORD cch = static_cast<DWORD>(wcslen(szBase) + wcslen(szRelative) + 16);
    for (int iTry = 0; iTry < 2; ++iTry) {
        std::vector<wchar_t> buffer(cch);
        DWORD cchGot = cch;
        HRESULT hr = UrlCombineW(szBase, szRelative, buffer.data(), &cchGot, 0);
        if (SUCCEEDED(hr)) {
            buffer.back() = 0;
            out.assign(buffer.data());
            return true;
        }
        if (hr != E_POINTER || cchGot <= cch) return false;
        cch = cchGot + 1;
    }
    return false;
}
