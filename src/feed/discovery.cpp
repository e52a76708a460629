#include "feed/discovery.h"
#include "core/message.h"
#include "core/u16.h"
#include "feed/parser.h"
#include "feed/resolve.h"
#include "text/feedlink.h"
#include "text/url.h"

namespace {

// An href as an address to fetch, resolved against the page; false when it is no web
// address, too long for a profile, or the page itself.
bool FeedAddress(const std::u16string& href, const std::wstring& pageURL, std::wstring& out) {
    std::u16string relative = CleanHref(href);
    if (relative.empty()) return false;
    std::wstring resolved;
    if (!CombineUrl(pageURL.c_str(), AsWide(relative).c_str(), resolved)) return false;
    if (!IsFeedAddress(AsU16(resolved))) return false;
    if (WithoutFragment(AsU16(resolved)) == WithoutFragment(AsU16(pageURL))) return false;
    out = resolved;
    return true;
}

}  // namespace

bool IsFeedAddress(const std::wstring& url) {
    return IsFeedAddress(AsU16(url));
}

bool FindFeedLink(const std::wstring& html, const std::wstring& pageURL, std::wstring& feedURL) {
    return ScanFeedLinks(AsU16(html), [&](const std::u16string& href) { return FeedAddress(href, pageURL, feedURL); });
}

FeedOrPage FetchFeedOrPage(const wchar_t* szURL, HANDLE hCancel, qm::ComPtr<IXMLDOMDocument>& pDocOut,
                           int* piFormat, FetchedPage& page) {
    *piFormat = 0;
    FetchOutcome outcome = FetchFeedDocument(szURL, hCancel, pDocOut, nullptr, nullptr, &page);
    if (outcome == FETCH_WEB_PAGE) return FEED_WEB_PAGE;
    if (outcome != FETCH_DOCUMENT) return FEED_NOT_FETCHED;
    if (!pDocOut) throw qm::FeedError{E_POINTER};
    *piFormat = GetFeedFormat(pDocOut.get());
    // A well-formed page (XHTML) is a page all the same; a feed sent as text/html is a feed.
    if (*piFormat != FEED_FORMAT_RSS && *piFormat != FEED_FORMAT_ATOM && page.bHtml) {
        pDocOut.reset();
        return FEED_WEB_PAGE;
    }
    return FEED_DOCUMENT;
}

bool FindFeedOfPage(const FetchedPage& page, std::wstring& feedURL) {
    if (FindFeedLink(page.text, page.url, feedURL)) return true;
    ReportMessageF(nullptr, L"%s is a web page, and it names no RSS or Atom feed.", page.url.c_str());
    return false;
}
