#include "text/utf8.h"

Utf8Form CheckUtf8(std::string_view bytes, size_t* pcbWhole) {
    const size_t n = bytes.size();
    if (pcbWhole) *pcbWhole = n;
    size_t i = 0;
    while (i < n) {
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        size_t cb;
        // The range the second byte must lie in, which rules out overlong forms,
        // surrogates and code points above U+10FFFF.
        unsigned char lo = 0x80, hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            cb = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            cb = 3;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            cb = 4;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        } else {
            return Utf8Form::Invalid;
        }
        for (size_t k = 1; k < cb; ++k) {
            if (i + k >= n) {
                if (pcbWhole) *pcbWhole = i;
                return Utf8Form::CutShort;
            }
            unsigned char c = static_cast<unsigned char>(bytes[i + k]);
            if (c < (k == 1 ? lo : 0x80) || c > (k == 1 ? hi : 0xBF)) return Utf8Form::Invalid;
        }
        i += cb;
    }
    return Utf8Form::Valid;
}
