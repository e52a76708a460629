#include "text/utf8.h"

bool IsValidUtf8(std::string_view bytes) {
    const size_t n = bytes.size();
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
            return false;
        }
        if (n - i < cb) return false;
        unsigned char second = static_cast<unsigned char>(bytes[i + 1]);
        if (second < lo || second > hi) return false;
        for (size_t k = 2; k < cb; ++k) {
            unsigned char c = static_cast<unsigned char>(bytes[i + k]);
            if (c < 0x80 || c > 0xBF) return false;
        }
        i += cb;
    }
    return true;
}
