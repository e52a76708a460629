// The HTTP session of an instance and the proxy of each request, as the user's proxy
// settings say: automatic detection, a configuration script, or a static proxy with its
// bypass list. What the settings and the automatic parts gave is kept for a while; a
// WinHTTP session in asynchronous mode is kept per route (direct, or each named proxy),
// the one way every platform honours a proxy. Detection and the script run on a thread
// of ours, because a script may never return: its caller waits only as long as it
// chooses, and the session never runs a script again that did not answer in time.
#pragma once
#include <windows.h>
#include <winhttp.h>
#include <string>
#include "core/unique.h"

struct _HTTP_SESSION;
struct ProxyLookup;

// The product's version as its version resource names it; requests identify as
// "Quillmere/<version>".
#define QM_VERSION_TEXT L"0.1.0.2b"

// A new session, counted: the creator holds one reference, each request and lookup
// another.
HRESULT HttpCreateSession(_HTTP_SESSION** ppOut);
void HttpAddRefSession(_HTTP_SESSION* pSession);
void HttpReleaseSession(_HTTP_SESSION* pSession);

// Where a request goes: to the server itself (no proxy) or through the named proxies.
struct ProxyRoute {
    std::wstring proxy;  // empty: direct
    std::wstring bypass;
};

// The asynchronous WinHTTP session of a route, opened on first use and kept by the
// session; null with the failure in *phr.
HINTERNET RouteSession(_HTTP_SESSION* pSession, const ProxyRoute& route, HRESULT* phr);

// Starts finding the route of a request for url. When the user's settings leave nothing
// to detect or run, the route goes to *pRoute and no lookup starts (null). Otherwise
// detection and the script run on a thread of their own, and the lookup's event is
// signalled when they have answered.
ProxyLookup* StartProxyLookup(_HTTP_SESSION* pSession, const std::wstring& url, ProxyRoute* pRoute);
HANDLE ProxyLookupEvent(ProxyLookup* pLookup);
// The route a lookup found; when it has not answered (its time is up), the route the
// settings give without it, and the session takes detection and the script as hung.
ProxyRoute FinishProxyLookup(ProxyLookup* pLookup);
// Gives up the caller's hold on a lookup; a thread still at work finishes on its own.
void ReleaseProxyLookup(ProxyLookup* pLookup);

namespace qm {
struct HttpReleaseSessionDeleter { void operator()(_HTTP_SESSION* p) const { HttpReleaseSession(p); } };
using UniqueHttpSession = UniqueHandle<_HTTP_SESSION*, HttpReleaseSessionDeleter>;
struct ReleaseProxyLookupDeleter { void operator()(ProxyLookup* p) const { ReleaseProxyLookup(p); } };
using UniqueProxyLookup = UniqueHandle<ProxyLookup*, ReleaseProxyLookupDeleter>;
}  // namespace qm
