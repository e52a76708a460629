#include "feed/urlcheck.h"
#include <string>
#include "core/message.h"
#include "feed/discovery.h"
#include "feed/download.h"
#include "feed/parser.h"

bool CheckFeedURL(_PROFILE_DATA* pProfile, HANDLE hCancel) {
    if (!pProfile) return false;
    qm::ComApartment apartment(qm::ComApartment::COM_STA);
    if (!apartment.ok()) {
        ReportMessageF(nullptr, L"CoInitializeEx Failed (%d)", static_cast<int>(apartment.hr()));
        return false;
    }
    try {
        // The URL is copied first: a second check started from inside this one's wait
        // may edit the same profile.
        wchar_t szURL[2049];
        CopyText(szURL, 2049, pProfile->szURL);
        qm::ComPtr<IXMLDOMDocument> pDoc;
        int iFormat = 0;
        FetchedPage page;
        FeedOrPage fetched = FetchFeedOrPage(szURL, hCancel, pDoc, &iFormat, page);
        if (fetched == FEED_NOT_FETCHED) return false;
        // A web page instead of a feed: the feed it names is checked in its place, one
        // step only.
        std::wstring found;
        if (fetched == FEED_WEB_PAGE) {
            if (!FindFeedOfPage(page, found)) return false;
            fetched = FetchFeedOrPage(found.c_str(), hCancel, pDoc, &iFormat, page);
            if (fetched == FEED_NOT_FETCHED) return false;
            if (fetched == FEED_WEB_PAGE) {
                ReportMessageF(nullptr, L"The feed the page names, %s, is another web page.", found.c_str());
                return false;
            }
        }
        pProfile->iFeedFormat = iFormat;
        wchar_t szTitle[501] = {};
        if (iFormat != FEED_FORMAT_RSS && iFormat != FEED_FORMAT_ATOM) throw qm::FeedError{-1};
        if (!found.empty()) CopyText(pProfile->szURL, 2049, found.c_str());
        if (pProfile->szTitle[0] == 0) {
            GetFeedTitle(pDoc.get(), iFormat == FEED_FORMAT_RSS ? L"channel" : L"feed", szTitle);
            CopyText(pProfile->szTitle, 501, szTitle);
        }
        return true;
    } catch (const qm::FeedError& e) {
        ReportMessageF(nullptr, L"Invalid Exception (%d)", static_cast<int>(e.hr));
    } catch (...) {
        ReportMessage(nullptr, L"Invalid Exception", MB_OK);
    }
    return false;
}
