#include "text/header.h"
#include "text/ascii.h"

namespace {

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool IsTokenChar(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')) return true;
    for (char16_t mark : std::u16string_view(u"!#$%&'*+-.^_`|~"))
        if (c == mark) return true;
    return false;
}

std::u16string_view TrimSpace(std::u16string_view s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
    return s;
}

}  // namespace

std::u16string_view TrimHttpSpace(std::u16string_view value) {
    while (!value.empty() && (value.front() == u' ' || value.front() == u'\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == u' ' || value.back() == u'\t')) value.remove_suffix(1);
    return value;
}

std::u16string CharsetParameter(std::u16string_view type) {
    size_t i = type.find(u';');
    while (i != std::u16string_view::npos && i < type.size()) {
        ++i;
        size_t nameStart = i;
        while (i < type.size() && type[i] != u'=' && type[i] != u';') ++i;
        std::u16string_view name = TrimSpace(type.substr(nameStart, i - nameStart));
        if (i >= type.size() || type[i] == u';') continue;
        ++i;  // '='
        while (i < type.size() && IsSpace(type[i])) ++i;
        std::u16string value;
        if (i < type.size() && type[i] == u'"') {
            for (++i; i < type.size() && type[i] != u'"'; ++i) {
                if (type[i] == u'\\' && i + 1 < type.size()) ++i;
                value += type[i];
            }
            if (i < type.size()) ++i;  // the closing quote
        } else {
            size_t valueStart = i;
            while (i < type.size() && type[i] != u';') ++i;
            value = std::u16string(TrimSpace(type.substr(valueStart, i - valueStart)));
        }
        if (AsciiEqualNoCase(name, u"charset")) return value;
        i = type.find(u';', i);
    }
    return std::u16string();
}

bool IsCharsetName(std::u16string_view name) {
    if (name.empty() || name.size() > 64) return false;
    for (char16_t c : name)
        if (!IsTokenChar(c)) return false;
    return true;
}

ContentCoding DecideContentCoding(std::u16string_view value) {
    ContentCoding coding = ContentCoding::Identity;
    size_t start = 0;
    while (start <= value.size()) {
        size_t comma = value.find(u',', start);
        if (comma == std::u16string_view::npos) comma = value.size();
        std::u16string_view token = TrimSpace(value.substr(start, comma - start));
        start = comma + 1;
        if (token.empty() || AsciiEqualNoCase(token, u"identity")) continue;
        // One coding is read; a body coded twice is not.
        if (coding != ContentCoding::Identity) return ContentCoding::Unsupported;
        if (AsciiEqualNoCase(token, u"gzip") || AsciiEqualNoCase(token, u"x-gzip"))
            coding = ContentCoding::Gzip;
        else if (AsciiEqualNoCase(token, u"deflate"))
            coding = ContentCoding::Deflate;
        else
            return ContentCoding::Unsupported;
    }
    return coding;
}

bool HasZlibHeader(unsigned char b0, unsigned char b1) {
    return (b0 & 0x0F) == 8 && (b0 >> 4) <= 7 && ((b0 << 8) | b1) % 31 == 0;
}

bool IsKeepableValue(std::u16string_view value, size_t cchMax) {
    if (value.empty() || value.size() > cchMax) return false;
    for (char16_t c : value)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}
