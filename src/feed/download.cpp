#include "feed/download.h"
#include <winhttp.h>
#include <cwchar>
#include <string>
#include "core/message.h"
#include "core/record.h"
#include "core/u16.h"
#include "feed/charset.h"
#include "feed/http.h"
#include "feed/parser.h"
#include "feed/schedule.h"
#include "text/feedlink.h"
#include "text/header.h"
#include "text/httpdate.h"

using qm::ComPtr;
using qm::FeedError;

namespace {

volatile LONG g_dwTimeLimit = FEED_TIME_LIMIT_MS;

// Validators longer than these are not kept (a server may send anything; what we send
// back stays a sane header).
const size_t c_cchMaxETag = 255;
const size_t c_cchMaxLastModified = 63;
// How much of a body is looked at to tell a web page from a feed.
const size_t c_cbPageSniff = 65536;

// Shows a step's message with its code and abandons the download with that code.
[[noreturn]] void FailStep(const wchar_t* szFormat, HRESULT hr) {
    ReportMessageF(nullptr, szFormat, static_cast<int>(hr));
    throw FeedError{hr};
}

// The same for a step whose message names something as well (%ls before %d).
[[noreturn]] void FailStepNamed(const wchar_t* szFormat, const std::wstring& name, HRESULT hr) {
    ReportMessageF(nullptr, szFormat, name.c_str(), static_cast<int>(hr));
    throw FeedError{hr};
}

// A fetch that failed: the message of the step it failed at, then the download is
// abandoned with its code. The time limit has no message of its own.
[[noreturn]] void FailFetch(const HttpResult& result) {
    switch (result.failedStep) {
    case HTTP_STEP_CREATE: FailStep(L"pXMLHTTPReq.CreateInstance failed failed (%d)", result.hr);
    case HTTP_STEP_OPEN: FailStep(L"pXMLHTTPReq->open failed failed (%d)", result.hr);
    case HTTP_STEP_SEND: FailStep(L"pXMLHTTPReq->send failed (%d)", result.hr);
    case HTTP_STEP_DECODE: FailStep(L"Invalid compressed response (%d)", result.hr);
    case HTTP_STEP_TOO_LARGE: FailStep(L"Response larger than 64 MB (%d)", FEED_E_TOO_LARGE);
    case HTTP_STEP_TIMEOUT: throw FeedError{FEED_E_TIMEOUT};
    case HTTP_STEP_TRANSFER:
    case HTTP_STEP_NONE: break;
    }
    FailStep(L"pXMLHTTPReq->get_status failed (%d)", result.hr);
}

// Now, in seconds since 1970, for a Retry-After date when the answer had no Date.
int64_t NowSeconds() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULONGLONG ull = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return static_cast<int64_t>(ull / 10000000ull) - 11644473600ll;
}

// The request headers of a fetch: the one every request sends, then the validators we
// kept (anything else is not sent at all). *pbConditional tells whether there were any.
std::wstring RequestHeaders(const FeedExchange& exchange, bool* pbConditional) {
    std::wstring headers = L"Content-Type: application/xml; charset=utf-8\r\n";
    *pbConditional = false;
    if (IsKeepableValue(AsU16(exchange.eTag), c_cchMaxETag)) {
        headers += L"If-None-Match: " + exchange.eTag + L"\r\n";
        *pbConditional = true;
    }
    if (IsKeepableValue(AsU16(exchange.lastModified), c_cchMaxLastModified)) {
        headers += L"If-Modified-Since: " + exchange.lastModified + L"\r\n";
        *pbConditional = true;
    }
    return headers;
}

// The validators of a 200, where fit to keep.
void KeepValidators(const HttpResponseHeaders& headers, FeedExchange& exchange) {
    std::u16string_view eTag = TrimHttpSpace(AsU16(headers.eTag));
    std::u16string_view lastModified = TrimHttpSpace(AsU16(headers.lastModified));
    if (IsKeepableValue(eTag, c_cchMaxETag)) exchange.newETag = AsWide(eTag);
    if (IsKeepableValue(lastModified, c_cchMaxLastModified)) exchange.newLastModified = AsWide(lastModified);
}

// A document that resolves nothing outside the bytes it is given; null with the failure
// code in *phr.
ComPtr<IXMLDOMDocument> NewDocument(HRESULT* phr) {
    ComPtr<IXMLDOMDocument> pDoc;
    *phr = qm::CreateRunningObject(qm::CLSID_DOMDocument30, qm::IID_XMLDOMDocument, pDoc.put_void());
    if (FAILED(*phr)) return ComPtr<IXMLDOMDocument>();
    pDoc->put_async(VARIANT_FALSE);
    pDoc->put_resolveExternals(VARIANT_FALSE);
    pDoc->put_validateOnParse(VARIANT_FALSE);
    return pDoc;
}

