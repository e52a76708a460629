#include "feed/http.h"
#include <winhttp.h>
#include <cwchar>
#include <new>
#include <utility>
#include <vector>
#include "core/msgwait.h"
#include "core/u16.h"
#include "feed/inflate.h"
#include "feed/resolve.h"
#include "feed/statusentry.h"
#include "text/url.h"

namespace {

const DWORD c_cbReadBuffer = 65536;

struct CloseInternetDeleter { void operator()(HINTERNET h) const { WinHttpCloseHandle(h); } };
using UniqueInternet = qm::UniqueHandle<HINTERNET, CloseInternetDeleter>;

HRESULT LastError() {
    DWORD dw = GetLastError();
    return dw ? HRESULT_FROM_WIN32(dw) : E_FAIL;
}

// The transfers not yet freed, for HttpTransfersAlive.
volatile LONG g_lTransfersAlive = 0;

// One request, shared by the caller of HttpFetch and WinHTTP's calls for it.
struct Transfer {
    Transfer() { InterlockedIncrement(&g_lTransfersAlive); }
    ~Transfer() { InterlockedDecrement(&g_lTransfersAlive); }
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    // The caller's reference, and WinHTTP's from the moment it may call back until its
    // last call for the request.
    volatile LONG lRefs = 1;
    volatile LONG lEnded = 0;
    volatile LONG bAbort = 0;
    _HTTP_SESSION* pSession = nullptr;  // counted
    qm::UniqueHandleNull hSignal{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    // Guards the request handles.
    qm::CriticalSection cs;
    UniqueInternet hConnect;
    UniqueInternet hRequest;
    // Held while WinHTTP may call into this module; its last call gives it back.
    HMODULE hModule = nullptr;

    // The request.
    std::wstring host;
    INTERNET_PORT nPort = 0;
    std::wstring object;
    bool bSecure = false;
    std::wstring headers;
    DWORD dwTimeout = 0;

    // The response (written by WinHTTP's calls, one at a time, until the transfer ends).
    HRESULT hrResult = S_OK;
    HttpStep step = HTTP_STEP_NONE;
    LONG lStatus = 0;
    HttpResponseHeaders response;
    ContentCoding coding = ContentCoding::Identity;
    qm::UniqueBodyDecoder decoder;
    BodyBuffer body;
    std::vector<char> buffer;
    int iServerLogons = 0;
    int iProxyLogons = 0;
    // The address asked for, followed through redirects; bUrlLost when a redirect could
    // not be followed in it.
    std::wstring url;
    bool bUrlLost = false;
};

void ReleaseTransfer(Transfer* p) {
    if (InterlockedDecrement(&p->lRefs) != 0) return;
    HttpReleaseSession(p->pSession);
    delete p;
}

// Ends the transfer (the first end counts) and wakes its caller.
void Finish(Transfer* p, HRESULT hr, HttpStep step = HTTP_STEP_TRANSFER) {
    if (InterlockedCompareExchange(&p->lEnded, 1, 0) != 0) return;
    p->hrResult = hr;
    p->step = SUCCEEDED(hr) ? HTTP_STEP_NONE : step;
    SetEvent(p->hSignal.get());
}

// The step a failure of the body belongs to: too large, or a coded body that does not
// decode.
HttpStep BodyStep(HRESULT hr) {
    if (hr == BODY_E_TOO_LARGE) return HTTP_STEP_TOO_LARGE;
    return hr == BODY_E_BAD_DATA ? HTTP_STEP_DECODE : HTTP_STEP_TRANSFER;
}

// The value of one response header, empty when it is absent.
std::wstring QueryHeader(HINTERNET h, DWORD dwQuery) {
    DWORD cb = 0;
    WinHttpQueryHeaders(h, dwQuery, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &cb,
                        WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || cb == 0) return std::wstring();
    std::wstring value(cb / sizeof(wchar_t) + 1, L'\0');
    cb = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (!WinHttpQueryHeaders(h, dwQuery, WINHTTP_HEADER_NAME_BY_INDEX, &value[0], &cb, WINHTTP_NO_HEADER_INDEX))
        return std::wstring();
    value.resize(cb / sizeof(wchar_t));
    return value;
}

// The request being read on this thread, so a read that completes inside WinHttpReadData
// hands the next read back to the loop that issued it instead of nesting ever deeper.
thread_local Transfer* t_pReading = nullptr;
thread_local bool t_bReadAgain = false;

void ReadNext(Transfer* p, HINTERNET h) {
    Transfer* pOuter = t_pReading;
    t_pReading = p;
    do {
        t_bReadAgain = false;
        if (p->bAbort) {
            Finish(p, E_ABORT);
            break;
        }
        if (!WinHttpReadData(h, p->buffer.data(), c_cbReadBuffer, nullptr)) {
            Finish(p, LastError());
            break;
        }
    } while (t_bReadAgain);
    t_pReading = pOuter;
}

// A 401 or 407 that asks for NTLM or Negotiate is answered once, with the user's logon
// as the platform's autologon policy allows it (intranet servers and proxies only).
// Basic and Digest would need a password and are never answered.
bool AnswerChallenge(Transfer* p, HINTERNET h, DWORD dwStatus) {
    int& iLogons = dwStatus == HTTP_STATUS_PROXY_AUTH_REQ ? p->iProxyLogons : p->iServerLogons;
    if (iLogons > 0) return false;
    DWORD dwSupported = 0, dwFirst = 0, dwTarget = 0;
    if (!WinHttpQueryAuthSchemes(h, &dwSupported, &dwFirst, &dwTarget)) return false;
    DWORD dwScheme = (dwSupported & WINHTTP_AUTH_SCHEME_NEGOTIATE) ? WINHTTP_AUTH_SCHEME_NEGOTIATE
                     : (dwSupported & WINHTTP_AUTH_SCHEME_NTLM)    ? WINHTTP_AUTH_SCHEME_NTLM
                                                                   : 0;
    if (!dwScheme) return false;
    if (!WinHttpSetCredentials(h, dwTarget, dwScheme, nullptr, nullptr, nullptr)) return false;
    ++iLogons;
    if (!WinHttpSendRequest(h, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                            reinterpret_cast<DWORD_PTR>(p)))
        Finish(p, LastError());
    return true;
}

void OnHeaders(Transfer* p, HINTERNET h) {
    DWORD dwStatus = 0, cb = sizeof(dwStatus);
    if (!WinHttpQueryHeaders(h, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                             &dwStatus, &cb, WINHTTP_NO_HEADER_INDEX)) {
        Finish(p, LastError());
        return;
    }
    if ((dwStatus == HTTP_STATUS_DENIED || dwStatus == HTTP_STATUS_PROXY_AUTH_REQ) && AnswerChallenge(p, h, dwStatus))
        return;
    p->lStatus = static_cast<LONG>(dwStatus);
    p->response.contentType = QueryHeader(h, WINHTTP_QUERY_CONTENT_TYPE);
    p->response.contentEncoding = QueryHeader(h, WINHTTP_QUERY_CONTENT_ENCODING);
    p->response.eTag = QueryHeader(h, WINHTTP_QUERY_ETAG);
    p->response.lastModified = QueryHeader(h, WINHTTP_QUERY_LAST_MODIFIED);
    p->response.retryAfter = QueryHeader(h, WINHTTP_QUERY_RETRY_AFTER);
    p->response.date = QueryHeader(h, WINHTTP_QUERY_DATE);
    // A coding we read is decoded as the body arrives; any other is left for the caller
    // to refuse.
    p->coding = DecideContentCoding(AsU16(p->response.contentEncoding));
    if (p->coding == ContentCoding::Gzip || p->coding == ContentCoding::Deflate) {
        p->decoder.reset(NewBodyDecoder(p->coding));
        if (!p->decoder) {
            Finish(p, E_OUTOFMEMORY);
            return;
        }
    }
    ReadNext(p, h);
}

void OnRead(Transfer* p, HINTERNET h, DWORD cbRead) {
    HRESULT hr;
    if (cbRead == 0) {
        hr = p->decoder ? EndBodyDecoding(p->decoder.get()) : S_OK;
        Finish(p, hr, BodyStep(hr));
        return;
    }
    if (p->decoder)
        hr = DecodeBodyBytes(p->decoder.get(), p->buffer.data(), cbRead, p->body, HTTP_MAX_BODY);
    else
        hr = p->body.Append(p->buffer.data(), cbRead, HTTP_MAX_BODY);
    if (FAILED(hr)) {
        Finish(p, hr, BodyStep(hr));
        return;
    }
    if (t_pReading == p)
        t_bReadAgain = true;
    else
        ReadNext(p, h);
}

// Keeps the transfer's address in step with the redirects WinHTTP follows. The new
// location comes as the platform gives it (absolute, or as the server wrote it), so it
// is resolved against the address before it.
void OnRedirect(Transfer* p, const wchar_t* szLocation, DWORD cchInfo) {
    std::wstring location(szLocation ? szLocation : L"", szLocation ? wcsnlen(szLocation, cchInfo) : 0);
    std::wstring next;
    if (!location.empty() && CombineUrl(p->url.c_str(), location.c_str(), next))
        p->url = next;
    else
        p->bUrlLost = true;
}

// Takes the request's address apart for WinHTTP. The fragment belongs to the user, never
// to the server: it is left out of the request.
HRESULT OpenTransfer(Transfer* p, const wchar_t* szURL) {
    std::wstring request(AsWideView(WithoutFragment(AsU16(szURL))));
    URL_COMPONENTS uc = {};
    uc.dwStructSize = sizeof(uc);
    wchar_t szHost[256] = {};
    std::vector<wchar_t> path(request.size() + 2);
    std::vector<wchar_t> extra(request.size() + 2);
    uc.lpszHostName = szHost;
    uc.dwHostNameLength = 256;
    uc.lpszUrlPath = path.data();
    uc.dwUrlPathLength = static_cast<DWORD>(path.size());
    uc.lpszExtraInfo = extra.data();
    uc.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!WinHttpCrackUrl(request.c_str(), 0, 0, &uc)) return LastError();
    if (uc.nScheme != INTERNET_SCHEME_HTTP && uc.nScheme != INTERNET_SCHEME_HTTPS) return E_INVALIDARG;
    p->host = szHost;
    p->nPort = uc.nPort;
    p->bSecure = uc.nScheme == INTERNET_SCHEME_HTTPS;
    p->object = std::wstring(path.data()) + extra.data();
    if (p->object.empty()) p->object = L"/";
    p->url = szURL;
    return S_OK;
}

// Opens the request on the route's session and sends it.
HRESULT StartRequest(Transfer* p, const ProxyRoute& route) {
    HRESULT hr = E_FAIL;
    HINTERNET hSession = RouteSession(p->pSession, route, &hr);
    if (!hSession) return hr;
    UniqueInternet hConnect(WinHttpConnect(hSession, p->host.c_str(), p->nPort, 0));
    if (!hConnect) return LastError();
    UniqueInternet hRequest(WinHttpOpenRequest(hConnect.get(), L"GET", p->object.c_str(), nullptr,
                                               WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                               p->bSecure ? WINHTTP_FLAG_SECURE : 0));
    if (!hRequest) return LastError();
    DWORD_PTR dwContext = reinterpret_cast<DWORD_PTR>(p);
    if (!WinHttpSetOption(hRequest.get(), WINHTTP_OPTION_CONTEXT_VALUE, &dwContext, sizeof(dwContext)))
        return LastError();
    DWORD dwPolicy = WINHTTP_AUTOLOGON_SECURITY_LEVEL_MEDIUM;
    WinHttpSetOption(hRequest.get(), WINHTTP_OPTION_AUTOLOGON_POLICY, &dwPolicy, sizeof(dwPolicy));
    int iTimeout = static_cast<int>(p->dwTimeout);
    WinHttpSetTimeouts(hRequest.get(), iTimeout, iTimeout, iTimeout, iTimeout);
    // Added to the request once, so a request sent again to answer a challenge keeps
    // them without repeating them.
    if (!p->headers.empty() &&
        !WinHttpAddRequestHeaders(hRequest.get(), p->headers.c_str(), static_cast<DWORD>(-1L),
                                  WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE))
        return LastError();
    // WinHTTP calls into this module until the request has closed; the request holds the
    // module until its last call, which gives it back (feed/statusentry.h).
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&RequestStatusEntry),
                            &p->hModule))
        return LastError();
    InterlockedIncrement(&p->lRefs);  // WinHTTP's, given back by its last call
    if (WinHttpSetStatusCallback(hRequest.get(), RequestStatusEntry,
                                 WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_REDIRECT |
                                     WINHTTP_CALLBACK_FLAG_HANDLES,
                                 0) == WINHTTP_INVALID_STATUS_CALLBACK) {
        HRESULT hrCallback = LastError();
        InterlockedDecrement(&p->lRefs);
        FreeLibrary(p->hModule);
        p->hModule = nullptr;
        return hrCallback;
    }
    HINTERNET h = hRequest.get();
    {
        qm::ScopedLock lock(p->cs);
        // From here on the request is closed only by CloseTransfer.
        p->hConnect = std::move(hConnect);
        p->hRequest = std::move(hRequest);
        if (p->bAbort) return E_ABORT;
    }
    if (!WinHttpSendRequest(h, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, dwContext))
        return LastError();
    return S_OK;
}

