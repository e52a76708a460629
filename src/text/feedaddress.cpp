#include "text/feedaddress.h"
#include "text/ascii.h"
#include "text/url.h"

std::u16string FeedAddressKey(std::u16string_view url) {
    url = TrimUrlSpace(url);
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
