// What the start of an XML body says about itself, read before any parser sees it: the
// byte-order mark, the encoding its declaration names, the charset to read it in, and
// whether its document type declaration declares entities. Each function reads the
// body's prolog only (what comes before the root element), once.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

enum class ByteOrderMark { None, Utf8, Utf16LE, Utf16BE };
// The byte-order mark at the start of a body; its length in bytes goes to *pcbMark.
ByteOrderMark FindByteOrderMark(std::string_view body, size_t* pcbMark);

// Where the encoding of an XML declaration at the very start lies: [start, end) runs from
// the white space before "encoding" through the closing quote of its value, and
// [value, valueEnd) is the value. Bytes are read as ASCII.
struct DeclaredEncoding {
    size_t start = 0, end = 0, value = 0, valueEnd = 0;
};
// False when the text opens with no declaration, the declaration does not end within
// 1,024 characters, or it names no encoding.
bool FindDeclaredEncoding(std::string_view bytes, DeclaredEncoding* pFound);
bool FindDeclaredEncoding(std::u16string_view text, DeclaredEncoding* pFound);

// How to read a body, in the standard order for XML on the web: a byte-order mark, else
// the charset parameter of the Content-Type, else UTF-16 recognised by its first two
// characters "<?", else the encoding of the XML declaration, else UTF-8.
struct BodyCharset {
    enum Kind { UTF8, UTF16LE, UTF16BE, NAMED } kind = UTF8;
    size_t cbMark = 0;    // the byte-order mark to skip
    std::u16string name;  // NAMED: the charset as the Content-Type or the declaration named it
};
BodyCharset ChooseBodyCharset(std::string_view body, std::u16string_view contentType);

// Whether the document type declaration of the prolog has an internal subset that
// declares entities (the way to expansion bombs and to external entities that read local
// files), or one that cannot be read to its end. Only a declaration in the prolog, before
// the root element, counts: text in elements, CDATA sections and comments never does.
// The text may start with a byte-order mark (U+FEFF); bytes are read as ASCII.
bool PrologDeclaresEntities(std::u16string_view text);
bool PrologDeclaresEntities(std::string_view bytes);
