// feeddump: runs the docklet's own download and parse on a list of feed URLs and prints
// what it got, one JSON object per URL and line (UTF-8), with the texts of the message
// boxes the docklet would have shown. A user's tool for finding out why a feed does not
// show, and the test bed for feeds collected from the wild.
//
//   feeddump [--time-limit MS] [--pages DIR] [--state DIR] [--discover] URL...
//   feeddump [...] --list FILE   (one URL per line, UTF-8)
//   feeddump [...] --opml FILE   (the feeds of an OPML list)
//
// --discover first looks at each URL as the profile editor's check does: a web page
// that names its feed in its head stands for that feed, which is fetched instead and
// reported with "discovered": its URL.
//
// --pages DIR also writes, after each fetch, the all-items page and every item page with
// the docklet's own page writer into DIR (into DIR\N for the N-th URL, counted from 1,
// when there are several) and lists their paths in the object's "pages".
//
// --state DIR keeps the feeds' state files in DIR, as the dock keeps them in the user's
// local application data: a run reads each feed's file before its first fetch and writes
// it after each success, so a second run sees the feeds as the dock does after a
// restart (conditional requests, items that are new since).
//
// Each item's "title" is the title as parsed; "display_title" is what the dock shows
// of it. "status" is the HTTP status (0 when no answer came); "not_modified": true marks
// a 304 that answered our validators; "status_again" is the status of the fetch that
// follows a 304 when there were no items to keep (after a restart). "new" counts the
// items marked new after the fetch, and "next_check_minutes" is when the dock would
// check the feed next (the default "RefreshMinutes", lengthened by what the feed and the
// server asked for).
//
// Each distinct URL is one profile for the whole run, so a URL listed again is a second
// refresh of the same profile: conditional where its first answer gave validators, and
// a 304 then shows the items that answer gave.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <cstdio>
#include <cwchar>
#include <map>
#include <new>
#include <string>
#include <vector>
#include "core/record.h"
#include "app/instance.h"
#include "core/message.h"
#include "core/settings.h"
#include "config/opml.h"
#include "feed/discovery.h"
#include "feed/download.h"
#include "feed/itemstate.h"
#include "feed/newitems.h"
#include "feed/parser.h"
#include "feed/refresh.h"
#include "feed/title.h"
#include "viewer/pages.h"

namespace {

struct DumpOptions {
    std::vector<std::wstring> urls;
    std::wstring pagesFolder;  // empty: no pages
    bool bDiscover = false;
    bool bState = false;  // state files are read and written (--state)
};

// What one URL gave, besides the scratch instance's items, title and format.
struct UrlOutcome {
    std::wstring discovered;  // with --discover: the feed the page at the URL names
    bool bResult = false;
    FeedAnswer answer;
    FeedAnswer again;  // the fetch after a 304 with no items to keep (lStatus 0: none)
    size_t nNew = 0;
    std::vector<std::wstring> messages;
    bool bPages = false;             // pages were asked for
    std::vector<std::wstring> pages;  // paths of the pages written
};

int CollectMessage(const wchar_t* szText, UINT uType, void* pContext) {
    static_cast<std::vector<std::wstring>*>(pContext)->push_back(szText);
    return (uType & MB_YESNO) ? IDYES : IDOK;
}

std::string ToUtf8(const std::wstring& s) {
    if (s.empty()) return std::string();
    int cb = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(cb), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &out[0], cb, nullptr, nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& s) {
    if (s.empty()) return std::wstring();
    int cch = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(cch), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &out[0], cch);
    return out;
}

// A JSON string literal. Unpaired surrogates become U+FFFD so the line stays valid UTF-8.
std::string JsonString(const wchar_t* sz) {
    std::wstring escaped;
    escaped.reserve(wcslen(sz) + 2);
    escaped += L'"';
    for (const wchar_t* p = sz; *p; ++p) {
        wchar_t c = *p;
        if (c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
            escaped += c;
            escaped += *++p;
            continue;
        }
        if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
        switch (c) {
        case L'"': escaped += L"\\\""; break;
        case L'\\': escaped += L"\\\\"; break;
        case L'\n': escaped += L"\\n"; break;
        case L'\r': escaped += L"\\r"; break;
        case L'\t': escaped += L"\\t"; break;
        default:
            if (c < 0x20) {
                wchar_t buf[8];
                swprintf(buf, 8, L"\\u%04x", static_cast<unsigned>(c));
                escaped += buf;
            } else {
                escaped += c;
            }
        }
    }
    escaped += L'"';
    return ToUtf8(escaped);
}

