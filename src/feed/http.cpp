#include "feed/http.h"
#include <winhttp.h>
#include <shlwapi.h>
#include <new>
#include <vector>

// The transfer is shared by the caller and its thread; each holds a reference, so a
// caller that stops waiting can let go while the thread is still inside WinHTTP.
struct _HTTP_TRANSFER {
    volatile LONG lRefs = 1;
    volatile LONG lState = 0;  // 0 new, 1 opened or running, 4 ended
    volatile LONG bAbort = 0;
    HANDLE hDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HINTERNET hSession = nullptr;
    HINTERNET hConnect = nullptr;
    // Closed by HttpAbort to end a running call at once; the transfer thread reads it
    // under csRequest before each call and stops when it is gone.
    HINTERNET hRequest = nullptr;
    qm::CriticalSection csRequest;
    HMODULE hModule = nullptr;  // the transfer thread's hold on this module
    std::wstring headers;
    HRESULT hrResult = S_OK;
    LONG lStatus = 0;
    std::string body;
    std::wstring contentType;
    // The address asked for, followed through redirects; bUrlLost when a redirect could
    // not be followed in it.
    std::wstring url;
    bool bUrlLost = false;

    ~_HTTP_TRANSFER() {
        if (hRequest) WinHttpCloseHandle(hRequest);
        if (hConnect) WinHttpCloseHandle(hConnect);
        if (hSession) WinHttpCloseHandle(hSession);
        if (hDone) CloseHandle(hDone);
    }
};

namespace {

// A body larger than this is refused rather than held in memory.
const size_t c_cbMaxBody = 64u * 1024 * 1024;

HRESULT LastError() {
    DWORD dw = GetLastError();
    return dw ? HRESULT_FROM_WIN32(dw) : E_FAIL;
}

void AddRef(_HTTP_TRANSFER* p) {
    InterlockedIncrement(&p->lRefs);
}

// The request handle for the next call, or null once the transfer was aborted.
HINTERNET Request(_HTTP_TRANSFER* p) {
    qm::ScopedLock lock(p->csRequest);
    return p->bAbort ? nullptr : p->hRequest;
}

// Keeps the transfer's address in step with the redirects WinHTTP follows. The new
// location comes as the platform gives it (absolute, or as the server wrote it), so it
// is resolved against the address before it.
void CALLBACK OnTransferStatus(HINTERNET, DWORD_PTR dwContext, DWORD dwStatus, LPVOID pvInfo, DWORD cchInfo) {
    if (dwStatus != WINHTTP_CALLBACK_STATUS_REDIRECT || !dwContext) return;
    auto* p = reinterpret_cast<_HTTP_TRANSFER*>(dwContext);
    try {
        const wchar_t* szLocation = static_cast<const wchar_t*>(pvInfo);
        std::wstring location(szLocation ? szLocation : L"", szLocation ? wcsnlen(szLocation, cchInfo) : 0);
        std::wstring next;
        if (!location.empty() && CombineUrl(p->url.c_str(), location.c_str(), next))
            p->url = next;
        else
            p->bUrlLost = true;
    } catch (...) {
        p->bUrlLost = true;
    }
}

HRESULT RunTransfer(_HTTP_TRANSFER* p) {
    HINTERNET h = Request(p);
    if (!h) return E_ABORT;
    WinHttpSetStatusCallback(h, OnTransferStatus, WINHTTP_CALLBACK_FLAG_REDIRECT, 0);
    if (!WinHttpSendRequest(h, p->headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : p->headers.c_str(),
                            p->headers.empty() ? 0 : static_cast<DWORD>(-1L), WINHTTP_NO_REQUEST_DATA, 0, 0,
                            reinterpret_cast<DWORD_PTR>(p)))
        return LastError();
    if (!(h = Request(p))) return E_ABORT;
    if (!WinHttpReceiveResponse(h, nullptr)) return LastError();
    if (!(h = Request(p))) return E_ABORT;
    DWORD dwStatus = 0, cb = sizeof(dwStatus);
    if (!WinHttpQueryHeaders(h, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                             &dwStatus, &cb, WINHTTP_NO_HEADER_INDEX))
        return LastError();
    p->lStatus = static_cast<LONG>(dwStatus);
    wchar_t szType[512];
    cb = sizeof(szType);
    if (WinHttpQueryHeaders(h, WINHTTP_QUERY_CONTENT_TYPE, WINHTTP_HEADER_NAME_BY_INDEX, szType, &cb,
                            WINHTTP_NO_HEADER_INDEX))
        p->contentType.assign(szType, cb / sizeof(wchar_t));
    std::vector<char> buffer(65536);
    for (;;) {
        if (!(h = Request(p))) return E_ABORT;
        DWORD cbRead = 0;
        if (!WinHttpReadData(h, buffer.data(), static_cast<DWORD>(buffer.size()), &cbRead)) return LastError();
        if (cbRead == 0) break;
        if (p->body.size() + cbRead > c_cbMaxBody) return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
        p->body.append(buffer.data(), cbRead);
    }
    return S_OK;
}

DWORD WINAPI TransferThread(void* pv) {
    auto* p = static_cast<_HTTP_TRANSFER*>(pv);
    // Taken by HttpSend before the thread started, so a caller that has let go (and a
    // DLL unloaded meanwhile) never pulls the code from under this thread.
    HMODULE hModule = p->hModule;
    HRESULT hr;
    try {
        hr = RunTransfer(p);
    } catch (...) {
        hr = E_OUTOFMEMORY;
    }
    p->hrResult = hr;
    InterlockedExchange(&p->lState, 4);
    if (p->hDone) SetEvent(p->hDone);
    HttpRelease(p);
    FreeLibraryAndExitThread(hModule, 0);
    return 0;
}

}  // namespace

