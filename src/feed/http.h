// One HTTP GET on WinHTTP, shaped like the MSXML request object it stands in for: open,
// set a header, send, poll the ready state while the transfer runs on a thread of its
// own, then read the status and the raw body. The transfer has WinHTTP's own time limits
// (set to the feed time limit) and redirect limit, so it always ends; a caller that
// stops waiting abandons it, and the transfer thread finishes on its own.
#pragma once
#include <windows.h>
#include <string>
#include "core/unique.h"

struct _HTTP_TRANSFER;

// A new transfer (owned by the caller; release with HttpRelease).
HRESULT HttpCreate(_HTTP_TRANSFER** ppOut);
void HttpRelease(_HTTP_TRANSFER* pTransfer);
HRESULT HttpOpen(_HTTP_TRANSFER* pTransfer, const wchar_t* szMethod, const wchar_t* szURL);
HRESULT HttpSetRequestHeader(_HTTP_TRANSFER* pTransfer, const wchar_t* szName, const wchar_t* szValue);
// Starts the transfer; returns at once. dwTimeoutMs bounds each network step.
HRESULT HttpSend(_HTTP_TRANSFER* pTransfer, DWORD dwTimeoutMs);
// 1 while the transfer runs, 4 when it has ended (successfully or not).
HRESULT HttpGetReadyState(_HTTP_TRANSFER* pTransfer, LONG* plState);
// The HTTP status of an ended transfer, or the failure that ended it.
HRESULT HttpGetStatus(_HTTP_TRANSFER* pTransfer, LONG* plStatus);
// The raw body and the Content-Type header of an ended transfer.
const std::string& HttpResponseBody(_HTTP_TRANSFER* pTransfer);
const std::wstring& HttpContentType(_HTTP_TRANSFER* pTransfer);
// The address the response of an ended transfer came from, after any redirects; empty
// when a redirect could not be followed in it.
std::wstring HttpFinalURL(_HTTP_TRANSFER* pTransfer);
// Signalled when the transfer has ended, for waits that sleep until then (owned by the
// transfer; valid while the caller holds it).
HANDLE HttpCompletionEvent(_HTTP_TRANSFER* pTransfer);
// Tells a running transfer to stop at its next step.
void HttpAbort(_HTTP_TRANSFER* pTransfer);

// szRelative resolved against the absolute szBase by the platform's URL rules (dot
// segments removed, as UrlCombineW does); false when they cannot be combined.
bool CombineUrl(const wchar_t* szBase, const wchar_t* szRelative, std::wstring& out);

namespace qm {
struct HttpReleaseDeleter { void operator()(_HTTP_TRANSFER* p) const { HttpRelease(p); } };
using UniqueHttpTransfer = UniqueHandle<_HTTP_TRANSFER*, HttpReleaseDeleter>;
}  // namespace qm
