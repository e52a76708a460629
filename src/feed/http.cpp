#include "feed/http.h"
#include <winhttp.h>
#include <shlwapi.h>
#include <new>
#include <utility>
#include <vector>

namespace {

// A body larger than this (after decompression) is refused rather than held in memory.
const size_t c_cbMaxBody = 64u * 1024 * 1024;
// How long what the user's proxy settings gave is kept: after this the settings are read
// again, and automatic detection or a script that failed is tried again (a laptop that
// moved to another network finds its proxy within this time).
const DWORD c_dwProxyCacheMs = 30u * 60 * 1000;
// How long releasing a transfer that has ended waits for WinHTTP's last call for the
// request (it comes at once when WinHTTP has nothing under way).
const DWORD c_dwCloseWaitMs = 2000;
const DWORD c_cbReadBuffer = 65536;

struct CloseInternetDeleter { void operator()(HINTERNET h) const { WinHttpCloseHandle(h); } };
using UniqueInternet = qm::UniqueHandle<HINTERNET, CloseInternetDeleter>;
struct GlobalFreeDeleter { void operator()(wchar_t* p) const { GlobalFree(p); } };
using UniqueGlobalText = qm::UniqueHandle<wchar_t*, GlobalFreeDeleter>;

HRESULT LastError() {
    DWORD dw = GetLastError();
    return dw ? HRESULT_FROM_WIN32(dw) : E_FAIL;
}

std::wstring TextOf(const wchar_t* sz) {
    return sz ? std::wstring(sz) : std::wstring();
}

// Where a request goes: to the server itself (no proxy) or through the named proxies.
struct ProxyRoute {
    std::wstring proxy;  // empty: direct
    std::wstring bypass;
};

// What finding the proxy of one request involves: the automatic parts of the user's
// settings still worth trying, and where to go when they give nothing.
struct ProxyPlan {
    bool bDetect = false;
    bool bScript = false;
    std::wstring scriptUrl;
    std::wstring url;  // the request's address
    ProxyRoute fallback;
};

}  // namespace

struct _HTTP_SESSION {
    volatile LONG lRefs = 1;
    qm::CriticalSection cs;
    // Asynchronous WinHTTP sessions by route: "" is direct, otherwise the proxy list and
    // bypass list joined by a line feed. A route's proxy is given when its session
    // opens, the one way every platform honours it.
    std::vector<std::pair<std::wstring, UniqueInternet>> handles;
    UniqueInternet hResolver;  // synchronous, for WinHttpGetProxyForUrl
    bool bDecompresses = false;
    // The user's proxy settings, as last read.
    bool bConfigRead = false;
    DWORD dwConfigTick = 0;
    bool bAutoDetect = false;
    std::wstring autoConfigUrl;
    ProxyRoute staticRoute;
    // Automatic detection and the configuration script that gave nothing, and when.
    bool bDetectFailed = false;
    DWORD dwDetectFailedTick = 0;
    bool bScriptFailed = false;
    DWORD dwScriptFailedTick = 0;
    // A script that did not answer in time is not run again in this session: the
    // thread that runs it may never come back.
    std::wstring hungScriptUrl;
};

