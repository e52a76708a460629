#include "feed/download.h"
#include <cstring>
#include <cwctype>
#include <cwchar>
#include <string>
#include <new>
#include "core/record.h"
#include "core/message.h"
#include "feed/discovery.h"
#include "feed/http.h"
#include "feed/parser.h"

using qm::CheckHr;
using qm::ComPtr;
using qm::FeedError;
using qm::UniqueBstr;
using qm::UniqueVariant;

namespace {

volatile LONG g_dwTimeLimit = FEED_TIME_LIMIT_MS;

// Shows a step's message with its code and abandons the download with that code.
[[noreturn]] void FailStep(const wchar_t* szFormat, HRESULT hr) {
    ReportMessageF(nullptr, szFormat, static_cast<int>(hr));
    throw FeedError{hr};
}

// Finds pattern in the bytes, skipping zero bytes, so that one search covers UTF-8,
// the single-byte code pages and both byte orders of UTF-16.
bool ContainsAscii(const BYTE* pb, size_t cb, const char* szPattern) {
    size_t nPattern = strlen(szPattern);
    for (size_t i = 0; i < cb; ++i) {
        if (pb[i] != static_cast<BYTE>(szPattern[0])) continue;
        size_t k = 1, j = i + 1;
        while (k < nPattern && j < cb) {
            if (pb[j] == 0) {
                ++j;
                continue;
            }
            if (pb[j] != static_cast<BYTE>(szPattern[k])) break;
            ++k;
            ++j;
        }
        if (k == nPattern) return true;
    }
    return false;
}

// What the raw body says about a DOCTYPE: none, one without entity declarations, or
// one that declares entities (the way to expansion bombs and to external entities that
// read local files).
enum DoctypeKind { DOCTYPE_NONE, DOCTYPE_PLAIN, DOCTYPE_ENTITIES };

DoctypeKind InspectBody(const std::string& body) {
    const BYTE* pb = reinterpret_cast<const BYTE*>(body.data());
    if (!ContainsAscii(pb, body.size(), "<!DOCTYPE")) return DOCTYPE_NONE;
    return ContainsAscii(pb, body.size(), "<!ENTITY") ? DOCTYPE_ENTITIES : DOCTYPE_PLAIN;
}

// Whether the body starts with '<' in an ASCII-compatible encoding or UTF-16/32 (after
// byte-order marks, zero bytes and white space). Only such bodies go to the XML parser
// as bytes: in any other encoding the scan for DOCTYPE and ENTITY above could not see
// the declarations. The others are read as text, where the scan holds.
bool StartsWithAsciiMarkup(const std::string& body) {
    for (unsigned char c : body) {
        if (c == 0 || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0xEF || c == 0xBB || c == 0xBF ||
            c == 0xFE || c == 0xFF)
            continue;
        return c == '<';
    }
    return false;
}

// The media type of a Content-Type header, lower case, without parameters.
std::wstring MediaType(const std::wstring& contentType) {
    std::wstring type = contentType.substr(0, contentType.find(L';'));
    while (!type.empty() && type.back() == L' ') type.pop_back();
    while (!type.empty() && type.front() == L' ') type.erase(0, 1);
    for (wchar_t& c : type) c = static_cast<wchar_t>(towlower(c));
    return type;
}

// Whether the request object takes a response as XML: the XML media types.
bool IsXmlContentType(const std::wstring& contentType) {
    std::wstring type = MediaType(contentType);
    return type == L"text/xml" || type == L"application/xml" ||
           (type.size() > 4 && type.compare(type.size() - 4, 4, L"+xml") == 0);
}

// The code page named by the charset parameter, or 0 when there is none or it is unknown.
UINT CharsetCodePage(const std::wstring& contentType) {
    std::wstring lower = contentType;
    for (wchar_t& c : lower) c = static_cast<wchar_t>(towlower(c));
    size_t pos = lower.find(L"charset=");
    if (pos == std::wstring::npos) return 0;
    std::wstring name = lower.substr(pos + 8);
    name = name.substr(0, name.find_first_of(L"; "));
    if (!name.empty() && name.front() == L'"') name = name.substr(1, name.find(L'"', 1) - 1);
    static const struct {
        const wchar_t* szName;
        UINT uCodePage;
    } c_charsets[] = {{L"utf-8", CP_UTF8},         {L"utf8", CP_UTF8},         {L"us-ascii", 20127},
                      {L"iso-8859-1", 28591},      {L"latin1", 28591},         {L"iso-8859-2", 28592},
                      {L"iso-8859-15", 28605},     {L"windows-1250", 1250},    {L"windows-1251", 1251},
                      {L"windows-1252", 1252},     {L"koi8-r", 20866},         {L"shift_jis", 932},
                      {L"euc-jp", 20932},          {L"gb2312", 936},           {L"big5", 950},
                      {L"utf-16", 1200},           {L"utf-16le", 1200},        {L"utf-16be", 1201}};
    for (const auto& c : c_charsets)
        if (name == c.szName) return c.uCodePage;
    return 0;
}

// The body as text: the charset of the Content-Type, else a byte-order mark, else UTF-8.
std::wstring ResponseText(const std::string& body, const std::wstring& contentType) {
    const char* p = body.data();
    size_t cb = body.size();
    UINT uCodePage = CharsetCodePage(contentType);
    if (cb >= 2 && static_cast<BYTE>(p[0]) == 0xFF && static_cast<BYTE>(p[1]) == 0xFE) {
        uCodePage = 1200;
        p += 2;
        cb -= 2;
    } else if (cb >= 2 && static_cast<BYTE>(p[0]) == 0xFE && static_cast<BYTE>(p[1]) == 0xFF) {
        uCodePage = 1201;
        p += 2;
        cb -= 2;
    } else if (cb >= 3 && memcmp(p, "\xEF\xBB\xBF", 3) == 0) {
        uCodePage = CP_UTF8;
        p += 3;
        cb -= 3;
    }
    if (uCodePage == 0) uCodePage = CP_UTF8;
    std::wstring text;
    if (uCodePage == 1200 || uCodePage == 1201) {
        text.resize(cb / 2);
        for (size_t i = 0; i < cb / 2; ++i) {
            BYTE b0 = static_cast<BYTE>(p[2 * i]), b1 = static_cast<BYTE>(p[2 * i + 1]);
            text[i] = static_cast<wchar_t>(uCodePage == 1200 ? (b0 | (b1 << 8)) : ((b0 << 8) | b1));
        }
        return text;
    }
    if (cb == 0) return text;
    int cch = MultiByteToWideChar(uCodePage, 0, p, static_cast<int>(cb), nullptr, 0);
    if (cch <= 0) return text;
    text.resize(static_cast<size_t>(cch));
    MultiByteToWideChar(uCodePage, 0, p, static_cast<int>(cb), &text[0], cch);
    return text;
}

// True when some text or CDATA node of the document has text: the same answer as "the
// document's text is not empty", without building the whole text (which costs time
// quadratic in the size of the document).
bool DocumentHasText(IXMLDOMDocument* pDoc) {
    ComPtr<IXMLDOMNode> pNode;
    if (FAILED(pDoc->get_firstChild(pNode.put()))) return false;
    int iDepth = 0;
    while (pNode) {
        DOMNodeType type = NODE_INVALID;
        if (FAILED(pNode->get_nodeType(&type))) return false;
        if (type == NODE_TEXT || type == NODE_CDATA_SECTION) {
            UniqueBstr bstrText;
            if (FAILED(pNode->get_text(bstrText.put()))) return false;
            if (SysStringLen(bstrText.get()) > 0) return true;
        }
        ComPtr<IXMLDOMNode> pNext;
        if (type == NODE_ELEMENT || type == NODE_ENTITY_REFERENCE) {
            if (FAILED(pNode->get_firstChild(pNext.put()))) return false;
            if (pNext) {
                ++iDepth;
                pNode = pNext;
                continue;
            }
        }
        // No children: the next sibling, or the next sibling of the nearest ancestor
        // that has one.
        for (;;) {
            if (FAILED(pNode->get_nextSibling(pNext.put()))) return false;
            if (pNext || iDepth == 0) break;
            ComPtr<IXMLDOMNode> pParent;
            if (FAILED(pNode->get_parentNode(pParent.put())) || !pParent) return false;
            pNode = pParent;
            --iDepth;
        }
        pNode = pNext;
    }
    return false;
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

// The response as the request object's responseXML: the body parsed as XML (honouring
// its encoding declaration) when the content type is an XML type; otherwise, or when
// it does not parse, an empty document.
ComPtr<IXMLDOMDocument> ResponseXML(_HTTP_TRANSFER* pTransfer, HRESULT* phr) {
    ComPtr<IXMLDOMDocument> pDoc = NewDocument(phr);
    if (!pDoc) return pDoc;
    const std::string& body = HttpResponseBody(pTransfer);
    if (!IsXmlContentType(HttpContentType(pTransfer)) || !StartsWithAsciiMarkup(body)) return pDoc;
    SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(body.size()));
    if (!psa) {
        *phr = E_OUTOFMEMORY;
        return ComPtr<IXMLDOMDocument>();
    }
    void* pv = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(psa, &pv))) {
        memcpy(pv, body.data(), body.size());
        SafeArrayUnaccessData(psa);
    }
    UniqueVariant source;
    V_VT(&source) = VT_ARRAY | VT_UI1;
    V_ARRAY(&source) = psa;
    VARIANT_BOOL bLoaded = VARIANT_FALSE;
    if (FAILED(pDoc->load(source, &bLoaded)) || bLoaded != VARIANT_TRUE) {
        // A body that does not parse gives an empty document, as the request object's.
        pDoc = NewDocument(phr);
    }
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
// transfer's completion, the cancel event and the message queue, with the time left
// as its only timeout. False when hCancel was set; the transfer is then abandoned, as
// it is at the time limit (FEED_E_TIMEOUT). A WM_QUIT met here ends the dispatching
// and is posted again for the thread's own loop once the wait is over.
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
        CheckHr(HttpGetReadyState(pReq, &lState));
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
        HANDLE ah[2];
        DWORD n = 0;
        if (HANDLE hDone = HttpCompletionEvent(pReq)) ah[n++] = hDone;
        if (hCancel) ah[n++] = hCancel;
        MsgWaitForMultipleObjectsEx(n, ah, dwLimit - dwElapsed, bQuit ? 0 : QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

// True when pProfile is still one of the instance's profiles (call under csState).
bool HasProfile(_DOCKLET_DATA* pData, const _PROFILE_DATA* pProfile) {
    for (unsigned int i = 0; i < pData->profiles.GetCount(); ++i)
        if (pData->profiles.GetAt(i) == pProfile) return true;
    return false;
}

// Puts newItems into the instance under the lock and frees the list it replaces. A
// worker that was cancelled (or an instance that is stopping) keeps its hands off the
// instance's items: the new list is freed instead.
void ReplaceItems(_DOCKLET_DATA* pData, HANDLE hCancel, FeedItemList& newItems) {
    FeedItemList oldItems;
    {
        qm::ScopedLock lock(pData->csState);
        if (!ShouldStop(pData, hCancel)) {
            oldItems = pData->items;
            pData->items = newItems;
            newItems.RemoveAll();
            InterlockedIncrement(&pData->lItemsVersion);
        }
    }
    FreeFeedItems(newItems);
    FreeFeedItems(oldItems);
}

// Keeps an HTML response in page as text; false when the response is not one.
bool KeepWebPage(_HTTP_TRANSFER* pReq, const wchar_t* szURL, FetchedPage& page) {
    std::wstring text = ResponseText(HttpResponseBody(pReq), HttpContentType(pReq));
    if (!IsHtmlResponse(HttpContentType(pReq), text)) return false;
    page.bHtml = true;
    page.text.swap(text);
    page.url = HttpFinalURL(pReq);
    if (page.url.empty()) page.url = szURL;
    return true;
}

}  // namespace

