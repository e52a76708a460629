// Ordering of UTF-16 text against the ASCII names of the constant tables in src/text,
// which are sorted in byte order for binary search.
#pragma once
#include <cstddef>
#include <string_view>

// Compares s with the zero-terminated ASCII string sz unit by unit, as strcmp would:
// negative when s sorts first, 0 when equal, positive when sz sorts first.
inline int CompareWithAscii(std::u16string_view s, const char* sz) {
    size_t i = 0;
    for (; i < s.size() && sz[i]; ++i) {
        char16_t b = static_cast<unsigned char>(sz[i]);
        if (s[i] != b) return s[i] < b ? -1 : 1;
    }
    if (i < s.size()) return 1;
    return sz[i] ? -1 : 0;
}

// The row of a table sorted by its field szName whose name equals name; null when none.
template <typename Row, size_t N>
const Row* FindByAsciiName(const Row (&rows)[N], std::u16string_view name) {
    size_t lo = 0, hi = N;
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        int cmp = CompareWithAscii(name, rows[mid].szName);
        if (cmp == 0) return &rows[mid];
        if (cmp < 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    return nullptr;
}
