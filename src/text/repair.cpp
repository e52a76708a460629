#include "text/repair.h"
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>
#include "text/declaration.h"
#include "text/doctype.h"
#include "text/htmlentity.h"
#include "text/xmlname.h"

namespace {

const char16_t c_szUndeclaredNamespace[] = u"urn:x-undeclared:";

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

bool IsHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// A code unit that is a character of its own which XML allows: everything but the
// controls other than tab, line feed and carriage return, the surrogates (allowed only
// in pairs) and U+FFFE, U+FFFF.
bool IsAllowedUnit(char16_t c) {
    if (c < 0x20) return c == u'\t' || c == u'\n' || c == u'\r';
    return (c < 0xD800 || c > 0xDFFF) && c < 0xFFFE;
}

// A code point that a character reference may name.
bool IsAllowedCodePoint(char32_t c) {
    if (c < 0x10000) return IsAllowedUnit(static_cast<char16_t>(c));
    return c <= 0x10FFFF;
}

// A name in the namespace sense: at most one colon, with a name on either side of it.
bool IsQualifiedName(std::u16string_view name) {
    size_t iColon = name.find(u':');
    if (iColon == std::u16string_view::npos) return true;
    return iColon > 0 && iColon + 1 < name.size() && name.find(u':', iColon + 1) == std::u16string_view::npos &&
           (IsXmlNameStartUnit(name[iColon + 1]) || IsHighSurrogate(name[iColon + 1]));
}

std::u16string_view PrefixOf(std::u16string_view name) {
    size_t iColon = name.find(u':');
    return iColon == std::u16string_view::npos ? std::u16string_view() : name.substr(0, iColon);
}

// The elements whose end closes one item of a feed: RSS items and Atom entries.
bool IsItemName(std::u16string_view name) {
    size_t iColon = name.find(u':');
    std::u16string_view local = iColon == std::u16string_view::npos ? name : name.substr(iColon + 1);
    return local == u"item" || local == u"entry";
}

void AppendDecimalReference(std::u16string& out, char32_t cp) {
    char16_t digits[8];
    size_t cDigits = 0;
    do {
        digits[cDigits++] = static_cast<char16_t>(u'0' + cp % 10);
        cp /= 10;
    } while (cp);
    out += u"&#";
    while (cDigits) out += digits[--cDigits];
    out += u';';
}

// Whether text holds characters XML forbids; if so, allowedOut is text without them.
bool DropForbiddenCharacters(std::u16string_view text, std::u16string& allowedOut) {
    size_t i = 0;
    auto isAllowedAt = [&text](size_t k) {
        char16_t c = text[k];
        if (IsAllowedUnit(c)) return true;
        if (IsHighSurrogate(c)) return k + 1 < text.size() && IsLowSurrogate(text[k + 1]);
        return IsLowSurrogate(c) && k > 0 && IsHighSurrogate(text[k - 1]);
    };
    while (i < text.size() && isAllowedAt(i)) ++i;
    if (i == text.size()) return false;
    allowedOut.reserve(text.size());
    allowedOut.assign(text.substr(0, i));
    for (; i < text.size(); ++i)
        if (isAllowedAt(i)) allowedOut += text[i];
    return true;
}

enum class Phase { Prolog, Root, Epilogue };

// How reading one piece of markup or one reference went.
enum class Scan {
    Done,       // read and written (or dropped); the position is past it
    NotMarkup,  // not what it started like: its first unit is to be read as text
    Cut,        // the text ends inside it
};

struct OpenElement {
    std::u16string_view name;
    size_t* pcOpen;       // how many elements of this name are open
    size_t iFirstPrefix;  // its namespace declarations start here in m_declared
};

// An open item, where a document cut short is cut back to.
struct OpenItem {
    size_t iElement;           // its place in the stack of open elements
    size_t ichOut;             // where its start tag begins in the output
    unsigned fRepairsBefore;   // the repairs made before it
    size_t cUndeclaredBefore;  // how many prefixes were found undeclared before it
};

// A numeric character reference as read: "&#" digits ';' or "&#x" hex digits ';'.
struct CharReference {
    Scan scan;          // Done when well-formed; NotMarkup when not a reference
    char32_t cp;        // the code point, 0x110000 when past the last one
    size_t ichEnd;      // past the ';'
    bool bUpperX;       // written with 'X', which XML does not allow
};

class Repairer {
public:
    Repairer(std::u16string_view s, std::u16string& out, size_t cchMax) : m_s(s), m_out(out), m_cchMax(cchMax) {}