// The scratch instance: one profile per distinct URL, the active one being the URL at
// hand. The items of a URL whose answer gave validators are kept aside while other URLs
// run, so a later conditional refresh of it finds them in the instance again.
struct ScratchRun {
    _DOCKLET_DATA* pData = nullptr;
    std::map<std::wstring, int> profileOf;  // URL -> index in pData->profiles
    std::map<int, std::vector<_RSSFEED_DATA*>> parked;
    int iLast = -1;  // the profile of the previous URL
};

bool HasValidators(const _PROFILE_DATA* pProfile) {
    return pProfile->szETag[0] || pProfile->szLastModified[0];
}

void FreeScratchRun(ScratchRun& run) {
    for (auto& entry : run.parked)
        for (_RSSFEED_DATA* pItem : entry.second) FreeFeedItem(pItem);
    FreeProfiles(run.pData->profiles);
    FreeFeedItems(run.pData->items);
    ReleaseDocklet(run.pData);
}

// Makes url's profile the active one: the previous URL's items are parked (when they
// are its 200's and it has validators) or freed, and url's parked items come back.
void ActivateProfileFor(ScratchRun& run, const std::wstring& url) {
    _DOCKLET_DATA* pData = run.pData;
    if (run.iLast >= 0 && pData->pItemsSource == pData->profiles.GetAt(run.iLast) &&
        HasValidators(pData->profiles.GetAt(run.iLast))) {
        std::vector<_RSSFEED_DATA*>& keep = run.parked[run.iLast];
        for (unsigned int i = 0; i < pData->items.GetCount(); ++i) keep.push_back(pData->items.GetAt(i));
        pData->items.RemoveAll();
    } else {
        FreeFeedItems(pData->items);
    }
    pData->pItemsSource = nullptr;
    auto found = run.profileOf.find(url);
    int iProfile;
    if (found == run.profileOf.end()) {
        _PROFILE_DATA* pProfile = NewProfile();
        if (!pProfile) throw std::bad_alloc();
        CopyText(pProfile->szURL, 2049, url.c_str());
        pData->profiles.Add(pProfile);
        iProfile = static_cast<int>(pData->profiles.GetCount()) - 1;
        run.profileOf[url] = iProfile;
    } else {
        iProfile = found->second;
        auto parked = run.parked.find(iProfile);
        if (parked != run.parked.end()) {
            for (_RSSFEED_DATA* pItem : parked->second) pData->items.Add(pItem);
            run.parked.erase(parked);
            pData->pItemsSource = pData->profiles.GetAt(iProfile);
        }
    }
    pData->iProfileCount = pData->profiles.GetCount();
    pData->iCurrentProfile = iProfile;
    pData->iCurrentItem = -1;
    run.iLast = iProfile;
}

// Makes url's profile the active one with no items, for a URL that is not fetched (a
// page that names no feed).
void ClearForUrl(ScratchRun& run, const std::wstring& url) {
    ActivateProfileFor(run, url);
    FreeFeedItems(run.pData->items);
    run.pData->pItemsSource = nullptr;
}

// Runs the download of one URL on the scratch instance, with what happened so far in
// outcome. The items stay in pData->items until the next URL, so steps after the fetch
// (such as writing item pages) can use them.
void FetchUrl(ScratchRun& run, const std::wstring& url, bool bState, UrlOutcome& outcome) {
    ActivateProfileFor(run, url);
    _DOCKLET_DATA* pData = run.pData;
    SetMessageSink(CollectMessage, &outcome.messages);
    if (bState)
        outcome.bResult = RefreshFeed(pData, nullptr, url.c_str(), &outcome.answer, &outcome.again);
    else
        outcome.bResult = RetrieveFeed(pData, nullptr, &outcome.answer);
    SetMessageSink(nullptr, nullptr);
    if (!outcome.bResult) return;
    {
        qm::ScopedLock lock(pData->csState);
        NoteNewItems(pData, url.c_str());
        outcome.nNew = CountMarkedItems(pData);
    }
    if (bState) SaveItemState(pData);
}

