#include "feedtest.h"
#include <cstdio>
#include "core/record.h"
#include "app/instance.h"
#include "core/settings.h"
#include "feed/parser.h"

_DOCKLET_DATA* NewFeedRecord(const std::wstring& url, const wchar_t* szTitle) {
    _DOCKLET_DATA* pData = NewDockletRecord();
    _PROFILE_DATA* pProfile = NewProfile();
    CopyText(pProfile->szURL, 2049, url.c_str());
    CopyText(pProfile->szTitle, 501, szTitle);
    pData->profiles.Add(pProfile);
    pData->iProfileCount = 1;
    pData->iCurrentProfile = 0;
    return pData;
}

void FreeFeedRecord(_DOCKLET_DATA* pData) {
    FreeProfiles(pData->profiles);
    FreeFeedItems(pData->items);
    ReleaseDocklet(pData);
}

std::string MakeRss(int n, const char* szChannelTitle) {
    std::string s = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\"><channel><title>";
    s += szChannelTitle;
    s += "</title><link>http://example.com/</link>\n";
    char buf[512];
    for (int i = 0; i < n; ++i) {
        snprintf(buf, sizeof(buf),
                 "<item><title>Item %d</title><link>http://example.com/%d</link>"
                 "<description>Description of item %d with &lt;b&gt;markup&lt;/b&gt;</description>"
                 "<pubDate>Tue, 08 Dec 2026 00:00:%02d GMT</pubDate></item>\n",
                 i, i, i, i % 60);
        s += buf;
    }
    s += "</channel></rss>\n";
    return s;
}

std::string MakeAtom(int n, const char* szFeedTitle) {
    std::string s = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>";
    s += szFeedTitle;
    s += "</title>\n";
    char buf[512];
    for (int i = 0; i < n; ++i) {
        snprintf(buf, sizeof(buf),
                 "<entry><title>Entry %d</title><link rel=\"alternate\" href=\"http://example.com/e%d\"/>"
                 "<summary>Summary %d</summary><updated>2026-12-08T00:00:%02dZ</updated></entry>\n",
                 i, i, i, i % 60);
        s += buf;
    }
    s += "</feed>\n";
    return s;
}

qm::ComPtr<IXMLDOMDocument> LoadDocument(const std::wstring& text) {
    qm::ComPtr<IXMLDOMDocument> pDoc;
    if (FAILED(qm::CreateRunningObject(qm::CLSID_DOMDocument30, qm::IID_XMLDOMDocument, pDoc.put_void())))
        return pDoc;
    pDoc->put_async(VARIANT_FALSE);
    qm::UniqueBstr bstr(SysAllocString(text.c_str()));
    VARIANT_BOOL ok = VARIANT_FALSE;
    if (FAILED(pDoc->loadXML(bstr.get(), &ok)) || ok != VARIANT_TRUE) pDoc.reset();
    return pDoc;
}