    RepairResult Run();
    unsigned Repairs() const { return m_fRepairs; }

private:
    bool AtEnd(size_t i) const { return i >= m_s.size(); }
    // Whether the output has grown past its limit, which ends the repair.
    bool TooLong() {
        if (m_out.size() > m_cchMax) m_bTooLong = true;
        return m_bTooLong;
    }
    bool StartsWithAt(size_t i, std::u16string_view what) const {
        return m_s.size() - std::min(i, m_s.size()) >= what.size() && m_s.compare(i, what.size(), what) == 0;
    }
    // Whether the text from i on is a proper start of what (the text ends first).
    bool IsCutPrefixAt(size_t i, std::u16string_view what) const {
        size_t cch = m_s.size() - i;
        return cch < what.size() && m_s.compare(i, cch, what.substr(0, cch)) == 0;
    }

    Scan ReadName(size_t& i, std::u16string_view& nameOut) const;
    void AppendInput(size_t ichFrom, size_t ichTo) { m_out.append(m_s.substr(ichFrom, ichTo - ichFrom)); }
    CharReference ReadCharReference(size_t i) const;
    Scan Reference(size_t& i, unsigned& fRepairs);

    Scan Text();
    Scan Markup();
    Scan StartTag();
    Scan EndTag();
    Scan Comment();
    Scan CData();
    Scan ProcessingInstruction();
    Scan DocumentType();

    void CloseInnermost(bool bWriteEndTag);
    bool DeclareNamespaces(std::u16string_view elementName);
    void Finish();

