#include "feed/download.h"
#include <winhttp.h>
#include <cwchar>
#include <string>
#include "core/record.h"
#include "core/message.h"
#include "feed/charset.h"
#include "feed/discovery.h"
#include "feed/http.h"
#include "feed/parser.h"
#include "feed/schedule.h"

using qm::ComPtr;
using qm::FeedError;
using qm::UniqueBstr;

namespace {

volatile LONG g_dwTimeLimit = FEED_TIME_LIMIT_MS;

// Validators longer than these are not kept (a server may send anything; what we send
// back stays a sane header).
const size_t c_cchMaxETag = 255;
const size_t c_cchMaxLastModified = 63;
// The longest wait a Retry-After may ask for; beyond a year it is not a sincere request.
const ULONGLONG c_ullMaxRetryAfterSeconds = 24ull * 60 * 60;
const ULONGLONG c_ullNonsenseRetryAfterSeconds = 366ull * 24 * 60 * 60;

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

std::wstring Trimmed(const std::wstring& s) {
    size_t first = s.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return std::wstring();
    size_t last = s.find_last_not_of(L" \t");
    return s.substr(first, last - first + 1);
}

// A header value we may keep and send back: printable ASCII of at most cchMax characters.
bool IsKeepableValue(const std::wstring& value, size_t cchMax) {
    if (value.empty() || value.size() > cchMax) return false;
    for (wchar_t c : value)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

// A content coding the platform decoded for us (it does so only where it also asked).
bool IsDecodedCoding(_HTTP_SESSION* pSession, const std::wstring& coding) {
    return HttpSessionDecompresses(pSession) && (coding == L"gzip" || coding == L"x-gzip" || coding == L"deflate");
}

ULONGLONG FileTimeSeconds(const FILETIME& ft) {
    return ((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) / 10000000ull;
}

bool ParseDigits(const std::wstring& s, size_t at, size_t n, WORD* pValue) {
    WORD value = 0;
    for (size_t i = at; i < at + n; ++i) {
        if (s[i] < L'0' || s[i] > L'9') return false;
        value = static_cast<WORD>(value * 10 + (s[i] - L'0'));
    }
    *pValue = value;
    return true;
}

// An HTTP date in the form servers send ("Tue, 08 Dec 2026 12:00:00 GMT"); false for
// anything else (the platform's parser takes almost any text for a date).
bool ParseHttpDate(const std::wstring& s, FILETIME* pft) {
    static const wchar_t c_szMonths[] = L"JanFebMarAprMayJunJulAugSepOctNovDec";
    if (s.size() != 29 || s[3] != L',' || s[4] != L' ' || s[7] != L' ' || s[11] != L' ' || s[16] != L' ' ||
        s[19] != L':' || s[22] != L':' || s.compare(25, 4, L" GMT") != 0)
        return false;
    SYSTEMTIME st = {};
    const wchar_t* pMonth = wcsstr(c_szMonths, s.substr(8, 3).c_str());
    if (!pMonth || (pMonth - c_szMonths) % 3 != 0) return false;
    st.wMonth = static_cast<WORD>((pMonth - c_szMonths) / 3 + 1);
    if (!ParseDigits(s, 5, 2, &st.wDay) || !ParseDigits(s, 12, 4, &st.wYear) || !ParseDigits(s, 17, 2, &st.wHour) ||
        !ParseDigits(s, 20, 2, &st.wMinute) || !ParseDigits(s, 23, 2, &st.wSecond))
        return false;
    return SystemTimeToFileTime(&st, pft) != FALSE;
}

// Seconds from now (or from the response's Date, the server's clock) to an HTTP date;
// false when it is not one.
bool SecondsUntil(const std::wstring& when, const std::wstring& date, ULONGLONG* pSeconds) {
    FILETIME ftWhen, ftNow;
    if (!ParseHttpDate(when, &ftWhen)) return false;
    if (!ParseHttpDate(date, &ftNow)) GetSystemTimeAsFileTime(&ftNow);
    ULONGLONG ullWhen = FileTimeSeconds(ftWhen), ullNow = FileTimeSeconds(ftNow);
    *pSeconds = ullWhen > ullNow ? ullWhen - ullNow : 0;
    return true;
}

// The wait a Retry-After asks for, in seconds or as an HTTP date: at most a day; 0 when
// it is absent, past, negative, garbage or more than a year away.
DWORD RetryAfterMs(const HttpResponseHeaders& headers) {
    std::wstring value = Trimmed(headers.retryAfter);
    if (value.empty()) return 0;
    ULONGLONG ullSeconds = 0;
    if (value.find_first_not_of(L"0123456789") == std::wstring::npos) {
        if (value.size() > 12) return 0;
        ullSeconds = wcstoull(value.c_str(), nullptr, 10);
    } else if (!SecondsUntil(value, Trimmed(headers.date), &ullSeconds)) {
        return 0;
    }
    if (ullSeconds > c_ullNonsenseRetryAfterSeconds) return 0;
    if (ullSeconds > c_ullMaxRetryAfterSeconds) ullSeconds = c_ullMaxRetryAfterSeconds;
    return static_cast<DWORD>(ullSeconds * 1000);
}

// A document that resolves nothing outside the text it is given; null with the failure
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

// Takes a message the wait found: a message for a dialog goes through its keyboard
// handling (the editor's URL check waits inside a dialog), others are dispatched.
void DispatchWaitMessage(MSG& msg) {
    HWND hwndRoot = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    wchar_t szClass[8] = {};
    if (hwndRoot && GetClassNameW(hwndRoot, szClass, 8) && wcscmp(szClass, L"#32770") == 0 &&
        IsDialogMessageW(hwndRoot, &msg))
        return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

// Waits for the transfer to end, dispatching this thread's messages. It sleeps on the
// transfer's event, the cancel event and the message queue, with the time left as its
// only timeout (shorter only while the transfer's proxy is being found). False when
// hCancel was set; the transfer is then abandoned, as it is at the time limit
// (FEED_E_TIMEOUT). A WM_QUIT met here ends the dispatching and is posted again for the
// thread's own loop once the wait is over.
bool WaitForResponse(_HTTP_TRANSFER* pReq, HANDLE hCancel) {
    const DWORD dwStart = GetTickCount();
    const DWORD dwLimit = GetFeedTimeLimit();
    bool bQuit = false;
    int iQuitCode = 0;
    struct QuitAgain {
        bool& bQuit;
        int& iCode;
        ~QuitAgain() { if (bQuit) PostQuitMessage(iCode); }
    } quitAgain{bQuit, iQuitCode};
    for (;;) {
        MSG msg;
        while (!bQuit && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                bQuit = true;
                iQuitCode = static_cast<int>(msg.wParam);
            } else {
                DispatchWaitMessage(msg);
            }
        }
        LONG lState = 0;
        qm::CheckHr(HttpGetReadyState(pReq, &lState));
        if (lState == 4) return true;
        if (IsCancelled(hCancel)) {
            HttpAbort(pReq);
            return false;
        }
        DWORD dwElapsed = GetTickCount() - dwStart;
        if (dwElapsed >= dwLimit) {
            HttpAbort(pReq);
            throw FeedError{FEED_E_TIMEOUT};
        }
        DWORD dwTimeout = dwLimit - dwElapsed;
        DWORD dwStep = HttpWaitLimit(pReq);
        if (dwStep < dwTimeout) dwTimeout = dwStep;
        HANDLE ah[2];
        DWORD n = 0;
        if (HANDLE hDone = HttpCompletionEvent(pReq)) ah[n++] = hDone;
        if (hCancel) ah[n++] = hCancel;
        MsgWaitForMultipleObjectsEx(n, ah, dwTimeout, bQuit ? 0 : QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
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

// Keeps an HTML response in page (its decoded text and its final address); false when
// the response is not one.
bool KeepWebPage(_HTTP_TRANSFER* pReq, const std::wstring& contentType, const wchar_t* szURL,
                 const std::wstring& text, FetchedPage& page) {
    if (!IsHtmlResponse(contentType, text)) return false;
    page.bHtml = true;
    page.text = text;
    page.url = HttpFinalURL(pReq);
    if (page.url.empty()) page.url = szURL;
    return true;
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
    qm::UniqueHttpSession ownSession;
    _HTTP_SESSION* pSession = exchange.pSession;
    if (!pSession) {
        HRESULT hr = HttpCreateSession(ownSession.put());
        if (FAILED(hr)) FailStep(L"pXMLHTTPReq.CreateInstance failed failed (%d)", hr);
        pSession = ownSession.get();
    }

    qm::UniqueHttpTransfer pXMLHTTPReq;
    HRESULT hr = HttpCreate(pSession, pXMLHTTPReq.put());
    if (FAILED(hr)) FailStep(L"pXMLHTTPReq.CreateInstance failed failed (%d)", hr);
    hr = HttpOpen(pXMLHTTPReq.get(), L"GET", szURL);
    if (FAILED(hr)) FailStep(L"pXMLHTTPReq->open failed failed (%d)", hr);
    hr = HttpSetRequestHeader(pXMLHTTPReq.get(), L"Content-Type", L"application/xml; charset=utf-8");
    if (FAILED(hr)) FailStep(L"pXMLHTTPReq->setRequestHeader failed (%d)", hr);
    // Validators are sent only as we kept them; anything else is not sent at all.
    bool bConditional = false;
    if (IsKeepableValue(exchange.eTag, c_cchMaxETag)) {
        hr = HttpSetRequestHeader(pXMLHTTPReq.get(), L"If-None-Match", exchange.eTag.c_str());
        if (FAILED(hr)) FailStep(L"pXMLHTTPReq->setRequestHeader failed (%d)", hr);
        bConditional = true;
    }
    if (IsKeepableValue(exchange.lastModified, c_cchMaxLastModified)) {
        hr = HttpSetRequestHeader(pXMLHTTPReq.get(), L"If-Modified-Since", exchange.lastModified.c_str());
        if (FAILED(hr)) FailStep(L"pXMLHTTPReq->setRequestHeader failed (%d)", hr);
        bConditional = true;
    }
    hr = HttpSend(pXMLHTTPReq.get(), GetFeedTimeLimit());
    if (FAILED(hr)) FailStep(L"pXMLHTTPReq->send failed (%d)", hr);

    if (!WaitForResponse(pXMLHTTPReq.get(), hCancel)) return FETCH_STOPPED;

    const HttpResponseHeaders& headers = HttpHeaders(pXMLHTTPReq.get());
    std::wstring coding = AsciiLower(Trimmed(headers.contentEncoding));
    LONG lStatus = 0;
    hr = HttpGetStatus(pXMLHTTPReq.get(), &lStatus);
    if (FAILED(hr)) {
        // A body the platform was decoding for us and could not.
        if (HttpHadHeaders(pXMLHTTPReq.get()) && IsDecodedCoding(pSession, coding) &&
            hr != HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE))
            FailStep(L"Invalid compressed response (%d)", hr);
        FailStep(L"pXMLHTTPReq->get_status failed (%d)", hr);
    }
    exchange.lStatus = lStatus;
    if (lStatus == HTTP_STATUS_NOT_MODIFIED && bConditional) return FETCH_NOT_MODIFIED;
    if (lStatus != HTTP_STATUS_OK) {
        if (lStatus == 429 || lStatus == HTTP_STATUS_SERVICE_UNAVAIL) exchange.dwRetryAfterMs = RetryAfterMs(headers);
        ReportMessageF(nullptr, L"Invalid status (%d)", static_cast<int>(lStatus));
        return FETCH_BAD_STATUS;
    }
    std::wstring eTag = Trimmed(headers.eTag), lastModified = Trimmed(headers.lastModified);
    if (IsKeepableValue(eTag, c_cchMaxETag)) exchange.newETag = eTag;
    if (IsKeepableValue(lastModified, c_cchMaxLastModified)) exchange.newLastModified = lastModified;

    // A content coding that nobody decoded leaves bytes no parser can read.
    if (!coding.empty() && coding != L"identity" && !IsDecodedCoding(pSession, coding)) {
        FailStepNamed(L"Unsupported content encoding \"%ls\" (%d)", PrintableName(coding), FEED_E_CONTENT_ENCODING);
    }

    UniqueBstr bstrText;
    bool bWebPage = false;
    {
        std::wstring text, unknownName;
        if (!DecodeResponseText(HttpResponseBody(pXMLHTTPReq.get()), headers.contentType, text, unknownName))
            FailStepNamed(L"Unknown character encoding \"%ls\" (%d)", unknownName, FEED_E_CHARSET);
        // A web page is kept for the caller, who looks in it for its feed; one that is not
        // XML is handed back as it is, never parsed as XML.
        bWebPage = pPage && KeepWebPage(pXMLHTTPReq.get(), headers.contentType, szURL, text, *pPage);
        // The text is looked at before any parse.
        if (DeclaresEntities(text)) {
            if (bWebPage) return FETCH_WEB_PAGE;
            throw FeedError{FEED_E_ENTITIES};
        }
        bstrText.reset(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
        if (!bstrText) FailStep(L"pXMLHTTPReq->get_responseText failed (%d)", E_OUTOFMEMORY);
    }
    ComPtr<IXMLDOMDocument> pXMLDocPtr = NewDocument(&hr);
    if (!pXMLDocPtr) FailStep(L"pXMLDocPtr.CreateInstance failed (%d)", hr);
    VARIANT_BOOL bLoaded = VARIANT_FALSE;
    hr = pXMLDocPtr->loadXML(bstrText.get(), &bLoaded);
    if (FAILED(hr) || bLoaded != VARIANT_TRUE) {
        if (bWebPage) return FETCH_WEB_PAGE;
        FailStep(L"pXMLDocPtr->loadXML failed (%d)", S_OK);
    }
    pDocOut = pXMLDocPtr;
    if (pFinalURL) *pFinalURL = HttpFinalURL(pXMLHTTPReq.get());
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
        ComPtr<IXMLDOMDocument> pXMLDocPtr;
        std::wstring finalURL;
        FetchOutcome outcome = FetchFeedDocument(szURL, hCancel, pXMLDocPtr, &finalURL, &exchange);
        NoteAnswer(pData, hCancel, exchange, outcome == FETCH_NOT_MODIFIED, pAnswer);
        // Not modified: the items, the title and the format stay as they are.
        if (outcome == FETCH_NOT_MODIFIED) return !ShouldStop(pData, hCancel);
        if (outcome != FETCH_DOCUMENT) return false;
        if (!pXMLDocPtr) throw FeedError{E_POINTER};

        int iFormat = GetFeedFormat(pXMLDocPtr.get());
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
        GetFeedTitle(pXMLDocPtr.get(), szContainer, szTitle);
        if (ShouldStop(pData, hCancel)) return false;
        {
            qm::ScopedLock lock(pData->csState);
            if (!ShouldStop(pData, hCancel) && HasProfile(pData, pProfile) && pProfile->szTitle[0] == 0)
                CopyText(pProfile->szTitle, 501, szTitle);
        }
        // How often the feed asks to be checked at most, for the refresh timer.
        const int iRuleMinutes = GetFeedRuleMinutes(pXMLDocPtr.get(), szContainer);
        {
            qm::ScopedLock lock(pData->csState);
            if (!ShouldStop(pData, hCancel) && HasProfile(pData, pProfile)) pProfile->iFeedRuleMinutes = iRuleMinutes;
        }

        ComPtr<IXMLDOMNodeList> pItemNodeList = GetItemNodeList(pXMLDocPtr.get(), szItem);
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
