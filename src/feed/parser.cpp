#include "feed/parser.h"
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <new>
#include <cwctype>
#include <string>
#include <vector>
#include "core/message.h"
#include "core/u16.h"
#include "feed/resolve.h"
#include "text/oneline.h"

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

long ContainerListLength(IXMLDOMNodeList* pList) {
    long n = 0;
    HRESULT hr = pList->get_length(&n);
    if (FAILED(hr)) {
        ReportMessageF(nullptr, L"pRSSFeedTitleNodeList->get_length failed (%d)", static_cast<int>(hr));
        throw FeedError{hr};
    }
    return n;
}

// Finds, in one walk over the elements below pElement in document order, the first
// element whose tag name as written equals each of the count names (null names are
// skipped). One walk per item serves all of its fields, where a query per field would
// search the item again for each.
// With a budget, the walk gives up after that many nodes and returns false; otherwise
// (or when the walk ended within the budget) it returns true.
bool FindFirstElements(IXMLDOMElement* pElement, const wchar_t* const* pszNames, size_t count,
                       ComPtr<IXMLDOMElement>* pFound, size_t cBudget = SIZE_MAX) {
    size_t nMissing = 0;
    for (size_t i = 0; i < count; ++i)
        if (pszNames[i]) ++nMissing;
    ComPtr<IXMLDOMNode> pNode;
    CheckHr(pElement->get_firstChild(pNode.put()));
    int iDepth = 0;
    while (pNode && nMissing) {
        if (cBudget-- == 0) return false;
        DOMNodeType type = NODE_INVALID;
        CheckHr(pNode->get_nodeType(&type));
        if (type == NODE_ELEMENT) {
            UniqueBstr bstrName;
            CheckHr(pNode->get_nodeName(bstrName.put()));
            const wchar_t* szName = bstrName.get() ? bstrName.get() : L"";
            for (size_t i = 0; i < count; ++i) {
                if (!pszNames[i] || pFound[i] || wcscmp(pszNames[i], szName) != 0) continue;
                CheckHr(pNode->QueryInterface(qm::IID_XMLDOMElement, pFound[i].put_void()));
                --nMissing;
            }
        }
        ComPtr<IXMLDOMNode> pNext;
        if (type == NODE_ELEMENT || type == NODE_ENTITY_REFERENCE) {
            CheckHr(pNode->get_firstChild(pNext.put()));
            if (pNext) {
                ++iDepth;
                pNode = pNext;
                continue;
            }
        }
        for (;;) {
            CheckHr(pNode->get_nextSibling(pNext.put()));
            if (pNext || iDepth == 0) break;
            ComPtr<IXMLDOMNode> pParent;
            CheckHr(pNode->get_parentNode(pParent.put()));
            if (!pParent) throw FeedError{E_POINTER};
            pNode = pParent;
            --iDepth;
        }
        pNode = pNext;
    }
    return true;
}

ComPtr<IXMLDOMElement> FirstChildElement(IXMLDOMElement* pElement, const wchar_t* szName) {
    ComPtr<IXMLDOMElement> pFound;
    FindFirstElements(pElement, &szName, 1, &pFound);
    return pFound;
}

