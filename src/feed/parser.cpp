#include "feed/parser.h"
#include <cstdio>
#include <cwchar>
#include <new>
#include <string>
#include "core/message.h"

using qm::CheckHr;
using qm::ComPtr;
using qm::FeedError;
using qm::UniqueBstr;

namespace {

const wchar_t c_szUndefined[] = L"undefined";

// The elements whose tag name as written (prefix included) is szName, below a document
// or an element, in document order. An XPath query on name() matches the qualified name
// exactly; getElementsByTagName is not used because some MSXML implementations compare
// only the local name there. The names are the parser's own constants, free of quotes.
template <typename T>
ComPtr<IXMLDOMNodeList> ElementsByTagName(T* pNode, const wchar_t* szName) {
    std::wstring query = L"descendant::*[name()='";
    query += szName;
    query += L"']";
    UniqueBstr bstrQuery(qm::AllocBstr(query.c_str()));
    ComPtr<IXMLDOMNodeList> pList;
    CheckHr(pNode->selectNodes(bstrQuery.get(), pList.put()));
    return pList;
}

// Element queries are XPath; MSXML 3 defaults to its older pattern language.
void UseXPath(IXMLDOMDocument* pDoc) {
    ComPtr<IXMLDOMDocument2> pDoc2;
    if (FAILED(pDoc->QueryInterface(qm::IID_XMLDOMDocument2, pDoc2.put_void()))) return;
    UniqueBstr bstrName(qm::AllocBstr(L"SelectionLanguage"));
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = SysAllocString(L"XPath");
    pDoc2->setProperty(bstrName.get(), value);
    VariantClear(&value);
}

// The element at index i of a list, or null when that node is not an element.
ComPtr<IXMLDOMElement> ElementAt(IXMLDOMNodeList* pList, long i) {
    ComPtr<IXMLDOMNode> pNode;
    CheckHr(pList->get_item(i, pNode.put()));
    ComPtr<IXMLDOMElement> pElement;
    if (pNode) pNode->QueryInterface(qm::IID_XMLDOMElement, pElement.put_void());
    return pElement;
}

// Length of a getter's list; a failure is shown with the element name.
long ChildListLength(IXMLDOMNodeList* pList, const wchar_t* szName) {
    long n = 0;
    HRESULT hr = pList->get_length(&n);
    if (FAILED(hr)) {
        ReportMessageF(nullptr, L"pNodes->get_length failed (%s - %d)", szName, static_cast<int>(hr));
        throw FeedError{hr};
    }
    return n;
}

long ContainerListLength(IXMLDOMNodeList* pList) {
    long n = 0;
    HRESULT hr = pList->get_length(&n);
    if (FAILED(hr)) {
        ReportMessageF(nullptr, L"pRSSFeedTitleNodeList->get_length failed (%d)", static_cast<int>(hr));
        throw FeedError{hr};
    }
    return n;
}

// The first szName element below pElement, or null.
ComPtr<IXMLDOMElement> FirstChildElement(IXMLDOMElement* pElement, const wchar_t* szName) {
    ComPtr<IXMLDOMNodeList> pNodes = ElementsByTagName(pElement, szName);
    if (!pNodes || ChildListLength(pNodes.get(), szName) < 1) return ComPtr<IXMLDOMElement>();
    return ElementAt(pNodes.get(), 0);
}

// The text of the first child node of the first szName element; null when there is none
// or it is empty.
UniqueBstr FirstChildText(IXMLDOMElement* pElement, const wchar_t* szName) {
    ComPtr<IXMLDOMElement> pFirst = FirstChildElement(pElement, szName);
    if (!pFirst) return UniqueBstr();
    ComPtr<IXMLDOMNode> pChild;
    CheckHr(pFirst->get_firstChild(pChild.put()));
    if (!pChild) return UniqueBstr();
    UniqueBstr bstrText;
    CheckHr(pChild->get_text(bstrText.put()));
    if (SysStringLen(bstrText.get()) == 0) return UniqueBstr();
    return bstrText;
}

wchar_t* NewString(const wchar_t* sz, size_t cch) {
    auto* psz = new wchar_t[cch + 2];
    wmemcpy(psz, sz, cch);
    psz[cch] = 0;
    psz[cch + 1] = 0;
    return psz;
}

}  // namespace

