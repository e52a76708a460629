#include "feed/charset.h"
#include <windows.h>
#include <mlang.h>
#include <cstring>
#include <cwchar>
#include <utility>
#include <vector>
#include "core/docklet.h"
#include "core/unique.h"

namespace {

// MLang's identifiers (public values).
const CLSID c_clsidMultiLanguage = {0x275C23E2, 0x3747, 0x11D0, {0x9F, 0xEA, 0x00, 0xAA, 0x00, 0x3F, 0x86, 0x46}};
const IID c_iidMultiLanguage2 = {0xDCCFC164, 0x2B38, 0x11D2, {0xB7, 0xEC, 0x00, 0xC0, 0x4F, 0x8F, 0x5D, 0x9A}};

// Registered charset names are at most 40 characters; anything much longer is not one.
const size_t c_cchMaxName = 64;
// An XML declaration is short; one that does not end within this many characters is
// not looked into.
const size_t c_cchMaxDeclaration = 1024;

const UINT c_cpUtf16LE = 1200;
const UINT c_cpUtf16BE = 1201;
// What the charset database answered, kept for the process (asking it costs a COM
// object each time); bounded, so names a hostile server makes up cannot fill memory.
const size_t c_cMaxRemembered = 64;

bool IsNameChar(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
           (c != 0 && wcschr(L"!#$%&'*+-.^_`|~", c) != nullptr);
}

// A charset name is a token: letters, digits and a few marks, of sane length.
bool IsCharsetName(const std::wstring& name) {
    if (name.empty() || name.size() > c_cchMaxName) return false;
    for (wchar_t c : name)
        if (!IsNameChar(c)) return false;
    return true;
}

bool IsSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

// The charset parameter of a Content-Type value, unquoted; empty when there is none.
std::wstring CharsetParameter(const std::wstring& type) {
    size_t i = type.find(L';');
    while (i != std::wstring::npos && i < type.size()) {
        ++i;
        while (i < type.size() && IsSpace(type[i])) ++i;
        size_t nameStart = i;
        while (i < type.size() && type[i] != L'=' && type[i] != L';') ++i;
        std::wstring name = type.substr(nameStart, i - nameStart);
        while (!name.empty() && IsSpace(name.back())) name.pop_back();
        if (i >= type.size() || type[i] == L';') continue;
        ++i;  // '='
        while (i < type.size() && IsSpace(type[i])) ++i;
        std::wstring value;
        if (i < type.size() && type[i] == L'"') {
            for (++i; i < type.size() && type[i] != L'"'; ++i) {
                if (type[i] == L'\\' && i + 1 < type.size()) ++i;
                value += type[i];
            }
            if (i < type.size()) ++i;  // closing quote
        } else {
            size_t valueStart = i;
            while (i < type.size() && type[i] != L';') ++i;
            value = type.substr(valueStart, i - valueStart);
            while (!value.empty() && IsSpace(value.back())) value.pop_back();
        }
        if (AsciiLower(name) == L"charset") return value;
        i = type.find(L';', i);
    }
    return std::wstring();
}

// Where the encoding of an XML declaration at the start of s lies: [*pStart, *pEnd)
// runs from the white space before "encoding" through the closing quote of its value,
// [*pValue, *pValueEnd) is the value. False when s opens with no declaration or the
// declaration names no encoding.
template <typename Ch>
bool FindDeclaredEncoding(const Ch* s, size_t n, size_t* pStart, size_t* pEnd, size_t* pValue, size_t* pValueEnd) {
    static const char c_szOpen[] = "<?xml";
    if (n < 6) return false;
    for (size_t k = 0; k < 5; ++k)
        if (s[k] != static_cast<Ch>(c_szOpen[k])) return false;
    if (!IsSpace(static_cast<wchar_t>(s[5]))) return false;
    size_t limit = n < c_cchMaxDeclaration ? n : c_cchMaxDeclaration;
    size_t close = 5;
    while (close + 1 < limit && !(s[close] == static_cast<Ch>('?') && s[close + 1] == static_cast<Ch>('>'))) ++close;
    if (close + 1 >= limit) return false;
    static const char c_szName[] = "encoding";
    for (size_t i = 5; i + 8 <= close; ++i) {
        if (!IsSpace(static_cast<wchar_t>(s[i - 1]))) continue;
        size_t k = 0;
        while (k < 8 && s[i + k] == static_cast<Ch>(c_szName[k])) ++k;
        if (k < 8) continue;
        size_t j = i + 8;
        while (j < close && IsSpace(static_cast<wchar_t>(s[j]))) ++j;
        if (j >= close || s[j] != static_cast<Ch>('=')) return false;
        ++j;
        while (j < close && IsSpace(static_cast<wchar_t>(s[j]))) ++j;
        if (j >= close || (s[j] != static_cast<Ch>('"') && s[j] != static_cast<Ch>('\''))) return false;
        Ch quote = s[j];
        size_t valueStart = ++j;
        while (j < close && s[j] != quote) ++j;
        if (j >= close) return false;
        size_t start = i;
        while (start > 5 && IsSpace(static_cast<wchar_t>(s[start - 1]))) --start;
        *pStart = start;
        *pEnd = j + 1;
        *pValue = valueStart;
        *pValueEnd = j;
        return true;
    }
    return false;
}

// The code page the platform's charset database gives for a name, when the platform
// can decode it (0 when it is unknown). False when the database could not be asked.
bool AskCharsetDatabase(const std::wstring& name, UINT* pcp) {
    *pcp = 0;
    qm::ComPtr<IMultiLanguage2> pLanguages;
    if (FAILED(CoCreateInstance(c_clsidMultiLanguage, nullptr, CLSCTX_INPROC_SERVER, c_iidMultiLanguage2,
                                pLanguages.put_void())))
        return false;
    qm::UniqueBstr bstrName(SysAllocStringLen(name.data(), static_cast<UINT>(name.size())));
    if (!bstrName) return false;
    MIMECSETINFO info = {};
    if (FAILED(pLanguages->GetCharsetInfo(bstrName.get(), &info))) return true;
    UINT cp = info.uiInternetEncoding;
    // Known by name, but can the platform decode it? (UTF-16 is decoded here.)
    if (cp != c_cpUtf16LE && cp != c_cpUtf16BE && (cp == 0 || MultiByteToWideChar(cp, 0, " ", 1, nullptr, 0) <= 0))
        return true;
    *pcp = cp;
    return true;
}

// The code page of a charset name: UTF-16 (decoded here), else the charset database's
// answer; 0 when it is unknown.
UINT CodePageOfName(const std::wstring& name, const std::string& body) {
    if (!IsCharsetName(name)) return 0;
    std::wstring lower = AsciiLower(name);
    if (lower == L"utf-16le") return c_cpUtf16LE;
    if (lower == L"utf-16be") return c_cpUtf16BE;
    if (lower == L"utf-16")
        return (body.size() >= 2 && body[0] == 0 && body[1] != 0) ? c_cpUtf16BE : c_cpUtf16LE;
    static qm::CriticalSection s_cs;
    static std::vector<std::pair<std::wstring, UINT>> s_remembered;
    {
        qm::ScopedLock lock(s_cs);
        for (const auto& entry : s_remembered)
            if (entry.first == lower) return entry.second;
    }
    UINT cp = 0;
    if (!AskCharsetDatabase(name, &cp)) return 0;
    qm::ScopedLock lock(s_cs);
    if (s_remembered.size() < c_cMaxRemembered) s_remembered.emplace_back(lower, cp);
    return cp;
}

void DecodeBytes(const char* p, size_t cb, UINT cp, std::wstring& out) {
    out.clear();
    if (cp == c_cpUtf16LE || cp == c_cpUtf16BE) {
        out.resize(cb / 2);
        for (size_t i = 0; i < cb / 2; ++i) {
            unsigned b0 = static_cast<BYTE>(p[2 * i]), b1 = static_cast<BYTE>(p[2 * i + 1]);
            out[i] = static_cast<wchar_t>(cp == c_cpUtf16LE ? (b0 | (b1 << 8)) : ((b0 << 8) | b1));
        }
        return;
    }
    if (cb == 0) return;
    int cch = MultiByteToWideChar(cp, 0, p, static_cast<int>(cb), nullptr, 0);
    if (cch <= 0) return;
    out.resize(static_cast<size_t>(cch));
    MultiByteToWideChar(cp, 0, p, static_cast<int>(cb), &out[0], cch);
}

}  // namespace

