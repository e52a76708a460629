// Encoding labels as browsers read them: every label a web page or a feed may give for
// its character encoding (in a Content-Type charset or an XML declaration), mapped to
// the encoding it names and the Windows code page that decodes it.
#pragma once
#include <string>
#include <string_view>

// An encoding a label names.
struct WebEncoding {
    const char* szName;  // the encoding's own name, lower case: "windows-1252", "euc-kr"
    unsigned cp;         // its Windows code page; 0 for "replacement" and "x-user-defined"
};

// The encoding that label names, compared without ASCII case after ASCII white space
// (tab, line feed, form feed, carriage return, space) is trimmed from both ends; null
// when it is no label of the table (the caller may then ask the platform).
// Two encodings have no code page (cp 0):
// - "replacement", the name of ISO-2022-KR, ISO-2022-CN and HZ-GB-2312, encodings that
//   can hide markup from a reader that does not know them: the caller refuses the text
//   as in an unknown encoding, and must not ask the platform about the label either;
// - "x-user-defined": DecodeUserDefined decodes it.
const WebEncoding* FindWebEncoding(std::u16string_view label);

// Decodes bytes in "x-user-defined": ASCII as itself, each byte 0x80 to 0xFF as the
// private-use character U+F780 + (byte - 0x80).
std::u16string DecodeUserDefined(std::string_view bytes);
