#include "text/displaytext.h"
#include <algorithm>
#include <array>
#include <cstdint>

namespace {

using Name = std::u16string_view;
const size_t npos = Name::npos;

struct NamedEntity {
    Name name;
    char16_t c;
};

// The named entities of HTML that feeds use outside Latin-1.
const NamedEntity c_entities[] = {
    {u"quot", 34},     {u"amp", 38},      {u"apos", 39},     {u"lt", 60},       {u"gt", 62},
    {u"OElig", 338},   {u"oelig", 339},   {u"Scaron", 352},  {u"scaron", 353},  {u"Yuml", 376},
    {u"fnof", 402},    {u"circ", 710},    {u"tilde", 732},   {u"ensp", 8194},   {u"emsp", 8195},
    {u"thinsp", 8201}, {u"zwnj", 8204},   {u"zwj", 8205},    {u"lrm", 8206},    {u"rlm", 8207},
    {u"ndash", 8211},  {u"mdash", 8212},  {u"lsquo", 8216},  {u"rsquo", 8217},  {u"sbquo", 8218},
    {u"ldquo", 8220},  {u"rdquo", 8221},  {u"bdquo", 8222},  {u"dagger", 8224}, {u"Dagger", 8225},
    {u"bull", 8226},   {u"hellip", 8230}, {u"permil", 8240}, {u"prime", 8242},  {u"Prime", 8243},
    {u"lsaquo", 8249}, {u"rsaquo", 8250}, {u"oline", 8254},  {u"frasl", 8260},  {u"euro", 8364},
    {u"trade", 8482},  {u"larr", 8592},   {u"uarr", 8593},   {u"rarr", 8594},   {u"darr", 8595},
    {u"harr", 8596},   {u"minus", 8722},  {u"infin", 8734},  {u"ne", 8800},     {u"le", 8804},
    {u"ge", 8805},
};

// The Latin-1 entities, U+00A0 to U+00FF in order.
const Name c_latin1[96] = {
    u"nbsp",   u"iexcl",  u"cent",   u"pound",  u"curren", u"yen",    u"brvbar", u"sect",   u"uml",    u"copy",
    u"ordf",   u"laquo",  u"not",    u"shy",    u"reg",    u"macr",   u"deg",    u"plusmn", u"sup2",   u"sup3",
    u"acute",  u"micro",  u"para",   u"middot", u"cedil",  u"sup1",   u"ordm",   u"raquo",  u"frac14", u"frac12",
    u"frac34", u"iquest", u"Agrave", u"Aacute", u"Acirc",  u"Atilde", u"Auml",   u"Aring",  u"AElig",  u"Ccedil",
    u"Egrave", u"Eacute", u"Ecirc",  u"Euml",   u"Igrave", u"Iacute", u"Icirc",  u"Iuml",   u"ETH",    u"Ntilde",
    u"Ograve", u"Oacute", u"Ocirc",  u"Otilde", u"Ouml",   u"times",  u"Oslash", u"Ugrave", u"Uacute", u"Ucirc",
    u"Uuml",   u"Yacute", u"THORN",  u"szlig",  u"agrave", u"aacute", u"acirc",  u"atilde", u"auml",   u"aring",
    u"aelig",  u"ccedil", u"egrave", u"eacute", u"ecirc",  u"euml",   u"igrave", u"iacute", u"icirc",  u"iuml",
    u"eth",    u"ntilde", u"ograve", u"oacute", u"ocirc",  u"otilde", u"ouml",   u"divide", u"oslash", u"ugrave",
    u"uacute", u"ucirc",  u"uuml",   u"yacute", u"thorn",  u"yuml",
};

const size_t c_cEntities = sizeof(c_entities) / sizeof(c_entities[0]) + 96;

// Both tables in one, sorted by name, so a reference costs a binary search however
// many of them a title holds.
const std::array<NamedEntity, c_cEntities>& SortedEntities() {
    static const std::array<NamedEntity, c_cEntities> s_sorted = [] {
        std::array<NamedEntity, c_cEntities> all{};
        size_t n = 0;
        for (const NamedEntity& e : c_entities) all[n++] = e;
        for (size_t i = 0; i < 96; ++i) all[n++] = {c_latin1[i], static_cast<char16_t>(0xA0 + i)};
        std::sort(all.begin(), all.end(), [](const NamedEntity& a, const NamedEntity& b) { return a.name < b.name; });
        return all;
    }();
    return s_sorted;
}

// What references to 128..159 stand for: the windows-1252 characters (0: unchanged).
const uint16_t c_windows1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

const uint32_t c_replacement = 0xFFFD;
const uint32_t c_pastUnicode = 0x110000;
// The longest entity name looked for; longer runs of letters are no reference.
const size_t c_cchMaxName = 16;

bool IsAsciiAlpha(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool IsAsciiAlnum(char16_t c) {
    return IsAsciiAlpha(c) || (c >= u'0' && c <= u'9');
}

int DigitValue(char16_t c, bool bHex) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (bHex && c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (bHex && c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

char16_t LowerAscii(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

// White space for display: controls, line and paragraph separators and the Unicode
// space characters (no-break space included).
bool IsDisplaySpace(uint32_t c) {
    return c <= 0x20 || (c >= 0x7F && c <= 0xA0) || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
           c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// The output: bounded, with white space collapsed and trimmed as it is written.
struct DisplayWriter {
    char16_t* szOut;
    size_t cchMax;  // text units, the terminator not counted
    size_t n = 0;
    bool bSpaceOwed = false;
    bool bFull = false;

    void Space() {
        if (n) bSpaceOwed = true;
    }
    void Put(uint32_t c) {
        if (IsDisplaySpace(c)) return Space();
        if (bFull) return;
        const size_t cUnits = (c > 0xFFFF ? 2 : 1) + (bSpaceOwed ? 1 : 0);
        if (n + cUnits > cchMax) {
            bFull = true;
            return;
        }
        if (bSpaceOwed) szOut[n++] = u' ';
        bSpaceOwed = false;
        if (c > 0xFFFF) {
            c -= 0x10000;
            szOut[n++] = static_cast<char16_t>(0xD800 + (c >> 10));
            szOut[n++] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            szOut[n++] = static_cast<char16_t>(c);
        }
    }
};

uint32_t ReferencedChar(uint32_t c) {
    if (c == 0 || c >= c_pastUnicode || (c >= 0xD800 && c <= 0xDFFF)) return c_replacement;
    if (c >= 0x80 && c <= 0x9F && c_windows1252[c - 0x80]) return c_windows1252[c - 0x80];
    return c;
}

// The unit at i, or 0 past the end.
char16_t At(Name s, size_t i) {
    return i < s.size() ? s[i] : 0;
}

// A character reference at i ("&#..."): its character, with i moved past it; false,
// i unchanged, when no digit follows.
bool ReadNumericReference(Name s, size_t& i, uint32_t* pChar) {
    size_t q = i + 2;
    const bool bHex = At(s, q) == u'x' || At(s, q) == u'X';
    if (bHex) ++q;
    uint32_t value = 0;
    size_t cDigits = 0;
    for (int d; (d = DigitValue(At(s, q), bHex)) >= 0; ++q, ++cDigits)
        value = value >= c_pastUnicode ? c_pastUnicode : value * (bHex ? 16 : 10) + static_cast<uint32_t>(d);
    if (cDigits == 0) return false;
    if (At(s, q) == u';') ++q;
    i = q;
    *pChar = ReferencedChar(value);
    return true;
}

// A named reference at i ("&name;"): its character, with i moved past it; false, i
// unchanged, for a name without ";" or one that is not known.
bool ReadNamedReference(Name s, size_t& i, uint32_t* pChar) {
    const size_t nameStart = i + 1;
    size_t q = nameStart;
    while (q < s.size() && IsAsciiAlnum(s[q]) && q - nameStart < c_cchMaxName) ++q;
    if (At(s, q) != u';') return false;
    const Name name = s.substr(nameStart, q - nameStart);
    const auto& table = SortedEntities();
    auto it = std::lower_bound(table.begin(), table.end(), name,
                               [](const NamedEntity& e, Name key) { return e.name < key; });
    if (it == table.end() || it->name != name) return false;
    *pChar = it->c;
    i = q + 1;
    return true;
}

// Whether s at i starts with lowerWord, ASCII letters compared without case.
bool StartsWithNoCase(Name s, size_t i, Name lowerWord) {
    if (i > s.size() || s.size() - i < lowerWord.size()) return false;
    for (size_t k = 0; k < lowerWord.size(); ++k)
        if (LowerAscii(s[i + k]) != lowerWord[k]) return false;
    return true;
}

// Where the first "</name" at or after i begins (name in lower case), or the end.
size_t FindEndTag(Name s, size_t i, Name lowerName) {
    for (; (i = s.find(u"</", i)) != npos; ++i)
        if (StartsWithNoCase(s, i + 2, lowerName)) return i;
    return s.size();
}

bool IsBreakingTag(Name name) {
    static const Name c_names[] = {u"br", u"p",  u"div", u"li", u"tr", u"td", u"th",    u"hr",        u"h1", u"h2",
                                   u"h3", u"h4", u"h5",  u"h6", u"dd", u"dt", u"ul", u"ol", u"table", u"blockquote"};
    for (Name known : c_names)
        if (known == name) return true;
    return false;
}

// Markup at i ("<"): skips it and returns true, or returns false when the "<" starts no
// markup. A tag left open, or an element whose content is skipped and never ends,
// takes the rest of the text.
bool SkipMarkup(Name s, size_t& i, DisplayWriter& out) {
    if (s.substr(i, 4) == u"<!--") {
        const size_t end = s.find(u"-->", i + 4);
        i = end == npos ? s.size() : end + 3;
        return true;
    }
    const bool bEndTag = At(s, i + 1) == u'/';
    size_t q = i + (bEndTag ? 2 : 1);
    const char16_t first = At(s, q);
    if (!IsAsciiAlpha(first) && (bEndTag || (first != u'!' && first != u'?'))) return false;

    // The tag's name in lower case; a name too long for the buffer is none we know.
    char16_t szName[16] = {};
    size_t cchName = 0;
    for (; q < s.size() && IsAsciiAlnum(s[q]); ++q, ++cchName)
        if (cchName < 15) szName[cchName] = LowerAscii(s[q]);
    const Name name(szName, cchName < 15 ? cchName : 0);

    char16_t quote = 0;
    for (; q < s.size(); ++q) {
        if (quote) {
            if (s[q] == quote) quote = 0;
        } else if (s[q] == u'"' || s[q] == u'\'') {
            quote = s[q];
        } else if (s[q] == u'>') {
            break;
        }
    }
    if (q >= s.size()) {
        i = s.size();
        return true;
    }
    i = q + 1;
    if (IsBreakingTag(name)) out.Space();
    if (!bEndTag && (name == u"script" || name == u"style")) i = FindEndTag(s, i, name);
    return true;
}

}  // namespace

size_t DisplayTextFromTitle(char16_t* szOut, size_t cchOut, std::u16string_view title) {
    if (!szOut || cchOut == 0) return 0;
    DisplayWriter out{szOut, cchOut - 1};
    size_t i = 0;
    while (i < title.size() && !out.bFull) {
        uint32_t c = 0;
        if (title[i] == u'<' && SkipMarkup(title, i, out)) continue;
        if (title[i] == u'&' &&
            ((At(title, i + 1) == u'#' && ReadNumericReference(title, i, &c)) || ReadNamedReference(title, i, &c))) {
            out.Put(c);
            continue;
        }
        c = title[i++];
        if (c >= 0xD800 && c <= 0xDBFF && At(title, i) >= 0xDC00 && At(title, i) <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (title[i++] - 0xDC00u);
        out.Put(c);
    }
    szOut[out.n] = 0;
    return out.n;
}
