#include "feed/title.h"
#include <cwchar>
#include "core/u16.h"
#include "text/displaytext.h"

void DisplayTextFromTitle(wchar_t* szOut, size_t cchOut, const wchar_t* szTitle) {
    DisplayTextFromTitle(reinterpret_cast<char16_t*>(szOut), cchOut, AsU16(szTitle ? szTitle : L""));
}
