#include "text/feedaddress.h"
#include "text/ascii.h"

std::u16string FeedAddressKey(std::u16string_view url) {
    const std::u16string_view space = u" \t\r\n";
    size_t first = url.find_first_not_of(space);
    if (first == std::u16string_view::npos) return std::u16string();
    url = url.substr(first, url.find_last_not_of(space) - first + 1);
    size_t schemeEnd = url.find(u"://");
    if (schemeEnd == std::u16string_view::npos) return std::u16string(url);
    size_t authority = schemeEnd + 3;
    size_t authorityEnd = url.find_first_of(u"/?#", authority);
    if (authorityEnd == std::u16string_view::npos) authorityEnd = url.size();
    size_t at = url.substr(authority, authorityEnd - authority).rfind(u'@');
    size_t host = at == std::u16string_view::npos ? authority : authority + at + 1;
    std::u16string out = AsciiLower(url.substr(0, schemeEnd + 3));
    out += url.substr(authority, host - authority);
    out += AsciiLower(url.substr(host, authorityEnd - host));
    out += url.substr(authorityEnd);
    return out;
}
