#include "text/ascii.h"

namespace {
char16_t LowerUnit(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}
}  // namespace

std::u16string AsciiLower(std::u16string_view s) {
    std::u16string out(s);
    for (char16_t& c : out) c = LowerUnit(c);
    return out;
}

bool AsciiEqualNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerUnit(a[i]) != LowerUnit(b[i])) return false;
    return true;
}

std::u16string PrintableName(std::u16string_view name) {
    const size_t cchShown = 40;
    std::u16string shown;
    for (size_t i = 0; i < name.size() && i < cchShown; ++i)
        shown += (name[i] >= 0x20 && name[i] < 0x7F) ? name[i] : u'?';
    if (name.size() > cchShown) shown += u"...";
    return shown;
}
