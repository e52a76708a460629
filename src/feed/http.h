// HTTP GETs on WinHTTP, shaped like the MSXML request object they stand in for: open,
// set a header, send, read the ready state while the transfer runs, then the status,
// the headers and the raw body.
//
// A session (one per instance) holds what requests share: WinHTTP sessions in
// asynchronous mode (one per proxy route), the user's proxy configuration and what
// automatic detection and the configuration script answered, and whether the platform
// decodes compressed bodies. A transfer runs on WinHTTP's own threads and signals an
// event when it needs its caller; no thread of ours runs it. Only finding the proxy
// through a configuration script or automatic detection runs on a thread of its own,
// because a script may never return: past its share of the time limit the transfer
// goes on without it.
#pragma once
#include <windows.h>
#include <string>
#include "core/unique.h"

struct _HTTP_SESSION;
struct _HTTP_TRANSFER;

// The product's version as its version resource names it; requests identify as
// "Quillmere/<version>".
#define QM_VERSION_TEXT L"0.1.0.2b"

// A new session, counted: the creator holds one reference, each transfer another.
HRESULT HttpCreateSession(_HTTP_SESSION** ppOut);
void HttpAddRefSession(_HTTP_SESSION* pSession);
void HttpReleaseSession(_HTTP_SESSION* pSession);
// True when the platform decodes gzip and deflate for the session's requests, which
// then ask for them (Accept-Encoding is added by the platform).
bool HttpSessionDecompresses(_HTTP_SESSION* pSession);

// A new transfer on pSession (null: a session of its own), owned by the caller, who
// releases it with HttpRelease.
HRESULT HttpCreate(_HTTP_SESSION* pSession, _HTTP_TRANSFER** ppOut);
void HttpRelease(_HTTP_TRANSFER* pTransfer);
HRESULT HttpOpen(_HTTP_TRANSFER* pTransfer, const wchar_t* szMethod, const wchar_t* szURL);
HRESULT HttpSetRequestHeader(_HTTP_TRANSFER* pTransfer, const wchar_t* szName, const wchar_t* szValue);
// Starts the transfer; returns at once. dwTimeoutMs bounds each network step.
HRESULT HttpSend(_HTTP_TRANSFER* pTransfer, DWORD dwTimeoutMs);
// 1 while the transfer runs, 4 when it has ended (successfully or not). Reading it also
// moves the transfer on once its proxy is known, so a waiting caller reads it each
// time HttpCompletionEvent is signalled or HttpWaitLimit has passed.
HRESULT HttpGetReadyState(_HTTP_TRANSFER* pTransfer, LONG* plState);
// Signalled when the transfer needs its caller: it has ended, or its proxy is known
// (owned by the transfer; valid while the caller holds it).
HANDLE HttpCompletionEvent(_HTTP_TRANSFER* pTransfer);
// How long the caller may sleep on HttpCompletionEvent before it reads the ready state
// again: finite only while the proxy is being found, INFINITE otherwise.
DWORD HttpWaitLimit(_HTTP_TRANSFER* pTransfer);
// The HTTP status of an ended transfer, or the failure that ended it.
HRESULT HttpGetStatus(_HTTP_TRANSFER* pTransfer, LONG* plStatus);

// Response headers of an ended transfer that the feed code reads (empty when absent).
struct HttpResponseHeaders {
    std::wstring contentType;
    std::wstring contentEncoding;
    std::wstring eTag;
    std::wstring lastModified;
    std::wstring retryAfter;
    std::wstring date;
};
const HttpResponseHeaders& HttpHeaders(_HTTP_TRANSFER* pTransfer);
// The raw body of an ended transfer, decoded from gzip or deflate where the session
// asked the platform for that.
const std::string& HttpResponseBody(_HTTP_TRANSFER* pTransfer);
// True when the response's headers had arrived before the transfer ended, so a failure
// happened while the body was read.
bool HttpHadHeaders(_HTTP_TRANSFER* pTransfer);
// The address the response of an ended transfer came from, after any redirects; empty
// when a redirect could not be followed in it.
std::wstring HttpFinalURL(_HTTP_TRANSFER* pTransfer);
// Tells a running transfer to stop at once.
void HttpAbort(_HTTP_TRANSFER* pTransfer);

// szRelative resolved against the absolute szBase by the platform's URL rules (dot
// segments removed, as UrlCombineW does); false when they cannot be combined.
bool CombineUrl(const wchar_t* szBase, const wchar_t* szRelative, std::wstring& out);

namespace qm {
struct HttpReleaseDeleter { void operator()(_HTTP_TRANSFER* p) const { HttpRelease(p); } };
using UniqueHttpTransfer = UniqueHandle<_HTTP_TRANSFER*, HttpReleaseDeleter>;
struct HttpReleaseSessionDeleter { void operator()(_HTTP_SESSION* p) const { HttpReleaseSession(p); } };
using UniqueHttpSession = UniqueHandle<_HTTP_SESSION*, HttpReleaseSessionDeleter>;
}  // namespace qm
