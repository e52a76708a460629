// One line of an INI file (the Windows private-profile format) as the platform's
// profile functions read it, and values written so that they read back as they were.
#pragma once
#include <string>
#include <string_view>

struct IniLine {
    enum Kind { BLANK, COMMENT, SECTION, ENTRY } kind = BLANK;
    // SECTION: the name between '[' and the last ']', trimmed. ENTRY: the key, trimmed.
    std::u16string_view name;
    // ENTRY: the text after the first '=', trimmed, quotes kept; empty without '='.
    std::u16string_view value;
    bool bHasValue = false;  // ENTRY: the line has an '='; a key without one reads as missing
};

// Classifies a line (without its line break). Blank and white-space-only lines are
// BLANK, lines starting with ';' COMMENT, "[name]" (anything may follow the last ']')
// SECTION, everything else ENTRY. White space here is space, tab, CR, LF, VT, FF and
// the end-of-file mark U+001A, as the platform trims it.
IniLine ParseIniLine(std::u16string_view line);

// True when the platform ends a line at c: LF, and CR also alone.
inline bool IsIniLineBreak(char16_t c) {
    return c == u'\n' || c == u'\r';
}

// What a read of a value gives: one pair of surrounding quotes (both " or both ')
// removed, then cut to cchLimit characters.
std::u16string IniValueAsRead(std::u16string_view value, size_t cchLimit);

// The text to write for value: control characters become spaces (a value can never
// start another line), and a value that a read would change (white space at either
// end, or surrounding quotes) is put in double quotes, so IniValueAsRead gives it back.
std::u16string IniValueToWrite(std::u16string_view value);
