#include "text/oneline.h"

bool IsControlUnit(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

std::u16string OneLineText(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out)
        if (IsControlUnit(c)) c = u' ';
    return out;
}

std::u16string TrimmedOneLine(std::u16string_view text) {
    std::u16string out = OneLineText(text);
    size_t first = out.find_first_not_of(u' ');
    if (first == std::u16string::npos) return std::u16string();
    return out.substr(first, out.find_last_not_of(u' ') - first + 1);
}
