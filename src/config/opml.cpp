#include "config/opml.h"
#include <cstring>
#include <cwchar>
#include <utility>
#include "core/files.h"
#include "core/message.h"
#include "core/u16.h"
#include "core/unique.h"
#include "feed/charset.h"
#include "feed/discovery.h"
#include "feed/xmlcom.h"
#include "text/oneline.h"

using qm::ComPtr;
using qm::UniqueBstr;
using qm::UniqueVariant;

namespace {

// MSXML 3's writer and its attribute list (public values).
const CLSID CLSID_MXXMLWriter30 = {0x3D813DFE, 0x6C91, 0x4A4E, {0x8F, 0x41, 0x04, 0x34, 0x6A, 0x84, 0x1D, 0x9C}};
const CLSID CLSID_SAXAttributes30 = {0x3E784A01, 0xF3AE, 0x4DC0, {0x93, 0x54, 0x95, 0x26, 0xB9, 0x37, 0x0E, 0xBA}};
const IID IID_MXWriter = {0x4D7FF4BA, 0x1565, 0x4EA8, {0x94, 0xE1, 0x6E, 0x72, 0x4A, 0x46, 0xF9, 0x8D}};
const IID IID_SAXContentHandler = {0x1545CDFA, 0x9E4E, 0x4497, {0xA8, 0xA4, 0x2B, 0xF7, 0xD0, 0x11, 0x2C, 0x44}};
const IID IID_MXAttributes = {0xF10D27CC, 0x3EC0, 0x415C, {0x8E, 0xD8, 0x77, 0xAB, 0x1C, 0x5E, 0x72, 0x62}};
const IID IID_SAXAttributes = {0xF078ABE1, 0x45D2, 0x4832, {0x91, 0xEA, 0x44, 0x66, 0xCE, 0x2F, 0x25, 0xC9}};

// A subscription list larger than this is not read.
const DWORD c_cbMaxFile = 32u * 1024 * 1024;

bool ReadListFile(const wchar_t* szPath, std::string& bytes, std::wstring& error) {
    DWORD dwError = 0;
    if (ReadWholeFile(szPath, bytes, c_cbMaxFile, &dwError)) return true;
    if (dwError == ERROR_FILE_TOO_LARGE)
        error = FormatMessageText(L"%s is too large for a subscription list.", szPath);
    else
        error = FormatMessageText(L"Quillmere cannot read %s (%d).", szPath,
                                  static_cast<long>(HRESULT_FROM_WIN32(dwError)));
    return false;
}

// Whether the bytes start with '<' after byte-order marks, zero bytes and white space:
// one look for UTF-8, the single-byte code pages and both byte orders of UTF-16.
bool StartsWithMarkup(const std::string& bytes) {
    for (unsigned char c : bytes) {
        if (c == 0 || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0xEF || c == 0xBB || c == 0xBF ||
            c == 0xFE || c == 0xFF)
            continue;
        return c == '<';
    }
    return false;
}

// Parses the bytes into a document that resolves nothing outside them. The bytes are
// decoded as a feed's body is (byte-order mark, else the declaration's encoding, else
// UTF-8) and parsed as text; entity declarations, the way to expansion bombs and to
// reading local files, are refused, as in feeds.
bool LoadDocument(const std::string& bytes, const wchar_t* szPath, ComPtr<IXMLDOMDocument>& pDoc,
                  std::wstring& error) {
    std::wstring text, unknownName;
    if (!DecodeResponseText(bytes, std::wstring(), text, unknownName)) {
        error = FormatMessageText(L"%s names a character encoding that Windows does not know (\"%s\").", szPath,
                       unknownName.c_str());
        return false;
    }
    if (DeclaresEntities(text)) {
        error = FormatMessageText(L"%s declares XML entities, which Quillmere does not read.", szPath);
        return false;
    }
    HRESULT hr = qm::CreateRunningObject(qm::CLSID_DOMDocument30, qm::IID_XMLDOMDocument, pDoc.put_void());
    if (FAILED(hr)) {
        error = FormatMessageText(L"Quillmere cannot read %s: the XML parser is missing (%d).", szPath, static_cast<long>(hr));
        return false;
    }
    pDoc->put_async(VARIANT_FALSE);
    pDoc->put_resolveExternals(VARIANT_FALSE);
    pDoc->put_validateOnParse(VARIANT_FALSE);
    VARIANT_BOOL bLoaded = VARIANT_FALSE;
    UniqueBstr bstrText(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
    if (!bstrText) throw qm::FeedError{E_OUTOFMEMORY};
    hr = pDoc->loadXML(bstrText.get(), &bLoaded);
    if (SUCCEEDED(hr) && bLoaded == VARIANT_TRUE) return true;
    ComPtr<IXMLDOMParseError> pError;
    UniqueBstr bstrReason;
    long lLine = 0;
    if (SUCCEEDED(pDoc->get_parseError(pError.put())) && pError) {
        pError->get_line(&lLine);
        pError->get_reason(bstrReason.put());
    }
    std::wstring reason = bstrReason ? bstrReason.get() : L"";
    while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' || reason.back() == L' '))
        reason.pop_back();
    error = FormatMessageText(L"%s is not well-formed XML", szPath);
    if (lLine > 0) error += FormatMessageText(L" (line %ld)", lLine);
    // A bare "error" (some parser versions give no more) says nothing the message does not.
    if (!reason.empty() && _wcsicmp(reason.c_str(), L"error") != 0) error += L": " + reason;
    error += L".";
    return false;
}

// A title on one line, without white space around it, at most 500 characters.
std::wstring CleanTitle(const wchar_t* sz) {
    std::wstring title = AsWide(TrimmedOneLine(AsU16(sz ? sz : L"")));
    if (title.size() > 500) title.resize(500);
    return title;
}

// The attribute's value, or empty when the element has none.
std::wstring AttributeOf(IXMLDOMElement* pElement, const wchar_t* szName) {
    UniqueBstr bstrName(qm::AllocBstr(szName));
    UniqueVariant value;
    if (FAILED(pElement->getAttribute(bstrName.get(), &value)) || V_VT(&value) != VT_BSTR || !V_BSTR(&value))
        return std::wstring();
    return V_BSTR(&value);
}

bool IsElementNamed(IXMLDOMNode* pNode, const wchar_t* szName) {
    DOMNodeType type = NODE_INVALID;
    if (FAILED(pNode->get_nodeType(&type)) || type != NODE_ELEMENT) return false;
    UniqueBstr bstrName;
    return SUCCEEDED(pNode->get_nodeName(bstrName.put())) && bstrName && wcscmp(bstrName.get(), szName) == 0;
}

// Takes the feed an outline names, if it names one.
void TakeOutline(IXMLDOMNode* pNode, OpmlList& list) {
    ComPtr<IXMLDOMElement> pElement;
    if (FAILED(pNode->QueryInterface(qm::IID_XMLDOMElement, pElement.put_void())) || !pElement) return;
    std::wstring url = AttributeOf(pElement.get(), L"xmlUrl");
    if (url.empty()) url = AttributeOf(pElement.get(), L"xmlurl");
    size_t first = url.find_first_not_of(L" \t\r\n");
    if (first == std::wstring::npos) return;  // a folder or a plain outline
    url = url.substr(first, url.find_last_not_of(L" \t\r\n") - first + 1);
    if (!IsFeedAddress(url)) {
        ++list.nSkipped;
        return;
    }
    std::wstring title = CleanTitle(AttributeOf(pElement.get(), L"text").c_str());
    if (title.empty()) title = CleanTitle(AttributeOf(pElement.get(), L"title").c_str());
    list.feeds.push_back(OpmlFeed{std::move(title), std::move(url)});
}

// Walks the outlines below the body in document order, without recursion, so that
// the depth of the file costs no stack.
bool WalkOutlines(IXMLDOMNode* pBody, const wchar_t* szPath, OpmlList& list, std::wstring& error) {
    ComPtr<IXMLDOMNode> pNode;
    qm::CheckHr(pBody->get_firstChild(pNode.put()));
    int iDepth = 0;
    while (pNode) {
        ComPtr<IXMLDOMNode> pNext;
        if (IsElementNamed(pNode.get(), L"outline")) {
            TakeOutline(pNode.get(), list);
            if (list.feeds.size() > OPML_MAX_FEEDS) {
                error = FormatMessageText(L"%s lists more than %d feeds.", szPath, OPML_MAX_FEEDS);
                return false;
            }
            qm::CheckHr(pNode->get_firstChild(pNext.put()));
            if (pNext) {
                if (++iDepth >= OPML_MAX_DEPTH) {
                    error = FormatMessageText(L"The outlines of %s are nested more than %d deep.", szPath, OPML_MAX_DEPTH);
                    return false;
                }
                pNode = pNext;
                continue;
            }
        }
        // The next sibling, or that of the nearest outline above that has one.
        for (;;) {
            qm::CheckHr(pNode->get_nextSibling(pNext.put()));
            if (pNext || iDepth == 0) break;
            ComPtr<IXMLDOMNode> pParent;
            qm::CheckHr(pNode->get_parentNode(pParent.put()));
            if (!pParent) break;
            pNode = pParent;
            --iDepth;
        }
        pNode = pNext;
    }
    return true;
}

// The date as RFC 822 gives it, which OPML uses: "Tue, 08 Dec 2026 10:00:00 GMT".
std::wstring Rfc822Now() {
    static const wchar_t* const c_days[] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};
    static const wchar_t* const c_months[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                              L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
    SYSTEMTIME st;
    GetSystemTime(&st);
    wchar_t sz[64];
    _snwprintf(sz, 63, L"%s, %02u %s %04u %02u:%02u:%02u GMT", c_days[st.wDayOfWeek % 7], st.wDay,
               c_months[(st.wMonth + 11) % 12], st.wYear, st.wHour, st.wMinute, st.wSecond);
    sz[63] = 0;
    return sz;
}

// Text as XML 1.0 may carry it: control characters become spaces (white space inside an
// attribute would not survive a reading either), lone surrogates and non-characters
// U+FFFD.
std::wstring XmlSafe(const wchar_t* sz) {
    std::wstring out(sz ? sz : L"");
    for (size_t i = 0; i < out.size(); ++i) {
        wchar_t c = out[i];
        if (IsControlUnit(static_cast<char16_t>(c))) {
            out[i] = L' ';
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < out.size() && out[i + 1] >= 0xDC00 && out[i + 1] <= 0xDFFF) {
            ++i;
        } else if ((c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF) {
            out[i] = 0xFFFD;
        }
    }
    return out;
}

// Writes elements and attributes through the writer's content handler.
struct XmlOut {
    ComPtr<ISAXContentHandler> pHandler;
    ComPtr<IMXAttributes> pAttributes;
    ComPtr<ISAXAttributes> pSaxAttributes;

    void Attribute(const wchar_t* szName, const std::wstring& value) {
        UniqueBstr bstrEmpty(qm::AllocBstr(L"")), bstrName(qm::AllocBstr(szName)), bstrType(qm::AllocBstr(L"CDATA"));
        UniqueBstr bstrValue(qm::AllocBstr(XmlSafe(value.c_str()).c_str()));
        qm::CheckHr(pAttributes->addAttribute(bstrEmpty.get(), bstrEmpty.get(), bstrName.get(), bstrType.get(),
                                              bstrValue.get()));
    }
    // Starts an element with the attributes added since the last one.
    void Start(const wchar_t* szName) {
        qm::CheckHr(pHandler->startElement(L"", 0, L"", 0, szName, static_cast<int>(wcslen(szName)),
                                           pSaxAttributes.get()));
        qm::CheckHr(pAttributes->clear());
    }
    void End(const wchar_t* szName) {
        qm::CheckHr(pHandler->endElement(L"", 0, L"", 0, szName, static_cast<int>(wcslen(szName))));
    }
    void Text(const std::wstring& text) {
        std::wstring safe = XmlSafe(text.c_str());
        if (!safe.empty()) qm::CheckHr(pHandler->characters(safe.c_str(), static_cast<int>(safe.size())));
    }
    void Element(const wchar_t* szName, const std::wstring& text) {
        Start(szName);
        Text(text);
        End(szName);
    }
    // The layout is written as text rather than left to the writer's indenting, which
    // some versions also put inside elements that hold text.
    void Break(int iLevel) {
        std::wstring layout = L"\n" + std::wstring(static_cast<size_t>(iLevel), L'\t');
        qm::CheckHr(pHandler->characters(layout.c_str(), static_cast<int>(layout.size())));
    }
};

// The whole list as UTF-8 bytes.
void BuildOpml(const wchar_t* szTitle, const ProfileList& profiles, unsigned int nCount, std::string& bytes) {
    ComPtr<IMXWriter> pWriter;
    qm::CheckHr(qm::CreateRunningObject(CLSID_MXXMLWriter30, IID_MXWriter, pWriter.put_void()));
    ComPtr<IStream> pStream;
    qm::CheckHr(CreateStreamOnHGlobal(nullptr, TRUE, pStream.put()));
    UniqueBstr bstrEncoding(qm::AllocBstr(L"UTF-8"));
    qm::CheckHr(pWriter->put_encoding(bstrEncoding.get()));
    {
        // The variant holds its own reference to the stream.
        UniqueVariant output;
        V_VT(&output) = VT_UNKNOWN;
        V_UNKNOWN(&output) = pStream.get();
        pStream->AddRef();
        qm::CheckHr(pWriter->put_output(output));
    }
    XmlOut out;
    qm::CheckHr(pWriter->QueryInterface(IID_SAXContentHandler, out.pHandler.put_void()));
    qm::CheckHr(qm::CreateRunningObject(CLSID_SAXAttributes30, IID_MXAttributes, out.pAttributes.put_void()));
    qm::CheckHr(out.pAttributes->QueryInterface(IID_SAXAttributes, out.pSaxAttributes.put_void()));

    qm::CheckHr(out.pHandler->startDocument());
    out.Attribute(L"version", L"2.0");
    out.Start(L"opml");
    out.Break(1);
    out.Start(L"head");
    out.Break(2);
    out.Element(L"title", szTitle ? szTitle : L"");
    out.Break(2);
    out.Element(L"dateCreated", Rfc822Now());
    out.Break(1);
    out.End(L"head");
    out.Break(1);
    out.Start(L"body");
    for (unsigned int i = 0; i < nCount && i < profiles.GetCount(); ++i) {
        const _PROFILE_DATA* pProfile = profiles.GetAt(i);
        if (!pProfile) continue;
        out.Break(2);
        out.Attribute(L"type", L"rss");
        out.Attribute(L"text", pProfile->szTitle);
        out.Attribute(L"title", pProfile->szTitle);
        out.Attribute(L"xmlUrl", pProfile->szURL);
        out.Start(L"outline");
        out.End(L"outline");
    }
    out.Break(1);
    out.End(L"body");
    out.Break(0);
    out.End(L"opml");
    out.Break(0);
    qm::CheckHr(out.pHandler->endDocument());
    qm::CheckHr(pWriter->flush());

    HGLOBAL hGlobal = nullptr;
    STATSTG stat = {};
    qm::CheckHr(GetHGlobalFromStream(pStream.get(), &hGlobal));
    qm::CheckHr(pStream->Stat(&stat, STATFLAG_NONAME));
    const char* p = static_cast<const char*>(GlobalLock(hGlobal));
    if (!p) throw qm::FeedError{E_OUTOFMEMORY};
    bytes.assign(p, static_cast<size_t>(stat.cbSize.QuadPart));
    GlobalUnlock(hGlobal);
}

}  // namespace

bool ReadOpmlFile(const wchar_t* szPath, OpmlList& list, std::wstring& error) {
    list = OpmlList();
    error.clear();
    std::string bytes;
    if (!ReadListFile(szPath, bytes, error)) return false;
    if (!StartsWithMarkup(bytes)) {
        error = FormatMessageText(L"%s is not an OPML subscription list.", szPath);
        return false;
    }
    // The caller's thread may be in no apartment yet (a tool); one that already is
    // keeps its own.
    qm::ComApartment apartment(qm::ComApartment::COM_STA);
    try {
        ComPtr<IXMLDOMDocument> pDoc;
        if (!LoadDocument(bytes, szPath, pDoc, error)) return false;
        ComPtr<IXMLDOMElement> pRoot;
        qm::CheckHr(pDoc->get_documentElement(pRoot.put()));
        ComPtr<IXMLDOMNode> pRootNode;
        if (pRoot) qm::CheckHr(pRoot->QueryInterface(qm::IID_XMLDOMNode, pRootNode.put_void()));
        if (!pRootNode || !IsElementNamed(pRootNode.get(), L"opml")) {
            error = FormatMessageText(L"%s is not an OPML subscription list.", szPath);
            return false;
        }
        ComPtr<IXMLDOMNode> pChild;
        qm::CheckHr(pRootNode->get_firstChild(pChild.put()));
        while (pChild && !IsElementNamed(pChild.get(), L"body")) {
            ComPtr<IXMLDOMNode> pNext;
            qm::CheckHr(pChild->get_nextSibling(pNext.put()));
            pChild = pNext;
        }
        if (pChild && !WalkOutlines(pChild.get(), szPath, list, error)) {
            list = OpmlList();
            return false;
        }
        return true;
    } catch (const qm::FeedError& e) {
        error = FormatMessageText(L"Quillmere cannot read %s (%d).", szPath, static_cast<long>(e.hr));
    } catch (...) {
        error = FormatMessageText(L"Quillmere cannot read %s: out of memory.", szPath);
    }
    list = OpmlList();
    return false;
}

bool WriteOpmlFile(const wchar_t* szPath, const wchar_t* szTitle, const ProfileList& profiles, unsigned int nCount,
                   std::wstring& error) {
    error.clear();
    std::string bytes;
    qm::ComApartment apartment(qm::ComApartment::COM_STA);
    try {
        BuildOpml(szTitle, profiles, nCount, bytes);
    } catch (const qm::FeedError& e) {
        error = FormatMessageText(L"Quillmere cannot write the subscription list %s (%d).", szPath, static_cast<long>(e.hr));
        return false;
    } catch (...) {
        error = FormatMessageText(L"Quillmere cannot write the subscription list %s: out of memory.", szPath);
        return false;
    }
    // A file that is there already is replaced only by a complete one.
    DWORD dwError = 0;
    if (ReplaceWholeFile(szPath, bytes, &dwError)) return true;
    error = FormatMessageText(L"Quillmere cannot write the subscription list %s (%d).", szPath,
                              static_cast<long>(HRESULT_FROM_WIN32(dwError)));
    return false;
}

bool IsXmlFile(const wchar_t* szPath) {
    qm::UniqueFileHandle hFile(CreateFileW(szPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!hFile) return false;
    char buffer[512];
    DWORD cbRead = 0;
    if (!ReadFile(hFile.get(), buffer, sizeof(buffer), &cbRead, nullptr)) return false;
    return StartsWithMarkup(std::string(buffer, cbRead));
}