bool DecodeResponseText(const std::string& body, const std::wstring& contentType, std::wstring& textOut,
                        std::wstring& unknownNameOut) {
    textOut.clear();
    unknownNameOut.clear();
    const char* p = body.data();
    size_t cb = body.size();
    const unsigned char* pb = reinterpret_cast<const unsigned char*>(p);
    UINT cp = 0;
    // 1. A byte-order mark.
    if (cb >= 3 && pb[0] == 0xEF && pb[1] == 0xBB && pb[2] == 0xBF) {
        cp = CP_UTF8;
        p += 3;
        cb -= 3;
    } else if (cb >= 2 && pb[0] == 0xFF && pb[1] == 0xFE) {
        cp = c_cpUtf16LE;
        p += 2;
        cb -= 2;
    } else if (cb >= 2 && pb[0] == 0xFE && pb[1] == 0xFF) {
        cp = c_cpUtf16BE;
        p += 2;
        cb -= 2;
    }
    // 2. The charset parameter of the Content-Type; 3. the XML declaration, in bytes that
    // read as ASCII, or in UTF-16 without a mark (which can only be UTF-16, whatever it
    // names).
    std::wstring name;
    if (!cp) name = CharsetParameter(contentType);
    if (!cp && name.empty()) {
        size_t start, end, value, valueEnd;
        if (cb >= 4 && pb[0] == '<' && pb[1] == 0 && pb[2] == '?' && pb[3] == 0) {
            cp = c_cpUtf16LE;
        } else if (cb >= 4 && pb[0] == 0 && pb[1] == '<' && pb[2] == 0 && pb[3] == '?') {
            cp = c_cpUtf16BE;
        } else if (FindDeclaredEncoding(p, cb, &start, &end, &value, &valueEnd)) {
            for (size_t i = value; i < valueEnd; ++i) name += static_cast<wchar_t>(static_cast<BYTE>(p[i]));
        }
    }
    if (!cp && !name.empty()) {
        cp = CodePageOfName(name, body);
        if (!cp) {
            unknownNameOut = PrintableName(name);
            return false;
        }
    }
    // 4. UTF-8.
    if (!cp) cp = CP_UTF8;
    DecodeBytes(p, cb, cp, textOut);
    size_t start, end, value, valueEnd;
    if (FindDeclaredEncoding(textOut.data(), textOut.size(), &start, &end, &value, &valueEnd))
        textOut.erase(start, end - start);
    return true;
}

bool DeclaresEntities(const std::wstring& text) {
    return text.find(L"<!DOCTYPE") != std::wstring::npos && text.find(L"<!ENTITY") != std::wstring::npos;
}
