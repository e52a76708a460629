// Text that must stay on one line: values written into an INI file and titles that
// arrive from a feed or a subscription list. A line break inside such a value would end
// the line in the file and start a new key or section; other control characters have
// no business in a title either.
#pragma once
#include <string>
#include <string_view>

// True for the control characters: U+0000 to U+001F, U+007F and U+0080 to U+009F.
bool IsControlUnit(char16_t c);
// text with every control character (CR, LF, NUL, tab, ...) replaced by one space;
// nothing else changes, so the result has the same length.
std::u16string OneLineText(std::u16string_view text);
// OneLineText without the spaces at either end: a title written over several lines
// of its element keeps its words and loses the line breaks around them.
std::u16string TrimmedOneLine(std::u16string_view text);