// The text of the first child node of pFirst; null when there is none or it is empty.
UniqueBstr FirstChildText(IXMLDOMElement* pFirst) {
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

namespace {

// Whether the document has an element whose tag name as written is szName. The root and
// the first nodes below it are looked at directly (a feed's container is at the top);
// past that, the DOM's own query searches the rest, and its list is checked name by
// name because some MSXML implementations match only the local name there.
bool HasElementNamed(IXMLDOMDocument* pDoc, const wchar_t* szName) {
    ComPtr<IXMLDOMElement> pRoot;
    CheckHr(pDoc->get_documentElement(pRoot.put()));
    if (!pRoot) return false;
    UniqueBstr bstrRootName;
    CheckHr(pRoot->get_nodeName(bstrRootName.put()));
    if (bstrRootName && wcscmp(bstrRootName.get(), szName) == 0) return true;
    ComPtr<IXMLDOMElement> pFound;
    if (FindFirstElements(pRoot.get(), &szName, 1, &pFound, 256)) return static_cast<bool>(pFound);

    UniqueBstr bstrName(qm::AllocBstr(szName));
    ComPtr<IXMLDOMNodeList> pRSSFeedTitleNodeList;
    CheckHr(pDoc->getElementsByTagName(bstrName.get(), pRSSFeedTitleNodeList.put()));
    if (!pRSSFeedTitleNodeList) return false;
    long n = ContainerListLength(pRSSFeedTitleNodeList.get());
    for (long i = 0; i < n; ++i) {
        ComPtr<IXMLDOMNode> pNode;
        CheckHr(pRSSFeedTitleNodeList->get_item(i, pNode.put()));
        if (!pNode) continue;
        UniqueBstr bstrNodeName;
        CheckHr(pNode->get_nodeName(bstrNodeName.put()));
        if (bstrNodeName && wcscmp(bstrNodeName.get(), szName) == 0) return true;
    }
    return false;
}

}  // namespace

int GetFeedFormat(IXMLDOMDocument* pDoc) {
    if (!pDoc) throw FeedError{-1};
    if (HasElementNamed(pDoc, L"feed")) return FEED_FORMAT_ATOM;
    if (HasElementNamed(pDoc, L"channel")) return FEED_FORMAT_RSS;
    return 0;
}

ComPtr<IXMLDOMElement> GetFeedContainer(IXMLDOMDocument* pDoc, const wchar_t* szContainer) {
    if (!pDoc || !szContainer) return ComPtr<IXMLDOMElement>();
    // The root itself or the first one below it, found by a walk that ends there (the
    // container is normally at the top).
    ComPtr<IXMLDOMElement> pRoot;
    CheckHr(pDoc->get_documentElement(pRoot.put()));
    if (!pRoot) return ComPtr<IXMLDOMElement>();
    UniqueBstr bstrName;
    CheckHr(pRoot->get_nodeName(bstrName.put()));
    if (bstrName && wcscmp(bstrName.get(), szContainer) == 0) return pRoot;
    return FirstChildElement(pRoot.get(), szContainer);
}

bool GetFeedTitle(IXMLDOMDocument* pDoc, const wchar_t* szContainer, wchar_t* szBuffer) {
    if (!pDoc || !szContainer || !szBuffer) return false;
    szBuffer[0] = 0;
    ComPtr<IXMLDOMElement> pContainer = GetFeedContainer(pDoc, szContainer);
    if (!pContainer) return false;
    GetChildText(pContainer.get(), szBuffer, 500, L"title", c_szUndefined);
    // The title fills an empty profile title, which the settings file, the menus and
    // the dock's texts hold on one line: line breaks and other control characters a
    // feed puts into it become spaces, and those around it go.
    std::wstring title = AsWide(TrimmedOneLine(AsU16(szBuffer)));
    CopyText(szBuffer, 500, title.c_str());
    return true;
}

ComPtr<IXMLDOMNodeList> GetItemNodeList(IXMLDOMDocument* pDoc, const wchar_t* szName) {
    if (!pDoc || !szName) throw FeedError{-1};
    UseXPath(pDoc);
    return ElementsByTagName(pDoc, szName);
}

namespace {

// The getters' work once the first element of the name is known (pFirst may be null).
// True when the feed gave the text, false when the default stands in for it.
bool TextOf(IXMLDOMElement* pFirst, wchar_t* szBuffer, size_t cch, const wchar_t* szDefault) {
    UniqueBstr bstrText = FirstChildText(pFirst);
    if (bstrText) {
        CopyText(szBuffer, cch, bstrText.get());
        return true;
    }
    if (szDefault) CopyText(szBuffer, cch, szDefault);
    return false;
}

bool AttributeOf(IXMLDOMElement* pFirst, wchar_t* szBuffer, size_t cch, const wchar_t* szAttr,
                 const wchar_t* szDefault) {
    qm::UniqueVariant value;
    if (pFirst) {
        UniqueBstr bstrAttr(qm::AllocBstr(szAttr));
        CheckHr(pFirst->getAttribute(bstrAttr.get(), &value));
    }
    if (V_VT(&value) == VT_NULL || V_VT(&value) == VT_EMPTY) {
        if (szDefault) CopyText(szBuffer, cch, szDefault);
        return false;
    }
    CheckHr(VariantChangeType(&value, &value, 0, VT_BSTR));
    CopyText(szBuffer, cch, V_BSTR(&value) ? V_BSTR(&value) : L"");
    return true;
}

bool IsUrlSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

// sz without the white space around it.
std::wstring TrimUrl(const wchar_t* sz) {
    const wchar_t* pEnd = sz + wcslen(sz);
    while (IsUrlSpace(*sz)) ++sz;
    while (pEnd > sz && IsUrlSpace(pEnd[-1])) --pEnd;
    return std::wstring(sz, pEnd);
}

// Whether a URL reference names its scheme ("scheme:..."): such a link is absolute and
// is never resolved against anything.
bool HasScheme(const std::wstring& url) {
    if (url.empty() || url[0] > 0x7F || !iswalpha(url[0])) return false;
    for (size_t i = 1; i < url.size(); ++i) {
        wchar_t c = url[i];
        if (c == L':') return true;
        if (c > 0x7F || !(iswalnum(c) || c == L'+' || c == L'-' || c == L'.')) return false;
    }
    return false;
}

// An absolute http or https address: the only bases that links are resolved against.
bool IsHttpBase(const std::wstring& url) {
    return _wcsnicmp(url.c_str(), L"http://", 7) == 0 || _wcsnicmp(url.c_str(), L"https://", 8) == 0;
}

// The base URI that applies to pElement: the feed's address, then every xml:base from
// the root down to pElement itself, each resolved against the one above it. An xml:base
// that does not come out as an http or https address is passed over, so a feed cannot
// make its links resolve to script or local files. Empty when there is no such base.
std::wstring BaseUrlOf(IXMLDOMElement* pElement, const wchar_t* szFeedUrl) {
    std::vector<std::wstring> bases;  // innermost first
    ComPtr<IXMLDOMNode> pNode;
    CheckHr(pElement->QueryInterface(qm::IID_XMLDOMNode, pNode.put_void()));
    UniqueBstr bstrAttr(qm::AllocBstr(L"xml:base"));
    while (pNode) {
        ComPtr<IXMLDOMElement> pAncestor;
        if (FAILED(pNode->QueryInterface(qm::IID_XMLDOMElement, pAncestor.put_void())) || !pAncestor) break;
        qm::UniqueVariant value;
        CheckHr(pAncestor->getAttribute(bstrAttr.get(), &value));
        if (V_VT(&value) == VT_BSTR && V_BSTR(&value)) bases.push_back(TrimUrl(V_BSTR(&value)));
        ComPtr<IXMLDOMNode> pParent;
        CheckHr(pNode->get_parentNode(pParent.put()));
        pNode = pParent;
    }
    std::wstring base = (szFeedUrl && IsHttpBase(szFeedUrl)) ? std::wstring(szFeedUrl) : std::wstring();
    for (auto it = bases.rbegin(); it != bases.rend(); ++it) {
        std::wstring candidate;
        if (HasScheme(*it))
            candidate = *it;
        else if (base.empty() || !CombineUrl(base.c_str(), it->c_str(), candidate))
            continue;
        if (IsHttpBase(candidate)) base = candidate;
    }
    return base;
}

// A link that the feed gave as a relative reference, resolved against the base that
// applies to its element; absolute links, empty ones and links without a base stay as
// they are. Cut to cch - 1 like any link.
void ResolveLink(IXMLDOMElement* pLinkElement, const wchar_t* szFeedUrl, wchar_t* szLink, size_t cch) {
    std::wstring link = TrimUrl(szLink);
    if (link.empty() || HasScheme(link)) return;
    std::wstring base = BaseUrlOf(pLinkElement, szFeedUrl);
    std::wstring resolved;
    if (base.empty() || !CombineUrl(base.c_str(), link.c_str(), resolved)) return;
    CopyText(szLink, cch, resolved.c_str());
}

void TextAllocOf(IXMLDOMElement* pFirst, wchar_t** ppszOut, const wchar_t* szDefault) {
    UniqueBstr bstrText = FirstChildText(pFirst);
    wchar_t* psz = nullptr;
    if (bstrText)
        psz = NewString(bstrText.get(), SysStringLen(bstrText.get()));
    else if (szDefault)
        psz = NewString(szDefault, wcslen(szDefault));
    if (psz) {
        delete[] *ppszOut;
        *ppszOut = psz;
    }
}

}  // namespace

bool GetChildText(IXMLDOMElement* pElement, wchar_t* szBuffer, size_t cch, const wchar_t* szName,
                  const wchar_t* szDefault) {
    if (!pElement || !szBuffer || !szName || cch == 0) throw FeedError{-1};
    TextOf(FirstChildElement(pElement, szName).get(), szBuffer, cch, szDefault);
    return true;
}

bool GetChildAttribute(IXMLDOMElement* pElement, wchar_t* szBuffer, size_t cch, const wchar_t* szName,
                       const wchar_t* szAttr, const wchar_t* szDefault) {
    if (!pElement || !szBuffer || !szName || !szAttr || cch == 0) throw FeedError{-1};
    AttributeOf(FirstChildElement(pElement, szName).get(), szBuffer, cch, szAttr, szDefault);
    return true;
}

bool GetChildTextAlloc(IXMLDOMElement* pElement, wchar_t** ppszOut, const wchar_t* szName, const wchar_t* szDefault) {
    if (!pElement || !ppszOut || !szName) throw FeedError{-1};
    TextAllocOf(FirstChildElement(pElement, szName).get(), ppszOut, szDefault);
    return true;
}

void ParseFeedItems(FeedItemList& items, IXMLDOMNodeList* pList, int iFormat, const wchar_t* szTitleName,
                    const wchar_t* szLinkName, const wchar_t* szLinkAttr, const wchar_t* szDescriptionName,
                    const wchar_t* szDescription2Name, const wchar_t* szDateName, const wchar_t* szDate2Name,
                    const wchar_t* szBaseUrl) {
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
            // One walk over the item finds the first element of every name it needs.
            enum { TITLE, LINK, DESCRIPTION, DESCRIPTION2, DATE_FIELD, DATE2_FIELD, FIELDS };
            const wchar_t* pszNames[FIELDS] = {
                szTitleName,
                (iFormat == FEED_FORMAT_RSS || iFormat == FEED_FORMAT_ATOM) ? szLinkName : nullptr,
                szDescriptionName,
                iFormat == FEED_FORMAT_ATOM ? szDescription2Name : nullptr,
                szDateName,
                iFormat == FEED_FORMAT_RSS ? szDate2Name : nullptr};
            ComPtr<IXMLDOMElement> pFound[FIELDS];
            FindFirstElements(pItem.get(), pszNames, FIELDS, pFound);

            TextOf(pFound[TITLE].get(), szTitle, 500, c_szUndefined);
            bool bLinkGiven = false;
            if (iFormat == FEED_FORMAT_RSS)
                bLinkGiven = TextOf(pFound[LINK].get(), szLink, 2048, c_szUndefined);
            else if (iFormat == FEED_FORMAT_ATOM)
                bLinkGiven = AttributeOf(pFound[LINK].get(), szLink, 2048, szLinkAttr, c_szUndefined);
            if (bLinkGiven) ResolveLink(pFound[LINK].get(), szBaseUrl, szLink, 2048);
            TextAllocOf(pFound[DESCRIPTION].get(), &pszDescription, c_szUndefined);
            if (pszNames[DESCRIPTION2] && wcscmp(pszDescription, c_szUndefined) == 0)
                TextAllocOf(pFound[DESCRIPTION2].get(), &pszDescription, c_szUndefined);
            TextOf(pFound[DATE_FIELD].get(), szDate, 100, c_szUndefined);
            if (pszNames[DATE2_FIELD] && wcscmp(szDate, c_szUndefined) == 0)
                TextOf(pFound[DATE2_FIELD].get(), szDate, 100, c_szUndefined);

            _RSSFEED_DATA* pRecord = NewFeedItem();
            CopyText(pRecord->szTitle, 500, szTitle);
            CopyText(pRecord->szLink, 2048, szLink);
            CopyText(pRecord->szPubDate, 100, szDate);
            pRecord->pszDescription = pszDescription;
            pszDescription = nullptr;
            _snwprintf(pRecord->szItemFile, 259, L"item%ld.html", j);
            try {
                items.Add(pRecord);
            } catch (...) {
                FreeFeedItem(pRecord);
                throw std::bad_alloc();
            }
        } catch (...) {
            delete[] pszDescription;
            throw;
        }
    }
}

