#include "feed/discovery.h"
#include <cwchar>
#include <utility>
#include <vector>
#include "core/message.h"
#include "feed/http.h"
#include "feed/parser.h"

namespace {

const size_t npos = std::wstring::npos;

bool IsSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\f';
}

bool IsAsciiLetter(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

bool IsTagNameChar(wchar_t c) {
    return IsAsciiLetter(c) || (c >= L'0' && c <= L'9') || c == L'-' || c == L':';
}

wchar_t Lower(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + (L'a' - L'A')) : c;
}

// Whether text at pos starts with szWord, given in lower case, in any case.
bool StartsWithNoCase(const std::wstring& text, size_t pos, const wchar_t* szWord) {
    for (size_t i = 0; szWord[i]; ++i)
        if (pos + i >= text.size() || Lower(text[pos + i]) != szWord[i]) return false;
    return true;
}

size_t FindNoCase(const std::wstring& text, size_t pos, const wchar_t* szWord) {
    for (; pos < text.size(); ++pos)
        if (StartsWithNoCase(text, pos, szWord)) return pos;
    return npos;
}

// A tag <name at pos: the name, then white space, '>', '/' or the end.
bool TagAt(const std::wstring& text, size_t pos, const wchar_t* szLowerTag) {
    size_t n = wcslen(szLowerTag);
    if (!StartsWithNoCase(text, pos, szLowerTag)) return false;
    return pos + n >= text.size() || IsSpace(text[pos + n]) || text[pos + n] == L'>' || text[pos + n] == L'/';
}

// The character references an attribute value may carry: the five named ones and
// numeric ones; anything else stays as written.
std::wstring DecodeReferences(const std::wstring& value) {
    if (value.find(L'&') == npos) return value;
    static const struct {
        const wchar_t* szName;
        wchar_t c;
    } c_named[] = {{L"amp;", L'&'}, {L"lt;", L'<'}, {L"gt;", L'>'}, {L"quot;", L'"'}, {L"apos;", L'\''}};
    std::wstring out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != L'&') {
            out += value[i];
            continue;
        }
        bool bDone = false;
        for (const auto& named : c_named) {
            if (value.compare(i + 1, wcslen(named.szName), named.szName) == 0) {
                out += named.c;
                i += wcslen(named.szName);
                bDone = true;
                break;
            }
        }
        if (!bDone && i + 2 < value.size() && value[i + 1] == L'#') {
            bool bHex = value[i + 2] == L'x' || value[i + 2] == L'X';
            size_t j = i + (bHex ? 3 : 2);
            unsigned long code = 0;
            size_t digits = 0;
            for (; j < value.size() && digits < 7; ++j, ++digits) {
                wchar_t c = value[j];
                int d = c >= L'0' && c <= L'9' ? c - L'0'
                        : bHex && Lower(c) >= L'a' && Lower(c) <= L'f' ? Lower(c) - L'a' + 10
                                                                      : -1;
                if (d < 0) break;
                code = code * (bHex ? 16 : 10) + static_cast<unsigned long>(d);
            }
            // Only printable characters of the basic plane are worth keeping in an address.
            if (digits && j < value.size() && value[j] == L';' && code >= 0x20 && code < 0xD800) {
                out += static_cast<wchar_t>(code);
                i = j;
                bDone = true;
            }
        }
        if (!bDone) out += L'&';
    }
    return out;
}

typedef std::vector<std::pair<std::wstring, std::wstring>> Attributes;

// Reads the attributes of a tag from pos (just after its name) to its '>'; returns the
// position after the '>', or npos when the tag never ends.
size_t ReadAttributes(const std::wstring& html, size_t pos, Attributes& attributes) {
    attributes.clear();
    const size_t n = html.size();
    for (;;) {
        while (pos < n && (IsSpace(html[pos]) || html[pos] == L'/')) ++pos;
        if (pos >= n) return npos;
        if (html[pos] == L'>') return pos + 1;
        size_t nameStart = pos++;
        while (pos < n && !IsSpace(html[pos]) && html[pos] != L'/' && html[pos] != L'>' && html[pos] != L'=') ++pos;
        std::wstring name = AsciiLower(html.substr(nameStart, pos - nameStart));
        while (pos < n && IsSpace(html[pos])) ++pos;
        std::wstring value;
        if (pos < n && html[pos] == L'=') {
            ++pos;
            while (pos < n && IsSpace(html[pos])) ++pos;
            if (pos < n && (html[pos] == L'"' || html[pos] == L'\'')) {
                size_t close = html.find(html[pos], pos + 1);
                if (close == npos) return npos;
                value = html.substr(pos + 1, close - pos - 1);
                pos = close + 1;
            } else {
                size_t valueStart = pos;
                while (pos < n && !IsSpace(html[pos]) && html[pos] != L'>') ++pos;
                value = html.substr(valueStart, pos - valueStart);
            }
        }
        // The first of two attributes of one name counts.
        bool bSeen = false;
        for (const auto& a : attributes) bSeen = bSeen || a.first == name;
        if (!bSeen) attributes.emplace_back(std::move(name), DecodeReferences(value));
    }
}

const std::wstring* Attribute(const Attributes& attributes, const wchar_t* szName) {
    for (const auto& a : attributes)
        if (a.first == szName) return &a.second;
    return nullptr;
}

bool HasToken(const std::wstring& list, const wchar_t* szToken) {
    std::wstring lower = AsciiLower(list);
    size_t pos = 0;
    while (pos < lower.size()) {
        while (pos < lower.size() && IsSpace(lower[pos])) ++pos;
        size_t end = pos;
        while (end < lower.size() && !IsSpace(lower[end])) ++end;
        if (end > pos && lower.compare(pos, end - pos, szToken) == 0) return true;
        pos = end;
    }
    return false;
}

