#include "feed/inflate.h"
#include <zlib.h>
#include <new>
#include "core/unique.h"

struct BodyDecoder {
    ContentCoding coding = ContentCoding::Gzip;
    z_stream z = {};
    bool bStarted = false;  // inflateInit2 has run
    bool bEnded = false;    // the coded stream is complete
    // Deflate's form is told by its first two bytes, which may come one at a time.
    std::string head;
};

namespace {

const size_t c_cbOutChunk = 65536;
const unsigned char c_gzipMagic0 = 0x1F, c_gzipMagic1 = 0x8B;

// Starts inflating: gzip with its header, zlib-wrapped deflate, or raw deflate.
HRESULT Start(BodyDecoder* d, int iWindowBits) {
    if (inflateInit2(&d->z, iWindowBits) != Z_OK) return E_OUTOFMEMORY;
    d->bStarted = true;
    return S_OK;
}

HRESULT Inflate(BodyDecoder* d, const unsigned char* p, size_t cb, BodyBuffer& out, size_t cbMax) {
    unsigned char chunk[c_cbOutChunk];
    while (cb && !d->bEnded) {
        // zlib counts in 32-bit units; a larger input goes in slices.
        uInt cbIn = cb > 0x40000000u ? 0x40000000u : static_cast<uInt>(cb);
        d->z.next_in = const_cast<unsigned char*>(p);
        d->z.avail_in = cbIn;
        do {
            d->z.next_out = chunk;
            d->z.avail_out = sizeof(chunk);
            int r = inflate(&d->z, Z_NO_FLUSH);
            if (r == Z_MEM_ERROR) return E_OUTOFMEMORY;
            if (r != Z_OK && r != Z_STREAM_END && r != Z_BUF_ERROR) return BODY_E_BAD_DATA;
            size_t cbOut = sizeof(chunk) - d->z.avail_out;
            HRESULT hr = out.Append(chunk, cbOut, cbMax);
            if (FAILED(hr)) return hr;
            if (r == Z_STREAM_END) {
                // Another gzip member may follow; anything else after the end is ignored.
                if (d->coding == ContentCoding::Gzip && d->z.avail_in >= 2 && d->z.next_in[0] == c_gzipMagic0 &&
                    d->z.next_in[1] == c_gzipMagic1) {
                    if (inflateReset(&d->z) != Z_OK) return BODY_E_BAD_DATA;
                } else {
                    d->bEnded = true;
                    return S_OK;
                }
            } else if (r == Z_BUF_ERROR && d->z.avail_out != 0) {
                break;  // all input taken, no progress possible until more comes
            }
        } while (d->z.avail_in != 0 || d->z.avail_out == 0);
        size_t cbTaken = cbIn - d->z.avail_in;
        p += cbTaken;
        cb -= cbTaken;
        if (cbTaken == 0) break;
    }
    return S_OK;
}

}  // namespace

BodyDecoder* NewBodyDecoder(ContentCoding coding) {
    auto* d = new (std::nothrow) BodyDecoder();
    if (!d) return nullptr;
    d->coding = coding;
    if (coding == ContentCoding::Gzip && FAILED(Start(d, 16 + MAX_WBITS))) {
        delete d;
        return nullptr;
    }
    return d;
}

void FreeBodyDecoder(BodyDecoder* d) {
    if (!d) return;
    if (d->bStarted) inflateEnd(&d->z);
    delete d;
}

HRESULT DecodeBodyBytes(BodyDecoder* d, const char* p, size_t cb, BodyBuffer& out, size_t cbMax) {
    if (!d->bStarted) {
        // Deflate: zlib's two-byte header, or none (raw deflate).
        size_t cbTake = cb < 2 - d->head.size() ? cb : 2 - d->head.size();
        d->head.append(p, cbTake);
        if (d->head.size() < 2) return S_OK;
        bool bZlib = HasZlibHeader(static_cast<unsigned char>(d->head[0]), static_cast<unsigned char>(d->head[1]));
        HRESULT hr = Start(d, bZlib ? MAX_WBITS : -MAX_WBITS);
        if (FAILED(hr)) return hr;
        // A first byte that came in an earlier slice goes first; this slice follows whole.
        hr = Inflate(d, reinterpret_cast<const unsigned char*>(d->head.data()), 2 - cbTake, out, cbMax);
        if (FAILED(hr)) return hr;
    }
    return Inflate(d, reinterpret_cast<const unsigned char*>(p), cb, out, cbMax);
}

HRESULT EndBodyDecoding(BodyDecoder* d) {
    return d->bEnded ? S_OK : BODY_E_BAD_DATA;
}

