// The XML declaration at the head of a feed, found where servers put it: after a
// byte-order mark and after white space (a blank line a template printed first), which
// XML itself does not allow and a strict parser refuses.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// Where the parts of a declaration lie, as offsets into the text searched.
struct XmlDeclarationSpan {
    bool bFound;           // an XML declaration follows the mark and the white space
    size_t ichText;        // where the text to parse starts: past a byte-order mark, and
                           // past the white space before a declaration (white space with
                           // no declaration after it stays: it is allowed before the root)
    size_t ichEnd;         // just past the declaration's "?>"; ichText when none
    size_t ichEncoding;    // the encoding pseudo-attribute, from the white space before it
    size_t ichEncodingEnd; // through its closing quote; both ichEnd when it has none
    size_t ichValue;       // the encoding's name, without its quotes
    size_t cchValue;       // 0 when the declaration names no encoding
};

// Finds the declaration in bytes of an ASCII-compatible encoding (a UTF-8 mark EF BB BF
// is skipped) or in decoded text (a U+FEFF mark is skipped). A declaration is "<?xml"
// and white space, pseudo-attributes, and "?>" within 1024 units of its start; its
// encoding is read only from well-formed pseudo-attributes before any that is not.
// White space here is XML's: space, tab, carriage return, line feed.
XmlDeclarationSpan FindDeclarationAfterWhiteSpace(std::string_view bytes);
XmlDeclarationSpan FindDeclarationAfterWhiteSpace(std::u16string_view text);

// The decoded text as the XML parser is to read it: from ichText on, and without the
// declaration's encoding pseudo-attribute (the text is decoded already; a parser that
// read the name would decode it again, or refuse a name it does not know).
std::u16string TextToParse(std::u16string_view text);

// Whether declaration, from "<?xml" through "?>", is an XML declaration a strict parser
// takes: a version "1." and digits, then optionally an encoding name and standalone
// "yes" or "no", in that order.
bool IsWellFormedXmlDeclaration(std::u16string_view declaration);
