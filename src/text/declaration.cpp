#include "text/declaration.h"
#include <cstdint>

namespace {

// A declaration that does not end within this many units is not looked into.
const size_t c_cchMaxDeclaration = 1024;

template <typename Ch>
bool IsSpace(Ch c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

template <typename Ch>
bool IsPseudoAttributeNameChar(Ch c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// s at i starts with the ASCII string sz.
template <typename Ch>
bool StartsWithAt(std::basic_string_view<Ch> s, size_t i, const char* sz) {
    for (; *sz; ++sz, ++i)
        if (i >= s.size() || s[i] != static_cast<Ch>(static_cast<unsigned char>(*sz))) return false;
    return true;
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
    // Pseudo-attributes: white space, a name, '=' with optional white space around it,
    // and a value in single or double quotes.
    size_t j = ichStart + 5;
    for (;;) {
        size_t ichSpace = j;
        while (j < ichClose && IsSpace(s[j])) ++j;
        if (j == ichSpace || j >= ichClose) break;
        size_t ichName = j;
        while (j < ichClose && IsPseudoAttributeNameChar(s[j])) ++j;
        size_t ichNameEnd = j;
        while (j < ichClose && IsSpace(s[j])) ++j;
        if (ichName == ichNameEnd || j >= ichClose || s[j] != '=') break;
        ++j;
        while (j < ichClose && IsSpace(s[j])) ++j;
        if (j >= ichClose || (s[j] != '"' && s[j] != '\'')) break;
        const Ch quote = s[j];
        size_t ichValue = ++j;
        while (j < ichClose && s[j] != quote) ++j;
        if (j >= ichClose) break;
        ++j;
        if (ichNameEnd - ichName == 8 && StartsWithAt(s, ichName, "encoding")) {
            span.ichEncoding = ichSpace;
            span.ichEncodingEnd = j;
            span.ichValue = ichValue;
            span.cchValue = j - 1 - ichValue;
            break;
        }
    }
    return span;
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

bool IsValidUtf8(std::string_view bytes) {
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        unsigned b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        size_t cb;
        unsigned lo = 0x80, hi = 0xBF;  // the range of the second byte
        if (b >= 0xC2 && b <= 0xDF) {
            cb = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            cb = 3;
            if (b == 0xE0) lo = 0xA0;  // no overlong forms
            if (b == 0xED) hi = 0x9F;  // no surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            cb = 4;
            if (b == 0xF0) lo = 0x90;  // no overlong forms
            if (b == 0xF4) hi = 0x8F;  // nothing past U+10FFFF
        } else {
            return false;
        }
        for (size_t k = 1; k < cb; ++k) {
            if (i + k >= n) return true;  // cut off inside the last character
            unsigned c = static_cast<unsigned char>(bytes[i + k]);
            if (c < (k == 1 ? lo : 0x80) || c > (k == 1 ? hi : 0xBF)) return false;
        }
        i += cb;
    }
    return true;
}