HRESULT HttpCreate(_HTTP_TRANSFER** ppOut) {
    *ppOut = nullptr;
    auto* p = new (std::nothrow) _HTTP_TRANSFER();
    if (!p) return E_OUTOFMEMORY;
    if (!p->hDone) {
        HRESULT hr = LastError();
        delete p;
        return hr;
    }
    // The user's static proxy setting (the one the MSXML request object follows), else
    // WinHTTP's own configuration.
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG ie = {};
    if (WinHttpGetIEProxyConfigForCurrentUser(&ie) && ie.lpszProxy && *ie.lpszProxy)
        p->hSession = WinHttpOpen(L"Quillmere", WINHTTP_ACCESS_TYPE_NAMED_PROXY, ie.lpszProxy,
                                  ie.lpszProxyBypass ? ie.lpszProxyBypass : WINHTTP_NO_PROXY_BYPASS, 0);
    else
        p->hSession = WinHttpOpen(L"Quillmere", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                  WINHTTP_NO_PROXY_BYPASS, 0);
    if (ie.lpszAutoConfigUrl) GlobalFree(ie.lpszAutoConfigUrl);
    if (ie.lpszProxy) GlobalFree(ie.lpszProxy);
    if (ie.lpszProxyBypass) GlobalFree(ie.lpszProxyBypass);
    if (!p->hSession) {
        HRESULT hr = LastError();
        delete p;
        return hr;
    }
    *ppOut = p;
    return S_OK;
}

void HttpRelease(_HTTP_TRANSFER* p) {
    if (p && InterlockedDecrement(&p->lRefs) == 0) delete p;
}

