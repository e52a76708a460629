#include "feed/download.h"
#include <cwchar>
#include <new>
#include "core/instance.h"
#include "core/message.h"
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

DoctypeKind InspectBody(IXMLHttpRequest* pReq) {
    UniqueVariant body;
    CheckHr(pReq->get_responseBody(&body));
    if (V_VT(&body) != (VT_ARRAY | VT_UI1) || !V_ARRAY(&body)) return DOCTYPE_NONE;
    SAFEARRAY* psa = V_ARRAY(&body);
    LONG lLower = 0, lUpper = -1;
    SafeArrayGetLBound(psa, 1, &lLower);
    SafeArrayGetUBound(psa, 1, &lUpper);
    if (lUpper < lLower) return DOCTYPE_NONE;
    void* pv = nullptr;
    CheckHr(SafeArrayAccessData(psa, &pv));
    const BYTE* pb = static_cast<const BYTE*>(pv);
    size_t cb = static_cast<size_t>(lUpper - lLower + 1);
    DoctypeKind kind = DOCTYPE_NONE;
    if (ContainsAscii(pb, cb, "<!DOCTYPE")) kind = ContainsAscii(pb, cb, "<!ENTITY") ? DOCTYPE_ENTITIES : DOCTYPE_PLAIN;
    SafeArrayUnaccessData(psa);
    return kind;
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

// A document that resolves nothing outside the text it is given.
ComPtr<IXMLDOMDocument> NewDocument() {
    ComPtr<IXMLDOMDocument> pDoc;
    HRESULT hr = qm::CreateRunningObject(qm::CLSID_DOMDocument30, qm::IID_XMLDOMDocument, pDoc.put_void());
    if (FAILED(hr)) FailStep(L"pXMLDocPtr.CreateInstance failed (%d)", hr);
    pDoc->put_async(VARIANT_FALSE);
    pDoc->put_resolveExternals(VARIANT_FALSE);
    pDoc->put_validateOnParse(VARIANT_FALSE);
    return pDoc;
}

// Waits for ready state 4, dispatching this thread's messages and sleeping between
// passes until a message arrives or 10 ms have passed. False when pStop began stopping.
bool WaitForResponse(IXMLHttpRequest* pReq, const _DOCKLET_DATA* pStop) {
    DWORD dwStart = GetTickCount();
    DWORD dwLimit = GetFeedTimeLimit();
    LONG lState = 0;
    while (lState != 4) {
        MSG msg;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // Leave the quit for the thread's own loop.
                PostQuitMessage(static_cast<int>(msg.wParam));
            } else {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        CheckHr(pReq->get_readyState(&lState));
        if (lState == 4) break;
        if (pStop && IsStopping(pStop)) {
            pReq->abort();
            return false;
        }
        if (GetTickCount() - dwStart >= dwLimit) {
            pReq->abort();
            throw FeedError{FEED_E_TIMEOUT};
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    return true;
}

// True when pProfile is still one of the instance's profiles (call under csState).
bool HasProfile(_DOCKLET_DATA* pData, const _PROFILE_DATA* pProfile) {
    for (unsigned int i = 0; i < pData->profiles.GetCount(); ++i)
        if (pData->profiles.GetAt(i) == pProfile) return true;
    return false;
}

// Puts newItems into the instance under the lock and frees the list it replaces.
void ReplaceItems(_DOCKLET_DATA* pData, FeedItemList& newItems) {
    FeedItemList oldItems;
    {
        qm::ScopedLock lock(pData->csState);
        oldItems = pData->items;
        pData->items = newItems;
    }
    newItems.RemoveAll();
    FreeFeedItems(oldItems);
}

}  // namespace

DWORD GetFeedTimeLimit() {
    return static_cast<DWORD>(g_dwTimeLimit);
}

void SetFeedTimeLimit(DWORD dwMs) {
    InterlockedExchange(&g_dwTimeLimit, static_cast<LONG>(dwMs));
}

FetchOutcome FetchFeedDocument(const wchar_t* szURL, const _DOCKLET_DATA* pStop, ComPtr<IXMLDOMDocument>& pDocOut) {
    pDocOut.reset();
    ComPtr<IXMLHttpRequest> pXMLHTTPReq;
    HRESULT hr = qm::CreateRunningObject(qm::CLSID_XMLHTTP30, qm::IID_XMLHTTPRequest, pXMLHTTPReq.put_void());
    if (FAILED(hr)) FailStep(L"pXMLHTTPReq.CreateInstance failed failed (%d)", hr);

    {
        UniqueBstr bstrMethod(qm::AllocBstr(L"GET"));
        UniqueBstr bstrURL(qm::AllocBstr(szURL));
        VARIANT varAsync;
        VariantInit(&varAsync);
        V_VT(&varAsync) = VT_I2;
        V_I2(&varAsync) = -1;
        VARIANT varMissing;
        VariantInit(&varMissing);
        V_VT(&varMissing) = VT_ERROR;
        V_ERROR(&varMissing) = DISP_E_PARAMNOTFOUND;
        hr = pXMLHTTPReq->open(bstrMethod.get(), bstrURL.get(), varAsync, varMissing, varMissing);
        if (FAILED(hr)) FailStep(L"pXMLHTTPReq->open failed failed (%d)", hr);
    }
    {
        UniqueBstr bstrHeader(qm::AllocBstr(L"Content-Type"));
        UniqueBstr bstrValue(qm::AllocBstr(L"application/xml; charset=utf-8"));
        hr = pXMLHTTPReq->setRequestHeader(bstrHeader.get(), bstrValue.get());
        if (FAILED(hr)) FailStep(L"pXMLHTTPReq->setRequestHeader failed (%d)", hr);
    }
    {
        VARIANT varBody;
        VariantInit(&varBody);
        V_VT(&varBody) = VT_I4;
        V_I4(&varBody) = 0;
        hr = pXMLHTTPReq->send(varBody);
        if (FAILED(hr)) FailStep(L"pXMLHTTPReq->send failed (%d)", hr);
    }

    if (!WaitForResponse(pXMLHTTPReq.get(), pStop)) return FETCH_STOPPED;

    LONG lStatus = 0;
    hr = pXMLHTTPReq->get_status(&lStatus);
    if (FAILED(hr)) FailStep(L"pXMLHTTPReq->get_status failed (%d)", hr);
    if (lStatus != 200) {
        ReportMessageF(nullptr, L"Invalid status (%d)", static_cast<int>(lStatus));
        return FETCH_BAD_STATUS;
    }

    // The raw body is looked at before any parse.
    DoctypeKind doctype = InspectBody(pXMLHTTPReq.get());
    if (doctype == DOCTYPE_ENTITIES) throw FeedError{FEED_E_ENTITIES};

    ComPtr<IXMLDOMDocument> pXMLDocPtr;
    bool bHasText = false;
    if (doctype == DOCTYPE_NONE) {
        ComPtr<IDispatch> pDispatch;
        hr = pXMLHTTPReq->get_responseXML(pDispatch.put());
        if (FAILED(hr)) FailStep(L"pXMLHTTPReq->get_responseXML failed (%d)", hr);
        if (!pDispatch) throw FeedError{E_POINTER};
        CheckHr(pDispatch->QueryInterface(qm::IID_XMLDOMDocument, pXMLDocPtr.put_void()));
        bHasText = DocumentHasText(pXMLDocPtr.get());
    }
    if (!bHasText) {
        // Not taken as XML (or carrying a DOCTYPE, which only a document that resolves
        // nothing external may parse): parse the response text again.
        UniqueBstr bstrText;
        hr = pXMLHTTPReq->get_responseText(bstrText.put());
        if (FAILED(hr)) FailStep(L"pXMLHTTPReq->get_responseText failed (%d)", hr);
        pXMLDocPtr = NewDocument();
        VARIANT_BOOL bLoaded = VARIANT_FALSE;
        hr = pXMLDocPtr->loadXML(bstrText.get() ? bstrText.get() : const_cast<BSTR>(L""), &bLoaded);
        if (FAILED(hr) || bLoaded != VARIANT_TRUE) FailStep(L"pXMLDocPtr->loadXML failed (%d)", S_OK);
    }
    pDocOut = pXMLDocPtr;
    return FETCH_DOCUMENT;
}

bool RetrieveFeed(_DOCKLET_DATA* pData) {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (hr != S_OK && hr != S_FALSE) {
        ReportMessageF(nullptr, L"CoInitializeEx Failed (%d)", static_cast<int>(hr));
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
        FetchOutcome outcome = FetchFeedDocument(szURL, pData, pXMLDocPtr);
        if (outcome != FETCH_DOCUMENT) return false;
        if (!pXMLDocPtr) throw FeedError{E_POINTER};

        int iFormat = GetFeedFormat(pXMLDocPtr.get());
        if (IsStopping(pData)) return false;
        {
            qm::ScopedLock lock(pData->csState);
            if (HasProfile(pData, pProfile)) pProfile->iFeedFormat = iFormat;
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
        if (IsStopping(pData)) return false;
        {
            qm::ScopedLock lock(pData->csState);
            if (HasProfile(pData, pProfile) && pProfile->szTitle[0] == 0) CopyText(pProfile->szTitle, 501, szTitle);
        }

        ComPtr<IXMLDOMNodeList> pItemNodeList = GetItemNodeList(pXMLDocPtr.get(), szItem);
        if (!pItemNodeList) throw FeedError{E_POINTER};
        if (iFormat == FEED_FORMAT_RSS)
            ParseFeedItems(newItems, pItemNodeList.get(), iFormat, L"title", L"link", nullptr, L"description", nullptr,
                           L"pubdate", L"pubDate");
        else
            ParseFeedItems(newItems, pItemNodeList.get(), iFormat, L"title", L"link", L"href", L"content",
                           L"summary", L"updated", nullptr);
        if (IsStopping(pData)) {
            FreeFeedItems(newItems);
            return false;
        }
        ReplaceItems(pData, newItems);
        bResult = true;
    } catch (const FeedError& e) {
        FreeFeedItems(newItems);
        if (IsStopping(pData)) return false;
        ReportMessageF(nullptr, L"Invalid Exception (%d)", static_cast<int>(e.hr));
        ReplaceItems(pData, newItems);
        bResult = false;
    } catch (...) {
        FreeFeedItems(newItems);
        if (IsStopping(pData)) return false;
        ReportMessage(nullptr, L"Invalid Exception", MB_OK);
        ReplaceItems(pData, newItems);
        bResult = false;
    }
    return bResult;
}
