// The JSON writer of the tools: whatever the text, the output is one valid JSON string
// in UTF-8 that a reader turns back into the text (an unpaired surrogate read as U+FFFD).
#include "fuzz.h"
#include "text/json.h"

namespace {

// A strict reader of one JSON string literal in UTF-8 (RFC 8259): false for anything
// else, trailing bytes included.
bool ReadJsonString(std::string_view json, std::u16string* pOut) {
    auto byte = [&](size_t i) { return static_cast<uint8_t>(json[i]); };
    if (json.size() < 2 || json[0] != '"') return false;
    size_t i = 1;
    auto hex4 = [&](uint32_t* pValue) {
        if (json.size() - i < 4) return false;
        uint32_t v = 0;
        for (int k = 0; k < 4; ++k) {
            char c = json[i++];
            int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (d < 0) return false;
            v = v * 16 + static_cast<uint32_t>(d);
        }
        *pValue = v;
        return true;
    };
    while (i < json.size()) {
        const uint8_t b = byte(i);
        if (b == '"') return i + 1 == json.size();
        if (b < 0x20) return false;
        if (b == '\\') {
            if (++i >= json.size()) return false;
            char e = json[i++];
            uint32_t v = 0;
            switch (e) {
            case '"': *pOut += u'"'; break;
            case '\\': *pOut += u'\\'; break;
            case '/': *pOut += u'/'; break;
            case 'b': *pOut += u'\b'; break;
            case 'f': *pOut += u'\f'; break;
            case 'n': *pOut += u'\n'; break;
            case 'r': *pOut += u'\r'; break;
            case 't': *pOut += u'\t'; break;
            case 'u':
                if (!hex4(&v)) return false;
                *pOut += static_cast<char16_t>(v);
                break;
            default: return false;
            }
            continue;
        }
        // UTF-8: shortest form, no surrogates, at most U+10FFFF.
        size_t len = b < 0x80 ? 1 : b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
        if (len == 0 || json.size() - i < len) return false;
        uint32_t c = len == 1 ? b : len == 2 ? b & 0x1Fu : len == 3 ? b & 0x0Fu : b & 0x07u;
        for (size_t k = 1; k < len; ++k) {
            if ((byte(i + k) & 0xC0) != 0x80) return false;
            c = (c << 6) | (byte(i + k) & 0x3Fu);
        }
        static const uint32_t c_min[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < c_min[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        i += len;
        if (c > 0xFFFF) {
            *pOut += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            *pOut += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            *pOut += static_cast<char16_t>(c);
        }
    }
    return false;
}

// text with each unpaired surrogate as U+FFFD.
std::u16string Paired(std::u16string text) {
    for (size_t i = 0; i < text.size(); ++i) {
        bool bHigh = text[i] >= 0xD800 && text[i] <= 0xDBFF, bLow = text[i] >= 0xDC00 && text[i] <= 0xDFFF;
        if (bHigh && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            ++i;
        else if (bHigh || bLow)
            text[i] = 0xFFFD;
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::u16string text = fuzz::DecodeText(fuzz::Expand(fuzz::Bytes(data, size)));
    std::string json;
    const fuzz::Exact exact(text);
    fuzz::WithinTimeBound(text.size(), [&] { json = JsonString(exact); });
    std::u16string read;
    FUZZ_CHECK(ReadJsonString(json, &read));
    FUZZ_CHECK(read == Paired(text));
    return 0;
}