HRESULT HttpOpen(_HTTP_TRANSFER* p, const wchar_t* szMethod, const wchar_t* szURL) {
    if (!p || !szMethod || !szURL) return E_POINTER;
    if (p->lState != 0) return E_UNEXPECTED;
    URL_COMPONENTS uc = {};
    uc.dwStructSize = sizeof(uc);
    wchar_t szHost[256] = {};
    std::vector<wchar_t> path(wcslen(szURL) + 2);
    std::vector<wchar_t> extra(wcslen(szURL) + 2);
    uc.lpszHostName = szHost;
    uc.dwHostNameLength = 256;
    uc.lpszUrlPath = path.data();
    uc.dwUrlPathLength = static_cast<DWORD>(path.size());
    uc.lpszExtraInfo = extra.data();
    uc.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!WinHttpCrackUrl(szURL, 0, 0, &uc)) return LastError();
    if (uc.nScheme != INTERNET_SCHEME_HTTP && uc.nScheme != INTERNET_SCHEME_HTTPS) return E_INVALIDARG;
    p->hConnect = WinHttpConnect(p->hSession, szHost, uc.nPort, 0);
    if (!p->hConnect) return LastError();
    std::wstring object = std::wstring(path.data()) + extra.data();
    if (object.empty()) object = L"/";
    p->hRequest = WinHttpOpenRequest(p->hConnect, szMethod, object.c_str(), nullptr, WINHTTP_NO_REFERER,
                                     WINHTTP_DEFAULT_ACCEPT_TYPES,
                                     uc.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0);
    if (!p->hRequest) return LastError();
    p->url = szURL;
    p->lState = 1;
    return S_OK;
}

HRESULT HttpSetRequestHeader(_HTTP_TRANSFER* p, const wchar_t* szName, const wchar_t* szValue) {
    if (!p || !szName || !szValue) return E_POINTER;
    if (p->lState != 1 || !p->hRequest) return E_UNEXPECTED;
    p->headers += szName;
    p->headers += L": ";
    p->headers += szValue;
    p->headers += L"\r\n";
    return S_OK;
}

HRESULT HttpSend(_HTTP_TRANSFER* p, DWORD dwTimeoutMs) {
    if (!p) return E_POINTER;
    if (p->lState != 1 || !p->hRequest) return E_UNEXPECTED;
    int iTimeout = static_cast<int>(dwTimeoutMs);
    WinHttpSetTimeouts(p->hRequest, iTimeout, iTimeout, iTimeout, iTimeout);
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&TransferThread),
                            &p->hModule))
        return LastError();
    AddRef(p);
    HANDLE hThread = CreateThread(nullptr, 0, TransferThread, p, 0, nullptr);
    if (!hThread) {
        HRESULT hr = LastError();
        FreeLibrary(p->hModule);
        p->hModule = nullptr;
        HttpRelease(p);
        return hr;
    }
    CloseHandle(hThread);
    return S_OK;
}

HRESULT HttpGetReadyState(_HTTP_TRANSFER* p, LONG* plState) {
    if (!p || !plState) return E_POINTER;
    *plState = p->lState;
    return S_OK;
}

HRESULT HttpGetStatus(_HTTP_TRANSFER* p, LONG* plStatus) {
    if (!p || !plStatus) return E_POINTER;
    *plStatus = 0;
    if (p->lState != 4) return E_PENDING;
    if (FAILED(p->hrResult)) return p->hrResult;
    *plStatus = p->lStatus;
    return S_OK;
}

const std::string& HttpResponseBody(_HTTP_TRANSFER* p) {
    return p->body;
}

const std::wstring& HttpContentType(_HTTP_TRANSFER* p) {
    return p->contentType;
}

std::wstring HttpFinalURL(_HTTP_TRANSFER* p) {
    if (!p || p->lState != 4 || p->bUrlLost) return std::wstring();
    return p->url;
}

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

HANDLE HttpCompletionEvent(_HTTP_TRANSFER* p) {
    return p ? p->hDone : nullptr;
}

void HttpAbort(_HTTP_TRANSFER* p) {
    if (!p) return;
    HINTERNET hRequest;
    {
        qm::ScopedLock lock(p->csRequest);
        InterlockedExchange(&p->bAbort, 1);
        hRequest = p->hRequest;
        p->hRequest = nullptr;
    }
    // Closing the request is how WinHTTP is told to end a call in progress at once; the
    // transfer thread then finds no handle for its next call.
    if (hRequest) WinHttpCloseHandle(hRequest);
}
