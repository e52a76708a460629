// Bodies sent in a content coding, decoded as they arrive with zlib (linked into the
// DLL): gzip, and deflate both zlib-wrapped and raw, as servers send either. The decoded
// body never grows past the limit its caller sets, however far the coded one would
// inflate.
#pragma once
#include <windows.h>
#include "core/unique.h"
#include "feed/bodybuffer.h"
#include "text/header.h"

struct BodyDecoder;

// A decoder for coding (gzip or deflate); null when memory runs out.
BodyDecoder* NewBodyDecoder(ContentCoding coding);
void FreeBodyDecoder(BodyDecoder* pDecoder);

// The code of a coded body that is not in its coding, or is cut short.
#define BODY_E_BAD_DATA HRESULT_FROM_WIN32(ERROR_INVALID_DATA)

// Decodes the next cb bytes of the coded body onto the end of out, which never grows
// past cbMax bytes (BODY_E_TOO_LARGE, and nothing more is decoded). Bytes after the
// coded stream's end are ignored, but for further gzip members, which are decoded too.
HRESULT DecodeBodyBytes(BodyDecoder* pDecoder, const char* p, size_t cb, BodyBuffer& out, size_t cbMax);
// At the end of the coded body: BODY_E_BAD_DATA when its stream did not end.
HRESULT EndBodyDecoding(BodyDecoder* pDecoder);

namespace qm {
struct FreeBodyDecoderDeleter { void operator()(BodyDecoder* p) const { FreeBodyDecoder(p); } };
using UniqueBodyDecoder = UniqueHandle<BodyDecoder*, FreeBodyDecoderDeleter>;
}  // namespace qm
