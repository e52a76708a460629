// The text a stored title shows as. Feeds put escaped HTML and double-escaped
// entities into titles (Atom type="html", RSS titles such as "Tom &amp;amp; Jerry"), and
// the records keep the title as parsed; whatever shows a title to the user (icon text,
// label, menus, profile list, viewer caption) shows this text instead.
#pragma once
#include <cstddef>
#include <string_view>

// title as plain text into szOut (cut to cchOut - 1 units, never inside a surrogate
// pair, always terminated), in one pass over the text; returns the units written.
// - markup removed: tags (a tag left open runs to the end), comments, and the content
//   of script and style elements; line-breaking tags such as <br> and <p> become spaces;
//   a "<" that starts no tag stays;
// - character references and the common named entities decoded once, so
//   "&amp;lt;" gives "&lt;"; references to nothing (0, surrogates, past U+10FFFF) give
//   U+FFFD, and 128 to 159 give the windows-1252 characters that feeds mean by them;
//   "&" that starts no known reference stays;
// - runs of white space, line breaks and control characters (NUL included) become one
//   space, and the text is trimmed.
// Never longer than title.
size_t DisplayTextFromTitle(char16_t* szOut, size_t cchOut, std::u16string_view title);
