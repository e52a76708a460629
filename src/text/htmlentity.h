// The character entity references of HTML, which feeds written by HTML tools use in
// XML where XML does not define them.
#pragma once
#include <string_view>

// The code point that the HTML 4.01 entity name (as between '&' and ';', case-sensitive)
// stands for; 0 when it is none of them. XML's own five (amp, lt, gt, quot, apos) are
// not looked up here: they are 0 too.
char32_t HtmlEntityCodePoint(std::u16string_view name);