    std::u16string_view m_s;
    size_t m_i = 0;
    std::u16string& m_out;
    size_t m_cchMax;
    bool m_bTooLong = false;
    unsigned m_fRepairs = 0;
    Phase m_phase = Phase::Prolog;
    bool m_bStop = false;
    bool m_bRefused = false;
    bool m_bDocumentType = false;
    std::vector<OpenElement> m_stack;
    std::vector<OpenItem> m_items;  // the open items, outermost first
    std::unordered_map<std::u16string_view, size_t> m_cOpenByName;
    // Namespace prefixes: how many declarations of each are in scope, the prefixes the
    // open elements declare (innermost last), and those to declare on the root.
    std::unordered_map<std::u16string_view, size_t> m_cDeclaredByPrefix;
    std::vector<std::u16string_view> m_declared;
    std::vector<std::u16string_view> m_undeclared;
    size_t m_ichRootNameEnd = 0;
    // The attribute names of the start tag being read.
    std::vector<std::u16string_view> m_attributes;
};

// Reads the name that must start at i (a surrogate pair counts as one name character).
// Done with i past it; NotMarkup when no name starts there; Cut when the text ends
// before the name does, since a name is always followed by something.
Scan Repairer::ReadName(size_t& i, std::u16string_view& nameOut) const {
    const size_t ichName = i;
    if (AtEnd(i)) return Scan::Cut;
    if (!IsXmlNameStartUnit(m_s[i]) && !IsHighSurrogate(m_s[i])) return Scan::NotMarkup;
    while (i < m_s.size()) {
        char16_t c = m_s[i];
        if (IsXmlNameUnit(c)) {
            ++i;
        } else if (IsHighSurrogate(c)) {
            if (i + 1 >= m_s.size()) return Scan::Cut;
            if (!IsLowSurrogate(m_s[i + 1])) break;
            i += 2;
        } else {
            break;
        }
    }
    if (AtEnd(i)) return Scan::Cut;
    if (i == ichName) return Scan::NotMarkup;
    nameOut = m_s.substr(ichName, i - ichName);
    return Scan::Done;
}

CharReference Repairer::ReadCharReference(size_t i) const {
    CharReference ref = {Scan::NotMarkup, 0, 0, false};
    size_t j = i + 2;  // past "&#"
    if (AtEnd(j)) {
        ref.scan = Scan::Cut;
        return ref;
    }
    bool bHex = m_s[j] == u'x' || m_s[j] == u'X';
    if (bHex) ref.bUpperX = m_s[j++] == u'X';
    size_t ichDigits = j;
    for (; j < m_s.size(); ++j) {
        char16_t c = m_s[j];
        unsigned digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (bHex && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (bHex && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            break;
        ref.cp = std::min<char32_t>(ref.cp * (bHex ? 16 : 10) + digit, 0x110000);
    }
    if (AtEnd(j)) {
        ref.scan = Scan::Cut;
        return ref;
    }
    if (j == ichDigits || m_s[j] != u';') return ref;
    ref.scan = Scan::Done;
    ref.ichEnd = j + 1;
    return ref;
}

// Reads the reference at i (at a '&') and writes it, or its repair; i moves past what
// was read. A '&' that starts no reference is written "&amp;" and i moves past it only.
Scan Repairer::Reference(size_t& i, unsigned& fRepairs) {
    if (AtEnd(i + 1)) return Scan::Cut;
    char16_t c = m_s[i + 1];
    if (c == u'#') {
        CharReference ref = ReadCharReference(i);
        if (ref.scan == Scan::Cut) return Scan::Cut;
        if (ref.scan == Scan::Done) {
            if (IsHighSurrogate(ref.cp) && StartsWithAt(ref.ichEnd, u"&#")) {
                // Two references to the halves of one character, as some encoders write.
                CharReference low = ReadCharReference(ref.ichEnd);
                if (low.scan == Scan::Cut) return Scan::Cut;
                if (low.scan == Scan::Done && IsLowSurrogate(low.cp)) {
                    AppendDecimalReference(m_out, 0x10000 + ((ref.cp - 0xD800) << 10) + (low.cp - 0xDC00));
                    fRepairs |= c_fRepairEntities;
                    i = low.ichEnd;
                    return Scan::Done;
                }
            }
            if (!IsAllowedCodePoint(ref.cp)) {
                fRepairs |= c_fRepairControls;
            } else if (ref.bUpperX) {
                AppendDecimalReference(m_out, ref.cp);
                fRepairs |= c_fRepairEntities;
            } else {
                m_out.append(m_s.substr(i, ref.ichEnd - i));
            }
            i = ref.ichEnd;
            return Scan::Done;
        }
    } else if (IsXmlNameStartUnit(c)) {
        size_t j = i + 1;
        while (j < m_s.size() && IsXmlNameUnit(m_s[j])) ++j;
        if (AtEnd(j)) return Scan::Cut;
        if (m_s[j] == u';') {
            std::u16string_view name = m_s.substr(i + 1, j - i - 1);
            if (name == u"amp" || name == u"lt" || name == u"gt" || name == u"quot" || name == u"apos") {
                m_out.append(m_s.substr(i, j + 1 - i));
                i = j + 1;
                return Scan::Done;
            }
            if (char32_t cp = HtmlEntityCodePoint(name)) {
                AppendDecimalReference(m_out, cp);
                fRepairs |= c_fRepairEntities;
                i = j + 1;
                return Scan::Done;
            }
        }
    }
    m_out += u"&amp;";
    fRepairs |= c_fRepairAmpersands;
    ++i;
    return Scan::Done;
}

// Text inside the root element, up to the next '<'.
Scan Repairer::Text() {
    size_t ichRun = m_i;
    // The unit k places before m_i as written, text not yet appended included. Markup
    // written ends in '>', so "]]" there is text, maybe of text before markup dropped.
    auto unitBefore = [&](size_t k) -> char16_t {
        if (k <= m_i - ichRun) return m_s[m_i - k];
        k -= m_i - ichRun;
        return k <= m_out.size() ? m_out[m_out.size() - k] : 0;
    };
    while (m_i < m_s.size()) {
        char16_t c = m_s[m_i];
        if (c == u'<') break;
        if (c == u'>' && unitBefore(1) == u']' && unitBefore(2) == u']') {
            // "]]>" ends a CDATA section and may not stand in text.
            AppendInput(ichRun, m_i);
            m_out += u"&gt;";
            m_fRepairs |= c_fRepairMarkup;
            ichRun = ++m_i;
            if (TooLong()) return Scan::Done;
            continue;
        }
        if (c != u'&') {
            ++m_i;
            continue;
        }
        AppendInput(ichRun, m_i);
        size_t ichMark = m_out.size();
        if (Reference(m_i, m_fRepairs) == Scan::Cut) {
            m_out.resize(ichMark);
            return Scan::Cut;
        }
        ichRun = m_i;
        if (TooLong()) return Scan::Done;
    }
    AppendInput(ichRun, m_i);
    return Scan::Done;
}

// The markup at m_i, a '<'. What is written for it is undone by the caller unless the
// result is Done.
Scan Repairer::Markup() {
    const size_t i = m_i;
    if (AtEnd(i + 1)) return Scan::Cut;
    char16_t c = m_s[i + 1];
    if (c == u'!') {
        if (StartsWithAt(i, u"<!--")) return Comment();
        if (IsCutPrefixAt(i, u"<!--")) return Scan::Cut;
        if (m_phase == Phase::Epilogue) return Scan::NotMarkup;
        if (StartsWithAt(i, u"<![CDATA[")) return CData();
        if (IsCutPrefixAt(i, u"<![CDATA[")) return Scan::Cut;
        // A document type in any case is read, so that one in lower case cannot declare
        // entities unseen.
        if (StartsWithAt(i, u"<!DOCTYPE") || (m_phase == Phase::Prolog && (m_s[i + 2] | 0x20) == u'd'))
            return DocumentType();
        if (IsCutPrefixAt(i, u"<!DOCTYPE")) return Scan::Cut;
        return Scan::NotMarkup;
    }
    if (c == u'?') return ProcessingInstruction();
    if (m_phase == Phase::Epilogue) return Scan::NotMarkup;
    if (c == u'/') return EndTag();
    if (IsXmlNameStartUnit(c) || IsHighSurrogate(c)) return StartTag();
    return Scan::NotMarkup;
}

Scan Repairer::StartTag() {
    const size_t ichTag = m_i;
    size_t j = ichTag + 1;
    std::u16string_view name;
    Scan scan = ReadName(j, name);
    if (scan != Scan::Done) return scan;
    if (!IsQualifiedName(name)) return Scan::NotMarkup;
    unsigned fRepairs = 0;
    bool bPrefixed = name.find(u':') != std::u16string_view::npos;
    const size_t ichOut = m_out.size();
    m_out.append(m_s.substr(ichTag, j - ichTag));
    const size_t ichNameEnd = m_out.size();
    m_attributes.clear();
    bool bEmpty = false;
    for (;;) {
        const size_t ichSpace = j;
        while (j < m_s.size() && IsSpace(m_s[j])) ++j;
        if (AtEnd(j)) return Scan::Cut;
        if (m_s[j] == u'>') {
            m_out.append(m_s.substr(ichSpace, j + 1 - ichSpace));
            ++j;
            break;
        }
        if (m_s[j] == u'/') {
            if (AtEnd(j + 1)) return Scan::Cut;
            if (m_s[j + 1] != u'>') return Scan::NotMarkup;
            m_out.append(m_s.substr(ichSpace, j + 2 - ichSpace));
            j += 2;
            bEmpty = true;
            break;
        }
        // An attribute: white space, a name, '=' and a quoted value.
        if (j == ichSpace) return Scan::NotMarkup;
        std::u16string_view attribute;
        scan = ReadName(j, attribute);
        if (scan != Scan::Done) return scan;
        if (!IsQualifiedName(attribute)) return Scan::NotMarkup;
        while (j < m_s.size() && IsSpace(m_s[j])) ++j;
        if (AtEnd(j)) return Scan::Cut;
        if (m_s[j] != u'=') return Scan::NotMarkup;
        ++j;
        while (j < m_s.size() && IsSpace(m_s[j])) ++j;
        if (AtEnd(j)) return Scan::Cut;
        const char16_t quote = m_s[j];
        if (quote != u'"' && quote != u'\'') return Scan::NotMarkup;
        ++j;
        m_out.append(m_s.substr(ichSpace, j - ichSpace));
        for (;;) {
            if (AtEnd(j)) return Scan::Cut;
            char16_t c = m_s[j];
            if (c == quote) break;
            if (c == u'<') return Scan::NotMarkup;
            if (c == u'&') {
                if (Reference(j, fRepairs) == Scan::Cut) return Scan::Cut;
                if (TooLong()) return Scan::Done;
            } else {
                m_out += c;
                ++j;
            }
        }
        m_out += quote;
        ++j;
        m_attributes.push_back(attribute);
        bPrefixed = bPrefixed || attribute.find(u':') != std::u16string_view::npos;
    }
    if (m_attributes.size() > 1) {
        std::sort(m_attributes.begin(), m_attributes.end());
        if (std::adjacent_find(m_attributes.begin(), m_attributes.end()) != m_attributes.end())
            return Scan::NotMarkup;
    }

    m_i = j;
    // A document of one item is not cut back to nothing: the root is no item.
    if (m_phase == Phase::Root && IsItemName(name))
        m_items.push_back({m_stack.size(), ichOut, m_fRepairs, m_undeclared.size()});
    OpenElement element = {name, &m_cOpenByName[name], m_declared.size()};
    m_fRepairs |= fRepairs;
    if (bPrefixed && !DeclareNamespaces(name)) m_fRepairs |= c_fRepairNamespaces;
    if (m_phase == Phase::Prolog) {
        m_phase = Phase::Root;
        m_ichRootNameEnd = ichNameEnd;
    }
    ++*element.pcOpen;
    m_stack.push_back(element);
    if (bEmpty) CloseInnermost(false);
    return Scan::Done;
}

// Counts the namespace declarations among the attributes of the start tag just read,
// and checks the prefixes it uses. False when one had no declaration in scope: it is
// then noted for the root element and counts as declared from here on.
bool Repairer::DeclareNamespaces(std::u16string_view elementName) {
    for (std::u16string_view attribute : m_attributes) {
        if (PrefixOf(attribute) != u"xmlns") continue;
        std::u16string_view prefix = attribute.substr(6);
        ++m_cDeclaredByPrefix[prefix];
        m_declared.push_back(prefix);
    }
    bool bDeclared = true;
    auto check = [&](std::u16string_view prefix) {
        if (prefix.empty() || prefix == u"xml" || prefix == u"xmlns") return;
        size_t& cDeclared = m_cDeclaredByPrefix[prefix];
        if (cDeclared) return;
        ++cDeclared;  // never taken back: the root's declaration is in scope everywhere
        m_undeclared.push_back(prefix);
        bDeclared = false;
    };
    check(PrefixOf(elementName));
    for (std::u16string_view attribute : m_attributes) check(PrefixOf(attribute));
    return bDeclared;
}

Scan Repairer::EndTag() {
    size_t j = m_i + 2;
    std::u16string_view name;
    Scan scan = ReadName(j, name);
    if (scan != Scan::Done) return scan;
    while (j < m_s.size() && IsSpace(m_s[j])) ++j;
    if (AtEnd(j)) return Scan::Cut;
    if (m_s[j] != u'>') return Scan::NotMarkup;
    ++j;
    const size_t ichTag = m_i;
    m_i = j;
    if (m_phase == Phase::Prolog) {
        m_fRepairs |= c_fRepairLeadingJunk;
        return Scan::Done;
    }
    if (m_stack.back().name != name) {
        auto it = m_cOpenByName.find(name);
        if (it == m_cOpenByName.end() || it->second == 0) {
            m_fRepairs |= c_fRepairTags;
            return Scan::Done;
        }
        while (m_stack.back().name != name) {
            CloseInnermost(true);
            m_fRepairs |= c_fRepairTags;
        }
    }
    m_out.append(m_s.substr(ichTag, j - ichTag));
    CloseInnermost(false);
    return Scan::Done;
}

// Closes the innermost open element, writing its end tag when asked to.
void Repairer::CloseInnermost(bool bWriteEndTag) {
    const OpenElement& element = m_stack.back();
    if (bWriteEndTag) {
        m_out += u"</";
        m_out.append(element.name);
        m_out += u'>';
    }
    --*element.pcOpen;
    for (size_t k = element.iFirstPrefix; k < m_declared.size(); ++k) --m_cDeclaredByPrefix[m_declared[k]];
    m_declared.resize(element.iFirstPrefix);
    m_stack.pop_back();
    if (!m_items.empty() && m_items.back().iElement == m_stack.size()) m_items.pop_back();
    if (m_stack.empty()) m_phase = Phase::Epilogue;
}

Scan Repairer::Comment() {
    // A comment ends at the first "--", which must be followed by '>'.
    size_t j = m_i + 4;
    bool bWellFormed = true;
    for (;;) {
        size_t k = m_s.find(u"--", j);
        if (k == std::u16string_view::npos || AtEnd(k + 2)) return Scan::Cut;
        if (m_s[k + 2] == u'>') {
            j = k + 3;
            break;
        }
        bWellFormed = false;
        j = k + 1;
    }
    if (bWellFormed)
        AppendInput(m_i, j);
    else
        m_fRepairs |= c_fRepairComments;
    m_i = j;
    return Scan::Done;
}

Scan Repairer::CData() {
    size_t k = m_s.find(u"]]>", m_i + 9);
    if (k == std::u16string_view::npos) return Scan::Cut;
    if (m_phase == Phase::Prolog)
        m_fRepairs |= c_fRepairLeadingJunk;
    else
        AppendInput(m_i, k + 3);
    m_i = k + 3;
    return Scan::Done;
}

Scan Repairer::ProcessingInstruction() {
    size_t j = m_i + 2;
    std::u16string_view target;
    Scan scan = ReadName(j, target);
    if (scan != Scan::Done) return scan;
    if (m_s[j] != u'?' && !IsSpace(m_s[j])) return Scan::NotMarkup;
    size_t k = m_s.find(u"?>", j);
    if (k == std::u16string_view::npos) return Scan::Cut;
    const size_t ichEnd = k + 2;
    bool bDeclaration = target.size() == 3 && (target[0] | 0x20) == u'x' && (target[1] | 0x20) == u'm' &&
                        (target[2] | 0x20) == u'l';
    if (bDeclaration) {
        if (m_phase == Phase::Epilogue) {
            // A second document: the rest goes.
            m_fRepairs |= c_fRepairTrailingJunk;
            m_bStop = true;
            return Scan::Done;
        }
        // Kept only at the start: after a mark and white space (dropped), nothing else.
        size_t ichKeep = (!m_out.empty() && m_out[0] == u'\uFEFF') ? 1 : 0;
        bool bAtStart = m_phase == Phase::Prolog;
        for (size_t i = ichKeep; bAtStart && i < m_out.size(); ++i) bAtStart = IsSpace(m_out[i]);
        if (!bAtStart || !IsWellFormedXmlDeclaration(m_s.substr(m_i, ichEnd - m_i))) {
            m_fRepairs |= c_fRepairDeclaration;
            m_i = ichEnd;
            return Scan::Done;
        }
        if (m_out.size() > ichKeep) {
            m_out.resize(ichKeep);
            m_fRepairs |= c_fRepairLeadingJunk;
        }
    }
    AppendInput(m_i, ichEnd);
    m_i = ichEnd;
    return Scan::Done;
}

Scan Repairer::DocumentType() {
    if (m_phase == Phase::Root) return Scan::NotMarkup;
    const DocumentTypeRead read = ReadDocumentType(m_s, m_i, false);
    if (read.bEntities) {
        m_bRefused = true;
        return Scan::Done;
    }
    if (read.status == DocumentTypeRead::Cut) return Scan::Cut;
    if (read.status == DocumentTypeRead::WellFormed && !m_bDocumentType) {
        AppendInput(m_i, read.ichEnd);
        m_bDocumentType = true;
    } else {
        // A second one, or one not well-formed: dropped up to where it went wrong, and
        // read on from there, so nothing is read twice.
        m_fRepairs |= c_fRepairLeadingJunk;
    }
    m_i = read.ichEnd;
    return Scan::Done;
}

RepairResult Repairer::Run() {
    while (m_i < m_s.size() && !m_bStop && !TooLong()) {
        const char16_t c = m_s[m_i];
        if (c == u'<') {
            const size_t ichMark = m_out.size();
            Scan scan = Markup();
            if (m_bRefused) return RepairResult::DeclaresEntities;
            if (scan == Scan::Cut) {
                m_out.resize(ichMark);
                m_fRepairs |= c_fRepairTruncated;
                break;
            }
            if (scan == Scan::NotMarkup) {
                m_out.resize(ichMark);
                ++m_i;
                if (m_phase == Phase::Root) {
                    m_out += u"&lt;";
                    m_fRepairs |= c_fRepairMarkup;
                } else if (m_phase == Phase::Prolog) {
                    m_fRepairs |= c_fRepairLeadingJunk;
                } else {
                    m_fRepairs |= c_fRepairTrailingJunk;
                    m_bStop = true;
                }
            }
            continue;
        }
        if (m_phase == Phase::Root) {
            if (Text() == Scan::Cut) {
                m_fRepairs |= c_fRepairTruncated;
                break;
            }
        } else if (IsSpace(c) || (c == u'\uFEFF' && m_i == 0)) {
            m_out += c;
            ++m_i;
        } else if (m_phase == Phase::Prolog) {
            m_fRepairs |= c_fRepairLeadingJunk;
            ++m_i;
        } else {
            m_fRepairs |= c_fRepairTrailingJunk;
            m_bStop = true;
        }
    }
    if (m_bTooLong) return RepairResult::TooLong;
    Finish();
    return TooLong() ? RepairResult::TooLong : RepairResult::Repaired;
}

void Repairer::Finish() {
    if (!m_stack.empty()) {
        m_fRepairs |= c_fRepairTruncated;
        // Back to before the outermost unfinished item, then close what stays open.
        if (!m_items.empty()) {
            const OpenItem item = m_items.front();
            m_out.resize(item.ichOut);
            m_fRepairs = item.fRepairsBefore | c_fRepairTruncated;
            m_undeclared.resize(item.cUndeclaredBefore);
            while (m_stack.size() > item.iElement) CloseInnermost(false);
        }
        while (!m_stack.empty()) CloseInnermost(true);
    }
    if (!m_undeclared.empty() && m_ichRootNameEnd <= m_out.size()) {
        std::u16string declarations;
        for (std::u16string_view prefix : m_undeclared) {
            declarations += u" xmlns:";
            declarations.append(prefix);
            declarations += u"=\"";
            declarations += c_szUndeclaredNamespace;
            declarations.append(prefix);
            declarations += u'"';
        }
        m_out.insert(m_ichRootNameEnd, declarations);
    }
}

}  // namespace

RepairResult RepairFeedText(std::u16string_view text, std::u16string& repairedOut, unsigned& fRepairsOut,
                            size_t cchMax) {
    repairedOut.clear();
    fRepairsOut = 0;
    // The characters XML forbids go first, so that the markup is read as it will be
    // parsed: a control between "]]" and ">" must not hide the end of a CDATA section.
    std::u16string allowed;
    const bool bForbidden = DropForbiddenCharacters(text, allowed);
    if (bForbidden) text = allowed;
    repairedOut.reserve(std::min(text.size() + text.size() / 8 + 64, cchMax));
    Repairer repairer(text, repairedOut, cchMax);
    const RepairResult result = repairer.Run();
    if (result != RepairResult::Repaired) {
        repairedOut.clear();
        repairedOut.shrink_to_fit();
        return result;
    }
    fRepairsOut = repairer.Repairs() | (bForbidden ? unsigned(c_fRepairControls) : 0u);
    return result;
}

std::u16string DescribeRepairs(unsigned fRepairs) {
    static const char16_t* const c_rgszNames[] = {
        u"entities",   u"ampersands", u"stray markup",    u"control characters", u"mismatched tags",
        u"namespaces", u"comments",   u"XML declaration", u"leading junk",       u"trailing junk",
        u"truncated",
    };
    std::u16string names;
    for (size_t k = 0; k < sizeof(c_rgszNames) / sizeof(c_rgszNames[0]); ++k) {
        if (!(fRepairs & (1u << k))) continue;
        if (!names.empty()) names += u", ";
        names += c_rgszNames[k];
    }
    return names;
}
