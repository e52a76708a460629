// UTF-8 as the XML parser takes it, and as a body that claims to be UTF-8 is checked.
#pragma once
#include <cstddef>
#include <string_view>

// How well-formed bytes are as UTF-8. Well-formed means no stray or missing continuation
// bytes, no overlong forms, no surrogates, nothing above U+10FFFF.
enum class Utf8Form {
    Valid,     // all of it
    CutShort,  // all but its last character, which stops short, as a download cut off in
               // the middle of a character does (that alone says nothing about the encoding)
    Invalid,   // anything else
};
// With pcbWhole, CutShort tells there where the last, unfinished character starts (for
// the other forms it is the length).
Utf8Form CheckUtf8(std::string_view bytes, size_t* pcbWhole = nullptr);
