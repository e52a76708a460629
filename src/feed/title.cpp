#include "feed/title.h"
#include <cstdint>
#include <cwchar>

namespace {

struct NamedEntity {
    const wchar_t* szName;
    uint16_t wChar;
};

// The named entities of HTML that feeds use outside Latin-1.
const NamedEntity c_entities[] = {
    {L"quot", 34},     {L"amp", 38},      {L"apos", 39},    {L"lt", 60},        {L"gt", 62},
    {L"OElig", 338},   {L"oelig", 339},   {L"Scaron", 352}, {L"scaron", 353},   {L"Yuml", 376},
    {L"fnof", 402},    {L"circ", 710},    {L"tilde", 732},  {L"ensp", 8194},    {L"emsp", 8195},
    {L"thinsp", 8201}, {L"zwnj", 8204},   {L"zwj", 8205},   {L"lrm", 8206},     {L"rlm", 8207},
    {L"ndash", 8211},  {L"mdash", 8212},  {L"lsquo", 8216}, {L"rsquo", 8217},   {L"sbquo", 8218},
    {L"ldquo", 8220},  {L"rdquo", 8221},  {L"bdquo", 8222}, {L"dagger", 8224},  {L"Dagger", 8225},
    {L"bull", 8226},   {L"hellip", 8230}, {L"permil", 8240}, {L"prime", 8242},  {L"Prime", 8243},
    {L"lsaquo", 8249}, {L"rsaquo", 8250}, {L"oline", 8254}, {L"frasl", 8260},   {L"euro", 8364},
    {L"trade", 8482},  {L"larr", 8592},   {L"uarr", 8593},  {L"rarr", 8594},    {L"darr", 8595},
    {L"harr", 8596},   {L"minus", 8722},  {L"infin", 8734}, {L"ne", 8800},      {L"le", 8804},
    {L"ge", 8805},
};

// The Latin-1 entities, U+00A0 to U+00FF in order.
const wchar_t* const c_latin1[96] = {
    L"nbsp",   L"iexcl",  L"cent",   L"pound",  L"curren", L"yen",    L"brvbar", L"sect",   L"uml",    L"copy",
    L"ordf",   L"laquo",  L"not",    L"shy",    L"reg",    L"macr",   L"deg",    L"plusmn", L"sup2",   L"sup3",
    L"acute",  L"micro",  L"para",   L"middot", L"cedil",  L"sup1",   L"ordm",   L"raquo",  L"frac14", L"frac12",
    L"frac34", L"iquest", L"Agrave", L"Aacute", L"Acirc",  L"Atilde", L"Auml",   L"Aring",  L"AElig",  L"Ccedil",
    L"Egrave", L"Eacute", L"Ecirc",  L"Euml",   L"Igrave", L"Iacute", L"Icirc",  L"Iuml",   L"ETH",    L"Ntilde",
    L"Ograve", L"Oacute", L"Ocirc",  L"Otilde", L"Ouml",   L"times",  L"Oslash", L"Ugrave", L"Uacute", L"Ucirc",
    L"Uuml",   L"Yacute", L"THORN",  L"szlig",  L"agrave", L"aacute", L"acirc",  L"atilde", L"auml",   L"aring",
    L"aelig",  L"ccedil", L"egrave", L"eacute", L"ecirc",  L"euml",   L"igrave", L"iacute", L"icirc",  L"iuml",
    L"eth",    L"ntilde", L"ograve", L"oacute", L"ocirc",  L"otilde", L"ouml",   L"divide", L"oslash", L"ugrave",
    L"uacute", L"ucirc",  L"uuml",   L"yacute", L"thorn",  L"yuml",
};

// What references to 128..159 stand for: the windows-1252 characters (0: unchanged).
const uint16_t c_windows1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

const uint32_t c_replacement = 0xFFFD;
const uint32_t c_pastUnicode = 0x110000;

bool IsAsciiAlpha(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

bool IsAsciiAlnum(wchar_t c) {
    return IsAsciiAlpha(c) || (c >= L'0' && c <= L'9');
}

int DigitValue(wchar_t c, bool bHex) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (bHex && c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (bHex && c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

wchar_t LowerAscii(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// White space for display: controls, line and paragraph separators and the Unicode
// space characters (no-break space included).
bool IsDisplaySpace(uint32_t c) {
    return c <= 0x20 || (c >= 0x7F && c <= 0xA0) || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
           c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// The output: bounded, with white space collapsed and trimmed as it is written.
struct DisplayWriter {
    wchar_t* szOut;
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
        if (bSpaceOwed) szOut[n++] = L' ';
        bSpaceOwed = false;
        if (c > 0xFFFF) {
            c -= 0x10000;
            szOut[n++] = static_cast<wchar_t>(0xD800 + (c >> 10));
            szOut[n++] = static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
        } else {
            szOut[n++] = static_cast<wchar_t>(c);
        }
    }
};

uint32_t ReferencedChar(uint32_t c) {
    if (c == 0 || c >= c_pastUnicode || (c >= 0xD800 && c <= 0xDFFF)) return c_replacement;
    if (c >= 0x80 && c <= 0x9F && c_windows1252[c - 0x80]) return c_windows1252[c - 0x80];
    return c;
}

// A character reference at p ("&#..."): its character, with p moved past it; false,
// p unchanged, when no digit follows.
bool ReadNumericReference(const wchar_t*& p, uint32_t* pChar) {
    const wchar_t* q = p + 2;
    const bool bHex = (*q == L'x' || *q == L'X');
    if (bHex) ++q;
    uint32_t value = 0;
    int cDigits = 0;
    for (int d; (d = DigitValue(*q, bHex)) >= 0; ++q, ++cDigits)
        value = value >= c_pastUnicode ? c_pastUnicode : value * (bHex ? 16 : 10) + static_cast<uint32_t>(d);
    if (cDigits == 0) return false;
    if (*q == L';') ++q;
    p = q;
    *pChar = ReferencedChar(value);
    return true;
}

// A named reference at p ("&name;"): its character, with p moved past it; false, p
// unchanged, for a name without ";" or one that is not known.
bool ReadNamedReference(const wchar_t*& p, uint32_t* pChar) {
    const wchar_t* szName = p + 1;
    const wchar_t* q = szName;
    while (IsAsciiAlnum(*q) && q - szName < 16) ++q;
    if (*q != L';') return false;
    const size_t cch = static_cast<size_t>(q - szName);
    auto matches = [&](const wchar_t* sz) { return wcslen(sz) == cch && wcsncmp(sz, szName, cch) == 0; };
    for (const NamedEntity& e : c_entities)
        if (matches(e.szName)) {
            *pChar = e.wChar;
            p = q + 1;
            return true;
        }
    for (uint32_t i = 0; i < 96; ++i)
        if (matches(c_latin1[i])) {
            *pChar = 0xA0 + i;
            p = q + 1;
            return true;
        }
    return false;
}

// Whether text at p starts with sz, ASCII letters compared without case.
bool StartsWithNoCase(const wchar_t* p, const wchar_t* sz) {
    for (; *sz; ++p, ++sz)
        if (LowerAscii(*p) != *sz) return false;
    return true;
}

// Where the first "</name" at or after p begins (name in lower case), or the end.
const wchar_t* FindEndTag(const wchar_t* p, const wchar_t* szName) {
    for (; *p; ++p)
        if (p[0] == L'<' && p[1] == L'/' && StartsWithNoCase(p + 2, szName)) return p;
    return p;
}

bool IsBreakingTag(const wchar_t* szName) {
    static const wchar_t* const c_names[] = {L"br", L"p",  L"div", L"li", L"tr", L"td", L"th", L"hr",
                                             L"h1", L"h2", L"h3",  L"h4", L"h5", L"h6", L"dd", L"dt",
                                             L"ul", L"ol", L"table", L"blockquote"};
    for (const wchar_t* sz : c_names)
        if (wcscmp(sz, szName) == 0) return true;
    return false;
}

// Markup at p ("<"): skips it and returns true, or returns false when the "<" starts no
// markup. A tag left open, or an element whose content is skipped and never ends,
// takes the rest of the text.
bool SkipMarkup(const wchar_t*& p, DisplayWriter& out) {
    if (wcsncmp(p, L"<!--", 4) == 0) {
        const wchar_t* pEnd = wcsstr(p + 4, L"-->");
        p = pEnd ? pEnd + 3 : p + wcslen(p);
        return true;
    }
    const bool bEndTag = p[1] == L'/';
    const wchar_t* q = p + (bEndTag ? 2 : 1);
    if (!IsAsciiAlpha(*q) && (bEndTag || (*q != L'!' && *q != L'?'))) return false;

    // The tag's name in lower case; a name too long for the buffer is none we know.
    wchar_t szName[16] = {};
    size_t cchName = 0;
    for (; IsAsciiAlnum(*q); ++q, ++cchName)
        if (cchName < 15) szName[cchName] = LowerAscii(*q);
    if (cchName >= 15) szName[0] = 0;

    wchar_t quote = 0;
    for (; *q; ++q) {
        if (quote) {
            if (*q == quote) quote = 0;
        } else if (*q == L'"' || *q == L'\'') {
            quote = *q;
        } else if (*q == L'>') {
            break;
        }
    }
    if (!*q) {
        p = q;
        return true;
    }
    p = q + 1;
    if (IsBreakingTag(szName)) out.Space();
    if (!bEndTag && (wcscmp(szName, L"script") == 0 || wcscmp(szName, L"style") == 0)) p = FindEndTag(p, szName);
    return true;
}

}  // namespace

void DisplayTextFromTitle(wchar_t* szOut, size_t cchOut, const wchar_t* szTitle) {
    if (!szOut || cchOut == 0) return;
    DisplayWriter out{szOut, cchOut - 1};
    const wchar_t* p = szTitle ? szTitle : L"";
    while (*p && !out.bFull) {
        uint32_t c = 0;
        if (*p == L'<' && SkipMarkup(p, out)) continue;
        if (*p == L'&' && ((p[1] == L'#' && ReadNumericReference(p, &c)) || ReadNamedReference(p, &c))) {
            out.Put(c);
            continue;
        }
        c = *p++;
        if (c >= 0xD800 && c <= 0xDBFF && *p >= 0xDC00 && *p <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (*p++ - 0xDC00);
        out.Put(c);
    }
    szOut[out.n] = 0;
}