// The caller is done with the transfer: the request is closed (which tells WinHTTP to end
// what it is doing at once; its last call follows, on its own time) and the caller's
// reference goes. Nothing waits for WinHTTP: its last call frees the transfer.
void CloseTransfer(Transfer* p) {
    UniqueInternet hRequest, hConnect;
    {
        qm::ScopedLock lock(p->cs);
        InterlockedExchange(&p->bAbort, 1);
        hRequest = std::move(p->hRequest);
        hConnect = std::move(p->hConnect);
    }
    hRequest.reset();
    hConnect.reset();
    Finish(p, E_ABORT);
    ReleaseTransfer(p);
}

struct CloseTransferDeleter { void operator()(Transfer* p) const { CloseTransfer(p); } };
using UniqueTransfer = qm::UniqueHandle<Transfer*, CloseTransferDeleter>;

HttpResult Failed(HttpResult& result, HRESULT hr, HttpStep step) {
    result.hr = hr;
    result.failedStep = step;
    return std::move(result);
}

}  // namespace

extern "C" HMODULE CALLBACK HandleRequestStatus(HINTERNET h, DWORD_PTR dwContext, DWORD dwStatus, LPVOID pvInfo,
                                                DWORD cbInfo) {
    auto* p = reinterpret_cast<Transfer*>(dwContext);
    if (!p) return nullptr;
    if (dwStatus == WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING) {
        // The last call for this request: WinHTTP's reference goes, and so, once this
        // call has left the module, does the module reference.
        HMODULE hModule = p->hModule;
        ReleaseTransfer(p);
        return hModule;
    }
    try {
        switch (dwStatus) {
        case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
            if (!WinHttpReceiveResponse(h, nullptr)) Finish(p, LastError());
            break;
        case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
            OnHeaders(p, h);
            break;
        case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
            OnRead(p, h, cbInfo);
            break;
        case WINHTTP_CALLBACK_STATUS_REDIRECT:
            OnRedirect(p, static_cast<const wchar_t*>(pvInfo), cbInfo);
            break;
        case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR: {
            DWORD dwError = static_cast<WINHTTP_ASYNC_RESULT*>(pvInfo)->dwError;
            HRESULT hr = dwError == ERROR_WINHTTP_OPERATION_CANCELLED ? E_ABORT : HRESULT_FROM_WIN32(dwError);
            // A coded body the network cut short is a body that did not decode.
            Finish(p, hr, p->decoder ? HTTP_STEP_DECODE : HTTP_STEP_TRANSFER);
            break;
        }
        }
    } catch (...) {
        Finish(p, E_OUTOFMEMORY);
    }
    return nullptr;
}

