// Turns a loaded MSXML DOM document into the feed's format, title and item records.
// Every lookup is a query for elements by tag name (exact, case-sensitive, prefixes
// included), so an element is found anywhere below the node searched. Failures abandon
// the operation with a qm::FeedError (or std::bad_alloc when memory runs out).
#pragma once
#include "core/docklet.h"
#include "feed/xmlcom.h"

// FEED_FORMAT_ATOM when the document has a "feed" element, else FEED_FORMAT_RSS when it
// has a "channel" element, else 0.
int GetFeedFormat(IXMLDOMDocument* pDoc);
// The first szContainer element in document order ("channel", "feed"), or null.
qm::ComPtr<IXMLDOMElement> GetFeedContainer(IXMLDOMDocument* pDoc, const wchar_t* szContainer);
// The first "title" below the first szContainer element into szBuffer (at least 500
// characters; "undefined" when there is none), on one line: control characters become
// spaces and white space around it goes. False, with szBuffer empty, when there
// is no container element.
bool GetFeedTitle(IXMLDOMDocument* pDoc, const wchar_t* szContainer, wchar_t* szBuffer);
// All szName elements of the document in document order.
qm::ComPtr<IXMLDOMNodeList> GetItemNodeList(IXMLDOMDocument* pDoc, const wchar_t* szName);
// Empties items, then appends one record per element of pList. The names not used by a
// format may be null (szLinkAttr for RSS, szDescription2 for RSS, szDate2 for Atom).
// A link that the feed gives as a relative reference is stored resolved: against the
// nearest xml:base in scope (itself resolved the same way), then szBaseUrl, the address
// the feed was fetched from after redirects (may be null). Only http and https bases
// count; a link that cannot be resolved is stored as it was.
void ParseFeedItems(FeedItemList& items, IXMLDOMNodeList* pList, int iFormat, const wchar_t* szTitleName,
                    const wchar_t* szLinkName, const wchar_t* szLinkAttr, const wchar_t* szDescriptionName,
                    const wchar_t* szDescription2Name, const wchar_t* szDateName, const wchar_t* szDate2Name,
                    const wchar_t* szBaseUrl = nullptr);

// The text of the first child node of the first szName element below pElement, cut to
// cch - 1 characters; szDefault (when given) where there is none or it is empty.
bool GetChildText(IXMLDOMElement* pElement, wchar_t* szBuffer, size_t cch, const wchar_t* szName,
                  const wchar_t* szDefault);
// The attribute szAttr of the first szName element below pElement, cut to cch - 1;
// szDefault where the element or the attribute is absent (an empty value stays empty).
bool GetChildAttribute(IXMLDOMElement* pElement, wchar_t* szBuffer, size_t cch, const wchar_t* szName,
                       const wchar_t* szAttr, const wchar_t* szDefault);
// As GetChildText, uncut, in a new wchar_t[] stored at *ppszOut (a string already there
// is freed first). The record that receives it frees it with delete[].
bool GetChildTextAlloc(IXMLDOMElement* pElement, wchar_t** ppszOut, const wchar_t* szName, const wchar_t* szDefault);

// Feed item records are made and freed only here: a new zero-filled record (throws
// std::bad_alloc), a copy with a description of its own, and the release of one
// record, or of every record in a list (which is emptied).
_RSSFEED_DATA* NewFeedItem();
_RSSFEED_DATA* CopyFeedItem(const _RSSFEED_DATA* pItem);
void FreeFeedItem(_RSSFEED_DATA* pItem);
void FreeFeedItems(FeedItemList& items);
