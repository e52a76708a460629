#include "text/ini.h"
#include "text/oneline.h"

namespace {

bool IsIniSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f' || c == 0x1A;
}

std::u16string_view Trim(std::u16string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && IsIniSpace(s[b])) ++b;
    while (e > b && IsIniSpace(s[e - 1])) --e;
    return s.substr(b, e - b);
}

bool IsQuoted(std::u16string_view s) {
    return s.size() >= 2 && (s[0] == u'"' || s[0] == u'\'') && s.back() == s[0];
}

}  // namespace

IniLine ParseIniLine(std::u16string_view line) {
    IniLine out;
    std::u16string_view text = Trim(line);
    if (text.empty()) return out;
    if (text[0] == u';') {
        out.kind = IniLine::COMMENT;
        return out;
    }
    if (text[0] == u'[') {
        size_t close = text.rfind(u']');
        if (close != std::u16string_view::npos && close > 0) {
            out.kind = IniLine::SECTION;
            out.name = Trim(text.substr(1, close - 1));
            return out;
        }
    }
    out.kind = IniLine::ENTRY;
    size_t eq = text.find(u'=');
    out.name = Trim(text.substr(0, eq));
    if (eq != std::u16string_view::npos) {
        out.value = Trim(text.substr(eq + 1));
        out.bHasValue = true;
    }
    return out;
}

std::u16string IniValueAsRead(std::u16string_view value, size_t cchLimit) {
    if (IsQuoted(value)) value = value.substr(1, value.size() - 2);
    return std::u16string(value.substr(0, cchLimit));
}

std::u16string IniValueToWrite(std::u16string_view value) {
    std::u16string out = OneLineText(value);
    if (!out.empty() && (IsIniSpace(out[0]) || IsIniSpace(out.back()) || IsQuoted(out)))
        out = u'"' + out + u'"';
    return out;
}