_RSSFEED_DATA* NewFeedItem() {
    auto* pItem = static_cast<_RSSFEED_DATA*>(calloc(1, sizeof(_RSSFEED_DATA)));
    if (!pItem) throw std::bad_alloc();
    return pItem;
}

_RSSFEED_DATA* CopyFeedItem(const _RSSFEED_DATA* pItem) {
    _RSSFEED_DATA* pCopy = NewFeedItem();
    *pCopy = *pItem;
    pCopy->pszDescription = nullptr;
    const wchar_t* szDescription = pItem->pszDescription ? pItem->pszDescription : L"";
    size_t cch = wcslen(szDescription) + 1;
    try {
        pCopy->pszDescription = new wchar_t[cch];
    } catch (...) {
        FreeFeedItem(pCopy);
        throw;
    }
    wmemcpy(pCopy->pszDescription, szDescription, cch);
    return pCopy;
}

void FreeFeedItem(_RSSFEED_DATA* pItem) {
    if (!pItem) return;
    delete[] pItem->pszDescription;
    free(pItem);
}

void FreeFeedItems(FeedItemList& items) {
    for (unsigned int i = 0; i < items.GetCount(); ++i) {
        FreeFeedItem(items.GetAt(i));
        items.GetAt(i) = nullptr;
    }
    items.RemoveAll();
}
