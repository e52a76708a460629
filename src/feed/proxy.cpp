#include "feed/proxy.h"
#include <new>
#include <utility>
#include <vector>
#include "core/worker.h"

namespace {

// How long what the user's proxy settings gave is kept: after this the settings are read
// again, and automatic detection or a script that failed is tried again (a laptop that
// moved to another network finds its proxy within this time).
const DWORD c_dwProxyCacheMs = 30u * 60 * 1000;

struct CloseInternetDeleter { void operator()(HINTERNET h) const { WinHttpCloseHandle(h); } };
using UniqueInternet = qm::UniqueHandle<HINTERNET, CloseInternetDeleter>;
struct GlobalFreeDeleter { void operator()(wchar_t* p) const { GlobalFree(p); } };
using UniqueGlobalText = qm::UniqueHandle<wchar_t*, GlobalFreeDeleter>;

std::wstring TextOf(const wchar_t* sz) {
    return sz ? std::wstring(sz) : std::wstring();
}

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
    // WinHTTP sessions by route: "" is direct, otherwise the proxy list and bypass list
    // joined by a line feed.
    std::vector<std::pair<std::wstring, UniqueInternet>> handles;
    UniqueInternet hResolver;  // synchronous, for WinHttpGetProxyForUrl
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

struct ProxyLookup {
    // The caller's reference and the thread's.
    volatile LONG lRefs = 2;
    _HTTP_SESSION* pSession = nullptr;  // counted
    ProxyPlan plan;
    qm::UniqueHandleNull hDone{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    qm::CriticalSection cs;
    bool bAnswered = false;
    ProxyRoute answer;
};

namespace {

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

// Runs the automatic parts of the plan: detection first, then the script, each
// remembered when it gave nothing; else the plan's fallback.
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

// The lookup's thread; it may take long or never end (a script that loops).
void LookupThread(void* pv) {
    auto* p = static_cast<ProxyLookup*>(pv);
    ProxyRoute route;
    try {
        route = ResolveProxy(p->pSession, p->plan);
    } catch (...) {
        route = ProxyRoute();  // out of memory: direct
    }
    {
        qm::ScopedLock lock(p->cs);
        p->answer.proxy.swap(route.proxy);
        p->answer.bypass.swap(route.bypass);
        p->bAnswered = true;
    }
    SetEvent(p->hDone.get());
    ReleaseProxyLookup(p);
}

}  // namespace

HRESULT HttpCreateSession(_HTTP_SESSION** ppOut) {
    if (!ppOut) return E_POINTER;
    *ppOut = nullptr;
    // The last call WinHTTP makes for a request may be what unloads this module, and
    // WinHTTP's thread goes on in its own code after that call returns: winhttp.dll must
    // not be unloaded with us, so once we use it it stays for the life of the process.
    HMODULE hWinHttp = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, L"winhttp.dll", &hWinHttp);
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
        DWORD dw = GetLastError();
        *phr = dw ? HRESULT_FROM_WIN32(dw) : E_FAIL;
        return nullptr;
    }
    qm::ScopedLock lock(s->cs);
    for (const auto& entry : s->handles)
        if (entry.first == key) return entry.second.get();
    s->handles.emplace_back(key, std::move(h));
    return s->handles.back().second.get();
}

ProxyLookup* StartProxyLookup(_HTTP_SESSION* s, const std::wstring& url, ProxyRoute* pRoute) {
    ProxyPlan plan = PlanProxy(s, url);
    *pRoute = plan.fallback;
    if (!plan.bDetect && !plan.bScript) return nullptr;
    auto* p = new (std::nothrow) ProxyLookup();
    if (!p) return nullptr;
    if (!p->hDone) {
        delete p;
        return nullptr;
    }
    HttpAddRefSession(s);
    p->pSession = s;
    p->plan = std::move(plan);
    if (!StartModuleThread(LookupThread, p)) {
        // No thread: the request goes by the settings without the automatic parts.
        HttpReleaseSession(s);
        delete p;
        return nullptr;
    }
    return p;
}

HANDLE ProxyLookupEvent(ProxyLookup* p) {
    return p->hDone.get();
}

ProxyRoute FinishProxyLookup(ProxyLookup* p) {
    {
        qm::ScopedLock lock(p->cs);
        if (p->bAnswered) return p->answer;
    }
    NoteProxyHung(p->pSession, p->plan);
    return p->plan.fallback;
}

void ReleaseProxyLookup(ProxyLookup* p) {
    if (!p || InterlockedDecrement(&p->lRefs) != 0) return;
    HttpReleaseSession(p->pSession);
    delete p;
}