// For --discover: the URL to fetch for url. A web page stands for the feed it names
// (in outcome.discovered); a page that names none, or a failed fetch, gives an empty
// result with its messages in outcome.
std::wstring DiscoverFeed(const std::wstring& url, UrlOutcome& outcome) {
    std::wstring fetch;
    SetMessageSink(CollectMessage, &outcome.messages);
    try {
        qm::ComPtr<IXMLDOMDocument> pDoc;
        int iFormat = 0;
        FetchedPage page;
        FeedOrPage fetched = FetchFeedOrPage(url.c_str(), nullptr, pDoc, &iFormat, page);
        if (fetched == FEED_DOCUMENT) {
            fetch = url;
        } else if (fetched == FEED_WEB_PAGE && FindFeedOfPage(page, outcome.discovered)) {
            fetch = outcome.discovered;
        }
    } catch (const qm::FeedError& e) {
        ReportMessageF(nullptr, L"Invalid Exception (%d)", static_cast<int>(e.hr));
    } catch (...) {
        ReportMessage(nullptr, L"Invalid Exception", MB_OK);
    }
    SetMessageSink(nullptr, nullptr);
    return fetch;
}

// Writes the all-items page and each item's page of the fetched items into szFolder.
void WritePages(_DOCKLET_DATA* pData, const std::wstring& folder, UrlOutcome& outcome) {
    outcome.bPages = true;
    // The writer hands out each page's path as a new string that we free.
    auto keep = [&](BOOL bWritten, wchar_t*& pszPath) {
        if (bWritten && pszPath) outcome.pages.push_back(pszPath);
        delete[] pszPath;
        pszPath = nullptr;
    };
    wchar_t* pszPath = nullptr;
    BOOL bWritten = WriteAllItemsPageTo(folder.c_str(), pData->items, &pszPath);
    keep(bWritten, pszPath);
    for (unsigned int i = 0; i < pData->items.GetCount(); ++i) {
        bWritten = WriteItemPageTo(folder.c_str(), pData->items.GetAt(i), &pszPath);
        keep(bWritten, pszPath);
    }
}

std::string FormatJsonLine(const std::wstring& url, const UrlOutcome& outcome, _DOCKLET_DATA* pData) {
    const _PROFILE_DATA* pProfile = pData->profiles.GetAt(static_cast<unsigned int>(pData->iCurrentProfile));
    std::string line = "{\"url\": " + JsonString(url.c_str());
    if (!outcome.discovered.empty()) line += ", \"discovered\": " + JsonString(outcome.discovered.c_str());
    line += ", \"result\": ";
    line += outcome.bResult ? "true" : "false";
    line += ", \"format\": " + std::to_string(pProfile->iFeedFormat);
    line += ", \"title\": " + JsonString(pProfile->szTitle);
    line += ", \"items\": [";
    for (unsigned int i = 0; i < pData->items.GetCount(); ++i) {
        const _RSSFEED_DATA* pItem = pData->items.GetAt(i);
        if (i) line += ", ";
        wchar_t szDisplayTitle[501];
        DisplayTextFromTitle(szDisplayTitle, 501, pItem->szTitle);
        line += "{\"title\": " + JsonString(pItem->szTitle);
        line += ", \"display_title\": " + JsonString(szDisplayTitle);
        line += ", \"link\": " + JsonString(pItem->szLink);
        line += ", \"date\": " + JsonString(pItem->szPubDate);
        line += ", \"description\": " + JsonString(pItem->pszDescription);
        line += ", \"file\": " + JsonString(pItem->szItemFile) + "}";
    }
    line += "], \"messages\": [";
    for (size_t i = 0; i < outcome.messages.size(); ++i) {
        if (i) line += ", ";
        line += JsonString(outcome.messages[i].c_str());
    }
    line += "]";
    line += ", \"status\": " + std::to_string(outcome.answer.lStatus);
    if (outcome.answer.bNotModified) line += ", \"not_modified\": true";
    if (outcome.again.lStatus) line += ", \"status_again\": " + std::to_string(outcome.again.lStatus);
    line += ", \"new\": " + std::to_string(outcome.nNew);
    const UINT uPeriodMs = RefreshTimerPeriod(pData);
    line += ", \"next_check_minutes\": " + std::to_string((uPeriodMs + 59999) / 60000);
    if (outcome.bPages) {
        line += ", \"pages\": [";
        for (size_t i = 0; i < outcome.pages.size(); ++i) {
            if (i) line += ", ";
            line += JsonString(outcome.pages[i].c_str());
        }
        line += "]";
    }
    line += "}\n";
    return line;
}

