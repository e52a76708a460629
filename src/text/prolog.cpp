#include "text/prolog.h"
#include "text/ascii.h"
#include "text/header.h"

namespace {

// An XML declaration is short; one that does not end within this many characters is
// not looked into.
const size_t c_cchMaxDeclaration = 1024;

template <typename Ch>
bool IsXmlSpace(Ch c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

template <typename Ch>
Ch LowerUnit(Ch c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<Ch>(c - 'A' + 'a') : c;
}

// Whether s at pos starts with the ASCII word (lower case); with bNoCase in any case.
template <typename Ch>
bool At(std::basic_string_view<Ch> s, size_t pos, const char* szWord, bool bNoCase = false) {
    for (size_t i = 0; szWord[i]; ++i) {
        if (pos + i >= s.size()) return false;
        Ch c = bNoCase ? LowerUnit(s[pos + i]) : s[pos + i];
        if (c != static_cast<Ch>(szWord[i])) return false;
    }
    return true;
}

// The position just after the next occurrence of szWord from pos, or npos.
template <typename Ch>
size_t After(std::basic_string_view<Ch> s, size_t pos, const char* szWord) {
    size_t n = 0;
    while (szWord[n]) ++n;
    for (; pos + n <= s.size(); ++pos)
        if (At(s, pos, szWord)) return pos + n;
    return std::basic_string_view<Ch>::npos;
}

template <typename Ch>
bool FindEncoding(std::basic_string_view<Ch> s, DeclaredEncoding* pFound) {
    if (!At(s, 0, "<?xml") || s.size() < 6 || !IsXmlSpace(s[5])) return false;
    size_t limit = s.size() < c_cchMaxDeclaration ? s.size() : c_cchMaxDeclaration;
    size_t close = 5;
    while (close + 1 < limit && !(s[close] == '?' && s[close + 1] == '>')) ++close;
    if (close + 1 >= limit) return false;
    for (size_t i = 5; i + 8 <= close; ++i) {
        if (!IsXmlSpace(s[i - 1]) || !At(s, i, "encoding")) continue;
        size_t j = i + 8;
        while (j < close && IsXmlSpace(s[j])) ++j;
        if (j >= close || s[j] != '=') return false;
        ++j;
        while (j < close && IsXmlSpace(s[j])) ++j;
        if (j >= close || (s[j] != '"' && s[j] != '\'')) return false;
        Ch quote = s[j];
        size_t value = ++j;
        while (j < close && s[j] != quote) ++j;
        if (j >= close) return false;
        size_t start = i;
        while (start > 5 && IsXmlSpace(s[start - 1])) --start;
        pFound->start = start;
        pFound->end = j + 1;
        pFound->value = value;
        pFound->valueEnd = j;
        return true;
    }
    return false;
}

// Skips a quoted literal that starts at pos; the position after its closing quote, or
// npos when it never closes.
template <typename Ch>
size_t SkipLiteral(std::basic_string_view<Ch> s, size_t pos) {
    size_t close = s.find(s[pos], pos + 1);
    return close == std::basic_string_view<Ch>::npos ? close : close + 1;
}

// Reads an internal subset from pos (just after its '['). True when it declares an
// entity or cannot be read as markup declarations to its ']'.
template <typename Ch>
bool SubsetDeclaresEntities(std::basic_string_view<Ch> s, size_t pos) {
    const size_t npos = std::basic_string_view<Ch>::npos;
    while (pos < s.size()) {
        Ch c = s[pos];
        if (IsXmlSpace(c)) {
            ++pos;
        } else if (c == ']') {
            return false;
        } else if (c == '%') {
            // A parameter-entity reference: a name and ';'.
            size_t semicolon = pos + 1;
            while (semicolon < s.size() && s[semicolon] != ';' && s[semicolon] != '<' && !IsXmlSpace(s[semicolon]))
                ++semicolon;
            if (semicolon >= s.size() || s[semicolon] != ';') return true;
            pos = semicolon + 1;
        } else if (At(s, pos, "<!--")) {
            pos = After(s, pos + 4, "-->");
            if (pos == npos) return true;
        } else if (At(s, pos, "<?")) {
            pos = After(s, pos + 2, "?>");
            if (pos == npos) return true;
        } else if (At(s, pos, "<!entity", true)) {
            return true;
        } else if (At(s, pos, "<!element", true) || At(s, pos, "<!attlist", true) ||
                   At(s, pos, "<!notation", true)) {
            // To its '>', past the literals in it (which may hold '>' or ']').
            pos += 2;
            while (pos < s.size() && s[pos] != '>') {
                if (s[pos] == '"' || s[pos] == '\'') {
                    pos = SkipLiteral(s, pos);
                    if (pos == npos) return true;
                } else {
                    ++pos;
                }
            }
            if (pos >= s.size()) return true;
            ++pos;
        } else {
            // Anything else is no markup declaration: not read further, and refused.
            return true;
        }
    }
    return true;
}

template <typename Ch>
bool DeclaresEntities(std::basic_string_view<Ch> s) {
    const size_t npos = std::basic_string_view<Ch>::npos;
    size_t pos = 0;
    if (sizeof(Ch) == 2 && !s.empty() && static_cast<char16_t>(s[0]) == 0xFEFF) pos = 1;
    for (;;) {
        while (pos < s.size() && IsXmlSpace(s[pos])) ++pos;
        if (At(s, pos, "<?")) {
            pos = After(s, pos + 2, "?>");
        } else if (At(s, pos, "<!--")) {
            pos = After(s, pos + 4, "-->");
        } else if (At(s, pos, "<!doctype", true)) {
            break;
        } else {
            // The root element, or something no parser takes: the prolog is over.
            return false;
        }
        if (pos == npos) return false;
    }
    // The declaration's name and external identifier, up to its '>' or the '[' of its
    // internal subset; its literals may hold either.
    pos += 9;
    while (pos < s.size() && s[pos] != '>' && s[pos] != '[') {
        if (s[pos] == '"' || s[pos] == '\'') {
            pos = SkipLiteral(s, pos);
            if (pos == npos) return false;
        } else {
            ++pos;
        }
    }
    if (pos >= s.size() || s[pos] == '>') return false;
    return SubsetDeclaresEntities(s, pos + 1);
}

}  // namespace

ByteOrderMark FindByteOrderMark(std::string_view body, size_t* pcbMark) {
    *pcbMark = 0;
    auto byte = [&](size_t i) { return static_cast<unsigned char>(body[i]); };
    if (body.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
        *pcbMark = 3;
        return ByteOrderMark::Utf8;
    }
    if (body.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE) {
        *pcbMark = 2;
        return ByteOrderMark::Utf16LE;
    }
    if (body.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF) {
        *pcbMark = 2;
        return ByteOrderMark::Utf16BE;
    }
    return ByteOrderMark::None;
}

bool FindDeclaredEncoding(std::string_view bytes, DeclaredEncoding* pFound) {
    return FindEncoding(bytes, pFound);
}

bool FindDeclaredEncoding(std::u16string_view text, DeclaredEncoding* pFound) {
    return FindEncoding(text, pFound);
}

BodyCharset ChooseBodyCharset(std::string_view body, std::u16string_view contentType) {
    BodyCharset chosen;
    switch (FindByteOrderMark(body, &chosen.cbMark)) {
    case ByteOrderMark::Utf8: chosen.kind = BodyCharset::UTF8; return chosen;
    case ByteOrderMark::Utf16LE: chosen.kind = BodyCharset::UTF16LE; return chosen;
    case ByteOrderMark::Utf16BE: chosen.kind = BodyCharset::UTF16BE; return chosen;
    case ByteOrderMark::None: break;
    }
    chosen.name = CharsetParameter(contentType);
    if (chosen.name.empty()) {
        // UTF-16 without a mark can only be UTF-16, whatever its declaration names.
        if (body.size() >= 4 && body[0] == '<' && body[1] == 0 && body[2] == '?' && body[3] == 0) {
            chosen.kind = BodyCharset::UTF16LE;
            return chosen;
        }
        if (body.size() >= 4 && body[0] == 0 && body[1] == '<' && body[2] == 0 && body[3] == '?') {
            chosen.kind = BodyCharset::UTF16BE;
            return chosen;
        }
        DeclaredEncoding declared;
        if (FindDeclaredEncoding(body, &declared))
            for (size_t i = declared.value; i < declared.valueEnd; ++i)
                chosen.name += static_cast<char16_t>(static_cast<unsigned char>(body[i]));
    }
    if (chosen.name.empty()) return chosen;
    // UTF-16 by name is read here; a name "utf-16" alone leaves the byte order to the
    // first character.
    std::u16string lower = AsciiLower(chosen.name);
    if (lower == u"utf-16le") {
        chosen.kind = BodyCharset::UTF16LE;
    } else if (lower == u"utf-16be") {
        chosen.kind = BodyCharset::UTF16BE;
    } else if (lower == u"utf-16") {
        chosen.kind = body.size() >= 2 && body[0] == 0 && body[1] != 0 ? BodyCharset::UTF16BE : BodyCharset::UTF16LE;
    } else if (lower == u"utf-8") {
        chosen.kind = BodyCharset::UTF8;
    } else {
        chosen.kind = BodyCharset::NAMED;
        return chosen;
    }
    chosen.name.clear();
    return chosen;
}

bool PrologDeclaresEntities(std::u16string_view text) {
    return DeclaresEntities(text);
}

bool PrologDeclaresEntities(std::string_view bytes) {
    return DeclaresEntities(bytes);
}
