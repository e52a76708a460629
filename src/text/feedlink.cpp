#include "text/feedlink.h"
#include "text/ascii.h"

namespace {

const size_t npos = std::u16string_view::npos;

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

bool IsAsciiLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool IsTagNameChar(char16_t c) {
    return IsAsciiLetter(c) || (c >= u'0' && c <= u'9') || c == u'-' || c == u':';
}

char16_t Lower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

// Whether text at pos starts with word, given in lower case, in any case.
bool StartsWithNoCase(std::u16string_view text, size_t pos, std::u16string_view word) {
    if (pos > text.size() || text.size() - pos < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (Lower(text[pos + i]) != word[i]) return false;
    return true;
}

size_t FindNoCase(std::u16string_view text, size_t pos, std::u16string_view word) {
    for (; pos < text.size(); ++pos)
        if (StartsWithNoCase(text, pos, word)) return pos;
    return npos;
}

// A tag "<name" at pos: the name, then white space, '>', '/' or the end.
bool TagAt(std::u16string_view text, size_t pos, std::u16string_view lowerTag) {
    if (!StartsWithNoCase(text, pos, lowerTag)) return false;
    size_t after = pos + lowerTag.size();
    return after >= text.size() || IsSpace(text[after]) || text[after] == u'>' || text[after] == u'/';
}

// The character references an attribute value may carry: the five named ones and
// numeric ones; anything else stays as written.
std::u16string DecodeReferences(std::u16string_view value) {
    if (value.find(u'&') == npos) return std::u16string(value);
    static const struct {
        std::u16string_view name;
        char16_t c;
    } c_named[] = {{u"amp;", u'&'}, {u"lt;", u'<'}, {u"gt;", u'>'}, {u"quot;", u'"'}, {u"apos;", u'\''}};
    std::u16string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != u'&') {
            out += value[i];
            continue;
        }
        bool bDone = false;
        for (const auto& named : c_named) {
            if (value.substr(i + 1, named.name.size()) == named.name) {
                out += named.c;
                i += named.name.size();
                bDone = true;
                break;
            }
        }
        if (!bDone && i + 2 < value.size() && value[i + 1] == u'#') {
            bool bHex = value[i + 2] == u'x' || value[i + 2] == u'X';
            size_t j = i + (bHex ? 3 : 2);
            unsigned long code = 0;
            size_t digits = 0;
            for (; j < value.size() && digits < 7; ++j, ++digits) {
                char16_t c = value[j];
                int d = c >= u'0' && c <= u'9'                             ? c - u'0'
                        : bHex && Lower(c) >= u'a' && Lower(c) <= u'f' ? Lower(c) - u'a' + 10
                                                                           : -1;
                if (d < 0) break;
                code = code * (bHex ? 16 : 10) + static_cast<unsigned long>(d);
            }
            // Only printable characters of the basic plane are worth keeping in an address.
            if (digits && j < value.size() && value[j] == u';' && code >= 0x20 && code < 0xD800) {
                out += static_cast<char16_t>(code);
                i = j;
                bDone = true;
            }
        }
        if (!bDone) out += u'&';
    }
    return out;
}

// The attributes of a <link> that say whether it names a feed; for each, the first of
// its name counts. Values stay as written until they are needed.
struct LinkAttributes {
    std::u16string_view rel, type, href;
    bool bRel = false, bType = false, bHref = false;
};

void Keep(std::u16string_view name, std::u16string_view value, LinkAttributes& link) {
    if (!link.bRel && AsciiEqualNoCase(name, u"rel")) {
        link.rel = value;
        link.bRel = true;
    } else if (!link.bType && AsciiEqualNoCase(name, u"type")) {
        link.type = value;
        link.bType = true;
    } else if (!link.bHref && AsciiEqualNoCase(name, u"href")) {
        link.href = value;
        link.bHref = true;
    }
}

// Reads the attributes of a tag from pos (just after its name) to its '>', each once and
// in constant work but for its length; returns the position after the '>', or npos
// when the tag never ends.
size_t ReadAttributes(std::u16string_view html, size_t pos, LinkAttributes& link) {
    link = LinkAttributes();
    const size_t n = html.size();
    for (;;) {
        while (pos < n && (IsSpace(html[pos]) || html[pos] == u'/')) ++pos;
        if (pos >= n) return npos;
        if (html[pos] == u'>') return pos + 1;
        size_t nameStart = pos++;
        while (pos < n && !IsSpace(html[pos]) && html[pos] != u'/' && html[pos] != u'>' && html[pos] != u'=') ++pos;
        std::u16string_view name = html.substr(nameStart, pos - nameStart);
        while (pos < n && IsSpace(html[pos])) ++pos;
        std::u16string_view value;
        if (pos < n && html[pos] == u'=') {
            ++pos;
            while (pos < n && IsSpace(html[pos])) ++pos;
            if (pos < n && (html[pos] == u'"' || html[pos] == u'\'')) {
                size_t close = html.find(html[pos], pos + 1);
                if (close == npos) return npos;
                value = html.substr(pos + 1, close - pos - 1);
                pos = close + 1;
            } else {
                size_t valueStart = pos;
                while (pos < n && !IsSpace(html[pos]) && html[pos] != u'>') ++pos;
                value = html.substr(valueStart, pos - valueStart);
            }
        }
        Keep(name, value, link);
    }
}

