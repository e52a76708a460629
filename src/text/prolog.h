// What the start of an XML body says about itself, read before any parser sees it: the
// byte-order mark, the charset to read it in, and whether its document type declaration
// declares entities. Each function reads the body's prolog only (what comes before the
// root element), once; choosing the charset also checks the bytes as UTF-8, once.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include "text/utf8.h"

enum class ByteOrderMark { None, Utf8, Utf16LE, Utf16BE };
// The byte-order mark at the start of a body; its length in bytes goes to *pcbMark.
ByteOrderMark FindByteOrderMark(std::string_view body, size_t* pcbMark);

// How to read a body, in the standard order for XML on the web: a byte-order mark, else
// the charset parameter of the Content-Type, else UTF-16 recognised by its first two
// characters "<?", else the encoding of the XML declaration (found after white space),
// else UTF-8. Names are read as browsers read encoding labels (text/encoding.h).
// UTF-8 that was only assumed or declared, where the bytes are not UTF-8, is read as
// windows-1252 instead, what such bytes nearly always are; a mark or the server's
// charset is believed.
struct BodyCharset {
    enum Kind {
        UTF8,
        UTF16LE,
        UTF16BE,
        CODE_PAGE,     // the Windows code page cp
        USER_DEFINED,  // "x-user-defined" (DecodeUserDefined)
        BY_NAME,       // a name that is no label browsers know: the platform may know it
        REFUSED,       // a label of an encoding that can hide markup from a reader that
                       // does not know it: refused as unknown, never looked up
    } kind = UTF8;
    enum Source { DEFAULT, MARK, HEADER, DECLARATION } source = DEFAULT;
    size_t cbMark = 0;    // the byte-order mark to skip
    unsigned cp = 0;      // CODE_PAGE
    std::u16string name;  // the charset as the Content-Type or the declaration named it
    // UTF8: how the bytes after the mark read as UTF-8.
    Utf8Form utf8 = Utf8Form::Valid;
};
BodyCharset ChooseBodyCharset(std::string_view body, std::u16string_view contentType);

// Whether the document type declarations of the prolog declare entities (the way to
// expansion bombs and to external entities that read local files), refer to parameter
// entities, or have an internal subset that cannot be read to its end. Only declarations
// in the prolog, before the root element, count: text in elements, CDATA sections and
// comments never does. The text may start with a byte-order mark; bytes are read as
// ASCII.
bool PrologDeclaresEntities(std::u16string_view text);
bool PrologDeclaresEntities(std::string_view bytes);
