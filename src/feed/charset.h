// The text of a response body. Its encoding is found in the standard order for XML on
// the web: a byte-order mark, else the charset parameter of the Content-Type, else the
// encoding of the XML declaration, else UTF-8. Names are looked up in the platform's
// charset database (MLang) and decoded with its code pages, so every code page the
// platform knows is read.
#pragma once
#include <string>

// Decodes body into textOut, ready for the XML parser: the declaration's encoding is
// taken out of the text, which is decoded already (a parser that read it would decode
// again, or refuse a name it does not know). False when the encoding named is not a
// name or the platform does not know it; unknownNameOut then holds the name as given,
// cut and made printable for a message. Runs in a COM apartment.
bool DecodeResponseText(const std::string& body, const std::wstring& contentType, std::wstring& textOut,
                        std::wstring& unknownNameOut);

// Whether the text declares entities in a DOCTYPE: the way to expansion bombs and to
// external entities that read local files. Such a document is never parsed.
bool DeclaresEntities(const std::wstring& text);