struct _HTTP_TRANSFER {
    // The caller's reference, WinHTTP's from the moment it may call back until its last
    // call for the request, and the proxy thread's while it runs.
    volatile LONG lRefs = 1;
    volatile LONG lState = 0;  // 0 new, 1 opened or running, 4 ended
    volatile LONG lEnded = 0;
    volatile LONG bAbort = 0;
    _HTTP_SESSION* pSession = nullptr;  // counted
    qm::UniqueHandleNull hSignal{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    // Set by WinHTTP's last call for the request.
    qm::UniqueHandleNull hClosed{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    // Guards the request handles and the proxy thread's answer.
    qm::CriticalSection cs;
    UniqueInternet hConnect;
    UniqueInternet hRequest;
    bool bRequestOpened = false;
    // Held while WinHTTP may call into this module: given back once its last call for
    // the request is known to have come, else kept for good.
    HMODULE hModule = nullptr;

    // The request.
    std::wstring method;
    std::wstring host;
    INTERNET_PORT nPort = 0;
    std::wstring object;
    bool bSecure = false;
    std::wstring headers;
    DWORD dwTimeout = 0;
    bool bSent = false;

    // Finding the proxy (caller's thread, but for the answer).
    bool bResolving = false;
    DWORD dwResolveDeadline = 0;
    ProxyPlan plan;
    bool bResolved = false;
    ProxyRoute resolved;

    // The response (written by WinHTTP's calls into OnRequestStatus, one at a time).
    HRESULT hrResult = S_OK;
    LONG lStatus = 0;
    bool bHeaders = false;
    HttpResponseHeaders response;
    std::string body;
    std::vector<char> buffer;
    int iServerLogons = 0;
    int iProxyLogons = 0;
    // The address asked for, followed through redirects; bUrlLost when a redirect could
    // not be followed in it.
    std::wstring url;
    bool bUrlLost = false;
};

namespace {

// --- the session: proxy settings and WinHTTP sessions per route ---

// The user's settings: automatic detection, the configuration script and the static
// proxy with its bypass list.
void ReadProxySettings(_HTTP_SESSION* s) {
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG ie = {};
    bool bRead = WinHttpGetIEProxyConfigForCurrentUser(&ie) != FALSE;
    UniqueGlobalText autoConfig(ie.lpszAutoConfigUrl), proxy(ie.lpszProxy), bypass(ie.lpszProxyBypass);
    qm::ScopedLock lock(s->cs);
    s->bConfigRead = true;
    s->dwConfigTick = GetTickCount();
    s->bAutoDetect = bRead && ie.fAutoDetect;
    s->autoConfigUrl = TextOf(autoConfig.get());
    s->staticRoute.proxy = TextOf(proxy.get());
    s->staticRoute.bypass = s->staticRoute.proxy.empty() ? std::wstring() : TextOf(bypass.get());
}

bool Expired(DWORD dwSince) {
    return GetTickCount() - dwSince >= c_dwProxyCacheMs;
}

ProxyPlan PlanProxy(_HTTP_SESSION* s, const std::wstring& url) {
    bool bStale;
    {
        qm::ScopedLock lock(s->cs);
        bStale = !s->bConfigRead || Expired(s->dwConfigTick);
    }
    if (bStale) ReadProxySettings(s);
    qm::ScopedLock lock(s->cs);
    if (s->bDetectFailed && Expired(s->dwDetectFailedTick)) s->bDetectFailed = false;
    if (s->bScriptFailed && Expired(s->dwScriptFailedTick)) s->bScriptFailed = false;
    ProxyPlan plan;
    plan.bDetect = s->bAutoDetect && !s->bDetectFailed;
    plan.bScript = !s->autoConfigUrl.empty() && !s->bScriptFailed && s->autoConfigUrl != s->hungScriptUrl;
    plan.scriptUrl = s->autoConfigUrl;
    plan.url = url;
    plan.fallback = s->staticRoute;
    return plan;
}

// One question to WinHttpGetProxyForUrl; true with the route when it answered.
bool AskProxyForUrl(HINTERNET hResolver, const ProxyPlan& plan, bool bDetect, ProxyRoute& route) {
    WINHTTP_AUTOPROXY_OPTIONS options = {};
    if (bDetect) {
        options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    } else {
        options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = plan.scriptUrl.c_str();
    }
    // The script's own server may ask for the user's logon.
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO info = {};
    BOOL bOk = WinHttpGetProxyForUrl(hResolver, plan.url.c_str(), &options, &info);
    UniqueGlobalText proxy(info.lpszProxy), bypass(info.lpszProxyBypass);
    if (!bOk) return false;
    route = ProxyRoute();
    if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && proxy && *proxy.get()) {
        route.proxy = proxy.get();
        route.bypass = TextOf(bypass.get());
    }
    return true;
}

// Runs the automatic parts of the plan (on the proxy thread): detection first, then the
// script, each remembered when it gave nothing; else the plan's fallback.
ProxyRoute ResolveProxy(_HTTP_SESSION* s, const ProxyPlan& plan) {
    HINTERNET hResolver;
    {
        qm::ScopedLock lock(s->cs);
        if (!s->hResolver)
            s->hResolver.reset(
                WinHttpOpen(L"Quillmere/" QM_VERSION_TEXT, WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0));
        hResolver = s->hResolver.get();
    }
    ProxyRoute route;
    if (hResolver && plan.bDetect) {
        if (AskProxyForUrl(hResolver, plan, true, route)) return route;
        qm::ScopedLock lock(s->cs);
        s->bDetectFailed = true;
        s->dwDetectFailedTick = GetTickCount();
    }
    if (hResolver && plan.bScript) {
        if (AskProxyForUrl(hResolver, plan, false, route)) return route;
        qm::ScopedLock lock(s->cs);
        s->bScriptFailed = true;
        s->dwScriptFailedTick = GetTickCount();
    }
    return plan.fallback;
}

// The proxy was not found in time: detection counts as failed, and the script is not
// run again in this session.
void NoteProxyHung(_HTTP_SESSION* s, const ProxyPlan& plan) {
    qm::ScopedLock lock(s->cs);
    if (plan.bDetect) {
        s->bDetectFailed = true;
        s->dwDetectFailedTick = GetTickCount();
    }
    if (plan.bScript) s->hungScriptUrl = plan.scriptUrl;
}

// The asynchronous WinHTTP session of a route, opened on first use; null with the
// failure in *phr.
HINTERNET RouteSession(_HTTP_SESSION* s, const ProxyRoute& route, HRESULT* phr) {
    std::wstring key = route.proxy.empty() ? std::wstring() : route.proxy + L'\n' + route.bypass;
    {
        qm::ScopedLock lock(s->cs);
        for (const auto& entry : s->handles)
            if (entry.first == key) return entry.second.get();
    }
    UniqueInternet h(WinHttpOpen(L"Quillmere/" QM_VERSION_TEXT,
                                 route.proxy.empty() ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_NAMED_PROXY,
                                 route.proxy.empty() ? WINHTTP_NO_PROXY_NAME : route.proxy.c_str(),
                                 route.bypass.empty() ? WINHTTP_NO_PROXY_BYPASS : route.bypass.c_str(),
                                 WINHTTP_FLAG_ASYNC));
    if (!h) {
        *phr = LastError();
        return nullptr;
    }
    // Where the platform decodes gzip and deflate, it also asks for them.
    DWORD dwDecompression = WINHTTP_DECOMPRESSION_FLAG_GZIP | WINHTTP_DECOMPRESSION_FLAG_DEFLATE;
    bool bDecompresses =
        WinHttpSetOption(h.get(), WINHTTP_OPTION_DECOMPRESSION, &dwDecompression, sizeof(dwDecompression)) != FALSE;
    qm::ScopedLock lock(s->cs);
    for (const auto& entry : s->handles)
        if (entry.first == key) return entry.second.get();
    if (s->handles.empty()) s->bDecompresses = bDecompresses;
    s->handles.emplace_back(key, std::move(h));
    return s->handles.back().second.get();
}

// --- the transfer ---

void ReleaseTransfer(_HTTP_TRANSFER* p) {
    if (InterlockedDecrement(&p->lRefs) != 0) return;
    HttpReleaseSession(p->pSession);
    delete p;
}

// Ends the transfer with hr (the first end counts) and wakes its caller.
void Finish(_HTTP_TRANSFER* p, HRESULT hr) {
    if (InterlockedCompareExchange(&p->lEnded, 1, 0) != 0) return;
    p->hrResult = hr;
    InterlockedExchange(&p->lState, 4);
    SetEvent(p->hSignal.get());
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
thread_local _HTTP_TRANSFER* t_pReading = nullptr;
thread_local bool t_bReadAgain = false;

void ReadNext(_HTTP_TRANSFER* p, HINTERNET h) {
    _HTTP_TRANSFER* pOuter = t_pReading;
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
bool AnswerChallenge(_HTTP_TRANSFER* p, HINTERNET h, DWORD dwStatus) {
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

void OnHeaders(_HTTP_TRANSFER* p, HINTERNET h) {
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
    p->bHeaders = true;
    ReadNext(p, h);
}

void OnRead(_HTTP_TRANSFER* p, HINTERNET h, DWORD cbRead) {
    if (cbRead == 0) {
        Finish(p, S_OK);
        return;
    }
    if (p->body.size() + cbRead > c_cbMaxBody) {
        Finish(p, HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE));
        return;
    }
    p->body.append(p->buffer.data(), cbRead);
    if (t_pReading == p)
        t_bReadAgain = true;
    else
        ReadNext(p, h);
}

// Keeps the transfer's address in step with the redirects WinHTTP follows. The new
// location comes as the platform gives it (absolute, or as the server wrote it), so it
// is resolved against the address before it.
void OnRedirect(_HTTP_TRANSFER* p, const wchar_t* szLocation, DWORD cchInfo) {
    std::wstring location(szLocation ? szLocation : L"", szLocation ? wcsnlen(szLocation, cchInfo) : 0);
    std::wstring next;
    if (!location.empty() && CombineUrl(p->url.c_str(), location.c_str(), next))
        p->url = next;
    else
        p->bUrlLost = true;
}

// WinHTTP's calls for a request, on its own threads, one at a time per request.
void CALLBACK OnRequestStatus(HINTERNET h, DWORD_PTR dwContext, DWORD dwStatus, LPVOID pvInfo, DWORD cbInfo) {
    auto* p = reinterpret_cast<_HTTP_TRANSFER*>(dwContext);
    if (!p) return;
    if (dwStatus == WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING) {
        // The last call for this request: WinHTTP's reference goes.
        SetEvent(p->hClosed.get());
        ReleaseTransfer(p);
        return;
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
            Finish(p, dwError == ERROR_WINHTTP_OPERATION_CANCELLED ? E_ABORT : HRESULT_FROM_WIN32(dwError));
            break;
        }
        }
    } catch (...) {
        Finish(p, E_OUTOFMEMORY);
    }
}

// Opens the request on the route's session and sends it.
HRESULT StartRequest(_HTTP_TRANSFER* p, const ProxyRoute& route) {
    HRESULT hr = E_FAIL;
    HINTERNET hSession = RouteSession(p->pSession, route, &hr);
    if (!hSession) return hr;
    UniqueInternet hConnect(WinHttpConnect(hSession, p->host.c_str(), p->nPort, 0));
    if (!hConnect) return LastError();
    UniqueInternet hRequest(WinHttpOpenRequest(hConnect.get(), p->method.c_str(), p->object.c_str(), nullptr,
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
    // WinHTTP calls into this module until the request has closed; the transfer keeps
    // the module loaded until then.
    if (!p->hModule && !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                           reinterpret_cast<LPCWSTR>(&OnRequestStatus), &p->hModule))
        return LastError();
    InterlockedIncrement(&p->lRefs);  // WinHTTP's, given back by its last call
    if (WinHttpSetStatusCallback(hRequest.get(), OnRequestStatus,
                                 WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_REDIRECT |
                                     WINHTTP_CALLBACK_FLAG_HANDLES,
                                 0) == WINHTTP_INVALID_STATUS_CALLBACK) {
        HRESULT hrCallback = LastError();
        InterlockedDecrement(&p->lRefs);
        return hrCallback;
    }
    HINTERNET h = hRequest.get();
    {
        qm::ScopedLock lock(p->cs);
        // From here on the request is closed only by HttpAbort or HttpRelease.
        p->bRequestOpened = true;
        p->hConnect = std::move(hConnect);
        p->hRequest = std::move(hRequest);
        if (p->bAbort) return E_ABORT;
    }
    if (!WinHttpSendRequest(h, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, dwContext))
        return LastError();
    return S_OK;
}

// The proxy thread: runs the automatic parts of the user's proxy settings, which may
// take long or never end (a script that loops). The transfer moves on when it answers
// or when its time is up, whichever comes first.
DWORD WINAPI ResolveThread(void* pv) {
    auto* p = static_cast<_HTTP_TRANSFER*>(pv);
    // Taken by HttpSend for this thread, so the code stays loaded however long it runs.
    HMODULE hModule = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ResolveThread), &hModule);
    ProxyRoute route;
    try {
        route = ResolveProxy(p->pSession, p->plan);
    } catch (...) {
        route = ProxyRoute();  // out of memory: direct
    }
    {
        qm::ScopedLock lock(p->cs);
        p->resolved.proxy.swap(route.proxy);
        p->resolved.bypass.swap(route.bypass);
        p->bResolved = true;
    }
    SetEvent(p->hSignal.get());
    ReleaseTransfer(p);
    FreeLibraryAndExitThread(hModule, 0);
    return 0;
}

HRESULT StartResolving(_HTTP_TRANSFER* p, const ProxyPlan& plan) {
    HMODULE hModule = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&ResolveThread),
                            &hModule))
        return StartRequest(p, plan.fallback);
    qm::UniqueModule module(hModule);
    p->plan = plan;
    // The proxy may take a quarter of the time limit; the request has the rest.
    p->dwResolveDeadline = GetTickCount() + (p->dwTimeout / 4 ? p->dwTimeout / 4 : 1);
    p->bResolving = true;
    InterlockedIncrement(&p->lRefs);
    qm::UniqueHandleNull hThread(CreateThread(nullptr, 0, ResolveThread, p, 0, nullptr));
    if (!hThread) {
        InterlockedDecrement(&p->lRefs);
        p->bResolving = false;
        return StartRequest(p, plan.fallback);
    }
    module.release();  // the thread's now
    return S_OK;
}

