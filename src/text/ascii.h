// ASCII helpers for names that arrive from the network or a file (header values,
// encoding names, element and attribute names): compared without regard to ASCII case,
// and shown in messages only as printable ASCII.
#pragma once
#include <string>
#include <string_view>

// s with its ASCII letters in lower case; every other unit is kept as it is.
std::u16string AsciiLower(std::u16string_view s);
// True when a and b are equal once their ASCII letters are lower-cased.
bool AsciiEqualNoCase(std::u16string_view a, std::u16string_view b);
// A name a server or a file gave, fit for a message: printable ASCII ('?' for anything
// else), cut after 40 characters with "..." to show it was cut.
std::u16string PrintableName(std::u16string_view name);
