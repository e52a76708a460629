// The display text of a title (text/displaytext.h) for the wide buffers of the records
// and the windows that show them.
#pragma once
#include <cstddef>

// szTitle as plain text into szOut, cut to cchOut - 1 units and always terminated; a
// null title gives empty text.
void DisplayTextFromTitle(wchar_t* szOut, size_t cchOut, const wchar_t* szTitle);