// Loads the document from its bytes; false when they are not well-formed XML.
bool LoadDocument(IXMLDOMDocument* pDoc, SAFEARRAY* psaBytes) {
    VARIANT source;
    VariantInit(&source);
    V_VT(&source) = VT_ARRAY | VT_UI1;
    V_ARRAY(&source) = psaBytes;
    VARIANT_BOOL bLoaded = VARIANT_FALSE;
    HRESULT hr = pDoc->load(source, &bLoaded);
    return SUCCEEDED(hr) && bLoaded == VARIANT_TRUE;
}

// Keeps an HTML response in page (its decoded text and its final address); false when
// the response is not one. Only the start of a body that is not HTML by its type is
// decoded to tell.
bool KeepWebPage(const HttpResult& result, const wchar_t* szURL, FetchedPage& page) {
    std::string_view body = result.body.View();
    std::wstring text, unknownName;
    const std::wstring& contentType = result.headers.contentType;
    if (!IsHtmlResponse(AsU16(contentType), u"")) {
        if (!DecodeResponseText(body.substr(0, c_cbPageSniff), contentType, text, unknownName) ||
            !IsHtmlResponse(AsU16(contentType), AsU16(text)))
            return false;
    }
    if (!DecodeResponseText(body, contentType, text, unknownName)) return false;
    page.bHtml = true;
    page.text = std::move(text);
    page.url = result.finalURL.empty() ? std::wstring(szURL) : result.finalURL;
    return true;
}

// True when pProfile is still one of the instance's profiles (call under csState).
bool HasProfile(_DOCKLET_DATA* pData, const _PROFILE_DATA* pProfile) {
    for (unsigned int i = 0; i < pData->profiles.GetCount(); ++i)
        if (pData->profiles.GetAt(i) == pProfile) return true;
    return false;
}

// Puts newItems into the instance under the lock and frees the list it replaces. With
// pSource (the profile whose 200 gave them, for szURL), its validators become those of
// the exchange; without, the items are no profile's 200. A worker that was cancelled
// (or an instance that is stopping) keeps its hands off the instance's items: the new
// list is freed instead.
void ReplaceItems(_DOCKLET_DATA* pData, HANDLE hCancel, FeedItemList& newItems, _PROFILE_DATA* pSource = nullptr,
                  const wchar_t* szURL = nullptr, const FeedExchange* pExchange = nullptr) {
    FeedItemList oldItems;
    {
        qm::ScopedLock lock(pData->csState);
        if (!ShouldStop(pData, hCancel)) {
            oldItems = pData->items;
            pData->items = newItems;
            newItems.RemoveAll();
            InterlockedIncrement(&pData->lItemsVersion);
            pData->pItemsSource = nullptr;
            if (pSource && pExchange && HasProfile(pData, pSource)) {
                pData->pItemsSource = pSource;
                CopyText(pSource->szETag, 256, pExchange->newETag.c_str());
                CopyText(pSource->szLastModified, 64, pExchange->newLastModified.c_str());
                CopyText(pSource->szValidatorsURL, 2049, szURL);
            }
        }
    }
    FreeFeedItems(newItems);
    FreeFeedItems(oldItems);
}

// The instance's HTTP session, made on first use; the caller gets a reference of its
// own. Null when none can be made (the fetch then reports the failure).
_HTTP_SESSION* InstanceSession(_DOCKLET_DATA* pData) {
    {
        qm::ScopedLock lock(pData->csState);
        if (pData->pHttpSession) {
            HttpAddRefSession(pData->pHttpSession.get());
            return pData->pHttpSession.get();
        }
    }
    qm::UniqueHttpSession session;
    if (FAILED(HttpCreateSession(session.put()))) return nullptr;
    qm::ScopedLock lock(pData->csState);
    if (!pData->pHttpSession) pData->pHttpSession.reset(session.release(), HttpReleaseSession);
    HttpAddRefSession(pData->pHttpSession.get());
    return pData->pHttpSession.get();
}

// What the answer of one RetrieveFeed tells beyond the items: the wait before the next
// timed refresh, and the status for a caller that shows it.
void NoteAnswer(_DOCKLET_DATA* pData, HANDLE hCancel, const FeedExchange& exchange, bool bNotModified,
                FeedAnswer* pAnswer) {
    if (pAnswer) {
        pAnswer->lStatus = exchange.lStatus;
        pAnswer->bNotModified = bNotModified;
    }
    qm::ScopedLock lock(pData->csState);
    if (!ShouldStop(pData, hCancel)) pData->dwBackOffMs = exchange.dwRetryAfterMs;
}

}  // namespace