namespace qm {

HRESULT CreateRunningObject(const CLSID& clsid, const IID& riid, void** ppv) {
    *ppv = nullptr;
    ComPtr<IUnknown> pUnknown;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown, pUnknown.put_void());
    if (FAILED(hr)) return hr;
    hr = OleRun(pUnknown.get());
    if (FAILED(hr)) return hr;
    return pUnknown->QueryInterface(riid, ppv);
}

BSTR AllocBstr(const wchar_t* sz) {
    BSTR bstr = SysAllocString(sz);
    if (!bstr && sz) throw FeedError{E_OUTOFMEMORY};
    return bstr;
}

}  // namespace qm

int GetFeedFormat(IXMLDOMDocument* pDoc) {
    if (!pDoc) throw FeedError{-1};
    UseXPath(pDoc);
    ComPtr<IXMLDOMNodeList> pList = ElementsByTagName(pDoc, L"feed");
    if (pList && ContainerListLength(pList.get()) > 0) return FEED_FORMAT_ATOM;
    pList = ElementsByTagName(pDoc, L"channel");
    if (pList && ContainerListLength(pList.get()) > 0) return FEED_FORMAT_RSS;
    return 0;
}

bool GetFeedTitle(IXMLDOMDocument* pDoc, const wchar_t* szContainer, wchar_t* szBuffer) {
    if (!pDoc || !szContainer || !szBuffer) return false;
    szBuffer[0] = 0;
    UseXPath(pDoc);
    ComPtr<IXMLDOMNodeList> pList = ElementsByTagName(pDoc, szContainer);
    if (!pList || ContainerListLength(pList.get()) == 0) return false;
    ComPtr<IXMLDOMElement> pContainer = ElementAt(pList.get(), 0);
    if (!pContainer) return false;
    GetChildText(pContainer.get(), szBuffer, 500, L"title", c_szUndefined);
    return true;
}

ComPtr<IXMLDOMNodeList> GetItemNodeList(IXMLDOMDocument* pDoc, const wchar_t* szName) {
    if (!pDoc || !szName) throw FeedError{-1};
    UseXPath(pDoc);
    return ElementsByTagName(pDoc, szName);
}

bool GetChildText(IXMLDOMElement* pElement, wchar_t* szBuffer, size_t cch, const wchar_t* szName,
                  const wchar_t* szDefault) {
    if (!pElement || !szBuffer || !szName || cch == 0) throw FeedError{-1};
    UniqueBstr bstrText = FirstChildText(pElement, szName);
    if (bstrText)
        CopyText(szBuffer, cch, bstrText.get());
    else if (szDefault)
        CopyText(szBuffer, cch, szDefault);
    return true;
}

bool GetChildAttribute(IXMLDOMElement* pElement, wchar_t* szBuffer, size_t cch, const wchar_t* szName,
                       const wchar_t* szAttr, const wchar_t* szDefault) {
    if (!pElement || !szBuffer || !szName || !szAttr || cch == 0) throw FeedError{-1};
    ComPtr<IXMLDOMElement> pFirst = FirstChildElement(pElement, szName);
    qm::UniqueVariant value;
    if (pFirst) {
        UniqueBstr bstrAttr(qm::AllocBstr(szAttr));
        CheckHr(pFirst->getAttribute(bstrAttr.get(), &value));
    }
    if (V_VT(&value) == VT_NULL || V_VT(&value) == VT_EMPTY) {
        if (szDefault) CopyText(szBuffer, cch, szDefault);
        return true;
    }
    CheckHr(VariantChangeType(&value, &value, 0, VT_BSTR));
    CopyText(szBuffer, cch, V_BSTR(&value) ? V_BSTR(&value) : L"");
    return true;
}

