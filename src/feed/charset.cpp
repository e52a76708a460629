#include "feed/charset.h"
#include <windows.h>
#include <mlang.h>
#include <cstring>
#include <cwchar>
#include <utility>
#include <vector>
#include <new>
#include "core/docklet.h"
#include "core/u16.h"
#include "core/unique.h"
#include "text/header.h"
#include "text/prolog.h"
#include "text/utf8.h"

namespace {

// MLang's identifiers (public values).
const CLSID c_clsidMultiLanguage = {0x275C23E2, 0x3747, 0x11D0, {0x9F, 0xEA, 0x00, 0xAA, 0x00, 0x3F, 0x86, 0x46}};
const IID c_iidMultiLanguage2 = {0xDCCFC164, 0x2B38, 0x11D2, {0xB7, 0xEC, 0x00, 0xC0, 0x4F, 0x8F, 0x5D, 0x9A}};

const UINT c_cpUtf16LE = 1200;
const UINT c_cpUtf16BE = 1201;
// What the charset database answered, kept for the process (asking it costs a COM
// object each time); bounded, so names a hostile server makes up cannot fill memory.
const size_t c_cMaxRemembered = 64;
const char c_utf8Mark[] = "\xEF\xBB\xBF";

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

// The code page the charset database gives for a name; 0 when it is unknown.
UINT CodePageOfName(const std::wstring& name) {
    if (!IsCharsetName(AsU16(name))) return 0;
    std::wstring lower = AsciiLower(name);
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

// The code page to read the body in and the byte-order mark to skip; false with the
// name, fit for a message, when it is unknown.
bool FindCodePage(std::string_view body, const std::wstring& contentType, UINT* pcp, size_t* pcbMark,
                  std::wstring& unknownNameOut) {
    BodyCharset chosen = ChooseBodyCharset(body, AsU16(contentType));
    *pcbMark = chosen.cbMark;
    switch (chosen.kind) {
    case BodyCharset::UTF8: *pcp = CP_UTF8; return true;
    case BodyCharset::UTF16LE: *pcp = c_cpUtf16LE; return true;
    case BodyCharset::UTF16BE: *pcp = c_cpUtf16BE; return true;
    case BodyCharset::NAMED: break;
    }
    std::wstring name = AsWide(chosen.name);
    *pcp = CodePageOfName(name);
    if (*pcp) return true;
    unknownNameOut = PrintableName(name);
    return false;
}

void DecodeBytes(std::string_view bytes, UINT cp, std::wstring& out) {
    out.clear();
    const char* p = bytes.data();
    size_t cb = bytes.size();
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

// Takes the declaration's encoding out of decoded text.
void RemoveDeclaredEncoding(std::wstring& text) {
    DeclaredEncoding declared;
    if (FindDeclaredEncoding(AsU16(text), &declared)) text.erase(declared.start, declared.end - declared.start);
}

// A byte array of cb bytes for the parser; null when memory runs out.
SAFEARRAY* NewByteArray(size_t cb, char** ppData) {
    if (cb > 0x7FFFFFFF) return nullptr;
    SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(cb));
    if (!psa) return nullptr;
    void* pv = nullptr;
    if (FAILED(SafeArrayAccessData(psa, &pv))) {
        SafeArrayDestroy(psa);
        return nullptr;
    }
    *ppData = static_cast<char*>(pv);
    return psa;
}

}  // namespace

bool DecodeResponseText(std::string_view body, const std::wstring& contentType, std::wstring& textOut,
                        std::wstring& unknownNameOut) {
    textOut.clear();
    unknownNameOut.clear();
    UINT cp = 0;
    size_t cbMark = 0;
    if (!FindCodePage(body, contentType, &cp, &cbMark, unknownNameOut)) return false;
    DecodeBytes(body.substr(cbMark), cp, textOut);
    RemoveDeclaredEncoding(textOut);
    return true;
}

bool MakeXmlBytes(std::string_view body, const std::wstring& contentType, qm::UniqueSafeArray& out,
                  bool* pbEntities, std::wstring& unknownNameOut) {
    out.reset();
    unknownNameOut.clear();
    UINT cp = 0;
    size_t cbMark = 0;
    if (!FindCodePage(body, contentType, &cp, &cbMark, unknownNameOut)) return false;
    std::string_view bytes = body.substr(cbMark);
    char* pData = nullptr;
    if (cp == CP_UTF8 && IsValidUtf8(bytes)) {
        // As it came, but for the declaration's encoding.
        *pbEntities = PrologDeclaresEntities(bytes);
        DeclaredEncoding declared;
        if (!FindDeclaredEncoding(bytes, &declared)) declared = DeclaredEncoding();
        size_t cbCut = declared.end - declared.start;
        out.reset(NewByteArray(3 + bytes.size() - cbCut, &pData));
        if (!out) throw std::bad_alloc();
        memcpy(pData, c_utf8Mark, 3);
        memcpy(pData + 3, bytes.data(), declared.start);
        memcpy(pData + 3 + declared.start, bytes.data() + declared.end, bytes.size() - declared.end);
    } else {
        std::wstring text;
        DecodeBytes(bytes, cp, text);
        RemoveDeclaredEncoding(text);
        *pbEntities = PrologDeclaresEntities(AsU16(text));
        int cch = static_cast<int>(text.size());
        int cb = cch ? WideCharToMultiByte(CP_UTF8, 0, text.data(), cch, nullptr, 0, nullptr, nullptr) : 0;
        out.reset(NewByteArray(3 + static_cast<size_t>(cb), &pData));
        if (!out) throw std::bad_alloc();
        memcpy(pData, c_utf8Mark, 3);
        if (cb) WideCharToMultiByte(CP_UTF8, 0, text.data(), cch, pData + 3, cb, nullptr, nullptr);
    }
    SafeArrayUnaccessData(out.get());
    return true;
}

bool DeclaresEntities(const std::wstring& text) {
    return PrologDeclaresEntities(AsU16(text));
}
