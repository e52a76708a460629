#include "text/prolog.h"
#include "text/ascii.h"
#include "text/declaration.h"
#include "text/doctype.h"
#include "text/encoding.h"
#include "text/header.h"

namespace {

const unsigned c_cpUtf8 = 65001;
const unsigned c_cpUtf16LE = 1200;
const unsigned c_cpUtf16BE = 1201;
const unsigned c_cpWindows1252 = 1252;

template <typename Ch>
bool IsXmlSpace(Ch c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Whether s at pos starts with the ASCII word, in any case when bNoCase.
template <typename Ch>
bool At(std::basic_string_view<Ch> s, size_t pos, const char* szWord, bool bNoCase = false) {
    for (size_t i = 0; szWord[i]; ++i) {
        if (pos + i >= s.size()) return false;
        Ch c = s[pos + i];
        if (bNoCase && c >= 'A' && c <= 'Z') c = static_cast<Ch>(c - 'A' + 'a');
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
bool DeclaresEntities(std::basic_string_view<Ch> s, size_t pos) {
    const size_t npos = std::basic_string_view<Ch>::npos;
    for (;;) {
        while (pos < s.size() && IsXmlSpace(s[pos])) ++pos;
        if (At(s, pos, "<?")) {
            pos = After(s, pos + 2, "?>");
        } else if (At(s, pos, "<!--")) {
            pos = After(s, pos + 4, "-->");
        } else if (At(s, pos, "<!doctype", true)) {
            DocumentTypeRead read = ReadDocumentType(s, pos, true);
            if (read.bEntities || read.bUnreadSubset) return true;
            if (read.status != DocumentTypeRead::WellFormed) return false;
            pos = read.ichEnd;
        } else {
            // The root element, or something no parser takes: the prolog is over.
            return false;
        }
        if (pos == npos) return false;
    }
}

// The kind of a charset named by the server or the declaration.
void ReadCharsetName(std::string_view body, BodyCharset& chosen) {
    const WebEncoding* pEncoding = FindWebEncoding(chosen.name);
    if (!pEncoding) {
        chosen.kind = BodyCharset::BY_NAME;
    } else if (pEncoding->cp == 0) {
        chosen.kind = std::string_view(pEncoding->szName) == "x-user-defined" ? BodyCharset::USER_DEFINED
                                                                               : BodyCharset::REFUSED;
    } else if (pEncoding->cp == c_cpUtf16LE || pEncoding->cp == c_cpUtf16BE) {
        if (chosen.source == BodyCharset::DECLARATION) {
            // The declaration was read from the bytes as ASCII, so they are no UTF-16.
            chosen.kind = BodyCharset::UTF8;
        } else if (pEncoding->cp == c_cpUtf16BE) {
            chosen.kind = BodyCharset::UTF16BE;
        } else if (AsciiEqualNoCase(TrimHttpSpace(chosen.name), u"utf-16le")) {
            chosen.kind = BodyCharset::UTF16LE;
        } else {
            // "utf-16" and its aliases leave the byte order to the first character.
            chosen.kind = body.size() >= 2 && body[0] == 0 && body[1] != 0 ? BodyCharset::UTF16BE
                                                                           : BodyCharset::UTF16LE;
        }
    } else if (pEncoding->cp == c_cpUtf8) {
        chosen.kind = BodyCharset::UTF8;
    } else {
        chosen.kind = BodyCharset::CODE_PAGE;
        chosen.cp = pEncoding->cp;
    }
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

BodyCharset ChooseBodyCharset(std::string_view body, std::u16string_view contentType) {
    BodyCharset chosen;
    switch (FindByteOrderMark(body, &chosen.cbMark)) {
    case ByteOrderMark::Utf8: chosen.kind = BodyCharset::UTF8; break;
    case ByteOrderMark::Utf16LE: chosen.kind = BodyCharset::UTF16LE; break;
    case ByteOrderMark::Utf16BE: chosen.kind = BodyCharset::UTF16BE; break;
    case ByteOrderMark::None: break;
    }
    if (chosen.cbMark) {
        chosen.source = BodyCharset::MARK;
    } else {
        chosen.name = CharsetParameter(contentType);
        if (!chosen.name.empty()) {
            chosen.source = BodyCharset::HEADER;
        } else if (body.size() >= 4 && body[0] == '<' && body[1] == 0 && body[2] == '?' && body[3] == 0) {
            // UTF-16 without a mark can only be UTF-16, whatever its declaration names.
            chosen.kind = BodyCharset::UTF16LE;
            return chosen;
        } else if (body.size() >= 4 && body[0] == 0 && body[1] == '<' && body[2] == 0 && body[3] == '?') {
            chosen.kind = BodyCharset::UTF16BE;
            return chosen;
        } else {
            XmlDeclarationSpan span = FindDeclarationAfterWhiteSpace(body);
            for (size_t i = span.ichValue; i < span.ichValue + span.cchValue; ++i)
                chosen.name += static_cast<char16_t>(static_cast<unsigned char>(body[i]));
            if (!chosen.name.empty()) chosen.source = BodyCharset::DECLARATION;
        }
        if (!chosen.name.empty()) ReadCharsetName(body, chosen);
    }
    if (chosen.kind == BodyCharset::UTF8) {
        chosen.utf8 = CheckUtf8(body.substr(chosen.cbMark));
        if (chosen.utf8 == Utf8Form::Invalid &&
            (chosen.source == BodyCharset::DEFAULT || chosen.source == BodyCharset::DECLARATION)) {
            chosen.kind = BodyCharset::CODE_PAGE;
            chosen.cp = c_cpWindows1252;
        }
    }
    return chosen;
}

bool PrologDeclaresEntities(std::u16string_view text) {
    return DeclaresEntities(text, !text.empty() && text[0] == u'\uFEFF' ? 1 : 0);
}

bool PrologDeclaresEntities(std::string_view bytes) {
    return DeclaresEntities(bytes, bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0);
}