bool GetChildTextAlloc(IXMLDOMElement* pElement, wchar_t** ppszOut, const wchar_t* szName, const wchar_t* szDefault) {
    if (!pElement || !ppszOut || !szName) throw FeedError{-1};
    UniqueBstr bstrText = FirstChildText(pElement, szName);
    wchar_t* psz = nullptr;
    if (bstrText)
        psz = NewString(bstrText.get(), SysStringLen(bstrText.get()));
    else if (szDefault)
        psz = NewString(szDefault, wcslen(szDefault));
    if (psz) {
        delete[] *ppszOut;
        *ppszOut = psz;
    }
    return true;
}

void ParseFeedItems(FeedItemList& items, IXMLDOMNodeList* pList, int iFormat, const wchar_t* szTitleName,
                    const wchar_t* szLinkName, const wchar_t* szLinkAttr, const wchar_t* szDescriptionName,
                    const wchar_t* szDescription2Name, const wchar_t* szDateName, const wchar_t* szDate2Name) {
    if (!pList || !szTitleName || !szLinkName || !szDescriptionName || !szDateName) throw FeedError{-1};
    if (iFormat == FEED_FORMAT_ATOM && !szLinkAttr) throw FeedError{-1};
    FreeFeedItems(items);

    long n = 0;
    HRESULT hr = pList->get_length(&n);
    if (FAILED(hr)) {
        ReportMessageF(nullptr, L"pItemNodeList->get_length failed (%d)", static_cast<int>(hr));
        throw FeedError{hr};
    }
    for (long j = 0; j < n; ++j) {
        wchar_t szTitle[500] = {};
        wchar_t szLink[2048] = {};
        wchar_t szDate[100] = {};
        wchar_t* pszDescription = nullptr;
        ComPtr<IXMLDOMElement> pItem = ElementAt(pList, j);
        if (!pItem) continue;
        try {
            GetChildText(pItem.get(), szTitle, 500, szTitleName, c_szUndefined);
            if (iFormat == FEED_FORMAT_RSS)
                GetChildText(pItem.get(), szLink, 2048, szLinkName, c_szUndefined);
            else if (iFormat == FEED_FORMAT_ATOM)
                GetChildAttribute(pItem.get(), szLink, 2048, szLinkName, szLinkAttr, c_szUndefined);
            GetChildTextAlloc(pItem.get(), &pszDescription, szDescriptionName, c_szUndefined);
            if (iFormat == FEED_FORMAT_ATOM && szDescription2Name && wcscmp(pszDescription, c_szUndefined) == 0)
                GetChildTextAlloc(pItem.get(), &pszDescription, szDescription2Name, c_szUndefined);
            GetChildText(pItem.get(), szDate, 100, szDateName, c_szUndefined);
            if (iFormat == FEED_FORMAT_RSS && szDate2Name && wcscmp(szDate, c_szUndefined) == 0)
                GetChildText(pItem.get(), szDate, 100, szDate2Name, c_szUndefined);

            auto* pRecord = static_cast<_RSSFEED_DATA*>(calloc(1, sizeof(_RSSFEED_DATA)));
            if (!pRecord) throw std::bad_alloc();
            CopyText(pRecord->szTitle, 500, szTitle);
            CopyText(pRecord->szLink, 2048, szLink);
            CopyText(pRecord->szPubDate, 100, szDate);
            pRecord->pszDescription = pszDescription;
            pszDescription = nullptr;
            _snwprintf(pRecord->szItemFile, 259, L"item%ld.html", j);
            try {
                items.Add(pRecord);
            } catch (...) {
                delete[] pRecord->pszDescription;
                free(pRecord);
                throw std::bad_alloc();
            }
        } catch (...) {
            delete[] pszDescription;
            throw;
        }
    }
}

void FreeFeedItems(FeedItemList& items) {
    for (unsigned int i = 0; i < items.GetCount(); ++i) {
        _RSSFEED_DATA* pItem = items.GetAt(i);
        if (!pItem) continue;
        delete[] pItem->pszDescription;
        free(pItem);
        items.GetAt(i) = nullptr;
    }
    items.RemoveAll();
}
