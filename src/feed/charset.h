// The text of a response body, and the body made ready for the XML parser. Its encoding
// is found in the standard order for XML on the web (text/prolog.h): a byte-order mark,
// else the charset parameter of the Content-Type, else the encoding of the XML
// declaration, else UTF-8. Names are looked up in the platform's charset database
// (MLang) and decoded with its code pages, so every code page the platform knows is read.
#pragma once
#include <windows.h>
#include <string>
#include <string_view>
#include "core/unique.h"

// Decodes body into textOut: the declaration's encoding is taken out of the text, which
// is decoded already. False when the encoding named is not a name or the platform does
// not know it; unknownNameOut then holds the name as given, cut and made printable for a
// message. Runs in a COM apartment.
bool DecodeResponseText(std::string_view body, const std::wstring& contentType, std::wstring& textOut,
                        std::wstring& unknownNameOut);

// The body as the XML parser takes it (IXMLDOMDocument::load of a byte array): UTF-8
// behind its byte-order mark, the declaration's encoding taken out, so the parser neither
// decodes it again nor refuses a name it does not know. Well-formed UTF-8 goes over as it
// is; anything else is decoded first (bytes that are not valid become U+FFFD). Whether
// its prolog declares entities goes to *pbEntities. False as DecodeResponseText.
bool MakeXmlBytes(std::string_view body, const std::wstring& contentType, qm::UniqueSafeArray& out,
                  bool* pbEntities, std::wstring& unknownNameOut);

// Whether the text's prolog declares entities in its document type declaration: the way
// to expansion bombs and to external entities that read local files. Such a document is
// never parsed.
bool DeclaresEntities(const std::wstring& text);