// On the caller's thread: once the proxy is known, or its time is up, the request goes.
void ContinueAfterProxy(_HTTP_TRANSFER* p) {
    ProxyRoute route;
    bool bKnown;
    {
        qm::ScopedLock lock(p->cs);
        bKnown = p->bResolved;
        if (bKnown) route = p->resolved;
    }
    if (!bKnown) {
        if (static_cast<LONG>(GetTickCount() - p->dwResolveDeadline) < 0) return;
        NoteProxyHung(p->pSession, p->plan);
        route = p->plan.fallback;
    }
    p->bResolving = false;
    ResetEvent(p->hSignal.get());
    HRESULT hr = StartRequest(p, route);
    if (FAILED(hr)) Finish(p, hr);
}

}  // namespace

HRESULT HttpCreateSession(_HTTP_SESSION** ppOut) {
    if (!ppOut) return E_POINTER;
    *ppOut = nullptr;
    auto* s = new (std::nothrow) _HTTP_SESSION();
    if (!s) return E_OUTOFMEMORY;
    HRESULT hr = E_FAIL;
    try {
        if (!RouteSession(s, ProxyRoute(), &hr)) {
            delete s;
            return hr;
        }
    } catch (...) {
        delete s;
        return E_OUTOFMEMORY;
    }
    *ppOut = s;
    return S_OK;
}