HttpResult HttpFetch(_HTTP_SESSION* pSession, const wchar_t* szURL, const std::wstring& headers, HANDLE hCancel,
                     DWORD dwTimeLimitMs) {
    HttpResult result;
    const DWORD dwStart = GetTickCount();
    qm::UniqueHttpSession ownSession;
    if (!pSession) {
        HRESULT hr = HttpCreateSession(ownSession.put());
        if (FAILED(hr)) return Failed(result, hr, HTTP_STEP_CREATE);
        pSession = ownSession.get();
    }
    UniqueTransfer transfer(new (std::nothrow) Transfer());
    Transfer* p = transfer.get();
    if (!p) return Failed(result, E_OUTOFMEMORY, HTTP_STEP_CREATE);
    if (!p->hSignal) return Failed(result, LastError(), HTTP_STEP_CREATE);
    HttpAddRefSession(pSession);
    p->pSession = pSession;
    try {
        p->buffer.resize(c_cbReadBuffer);
        HRESULT hr = OpenTransfer(p, szURL);
        if (FAILED(hr)) return Failed(result, hr, HTTP_STEP_OPEN);
        p->headers = headers + L"Accept-Encoding: gzip, deflate\r\n";
        p->dwTimeout = dwTimeLimitMs;

        // The proxy may take a quarter of the time limit; the request has the rest.
        ProxyRoute route;
        std::wstring requestURL(AsWideView(WithoutFragment(AsU16(p->url))));
        qm::UniqueProxyLookup lookup(StartProxyLookup(pSession, requestURL, &route));
        if (lookup) {
            HANDLE ah[2] = {ProxyLookupEvent(lookup.get()), hCancel};
            DWORD dwBudget = dwTimeLimitMs / 4 ? dwTimeLimitMs / 4 : 1;
            DWORD r = WaitDispatchingMessages(ah, hCancel ? 2 : 1, dwStart + dwBudget);
            if (hCancel && r == 1) {
                result.bStopped = true;
                return result;
            }
            route = FinishProxyLookup(lookup.get());
        }
        hr = StartRequest(p, route);
        if (FAILED(hr)) return Failed(result, hr, HTTP_STEP_SEND);

        HANDLE ah[2] = {p->hSignal.get(), hCancel};
        DWORD r = WaitDispatchingMessages(ah, hCancel ? 2 : 1, dwStart + dwTimeLimitMs);
        if (r != 0) {
            // Cancelled, or the time is up: the transfer is abandoned.
            if (hCancel && r == 1) {
                result.bStopped = true;
                return result;
            }
            return Failed(result, HTTP_E_TIMEOUT, HTTP_STEP_TIMEOUT);
        }
        // The transfer has ended: WinHTTP's calls no longer touch the response.
        if (FAILED(p->hrResult)) return Failed(result, p->hrResult, p->step);
        result.lStatus = p->lStatus;
        result.headers = std::move(p->response);
        result.coding = p->coding;
        result.body = std::move(p->body);
        if (!p->bUrlLost) result.finalURL = p->url;
    } catch (...) {
        return Failed(result, E_OUTOFMEMORY, HTTP_STEP_TRANSFER);
    }
    return result;
}

LONG HttpTransfersAlive() {
    return g_lTransfersAlive;
}
