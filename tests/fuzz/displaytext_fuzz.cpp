// The display text of a title: whatever a feed puts in a title, what shows has no
// control character, is never longer than the title, is cut only between characters,
// and is the same text however small the buffer, only shorter.
#include <vector>
#include "fuzz.h"
#include "text/displaytext.h"

namespace {

bool IsHigh(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLow(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Whether text holds a surrogate that is not half of a pair.
bool HasUnpaired(std::u16string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsHigh(text[i]) && i + 1 < text.size() && IsLow(text[i + 1]))
            ++i;
        else if (IsHigh(text[i]) || IsLow(text[i]))
            return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the buffer of a short display (a menu line, the icon's text).
    const size_t cchSmall = 1 + data[0] % 64;
    const std::u16string title = fuzz::DecodeText(fuzz::Expand(fuzz::Bytes(data + 1, size - 1)));
    const fuzz::Exact exact(title);
    std::vector<char16_t> full(title.size() + 1, u'#'), small(cchSmall, u'#');
    size_t n = 0;
    fuzz::WithinTimeBound(title.size(), [&] { n = DisplayTextFromTitle(full.data(), full.size(), exact); });
    const std::u16string_view shown(full.data(), n);

    FUZZ_CHECK(n <= title.size() && full[n] == 0);
    FUZZ_CHECK(shown.empty() || (shown.front() != u' ' && shown.back() != u' '));
    FUZZ_CHECK(shown.find(u"  ") == shown.npos);
    for (char16_t c : shown) FUZZ_CHECK(c >= 0x20 && !(c >= 0x7F && c <= 0x9F));
    // Pairs come whole from the title or from a reference; an unpaired half only from
    // an unpaired half of the title.
    FUZZ_CHECK(!HasUnpaired(shown) || HasUnpaired(title));

    const size_t m = DisplayTextFromTitle(small.data(), small.size(), exact);
    FUZZ_CHECK(m < cchSmall && small[m] == 0);
    FUZZ_CHECK(shown.substr(0, m) == std::u16string_view(small.data(), m));
    if (m < n) {
        // Cut only where the next character (with the space before it) does not fit,
        // and never between the halves of a pair.
        size_t k = m + (shown[m] == u' ' ? 1 : 0);
        size_t cchNext = k - m + (IsHigh(shown[k]) && k + 1 < n && IsLow(shown[k + 1]) ? 2 : 1);
        FUZZ_CHECK(m + cchNext > cchSmall - 1);
        FUZZ_CHECK(m == 0 || !IsHigh(small[m - 1]) || !IsLow(shown[m]));
    }
    return 0;
}