void HttpAddRefSession(_HTTP_SESSION* s) {
    if (s) InterlockedIncrement(&s->lRefs);
}

void HttpReleaseSession(_HTTP_SESSION* s) {
    if (s && InterlockedDecrement(&s->lRefs) == 0) delete s;
}

bool HttpSessionDecompresses(_HTTP_SESSION* s) {
    if (!s) return false;
    qm::ScopedLock lock(s->cs);
    return s->bDecompresses;
}

HRESULT HttpCreate(_HTTP_SESSION* pSession, _HTTP_TRANSFER** ppOut) {
    if (!ppOut) return E_POINTER;
    *ppOut = nullptr;
    qm::UniqueHttpSession ownSession;
    if (!pSession) {
        HRESULT hr = HttpCreateSession(ownSession.put());
        if (FAILED(hr)) return hr;
        pSession = ownSession.get();
    }
    auto* p = new (std::nothrow) _HTTP_TRANSFER();
    if (!p) return E_OUTOFMEMORY;
    if (!p->hSignal || !p->hClosed) {
        HRESULT hr = LastError();
        delete p;
        return hr;
    }
    try {
        p->buffer.resize(c_cbReadBuffer);
    } catch (...) {
        delete p;
        return E_OUTOFMEMORY;
    }
    HttpAddRefSession(pSession);
    p->pSession = pSession;
    *ppOut = p;
    return S_OK;
}

