// One HTTP GET on WinHTTP, in one call: the request goes (through the proxy that the
// session's policy finds, feed/proxy.h), the answer is read whole, a gzip or deflate body
// is decoded as it arrives, and the call returns with the status, the headers the feed
// code reads, the body and the address the answer came from. The transfer runs on
// WinHTTP's own threads; the caller waits on events, dispatching its thread's messages
// meanwhile (core/msgwait.h), until the answer is in, its cancel event is set or its
// time is up.
#pragma once
#include <windows.h>
#include <string>
#include "feed/bodybuffer.h"
#include "feed/proxy.h"
#include "text/header.h"

// The largest body taken, counted after decoding; decoding stops there.
#define HTTP_MAX_BODY (64u * 1024 * 1024)
// The code of a transfer abandoned at its time limit.
#define HTTP_E_TIMEOUT HRESULT_FROM_WIN32(ERROR_TIMEOUT)

// The step a failed fetch failed at, for the message that names it.
enum HttpStep {
    HTTP_STEP_NONE,       // no failure
    HTTP_STEP_CREATE,     // no session or transfer could be made
    HTTP_STEP_OPEN,       // the address is not an http or https address
    HTTP_STEP_SEND,       // the request could not be sent
    HTTP_STEP_TRANSFER,   // the network or the server failed the transfer
    HTTP_STEP_DECODE,     // the body is not in the content coding it claims, or is cut short
    HTTP_STEP_TOO_LARGE,  // the body is larger than HTTP_MAX_BODY
    HTTP_STEP_TIMEOUT,    // the time limit passed (HTTP_E_TIMEOUT)
};

// Response headers the feed code reads (empty when absent).
struct HttpResponseHeaders {
    std::wstring contentType;
    std::wstring contentEncoding;
    std::wstring eTag;
    std::wstring lastModified;
    std::wstring retryAfter;
    std::wstring date;
};

struct HttpResult {
    bool bStopped = false;             // the cancel event was set; nothing else holds
    HRESULT hr = S_OK;                 // the failure, when the fetch failed
    HttpStep failedStep = HTTP_STEP_NONE;
    LONG lStatus = 0;                  // the HTTP status of the answer
    HttpResponseHeaders headers;
    ContentCoding coding = ContentCoding::Identity;  // the body is decoded unless Unsupported
    BodyBuffer body;
    std::wstring finalURL;             // after redirects; empty when one could not be followed
};

// GETs szURL on pSession with the extra request headers ("Name: value\r\n" lines), within
// dwTimeLimitMs (which bounds each network step as well), leaving at once when hCancel
// (if given) is set. The request names the address without its fragment; finalURL keeps
// the address as given. "Accept-Encoding: gzip, deflate" is always sent.
HttpResult HttpFetch(_HTTP_SESSION* pSession, const wchar_t* szURL, const std::wstring& headers, HANDLE hCancel,
                     DWORD dwTimeLimitMs);

// The transfers still alive: a request lives until its caller is done with it and
// WinHTTP has made its last call for it, which may come after HttpFetch returned.
LONG HttpTransfersAlive();
