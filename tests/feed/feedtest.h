// Shared pieces of the feed tests: a record with one profile, feeds built in code, and
// a document loaded from text.
#pragma once
#include <string>
#include "core/docklet.h"
#include "feed/xmlcom.h"

// A record built as OnCreate builds it, with one active profile for szURL.
_DOCKLET_DATA* NewFeedRecord(const std::wstring& url, const wchar_t* szTitle = L"");
void FreeFeedRecord(_DOCKLET_DATA* pData);

// An RSS 2.0 document with n items "Item i" linking to "http://example.com/i".
std::string MakeRss(int n, const char* szChannelTitle = "Channel");
std::string MakeAtom(int n, const char* szFeedTitle = "Feed");

// A DOM document loaded from text; null when the text is not well-formed.
qm::ComPtr<IXMLDOMDocument> LoadDocument(const std::wstring& text);
