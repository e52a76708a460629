// Values of HTTP response headers as the download reads them: the charset of a
// Content-Type, the content coding of a body, validators worth sending back.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// value without the spaces and tabs around it.
std::u16string_view TrimHttpSpace(std::u16string_view value);

// The charset parameter of a Content-Type value, unquoted; empty when there is none.
std::u16string CharsetParameter(std::u16string_view contentType);

// Whether name can be a charset name: a token (letters, digits and a few marks) of at
// most 64 characters. Registered names are at most 40.
bool IsCharsetName(std::u16string_view name);

// What a body's Content-Encoding asks of the reader.
enum class ContentCoding {
    Identity,    // none, or "identity": the bytes are the body
    Gzip,        // "gzip" or "x-gzip"
    Deflate,     // "deflate": zlib-wrapped, or raw deflate as some servers send
    Unsupported  // any other coding, or more than one
};
ContentCoding DecideContentCoding(std::u16string_view contentEncoding);

// Whether the first two bytes of a deflate body are a zlib header (method 8, a window
// of at most 32 KB, the check bits right); otherwise the body is raw deflate.
bool HasZlibHeader(unsigned char b0, unsigned char b1);

// A header value we may keep and send back later: printable ASCII of 1 to cchMax
// characters.
bool IsKeepableValue(std::u16string_view value, size_t cchMax);