DWORD GetFeedTimeLimit() {
    return static_cast<DWORD>(g_dwTimeLimit);
}

void SetFeedTimeLimit(DWORD dwMs) {
    InterlockedExchange(&g_dwTimeLimit, static_cast<LONG>(dwMs));
}

FetchOutcome FetchFeedDocument(const wchar_t* szURL, HANDLE hCancel, ComPtr<IXMLDOMDocument>& pDocOut,
                               std::wstring* pFinalURL, FetchedPage* pPage) {
    pDocOut.reset();
    if (pPage) *pPage = FetchedPage();
    qm::UniqueHttpTransfer pXMLHTTPReq;
    HRESULT hr = HttpCreate(pXMLHTTPReq.put());
    if (FAILED(hr)) FailStep(L"pXMLHTTPReq.CreateInstance failed failed (%d)", hr);
    hr = HttpOpen(pXMLHTTPReq.get(), L"GET", szURL);
    if (FAILED(hr)) FailStep(L"pXMLHTTPReq->open failed failed (%d)", hr);
    hr = HttpSetRequestHeader(pXMLHTTPReq.get(), L"Content-Type", L"application/xml; charset=utf-8");
    if (FAILED(hr)) FailStep(L"pXMLHTTPReq->setRequestHeader failed (%d)", hr);
    hr = HttpSend(pXMLHTTPReq.get(), GetFeedTimeLimit());
    if (FAILED(hr)) FailStep(L"pXMLHTTPReq->send failed (%d)", hr);

    if (!WaitForResponse(pXMLHTTPReq.get(), hCancel)) return FETCH_STOPPED;

    LONG lStatus = 0;
    hr = HttpGetStatus(pXMLHTTPReq.get(), &lStatus);
    if (FAILED(hr)) FailStep(L"pXMLHTTPReq->get_status failed (%d)", hr);
    if (lStatus != 200) {
        ReportMessageF(nullptr, L"Invalid status (%d)", static_cast<int>(lStatus));
        return FETCH_BAD_STATUS;
    }

    // The raw body is looked at before any parse.
    DoctypeKind doctype = InspectBody(HttpResponseBody(pXMLHTTPReq.get()));
    // A web page is kept for the caller, who looks in it for its feed; one that is not
    // XML is handed back as it is, never parsed as XML.
    const bool bWebPage = pPage && KeepWebPage(pXMLHTTPReq.get(), szURL, *pPage);
    if (doctype == DOCTYPE_ENTITIES) {
        if (bWebPage) return FETCH_WEB_PAGE;
        throw FeedError{FEED_E_ENTITIES};
    }

    ComPtr<IXMLDOMDocument> pXMLDocPtr;
    bool bHasText = false;
    if (doctype == DOCTYPE_NONE) {
        pXMLDocPtr = ResponseXML(pXMLHTTPReq.get(), &hr);
        if (FAILED(hr)) FailStep(L"pXMLHTTPReq->get_responseXML failed (%d)", hr);
        if (!pXMLDocPtr) throw FeedError{E_POINTER};
        bHasText = DocumentHasText(pXMLDocPtr.get());
    }
    if (!bHasText) {
        // Not taken as XML (or carrying a DOCTYPE, which only a document that resolves
        // nothing external may parse): parse the response text again.
        UniqueBstr bstrText;
        {
            std::wstring text = ResponseText(HttpResponseBody(pXMLHTTPReq.get()), HttpContentType(pXMLHTTPReq.get()));
            bstrText.reset(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
            if (!bstrText) FailStep(L"pXMLHTTPReq->get_responseText failed (%d)", E_OUTOFMEMORY);
        }
        pXMLDocPtr = NewDocument(&hr);
        if (!pXMLDocPtr) FailStep(L"pXMLDocPtr.CreateInstance failed (%d)", hr);
        VARIANT_BOOL bLoaded = VARIANT_FALSE;
        hr = pXMLDocPtr->loadXML(bstrText.get(), &bLoaded);
        if (FAILED(hr) || bLoaded != VARIANT_TRUE) {
            if (bWebPage) return FETCH_WEB_PAGE;
            FailStep(L"pXMLDocPtr->loadXML failed (%d)", S_OK);
        }
    }
    pDocOut = pXMLDocPtr;
    if (pFinalURL) *pFinalURL = HttpFinalURL(pXMLHTTPReq.get());
    return FETCH_DOCUMENT;
}

bool RetrieveFeed(_DOCKLET_DATA* pData, HANDLE hCancel) {
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
    {
        qm::ScopedLock lock(pData->csState);
        int i = pData->iCurrentProfile;
        if (i < 0 || static_cast<unsigned int>(i) >= pData->profiles.GetCount()) return false;
        pProfile = pData->profiles.GetAt(i);
        if (!pProfile) return false;
        CopyText(szURL, 2049, pProfile->szURL);
    }

    FeedItemList newItems;
    bool bResult = false;
    try {
        ComPtr<IXMLDOMDocument> pXMLDocPtr;
        std::wstring finalURL;
        FetchOutcome outcome = FetchFeedDocument(szURL, hCancel, pXMLDocPtr, &finalURL);
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
        ReplaceItems(pData, hCancel, newItems);
        bResult = true;
    } catch (const FeedError& e) {
        FreeFeedItems(newItems);
        if (ShouldStop(pData, hCancel)) return false;
        ReportMessageF(nullptr, L"Invalid Exception (%d)", static_cast<int>(e.hr));
        ReplaceItems(pData, hCancel, newItems);
        bResult = false;
    } catch (...) {
        FreeFeedItems(newItems);
        if (ShouldStop(pData, hCancel)) return false;
        ReportMessage(nullptr, L"Invalid Exception", MB_OK);
        ReplaceItems(pData, hCancel, newItems);
        bResult = false;
    }
    return bResult;
}