bool IsFeedType(const std::wstring& type) {
    std::wstring media = AsciiLower(type.substr(0, type.find(L';')));
    size_t first = 0, last = media.size();
    while (first < last && IsSpace(media[first])) ++first;
    while (last > first && IsSpace(media[last - 1])) --last;
    media = media.substr(first, last - first);
    return media == L"application/rss+xml" || media == L"application/atom+xml";
}

std::wstring WithoutFragment(const std::wstring& url) {
    return url.substr(0, url.find(L'#'));
}

// The href of a <link> as an address to fetch: white space around it and line breaks
// in it dropped, spaces encoded, resolved against the page; false when it is no web
// address, too long for a profile, or the page itself.
bool FeedAddress(const std::wstring& href, const std::wstring& pageURL, std::wstring& out) {
    std::wstring cleaned;
    for (wchar_t c : href)
        if (c != L'\t' && c != L'\n' && c != L'\r' && c != L'\f') cleaned += c;
    size_t first = 0, last = cleaned.size();
    while (first < last && cleaned[first] == L' ') ++first;
    while (last > first && cleaned[last - 1] == L' ') --last;
    if (first == last) return false;
    std::wstring relative;
    for (size_t i = first; i < last; ++i) {
        if (cleaned[i] == L' ')
            relative += L"%20";
        else
            relative += cleaned[i];
    }
    std::wstring resolved;
    if (!CombineUrl(pageURL.c_str(), relative.c_str(), resolved)) return false;
    if (!IsFeedAddress(resolved)) return false;
    if (WithoutFragment(resolved) == WithoutFragment(pageURL)) return false;
    out = resolved;
    return true;
}

// Elements whose content is text, not tags: a "<link" inside them is not one.
const wchar_t* const c_rawTextElements[] = {L"script", L"style", L"template", L"textarea", L"title", L"xmp"};

}  // namespace

bool IsFeedAddress(const std::wstring& url) {
    size_t rest = StartsWithNoCase(url, 0, L"http://") ? 7 : StartsWithNoCase(url, 0, L"https://") ? 8 : 0;
    if (!rest || rest >= url.size() || url[rest] == L'/' || url.size() > 2048) return false;
    for (wchar_t c : url)
        if (c <= L' ' || c == 0x7F) return false;
    return true;
}

bool IsHtmlResponse(const std::wstring& contentType, const std::wstring& text) {
    std::wstring media = AsciiLower(contentType.substr(0, contentType.find(L';')));
    while (!media.empty() && IsSpace(media.back())) media.pop_back();
    size_t start = 0;
    while (start < media.size() && IsSpace(media[start])) ++start;
    media = media.substr(start);
    if (media == L"text/html" || media == L"application/xhtml+xml") return true;
    size_t pos = 0;
    for (;;) {
        while (pos < text.size() && (IsSpace(text[pos]) || text[pos] == 0xFEFF)) ++pos;
        const wchar_t* szEnd = nullptr;
        if (text.compare(pos, 4, L"<!--") == 0)
            szEnd = L"-->";
        else if (text.compare(pos, 2, L"<?") == 0)
            szEnd = L"?>";
        else
            break;
        size_t end = text.find(szEnd, pos + 2);
        if (end == npos) return false;
        pos = end + wcslen(szEnd);
    }
    return StartsWithNoCase(text, pos, L"<!doctype html") || TagAt(text, pos, L"<html") || TagAt(text, pos, L"<head");
}

bool FindFeedLink(const std::wstring& html, const std::wstring& pageURL, std::wstring& feedURL) {
    const size_t n = html.size();
    Attributes attributes;
    size_t pos = 0;
    while ((pos = html.find(L'<', pos)) != npos) {
        if (html.compare(pos, 4, L"<!--") == 0) {
            size_t end = html.find(L"-->", pos + 4);
            if (end == npos) return false;
            pos = end + 3;
            continue;
        }
        if (pos + 1 < n && (html[pos + 1] == L'!' || html[pos + 1] == L'?')) {
            size_t end = html.find(L'>', pos);
            if (end == npos) return false;
            pos = end + 1;
            continue;
        }
        const bool bClosing = pos + 1 < n && html[pos + 1] == L'/';
        size_t nameStart = pos + (bClosing ? 2 : 1), nameEnd = nameStart;
        while (nameEnd < n && IsTagNameChar(html[nameEnd])) ++nameEnd;
        if (nameEnd == nameStart || !IsAsciiLetter(html[nameStart])) {
            // A '<' that opens no tag is text.
            ++pos;
            continue;
        }
        std::wstring name = AsciiLower(html.substr(nameStart, nameEnd - nameStart));
        size_t end = ReadAttributes(html, nameEnd, attributes);
        if (end == npos) return false;
        // The head ends at its end tag or where the body starts.
        if (name == L"body" || (bClosing && name == L"head")) return false;
        pos = end;
        if (bClosing) continue;
        bool bRawText = false;
        for (const wchar_t* szRaw : c_rawTextElements) bRawText = bRawText || name == szRaw;
        if (bRawText) {
            size_t close = FindNoCase(html, pos, (L"</" + name).c_str());
            if (close == npos) return false;
            pos = close;
            continue;
        }
        if (name != L"link") continue;
        const std::wstring* pRel = Attribute(attributes, L"rel");
        const std::wstring* pType = Attribute(attributes, L"type");
        const std::wstring* pHref = Attribute(attributes, L"href");
        if (pRel && pType && pHref && HasToken(*pRel, L"alternate") && IsFeedType(*pType) &&
            FeedAddress(*pHref, pageURL, feedURL))
            return true;
    }
    return false;
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