void HttpRelease(_HTTP_TRANSFER* p) {
    if (!p) return;
    UniqueInternet hRequest, hConnect;
    bool bOpened;
    {
        qm::ScopedLock lock(p->cs);
        InterlockedExchange(&p->bAbort, 1);
        hRequest = std::move(p->hRequest);
        hConnect = std::move(p->hConnect);
        bOpened = p->bRequestOpened;
    }
    hRequest.reset();
    // A transfer that ended on its own leaves WinHTTP nothing under way, and its last
    // call comes at once. One that was abandoned may have a network call under way that
    // WinHTTP finishes first (up to the time limit): nobody waits for that. Its last call
    // frees the transfer, and the module stays loaded for it.
    Finish(p, E_ABORT);
    bool bAbandoned = p->hrResult == E_ABORT;
    bool bClosed =
        !bOpened || WaitForSingleObject(p->hClosed.get(), bAbandoned ? 0 : c_dwCloseWaitMs) == WAIT_OBJECT_0;
    hConnect.reset();
    if (bClosed && p->hModule) FreeLibrary(p->hModule);
    ReleaseTransfer(p);
}

HRESULT HttpOpen(_HTTP_TRANSFER* p, const wchar_t* szMethod, const wchar_t* szURL) {
    if (!p || !szMethod || !szURL) return E_POINTER;
    if (p->lState != 0) return E_UNEXPECTED;
    try {
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
        p->method = szMethod;
        p->host = szHost;
        p->nPort = uc.nPort;
        p->bSecure = uc.nScheme == INTERNET_SCHEME_HTTPS;
        p->object = std::wstring(path.data()) + extra.data();
        if (p->object.empty()) p->object = L"/";
        p->url = szURL;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    p->lState = 1;
    return S_OK;
}

HRESULT HttpSetRequestHeader(_HTTP_TRANSFER* p, const wchar_t* szName, const wchar_t* szValue) {
    if (!p || !szName || !szValue) return E_POINTER;
    if (p->lState != 1 || p->bSent) return E_UNEXPECTED;
    try {
        p->headers += szName;
        p->headers += L": ";
        p->headers += szValue;
        p->headers += L"\r\n";
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT HttpSend(_HTTP_TRANSFER* p, DWORD dwTimeoutMs) {
    if (!p) return E_POINTER;
    if (p->lState != 1 || p->bSent) return E_UNEXPECTED;
    p->bSent = true;
    p->dwTimeout = dwTimeoutMs;
    try {
        ProxyPlan plan = PlanProxy(p->pSession, p->url);
        if (!plan.bDetect && !plan.bScript) return StartRequest(p, plan.fallback);
        return StartResolving(p, plan);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT HttpGetReadyState(_HTTP_TRANSFER* p, LONG* plState) {
    if (!p || !plState) return E_POINTER;
    if (p->bResolving) {
        try {
            ContinueAfterProxy(p);
        } catch (...) {
            p->bResolving = false;
            Finish(p, E_OUTOFMEMORY);
        }
    }
    *plState = p->lState;
    return S_OK;
}

HANDLE HttpCompletionEvent(_HTTP_TRANSFER* p) {
    return p ? p->hSignal.get() : nullptr;
}

DWORD HttpWaitLimit(_HTTP_TRANSFER* p) {
    if (!p || !p->bResolving) return INFINITE;
    LONG lLeft = static_cast<LONG>(p->dwResolveDeadline - GetTickCount());
    return lLeft > 0 ? static_cast<DWORD>(lLeft) : 0;
}

HRESULT HttpGetStatus(_HTTP_TRANSFER* p, LONG* plStatus) {
    if (!p || !plStatus) return E_POINTER;
    *plStatus = 0;
    if (p->lState != 4) return E_PENDING;
    if (FAILED(p->hrResult)) return p->hrResult;
    *plStatus = p->lStatus;
    return S_OK;
}

const HttpResponseHeaders& HttpHeaders(_HTTP_TRANSFER* p) {
    return p->response;
}

const std::string& HttpResponseBody(_HTTP_TRANSFER* p) {
    return p->body;
}

bool HttpHadHeaders(_HTTP_TRANSFER* p) {
    return p && p->lState == 4 && p->bHeaders;
}

std::wstring HttpFinalURL(_HTTP_TRANSFER* p) {
    if (!p || p->lState != 4 || p->bUrlLost) return std::wstring();
    return p->url;
}

void HttpAbort(_HTTP_TRANSFER* p) {
    if (!p) return;
    UniqueInternet hRequest;
    {
        qm::ScopedLock lock(p->cs);
        InterlockedExchange(&p->bAbort, 1);
        hRequest = std::move(p->hRequest);
    }
    // Closing the request is how WinHTTP is told to end what it is doing at once; its
    // last call for the request follows (HttpRelease waits for it).
    hRequest.reset();
    // A proxy thread still at work keeps its own reference and finds nobody waiting.
    p->bResolving = false;
    Finish(p, E_ABORT);
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