bool HasToken(std::u16string_view list, std::u16string_view lowerToken) {
    size_t pos = 0;
    while (pos < list.size()) {
        while (pos < list.size() && IsSpace(list[pos])) ++pos;
        size_t end = pos;
        while (end < list.size() && !IsSpace(list[end])) ++end;
        if (end > pos && AsciiEqualNoCase(list.substr(pos, end - pos), lowerToken)) return true;
        pos = end;
    }
    return false;
}

std::u16string_view TrimSpace(std::u16string_view s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
    return s;
}

bool IsFeedType(std::u16string_view type) {
    std::u16string_view media = TrimSpace(type.substr(0, type.find(u';')));
    return AsciiEqualNoCase(media, u"application/rss+xml") || AsciiEqualNoCase(media, u"application/atom+xml");
}

// Elements whose content is text, not tags: a "<link" inside them is not one.
const std::u16string_view c_rawTextElements[] = {u"script", u"style", u"template", u"textarea", u"title", u"xmp"};

}  // namespace

bool IsHtmlResponse(std::u16string_view contentType, std::u16string_view text) {
    std::u16string_view media = TrimSpace(contentType.substr(0, contentType.find(u';')));
    if (AsciiEqualNoCase(media, u"text/html") || AsciiEqualNoCase(media, u"application/xhtml+xml")) return true;
    size_t pos = 0;
    for (;;) {
        while (pos < text.size() && (IsSpace(text[pos]) || text[pos] == 0xFEFF)) ++pos;
        std::u16string_view end;
        if (text.substr(pos, 4) == u"<!--")
            end = u"-->";
        else if (text.substr(pos, 2) == u"<?")
            end = u"?>";
        else
            break;
        size_t found = text.find(end, pos + 2);
        if (found == npos) return false;
        pos = found + end.size();
    }
    return StartsWithNoCase(text, pos, u"<!doctype html") || TagAt(text, pos, u"<html") || TagAt(text, pos, u"<head");
}

bool ScanFeedLinks(std::u16string_view html, const std::function<bool(const std::u16string& href)>& accept) {
    const size_t n = html.size();
    LinkAttributes link;
    size_t pos = 0;
    while ((pos = html.find(u'<', pos)) != npos) {
        if (html.substr(pos, 4) == u"<!--") {
            size_t end = html.find(u"-->", pos + 4);
            if (end == npos) return false;
            pos = end + 3;
            continue;
        }
        if (pos + 1 < n && (html[pos + 1] == u'!' || html[pos + 1] == u'?')) {
            size_t end = html.find(u'>', pos);
            if (end == npos) return false;
            pos = end + 1;
            continue;
        }
        const bool bClosing = pos + 1 < n && html[pos + 1] == u'/';
        size_t nameStart = pos + (bClosing ? 2 : 1), nameEnd = nameStart;
        while (nameEnd < n && IsTagNameChar(html[nameEnd])) ++nameEnd;
        if (nameEnd == nameStart || !IsAsciiLetter(html[nameStart])) {
            // A '<' that opens no tag is text.
            ++pos;
            continue;
        }
        std::u16string_view name = html.substr(nameStart, nameEnd - nameStart);
        size_t end = ReadAttributes(html, nameEnd, link);
        if (end == npos) return false;
        // The head ends at its end tag or where the body starts.
        if (AsciiEqualNoCase(name, u"body") || (bClosing && AsciiEqualNoCase(name, u"head"))) return false;
        pos = end;
        if (bClosing) continue;
        bool bRawText = false;
        for (std::u16string_view raw : c_rawTextElements) bRawText = bRawText || AsciiEqualNoCase(name, raw);
        if (bRawText) {
            std::u16string closeTag = u"</" + AsciiLower(name);
            size_t close = FindNoCase(html, pos, closeTag);
            if (close == npos) return false;
            pos = close;
            continue;
        }
        if (!AsciiEqualNoCase(name, u"link") || !link.bRel || !link.bType || !link.bHref) continue;
        // At most three values of one tag are decoded, so a tag's cost stays its length.
        if (HasToken(DecodeReferences(link.rel), u"alternate") && IsFeedType(DecodeReferences(link.type)) &&
            accept(DecodeReferences(link.href)))
            return true;
    }
    return false;
}

std::u16string CleanHref(std::u16string_view href) {
    std::u16string cleaned;
    for (char16_t c : href)
        if (c != u'\t' && c != u'\n' && c != u'\r' && c != u'\f') cleaned += c;
    size_t first = 0, last = cleaned.size();
    while (first < last && cleaned[first] == u' ') ++first;
    while (last > first && cleaned[last - 1] == u' ') --last;
    std::u16string out;
    for (size_t i = first; i < last; ++i) {
        if (cleaned[i] == u' ')
            out += u"%20";
        else
            out += cleaned[i];
    }
    return out;
}
