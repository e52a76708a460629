#include "text/url.h"
#include "text/ascii.h"

namespace {

bool IsAsciiLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool IsSchemeChar(char16_t c) {
    return IsAsciiLetter(c) || (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
}

}  // namespace

bool SplitUrl(std::u16string_view url, UrlParts* pParts) {
    *pParts = UrlParts();
    size_t colon = 0;
    while (colon < url.size() && IsSchemeChar(url[colon])) ++colon;
    if (colon == 0 || !IsAsciiLetter(url[0]) || url.substr(colon, 3) != u"://") return false;
    pParts->scheme = url.substr(0, colon);
    std::u16string_view rest = url.substr(colon + 3);
    size_t hash = rest.find(u'#');
    if (hash != std::u16string_view::npos) {
        pParts->bFragment = true;
        pParts->fragment = rest.substr(hash + 1);
        rest = rest.substr(0, hash);
    }
    size_t end = rest.find_first_of(u"/?");
    if (end == std::u16string_view::npos) end = rest.size();
    pParts->authority = rest.substr(0, end);
    pParts->pathAndQuery = rest.substr(end);
    return true;
}

std::u16string_view WithoutFragment(std::u16string_view url) {
    return url.substr(0, url.find(u'#'));
}

bool IsFeedAddress(std::u16string_view url) {
    if (url.size() > 2048) return false;
    for (char16_t c : url)
        if (c <= u' ' || c == 0x7F) return false;
    UrlParts parts;
    if (!SplitUrl(url, &parts)) return false;
    if (!AsciiEqualNoCase(parts.scheme, u"http") && !AsciiEqualNoCase(parts.scheme, u"https")) return false;
    // A host, not a path right after "//".
    return !url.substr(parts.scheme.size() + 3).empty() && url[parts.scheme.size() + 3] != u'/';
}
