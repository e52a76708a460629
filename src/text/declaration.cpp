#include "text/declaration.h"

namespace {

// A declaration that does not end within this many units is not looked into.
const size_t c_cchMaxDeclaration = 1024;

template <typename Ch>
bool IsSpace(Ch c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

template <typename Ch>
bool IsAsciiLetter(Ch c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// s at i starts with the ASCII string sz.
template <typename Ch>
bool StartsWithAt(std::basic_string_view<Ch> s, size_t i, const char* sz) {
    for (; *sz; ++sz, ++i)
        if (i >= s.size() || s[i] != static_cast<Ch>(static_cast<unsigned char>(*sz))) return false;
    return true;
}

// One pseudo-attribute of a declaration: white space, a name, '=' with optional white
// space around it, and a value in single or double quotes.
struct PseudoAttribute {
    size_t ichSpace;  // the white space before it
    size_t ichName, cchName;
    size_t ichValue, cchValue;
    size_t ichEnd;  // past the closing quote
};

// Reads the pseudo-attribute at i, which must end before ichClose (the declaration's
// "?>"). False when there is none: no white space, no name, or no quoted value.
template <typename Ch>
bool ReadPseudoAttribute(std::basic_string_view<Ch> s, size_t i, size_t ichClose, PseudoAttribute* p) {
    p->ichSpace = i;
    while (i < ichClose && IsSpace(s[i])) ++i;
    if (i == p->ichSpace || i >= ichClose) return false;
    p->ichName = i;
    while (i < ichClose && IsAsciiLetter(s[i])) ++i;
    p->cchName = i - p->ichName;
    while (i < ichClose && IsSpace(s[i])) ++i;
    if (p->cchName == 0 || i >= ichClose || s[i] != '=') return false;
    ++i;
    while (i < ichClose && IsSpace(s[i])) ++i;
    if (i >= ichClose || (s[i] != '"' && s[i] != '\'')) return false;
    const Ch quote = s[i];
    p->ichValue = ++i;
    while (i < ichClose && s[i] != quote) ++i;
    if (i >= ichClose) return false;
    p->cchValue = i - p->ichValue;
    p->ichEnd = i + 1;
    return true;
}

template <typename Ch>
bool IsNamed(std::basic_string_view<Ch> s, const PseudoAttribute& attribute, const char* szName) {
    return std::char_traits<char>::length(szName) == attribute.cchName && StartsWithAt(s, attribute.ichName, szName);
}

template <typename Ch>
XmlDeclarationSpan FindDeclaration(std::basic_string_view<Ch> s, size_t cchMark) {
    XmlDeclarationSpan span = {};
    span.ichText = cchMark;
    size_t i = cchMark;
    while (i < s.size() && IsSpace(s[i])) ++i;
    if (!StartsWithAt(s, i, "<?xml") || i + 5 >= s.size() || !IsSpace(s[i + 5])) {
        span.ichEnd = span.ichEncoding = span.ichEncodingEnd = span.ichText;
        return span;
    }
    const size_t ichStart = i;
    const size_t ichLimit = s.size() - ichStart < c_cchMaxDeclaration ? s.size() : ichStart + c_cchMaxDeclaration;
    size_t ichClose = ichStart + 5;
    while (ichClose + 1 < ichLimit && !(s[ichClose] == '?' && s[ichClose + 1] == '>')) ++ichClose;
    if (ichClose + 1 >= ichLimit) {
        span.ichEnd = span.ichEncoding = span.ichEncodingEnd = span.ichText;
        return span;
    }
    span.bFound = true;
    span.ichText = ichStart;
    span.ichEnd = ichClose + 2;
    span.ichEncoding = span.ichEncodingEnd = span.ichEnd;
    PseudoAttribute attribute;
    for (size_t j = ichStart + 5; ReadPseudoAttribute(s, j, ichClose, &attribute); j = attribute.ichEnd) {
        if (IsNamed(s, attribute, "encoding")) {
            span.ichEncoding = attribute.ichSpace;
            span.ichEncodingEnd = attribute.ichEnd;
            span.ichValue = attribute.ichValue;
            span.cchValue = attribute.cchValue;
            break;
        }
    }
    return span;
}

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

}  // namespace

XmlDeclarationSpan FindDeclarationAfterWhiteSpace(std::string_view bytes) {
    bool bMark = StartsWithAt(bytes, 0, "\xEF\xBB\xBF");
    return FindDeclaration(bytes, bMark ? 3 : 0);
}

XmlDeclarationSpan FindDeclarationAfterWhiteSpace(std::u16string_view text) {
    bool bMark = !text.empty() && text[0] == u'\uFEFF';
    return FindDeclaration(text, bMark ? 1 : 0);
}

std::u16string TextToParse(std::u16string_view text) {
    XmlDeclarationSpan span = FindDeclarationAfterWhiteSpace(text);
    std::u16string out(text.substr(span.ichText, span.ichEncoding - span.ichText));
    out.append(text.substr(span.ichEncodingEnd));
    return out;
}

bool IsWellFormedXmlDeclaration(std::u16string_view declaration) {
    static const char* const c_rgszNames[] = {"version", "encoding", "standalone"};
    if (declaration.size() < 7 || !StartsWithAt(declaration, 0, "<?xml")) return false;
    const size_t ichClose = declaration.size() - 2;
    size_t i = 5;
    size_t iNext = 0;  // the first pseudo-attribute that may come next
    PseudoAttribute attribute;
    while (ReadPseudoAttribute(declaration, i, ichClose, &attribute)) {
        size_t iName = iNext;
        while (iName < 3 && !IsNamed(declaration, attribute, c_rgszNames[iName])) ++iName;
        if (iName == 3 || (iNext == 0 && iName != 0)) return false;
        iNext = iName + 1;
        i = attribute.ichEnd;
        std::u16string_view value = declaration.substr(attribute.ichValue, attribute.cchValue);
        if (iName == 0) {
            if (value.size() < 3 || value.substr(0, 2) != u"1.") return false;
            for (char16_t c : value.substr(2))
                if (!IsDigit(c)) return false;
        } else if (iName == 1) {
            if (value.empty() || !IsAsciiLetter(value[0])) return false;
            for (char16_t c : value)
                if (!IsAsciiLetter(c) && !IsDigit(c) && c != u'.' && c != u'_' && c != u'-') return false;
        } else if (value != u"yes" && value != u"no") {
            return false;
        }
    }
    // What stopped the reading must be the end: nothing but white space before "?>".
    while (i < ichClose && IsSpace(declaration[i])) ++i;
    return i == ichClose && iNext > 0;
}