bool ReadUrlList(const wchar_t* szFile, std::vector<std::wstring>& urls) {
    FILE* f = _wfopen(szFile, L"rb");
    if (!f) return false;
    std::string data;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0) data.append(buf, n);
    fclose(f);
    if (data.size() >= 3 && data.compare(0, 3, "\xEF\xBB\xBF") == 0) data.erase(0, 3);
    size_t pos = 0;
    while (pos < data.size()) {
        size_t end = data.find('\n', pos);
        if (end == std::string::npos) end = data.size();
        std::string line = data.substr(pos, end - pos);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (!line.empty()) urls.push_back(FromUtf8(line));
        pos = end + 1;
    }
    return true;
}

int Usage() {
    fputs("usage: feeddump [--time-limit MS] [--pages DIR] [--state DIR] [--discover] URL...\n"
          "       feeddump [--time-limit MS] [--pages DIR] [--state DIR] [--discover] --list FILE\n"
          "       feeddump [--time-limit MS] [--pages DIR] [--state DIR] [--discover] --opml FILE\n",
          stderr);
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    DumpOptions options;
    for (int i = 1; i < argc; ++i) {
        if (wcscmp(argv[i], L"--list") == 0 && i + 1 < argc) {
            if (!ReadUrlList(argv[++i], options.urls)) {
                fwprintf(stderr, L"feeddump: cannot read %ls\n", argv[i]);
                return 2;
            }
        } else if (wcscmp(argv[i], L"--opml") == 0 && i + 1 < argc) {
            OpmlList list;
            std::wstring error;
            if (!ReadOpmlFile(argv[++i], list, error)) {
                fwprintf(stderr, L"feeddump: %ls\n", error.c_str());
                return 2;
            }
            for (const OpmlFeed& feed : list.feeds) options.urls.push_back(feed.url);
        } else if (wcscmp(argv[i], L"--discover") == 0) {
            options.bDiscover = true;
        } else if (wcscmp(argv[i], L"--pages") == 0 && i + 1 < argc) {
            options.pagesFolder = argv[++i];
        } else if (wcscmp(argv[i], L"--state") == 0 && i + 1 < argc) {
            CreateDirectoryW(argv[++i], nullptr);
            SetItemStateFolder(argv[i]);
            options.bState = true;
        } else if (wcscmp(argv[i], L"--time-limit") == 0 && i + 1 < argc) {
            SetFeedTimeLimit(static_cast<DWORD>(_wtoi(argv[++i])));
        } else if (argv[i][0] == L'-' && argv[i][1] == L'-') {
            return Usage();
        } else {
            options.urls.push_back(argv[i]);
        }
    }
    if (options.urls.empty()) return Usage();

    _setmode(_fileno(stdout), _O_BINARY);
    qm::ComApartment apartment(qm::ComApartment::COM_STA);
    ScratchRun run;
    run.pData = NewDockletRecord();
    if (!run.pData) return 1;
    _DOCKLET_DATA* pData = run.pData;
    if (!options.pagesFolder.empty()) CreateDirectoryW(options.pagesFolder.c_str(), nullptr);
    for (size_t n = 0; n < options.urls.size(); ++n) {
        const std::wstring& url = options.urls[n];
        UrlOutcome outcome;
        std::wstring fetch = options.bDiscover ? DiscoverFeed(url, outcome) : url;
        if (fetch.empty())
            ClearForUrl(run, url);
        else
            FetchUrl(run, fetch, options.bState, outcome);
        if (!options.pagesFolder.empty()) {
            std::wstring folder = options.pagesFolder;
            if (options.urls.size() > 1) folder += L"\\" + std::to_wstring(n + 1);
            WritePages(pData, folder, outcome);
        }
        std::string line = FormatJsonLine(url, outcome, pData);
        fwrite(line.data(), 1, line.size(), stdout);
        fflush(stdout);
    }
    FreeScratchRun(run);
    return 0;
}
