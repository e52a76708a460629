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
#include "text/declaration.h"
#include "text/encoding.h"
#include "text/header.h"
#include "text/prolog.h"
#include "text/repair.h"
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

// Whether the platform decodes code page cp.
bool CanDecode(UINT cp) {
    return MultiByteToWideChar(cp, 0, " ", 1, nullptr, 0) > 0;
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
    if (cp != c_cpUtf16LE && cp != c_cpUtf16BE && (cp == 0 || !CanDecode(cp)))
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

// How to decode a body: its code page (UTF-16 included), or "x-user-defined", and the
// byte-order mark to skip.
struct Decoding {
    UINT cp = CP_UTF8;
    bool bUserDefined = false;
    size_t cbMark = 0;
    bool bValidUtf8 = false;  // UTF-8 whose bytes are all well-formed
};

// How to decode the body; false with the name, fit for a message, when it is unknown.
// Names outside the label table are asked of the platform's charset database.
bool FindDecoding(std::string_view body, const std::wstring& contentType, Decoding* pDecoding,
                  std::wstring& unknownNameOut) {
    BodyCharset chosen = ChooseBodyCharset(body, AsU16(contentType));
    pDecoding->cbMark = chosen.cbMark;
    switch (chosen.kind) {
    case BodyCharset::UTF8:
        pDecoding->cp = CP_UTF8;
        pDecoding->bValidUtf8 = chosen.utf8 == Utf8Form::Valid;
        return true;
    case BodyCharset::UTF16LE: pDecoding->cp = c_cpUtf16LE; return true;
    case BodyCharset::UTF16BE: pDecoding->cp = c_cpUtf16BE; return true;
    case BodyCharset::USER_DEFINED: pDecoding->bUserDefined = true; return true;
    case BodyCharset::CODE_PAGE:
        pDecoding->cp = chosen.cp;
        if (CanDecode(chosen.cp)) return true;
        break;
    case BodyCharset::BY_NAME:
        pDecoding->cp = CodePageOfName(AsWide(chosen.name));
        if (pDecoding->cp) return true;
        break;
    case BodyCharset::REFUSED: break;
    }
    unknownNameOut = PrintableName(AsWide(chosen.name));
    return false;
}

void DecodeBytes(std::string_view bytes, const Decoding& decoding, std::wstring& out) {
    out.clear();
    const char* p = bytes.data();
    size_t cb = bytes.size();
    const UINT cp = decoding.cp;
    if (decoding.bUserDefined) {
        out = AsWide(DecodeUserDefined(bytes));
        return;
    }
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

// Text as the parser's bytes: UTF-8 behind its byte-order mark. False when it would
// pass cbMax bytes.
bool TextToXmlBytes(std::wstring_view text, size_t cbMax, qm::UniqueSafeArray& out) {
    const int cch = static_cast<int>(text.size());
    const int cb = cch ? WideCharToMultiByte(CP_UTF8, 0, text.data(), cch, nullptr, 0, nullptr, nullptr) : 0;
    if (3 + static_cast<size_t>(cb) > cbMax) return false;
    char* pData = nullptr;
    out.reset(NewByteArray(3 + static_cast<size_t>(cb), &pData));
    if (!out) throw std::bad_alloc();
    memcpy(pData, c_utf8Mark, 3);
    if (cb) WideCharToMultiByte(CP_UTF8, 0, text.data(), cch, pData + 3, cb, nullptr, nullptr);
    SafeArrayUnaccessData(out.get());
    return true;
}

}  // namespace

bool DecodeResponseText(std::string_view body, const std::wstring& contentType, std::wstring& textOut,
                        std::wstring& unknownNameOut) {
    textOut.clear();
    unknownNameOut.clear();
    Decoding decoding;
    if (!FindDecoding(body, contentType, &decoding, unknownNameOut)) return false;
    std::wstring text;
    DecodeBytes(body.substr(decoding.cbMark), decoding, text);
    textOut = AsWide(TextToParse(AsU16(text)));
    return true;
}

bool MakeXmlBytes(std::string_view body, const std::wstring& contentType, qm::UniqueSafeArray& out,
                  bool* pbEntities, std::wstring& unknownNameOut) {
    out.reset();
    unknownNameOut.clear();
    Decoding decoding;
    if (!FindDecoding(body, contentType, &decoding, unknownNameOut)) return false;
    std::string_view bytes = body.substr(decoding.cbMark);
    if (decoding.bValidUtf8) {
        // As it came, from its declaration on and without the declaration's encoding.
        *pbEntities = PrologDeclaresEntities(bytes);
        XmlDeclarationSpan span = FindDeclarationAfterWhiteSpace(bytes);
        std::string_view head = bytes.substr(span.ichText, span.ichEncoding - span.ichText);
        std::string_view tail = bytes.substr(span.ichEncodingEnd);
        char* pData = nullptr;
        out.reset(NewByteArray(3 + head.size() + tail.size(), &pData));
        if (!out) throw std::bad_alloc();
        memcpy(pData, c_utf8Mark, 3);
        memcpy(pData + 3, head.data(), head.size());
        memcpy(pData + 3 + head.size(), tail.data(), tail.size());
        SafeArrayUnaccessData(out.get());
    } else {
        std::wstring text;
        DecodeBytes(bytes, decoding, text);
        text = AsWide(TextToParse(AsU16(text)));
        *pbEntities = PrologDeclaresEntities(AsU16(text));
        TextToXmlBytes(text, SIZE_MAX, out);
    }
    return true;
}

bool RepairXmlBytes(qm::UniqueSafeArray& bytes, size_t cbMax, unsigned* pfRepairs) {
    *pfRepairs = 0;
    std::wstring text;
    void* pv = nullptr;
    if (!bytes || FAILED(SafeArrayAccessData(bytes.get(), &pv))) return false;
    const char* pData = static_cast<const char*>(pv);
    const size_t cb = bytes.get()->rgsabound[0].cElements;
    // Past the byte-order mark MakeXmlBytes puts first.
    const int cbText = cb > 3 ? static_cast<int>(cb - 3) : 0;
    const int cch = cbText ? MultiByteToWideChar(CP_UTF8, 0, pData + 3, cbText, nullptr, 0) : 0;
    if (cch > 0) {
        text.resize(static_cast<size_t>(cch));
        MultiByteToWideChar(CP_UTF8, 0, pData + 3, cbText, &text[0], cch);
    }
    SafeArrayUnaccessData(bytes.get());
    // The bytes are not parsed again as they are: freed now, so that a large body is
    // not held three times over.
    bytes.reset();
    std::u16string repaired;
    unsigned fRepairs = 0;
    // No UTF-8 byte gives more than one UTF-16 unit, so a repaired text longer than
    // cbMax units cannot fit.
    if (RepairFeedText(AsU16(text), repaired, fRepairs, cbMax) != RepairResult::Repaired || fRepairs == 0)
        return false;
    text.clear();
    text.shrink_to_fit();
    qm::UniqueSafeArray repairedBytes;
    if (!TextToXmlBytes(AsWideView(repaired), cbMax, repairedBytes)) return false;
    bytes = std::move(repairedBytes);
    *pfRepairs = fRepairs;
    return true;
}

bool DeclaresEntities(const std::wstring& text) {
    return PrologDeclaresEntities(AsU16(text));
}
