// UTF-8 as the XML parser takes it.
#pragma once
#include <string_view>

// Whether bytes are well-formed UTF-8: no stray or missing continuation bytes, no
// overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view bytes);
