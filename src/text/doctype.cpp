#include "text/doctype.h"
#include <initializer_list>
#include <string>
#include "text/xmlname.h"

namespace {

const size_t npos = std::string_view::npos;

template <typename Ch>
bool IsSpace(Ch c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

char16_t LowerAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool IsNameStart(char c) {
    return static_cast<unsigned char>(c) >= 0x80 || IsXmlNameStartUnit(static_cast<char16_t>(c));
}
bool IsNameStart(char16_t c) {
    return IsXmlNameStartUnit(c) || (c >= 0xD800 && c <= 0xDBFF);
}
bool IsNamePart(char c) {
    return static_cast<unsigned char>(c) >= 0x80 || IsXmlNameUnit(static_cast<char16_t>(c));
}
bool IsNamePart(char16_t c) {
    return IsXmlNameUnit(c) || (c >= 0xD800 && c <= 0xDFFF);
}

// How one part went: read, not what it had to be, or cut off by the end of the text.
enum class Part { Done, Wrong, Cut };

template <typename Ch>
class Reader {
public:
    Reader(std::basic_string_view<Ch> s, size_t ich, bool bPastErrors)
        : m_s(s), m_ich(ich), m_bPastErrors(bPastErrors) {}
    DocumentTypeRead Run();

private:
    bool AtEnd(size_t i) const { return i >= m_s.size(); }
    // How the text at i matches the upper-case ASCII keyword sz: 0 not at all, 1 in
    // another case, 2 exactly; -1 when the text ends inside a match.
    int MatchKeyword(size_t i, const char* sz) const;
    bool StartsWith(size_t i, const char* sz) const;
    void SkipSpace() {
        while (m_j < m_s.size() && IsSpace(m_s[m_j])) ++m_j;
    }
    void Wrong(size_t i) {
        if (m_ichWrong == npos) m_ichWrong = i;
    }
    Part Literal(bool bPublic);
    Part Header();
    size_t FindSubsetOrEnd() const;
    Part SubsetPart();
    DocumentTypeRead Result(DocumentTypeRead::Status status) const;

    std::basic_string_view<Ch> m_s;
    size_t m_ich;
    bool m_bPastErrors;
    size_t m_j = 0;
    size_t m_ichWrong = npos;
    bool m_bEntities = false;
    bool m_bUnreadSubset = false;
};

template <typename Ch>
int Reader<Ch>::MatchKeyword(size_t i, const char* sz) const {
    int match = 2;
    for (; *sz; ++sz, ++i) {
        if (AtEnd(i)) return -1;
        const char16_t c = static_cast<char16_t>(m_s[i]);
        if (c == static_cast<char16_t>(*sz)) continue;
        if (LowerAscii(c) != LowerAscii(static_cast<char16_t>(*sz))) return 0;
        match = 1;
    }
    return match;
}

template <typename Ch>
bool Reader<Ch>::StartsWith(size_t i, const char* sz) const {
    for (; *sz; ++sz, ++i)
        if (AtEnd(i) || m_s[i] != static_cast<Ch>(*sz)) return false;
    return true;
}

// A quoted literal at m_j; a public identifier holds only the characters it may.
template <typename Ch>
Part Reader<Ch>::Literal(bool bPublic) {
    if (AtEnd(m_j)) return Part::Cut;
    const Ch quote = m_s[m_j];
    if (quote != '"' && quote != '\'') return Part::Wrong;
    static const std::string_view c_szPublicMarks = " \r\n-'()+,./:=?;!*#@$_%";
    for (++m_j; m_j < m_s.size() && m_s[m_j] != quote; ++m_j) {
        const Ch c = m_s[m_j];
        if (bPublic && !(c >= 'a' && c <= 'z') && !(c >= 'A' && c <= 'Z') && !(c >= '0' && c <= '9') &&
            (c > 0x7F || c_szPublicMarks.find(static_cast<char>(c)) == npos))
            return Part::Wrong;
    }
    if (AtEnd(m_j)) return Part::Cut;
    ++m_j;
    return Part::Done;
}

// From past the keyword to the subset's '[' or the closing '>': Done with m_j there,
// Wrong with m_j where it goes wrong, or Cut.
template <typename Ch>
Part Reader<Ch>::Header() {
    if (AtEnd(m_j)) return Part::Cut;
    if (!IsSpace(m_s[m_j])) return Part::Wrong;
    SkipSpace();
    if (AtEnd(m_j)) return Part::Cut;
    if (!IsNameStart(m_s[m_j])) return Part::Wrong;
    while (m_j < m_s.size() && IsNamePart(m_s[m_j])) ++m_j;
    const size_t ichNameEnd = m_j;
    SkipSpace();
    if (AtEnd(m_j)) return Part::Cut;
    if (m_j > ichNameEnd) {
        const int iPublic = MatchKeyword(m_j, "PUBLIC");
        const int iSystem = MatchKeyword(m_j, "SYSTEM");
        if (iPublic < 0 || iSystem < 0) return Part::Cut;
        if (iPublic == 1 || iSystem == 1) return Part::Wrong;
        if (iPublic == 2 || iSystem == 2) {
            m_j += 6;
            auto requireSpace = [&]() {
                const size_t ichSpace = m_j;
                SkipSpace();
                return AtEnd(m_j) ? Part::Cut : m_j > ichSpace ? Part::Done : Part::Wrong;
            };
            Part part = requireSpace();
            if (part != Part::Done) return part;
            if (iPublic == 2) {
                if ((part = Literal(true)) != Part::Done) return part;
                if ((part = requireSpace()) != Part::Done) return part;
            }
            if ((part = Literal(false)) != Part::Done) return part;
            SkipSpace();
            if (AtEnd(m_j)) return Part::Cut;
        }
    }
    return m_s[m_j] == '[' || m_s[m_j] == '>' ? Part::Done : Part::Wrong;
}

// Where the subset's '[' or the closing '>' is, past the quoted literals, looking from
// the keyword on; npos when the text ends first.
template <typename Ch>
size_t Reader<Ch>::FindSubsetOrEnd() const {
    for (size_t i = m_ich + 9; i < m_s.size(); ++i) {
        const Ch c = m_s[i];
        if (c == '[' || c == '>') return i;
        if (c == '"' || c == '\'') {
            i = m_s.find(c, i + 1);
            if (i == npos) return npos;
        }
    }
    return npos;
}

// One part of the internal subset at m_j. Done with m_j past it; Wrong when it is none
// of the parts a subset may hold, or it declares an entity (m_bEntities says which).
template <typename Ch>
Part Reader<Ch>::SubsetPart() {
    if (m_s[m_j] == '%') {
        m_bEntities = true;
        return Part::Wrong;
    }
    const int iEntity = MatchKeyword(m_j, "<!ENTITY");
    if (iEntity > 0) {
        m_bEntities = true;
        return Part::Wrong;
    }
    for (const char* szOpen : {"<!--", "<?"}) {
        if (!StartsWith(m_j, szOpen)) continue;
        const char* szClose = szOpen[1] == '!' ? "-->" : "?>";
        size_t i = m_j + std::char_traits<char>::length(szOpen);
        while (i < m_s.size() && !StartsWith(i, szClose)) ++i;
        if (AtEnd(i)) return Part::Cut;
        m_j = i + std::char_traits<char>::length(szClose);
        return Part::Done;
    }
    static const char* const c_rgszDeclarations[] = {"<!ELEMENT", "<!ATTLIST", "<!NOTATION"};
    for (const char* szDeclaration : c_rgszDeclarations) {
        const int iMatch = MatchKeyword(m_j, szDeclaration);
        if (iMatch < 0) return Part::Cut;
        if (iMatch == 0) continue;
        if (iMatch == 1) Wrong(m_j);
        for (m_j += std::char_traits<char>::length(szDeclaration); !AtEnd(m_j) && m_s[m_j] != '>'; ++m_j) {
            const Ch c = m_s[m_j];
            if (c == '%') {
                m_bEntities = true;
                return Part::Wrong;
            }
            if (c == '"' || c == '\'') {
                m_j = m_s.find(c, m_j + 1);
                if (m_j == npos) return Part::Cut;
            }
        }
        if (AtEnd(m_j)) return Part::Cut;
        ++m_j;
        return Part::Done;
    }
    if (iEntity < 0 || MatchKeyword(m_j, "<!--") < 0 || MatchKeyword(m_j, "<?") < 0) return Part::Cut;
    return Part::Wrong;
}

template <typename Ch>
DocumentTypeRead Reader<Ch>::Result(DocumentTypeRead::Status status) const {
    DocumentTypeRead read;
    read.status = status;
    read.ichEnd = status == DocumentTypeRead::Cut ? m_s.size() : m_j;
    if (status != DocumentTypeRead::Cut && m_ichWrong != npos) {
        read.status = DocumentTypeRead::Malformed;
        read.ichEnd = m_ichWrong;
    }
    read.bEntities = m_bEntities;
    read.bUnreadSubset = m_bUnreadSubset;
    return read;
}

template <typename Ch>
DocumentTypeRead Reader<Ch>::Run() {
    const int iKeyword = MatchKeyword(m_ich, "<!DOCTYPE");
    m_j = m_ich + 9;
    if (iKeyword < 0) return Result(DocumentTypeRead::Cut);
    if (iKeyword == 0) {
        m_j = m_ich + 2;
        return Result(DocumentTypeRead::Malformed);
    }
    if (iKeyword == 1) Wrong(m_ich + 2);
    const Part header = Header();
    if (header == Part::Cut) return Result(DocumentTypeRead::Cut);
    if (header == Part::Wrong) {
        Wrong(m_j);
        m_j = m_bPastErrors ? FindSubsetOrEnd() : npos;
        if (m_j == npos) {
            m_j = m_ichWrong;
            return Result(DocumentTypeRead::Malformed);
        }
    }
    if (m_s[m_j] == '[') {
        for (++m_j;;) {
            if (AtEnd(m_j)) {
                m_bUnreadSubset = true;
                return Result(DocumentTypeRead::Cut);
            }
            if (m_s[m_j] == ']') break;
            if (IsSpace(m_s[m_j])) {
                ++m_j;
                continue;
            }
            const Part part = SubsetPart();
            if (part == Part::Done) continue;
            m_bUnreadSubset = true;
            if (part == Part::Cut) return Result(DocumentTypeRead::Cut);
            Wrong(m_j);
            return Result(DocumentTypeRead::Malformed);
        }
        ++m_j;
        SkipSpace();
        if (AtEnd(m_j)) return Result(DocumentTypeRead::Cut);
        if (m_s[m_j] != '>') {
            Wrong(m_j);
            return Result(DocumentTypeRead::Malformed);
        }
    }
    ++m_j;
    return Result(DocumentTypeRead::WellFormed);
}

}  // namespace

DocumentTypeRead ReadDocumentType(std::string_view s, size_t ich, bool bPastErrors) {
    return Reader<char>(s, ich, bPastErrors).Run();
}

DocumentTypeRead ReadDocumentType(std::u16string_view s, size_t ich, bool bPastErrors) {
    return Reader<char16_t>(s, ich, bPastErrors).Run();
}
