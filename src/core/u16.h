// The bridge between the docklet's wide text and the pure text functions of src/text,
// which work on char16_t: on Windows both are UTF-16 code units of the same size, so
// the views share the memory and only owned strings are copied.
#pragma once
#include <string>
#include <string_view>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t must be UTF-16 here");

inline std::u16string_view AsU16(std::wstring_view s) {
    return {reinterpret_cast<const char16_t*>(s.data()), s.size()};
}
inline std::wstring_view AsWideView(std::u16string_view s) {
    return {reinterpret_cast<const wchar_t*>(s.data()), s.size()};
}
inline std::wstring AsWide(std::u16string_view s) {
    return std::wstring(AsWideView(s));
}