DWORD GetFeedTimeLimit() {
    return static_cast<DWORD>(g_dwTimeLimit);
}

void SetFeedTimeLimit(DWORD dwMs) {
    InterlockedExchange(&g_dwTimeLimit, static_cast<LONG>(dwMs));
}

FetchOutcome FetchFeedDocument(const wchar_t* szURL, HANDLE hCancel, ComPtr<IXMLDOMDocument>& pDocOut,
                               std::wstring* pFinalURL, FeedExchange* pExchange, FetchedPage* pPage) {
    pDocOut.reset();
    if (pPage) *pPage = FetchedPage();
    FeedExchange scratch;
    FeedExchange& exchange = pExchange ? *pExchange : scratch;
    exchange.lStatus = 0;
    exchange.newETag.clear();
    exchange.newLastModified.clear();
    exchange.dwRetryAfterMs = 0;

    bool bConditional = false;
    HttpResult result =
        HttpFetch(exchange.pSession, szURL, RequestHeaders(exchange, &bConditional), hCancel, GetFeedTimeLimit());
    if (result.bStopped) return FETCH_STOPPED;
    if (FAILED(result.hr)) FailFetch(result);

    exchange.lStatus = result.lStatus;
    if (result.lStatus == HTTP_STATUS_NOT_MODIFIED && bConditional) return FETCH_NOT_MODIFIED;
    if (result.lStatus != HTTP_STATUS_OK) {
        if (result.lStatus == 429 || result.lStatus == HTTP_STATUS_SERVICE_UNAVAIL)
            exchange.dwRetryAfterMs =
                RetryAfterMs(AsU16(result.headers.retryAfter), AsU16(result.headers.date), NowSeconds());
        ReportMessageF(nullptr, L"Invalid status (%d)", static_cast<int>(result.lStatus));
        return FETCH_BAD_STATUS;
    }
    KeepValidators(result.headers, exchange);
    // A content coding we do not read leaves bytes no parser can read.
    if (result.coding == ContentCoding::Unsupported)
        FailStepNamed(L"Unsupported content encoding \"%ls\" (%d)",
                      PrintableName(AsciiLower(AsWide(TrimHttpSpace(AsU16(result.headers.contentEncoding))))),
                      FEED_E_CONTENT_ENCODING);

    qm::UniqueSafeArray xmlBytes;
    bool bEntities = false;
    std::wstring unknownName;
    if (!MakeXmlBytes(result.body.View(), result.headers.contentType, xmlBytes, &bEntities, unknownName))
        FailStepNamed(L"Unknown character encoding \"%ls\" (%d)", unknownName, FEED_E_CHARSET);
    // A web page is kept for the caller, who looks in it for its feed; one that is not
    // XML is handed back as it is, never parsed as XML.
    bool bWebPage = pPage && KeepWebPage(result, szURL, *pPage);
    result.body.Clear();
    // The prolog is looked at before any parse.
    if (bEntities) {
        if (bWebPage) return FETCH_WEB_PAGE;
        throw FeedError{FEED_E_ENTITIES};
    }
    HRESULT hr;
    ComPtr<IXMLDOMDocument> pDoc = NewDocument(&hr);
    if (!pDoc) FailStep(L"pXMLDocPtr.CreateInstance failed (%d)", hr);
    if (!LoadDocument(pDoc.get(), xmlBytes.get())) {
        if (bWebPage) return FETCH_WEB_PAGE;
        FailStep(L"pXMLDocPtr->loadXML failed (%d)", S_OK);
    }
    pDocOut = pDoc;
    if (pFinalURL) *pFinalURL = result.finalURL;
    return FETCH_DOCUMENT;
}

