// Finding a feed from a web page's address: the page names its feeds in its head with
// <link rel="alternate" type="application/rss+xml" href="...">, which a small scan of the
// head's tags finds (text/feedlink.h); nothing of the page is run or loaded.
#pragma once
#include <string>
#include "core/docklet.h"
#include "feed/download.h"

// Whether url may be a profile's feed address: http or https with a host, no white
// space or control characters, at most 2048 characters.
bool IsFeedAddress(const std::wstring& url);

// The address of the first RSS or Atom feed the page's head names, resolved against
// pageURL: only http and https addresses of at most 2048 characters that are not the
// page itself count. False when the head names none.
bool FindFeedLink(const std::wstring& html, const std::wstring& pageURL, std::wstring& feedURL);

enum FeedOrPage {
    FEED_DOCUMENT,     // an XML document; its format is in *piFormat (0 when neither RSS nor Atom)
    FEED_WEB_PAGE,     // an HTML page that is not a feed; it is in page
    FEED_NOT_FETCHED,  // a bad status (shown) or a cancelled wait
};

// One fetch of szURL for a check (FetchFeedDocument's request, messages and failures):
// a document, or the web page found there instead.
FeedOrPage FetchFeedOrPage(const wchar_t* szURL, HANDLE hCancel, qm::ComPtr<IXMLDOMDocument>& pDocOut,
                           int* piFormat, FetchedPage& page);

// The feed a fetched web page names (FindFeedLink); when it names none the user is told
// so and the result is false.
bool FindFeedOfPage(const FetchedPage& page, std::wstring& feedURL);
