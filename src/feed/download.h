// Downloads the active profile's feed and hands the document to the parser. The transfer
// is one call on WinHTTP (feed/http.h); the document is an MSXML 3 DOM document loaded
// from the body's bytes. Requests are conditional where the items we hold came from the
// profile's last 200, and a 429 or 503 with Retry-After pushes the next timed refresh
// back.
#pragma once
#include <string>
#include "core/docklet.h"
#include "feed/xmlcom.h"

// How long one request may take, from send to the complete response, before it is
// abandoned with FEED_E_TIMEOUT. WinHTTP's own limits (each network step) are set to the
// same value and may end it sooner.
#define FEED_TIME_LIMIT_MS 60000
// The code of a request abandoned at the time limit.
#define FEED_E_TIMEOUT HRESULT_FROM_WIN32(ERROR_TIMEOUT)
// The code of a body larger than the 64 MB the download takes (counted decoded).
#define FEED_E_TOO_LARGE HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE)
// The code of a document refused because it declares entities (see FetchFeedDocument).
#define FEED_E_ENTITIES HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED)
// The code of a body whose character encoding is not a name or unknown to the platform.
#define FEED_E_CHARSET HRESULT_FROM_WIN32(ERROR_UNSUPPORTED_TYPE)
// The code of a body in a content encoding that was not decoded (or did not decode).
#define FEED_E_CONTENT_ENCODING HRESULT_FROM_WIN32(ERROR_INVALID_DATA)

// The time limit in force; tests shorten it.
DWORD GetFeedTimeLimit();
void SetFeedTimeLimit(DWORD dwMs);

// What the server answered to one RetrieveFeed, for tools that show it.
struct FeedAnswer {
    LONG lStatus = 0;           // the HTTP status; 0 when no answer came
    bool bNotModified = false;  // a 304 answered the validators we sent
};

// Runs on the refresh worker. True when the feed was fetched and parsed (the new items
// are then in pData->items), or when a 304 said the items we have are still the feed's.
// Failures are reported to the user and give false. Works on the profile that is
// active when it starts, and once hCancel is set or the instance is stopping it leaves
// without touching the instance again. The instance's HTTP session is made on first
// use; dwBackOffMs is set from the answer.
bool RetrieveFeed(_DOCKLET_DATA* pData, HANDLE hCancel = nullptr, FeedAnswer* pAnswer = nullptr);

enum FetchOutcome {
    FETCH_DOCUMENT,      // status 200 and a parsed document
    FETCH_BAD_STATUS,    // "Invalid status (%d)" has been shown
    FETCH_STOPPED,       // hCancel was set during the wait; nothing was shown
    FETCH_NOT_MODIFIED,  // a 304 answered the validators sent; nothing was shown
    FETCH_WEB_PAGE,      // only with a FetchedPage: an HTML page that is no XML; nothing was shown
};

// A response that is an HTML page, kept for looking up the feed it names
// (feed/discovery.h).
struct FetchedPage {
    bool bHtml = false;     // the response is an HTML page (text/html, or a body that starts like one)
    std::wstring text;      // its body as text
    std::wstring url;       // its address after redirects (the one asked for when that is not known)
};

// The conditional part of a fetch and what the answer said besides the document.
struct FeedExchange {
    // In: the session (null: one for this fetch alone) and the validators of the
    // document we hold, sent as If-None-Match and If-Modified-Since where not empty.
    _HTTP_SESSION* pSession = nullptr;
    std::wstring eTag;
    std::wstring lastModified;
    // Out: the HTTP status (0 when none came), the validators of a 200 (empty where the
    // server gave none fit to keep), and the wait a 429 or 503 asked for (ms, at most a
    // day; 0 when it asked for none or nonsense).
    LONG lStatus = 0;
    std::wstring newETag;
    std::wstring newLastModified;
    DWORD dwRetryAfterMs = 0;
};

// The document fetch shared by RetrieveFeed and CheckFeedURL: the request, the wait
// (dispatching this thread's messages, bounded by the time limit, left as soon as
// hCancel, when given, is set), the status rule, and the document parsed from the body
// (its encoding found as feed/charset.h says). Documents whose prolog declares entities
// are refused (FEED_E_ENTITIES); nothing external is ever resolved. The caller has
// entered an apartment. Failures show their step's message and throw qm::FeedError.
// With pFinalURL, a document's address after redirects goes there (empty when it is
// not known). With pPage, an HTML response is also kept there, and one that does not
// parse as XML (or declares entities) gives FETCH_WEB_PAGE instead of a failure.
FetchOutcome FetchFeedDocument(const wchar_t* szURL, HANDLE hCancel, qm::ComPtr<IXMLDOMDocument>& pDocOut,
                               std::wstring* pFinalURL = nullptr, FeedExchange* pExchange = nullptr,
                               FetchedPage* pPage = nullptr);