bool RetrieveFeed(_DOCKLET_DATA* pData, HANDLE hCancel, FeedAnswer* pAnswer) {
    qm::ComApartment apartment(qm::ComApartment::COM_STA);
    if (!apartment.ok()) {
        ReportMessageF(nullptr, L"CoInitializeEx Failed (%d)", static_cast<int>(apartment.hr()));
        return false;
    }

    // One refresh keeps to the profile that was active when it began: its URL is copied
    // now, and its title and format are written back only while it is still a profile
    // of the instance.
    _PROFILE_DATA* pProfile = nullptr;
    wchar_t szURL[2049] = {};
    FeedExchange exchange;
    {
        qm::ScopedLock lock(pData->csState);
        int i = pData->iCurrentProfile;
        if (i < 0 || static_cast<unsigned int>(i) >= pData->profiles.GetCount()) return false;
        pProfile = pData->profiles.GetAt(i);
        if (!pProfile) return false;
        CopyText(szURL, 2049, pProfile->szURL);
        // Validators belong to one address, and are worth sending only while the items
        // we hold are what they describe.
        if (wcscmp(pProfile->szValidatorsURL, pProfile->szURL) != 0) {
            pProfile->szETag[0] = 0;
            pProfile->szLastModified[0] = 0;
            pProfile->szValidatorsURL[0] = 0;
        } else if (pData->pItemsSource == pProfile) {
            exchange.eTag = pProfile->szETag;
            exchange.lastModified = pProfile->szLastModified;
        }
    }
    qm::UniqueHttpSession session(InstanceSession(pData));
    exchange.pSession = session.get();

    FeedItemList newItems;
    bool bResult = false;
    try {
        ComPtr<IXMLDOMDocument> pDoc;
        std::wstring finalURL;
        FetchOutcome outcome = FetchFeedDocument(szURL, hCancel, pDoc, &finalURL, &exchange);
        NoteAnswer(pData, hCancel, exchange, outcome == FETCH_NOT_MODIFIED, pAnswer);
        // Not modified: the items, the title and the format stay as they are.
        if (outcome == FETCH_NOT_MODIFIED) return !ShouldStop(pData, hCancel);
        if (outcome != FETCH_DOCUMENT) return false;
        if (!pDoc) throw FeedError{E_POINTER};

        int iFormat = GetFeedFormat(pDoc.get());
        if (ShouldStop(pData, hCancel)) return false;
        {
            qm::ScopedLock lock(pData->csState);
            if (!ShouldStop(pData, hCancel) && HasProfile(pData, pProfile)) pProfile->iFeedFormat = iFormat;
        }

        wchar_t szTitle[501] = {};
        const wchar_t* szContainer;
        const wchar_t* szItem;
        if (iFormat == FEED_FORMAT_RSS) {
            szContainer = L"channel";
            szItem = L"item";
        } else if (iFormat == FEED_FORMAT_ATOM) {
            szContainer = L"feed";
            szItem = L"entry";
        } else {
            throw FeedError{-1};
        }
        GetFeedTitle(pDoc.get(), szContainer, szTitle);
        if (ShouldStop(pData, hCancel)) return false;
        {
            qm::ScopedLock lock(pData->csState);
            if (!ShouldStop(pData, hCancel) && HasProfile(pData, pProfile) && pProfile->szTitle[0] == 0)
                CopyText(pProfile->szTitle, 501, szTitle);
        }
        // How often the feed asks to be checked at most, for the refresh timer.
        const int iRuleMinutes = GetFeedRuleMinutes(pDoc.get(), szContainer);
        {
            qm::ScopedLock lock(pData->csState);
            if (!ShouldStop(pData, hCancel) && HasProfile(pData, pProfile)) pProfile->iFeedRuleMinutes = iRuleMinutes;
        }

        ComPtr<IXMLDOMNodeList> pItemNodeList = GetItemNodeList(pDoc.get(), szItem);
        if (!pItemNodeList) throw FeedError{E_POINTER};
        if (iFormat == FEED_FORMAT_RSS)
            ParseFeedItems(newItems, pItemNodeList.get(), iFormat, L"title", L"link", nullptr, L"description", nullptr,
                           L"pubdate", L"pubDate", finalURL.c_str());
        else
            ParseFeedItems(newItems, pItemNodeList.get(), iFormat, L"title", L"link", L"href", L"content",
                           L"summary", L"updated", nullptr, finalURL.c_str());
        if (ShouldStop(pData, hCancel)) {
            FreeFeedItems(newItems);
            return false;
        }
        ReplaceItems(pData, hCancel, newItems, pProfile, szURL, &exchange);
        bResult = true;
    } catch (const FeedError& e) {
        FreeFeedItems(newItems);
        NoteAnswer(pData, hCancel, exchange, false, pAnswer);
        if (ShouldStop(pData, hCancel)) return false;
        ReportMessageF(nullptr, L"Invalid Exception (%d)", static_cast<int>(e.hr));
        ReplaceItems(pData, hCancel, newItems);
        bResult = false;
    } catch (...) {
        FreeFeedItems(newItems);
        NoteAnswer(pData, hCancel, exchange, false, pAnswer);
        if (ShouldStop(pData, hCancel)) return false;
        ReportMessage(nullptr, L"Invalid Exception", MB_OK);
        ReplaceItems(pData, hCancel, newItems);
        bResult = false;
    }
    return bResult;
}
