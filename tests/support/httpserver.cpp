#include "support/httpserver.h"
#include <ws2tcpip.h>
#include <zlib.h>
#include <cstdio>
#include <cstring>

namespace {

struct WinsockInit {
    WinsockInit() {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
    }
};

void EnsureWinsock() {
    static WinsockInit init;
}

const char* ReasonPhrase(int status) {
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 407: return "Proxy Authentication Required";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

bool SendAll(SOCKET s, const char* p, size_t n) {
    while (n) {
        int chunk = static_cast<int>(n > 65536 ? 65536 : n);
        int sent = send(s, p, chunk, 0);
        if (sent <= 0) return false;
        p += sent;
        n -= static_cast<size_t>(sent);
    }
    return true;
}

struct ConnectionStart {
    HttpServer* pServer;
    SOCKET s;
};

std::string LowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// data deflated by zlib, with iWindowBits choosing the wrapper: 16+15 gzip, 15 zlib, -15
// none.
std::string Deflate(const std::string& data, int iWindowBits) {
    z_stream z = {};
    deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, iWindowBits, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

}  // namespace

std::string HttpRequest::Header(const char* szName) const {
    std::string want = LowerAscii(szName);
    size_t pos = headers.find("\r\n");
    while (pos != std::string::npos) {
        pos += 2;
        size_t end = headers.find("\r\n", pos);
        std::string line = headers.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        size_t colon = line.find(':');
        if (colon != std::string::npos && LowerAscii(line.substr(0, colon)) == want) {
            size_t first = line.find_first_not_of(" \t", colon + 1);
            if (first == std::string::npos) return std::string();
            size_t last = line.find_last_not_of(" \t");
            return line.substr(first, last - first + 1);
        }
        pos = end;
    }
    return std::string();
}

std::string Gzip(const std::string& data) {
    return Deflate(data, 16 + MAX_WBITS);
}

std::string ZlibDeflate(const std::string& data) {
    return Deflate(data, MAX_WBITS);
}

std::string RawDeflate(const std::string& data) {
    return Deflate(data, -MAX_WBITS);
}

std::string GzipOfZeros(unsigned long long cbZeros) {
    // One megabyte of zeros deflated and flushed to a byte boundary with nothing kept
    // back, so the piece can follow itself any number of times; then the rest, the final
    // block and gzip's trailer (the CRC of all those zeros, combined piece by piece).
    const uLong cbPiece = 1024 * 1024;
    std::string zeros(cbPiece, '\0');
    z_stream z = {};
    deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    std::string piece(deflateBound(&z, cbPiece) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(&zeros[0]);
    z.avail_in = cbPiece;
    z.next_out = reinterpret_cast<Bytef*>(&piece[0]);
    z.avail_out = static_cast<uInt>(piece.size());
    deflate(&z, Z_FULL_FLUSH);
    piece.resize(piece.size() - z.avail_out);
    deflateEnd(&z);
    unsigned long long cPieces = cbZeros / cbPiece;
    uLong crcPiece = crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(zeros.data()), cbPiece);
    uLong crc = crc32(0, nullptr, 0);
    std::string out("\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\xFF", 10);
    out.reserve(static_cast<size_t>(cPieces * piece.size() + 1024));
    for (unsigned long long i = 0; i < cPieces; ++i) {
        out += piece;
        crc = crc32_combine(crc, crcPiece, cbPiece);
    }
    std::string rest = RawDeflate(std::string(static_cast<size_t>(cbZeros % cbPiece), '\0'));
    out += rest;
    crc = crc32_combine(crc, crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(zeros.data()),
                                   static_cast<uInt>(cbZeros % cbPiece)),
                        static_cast<z_off_t>(cbZeros % cbPiece));
    for (unsigned long v : {static_cast<unsigned long>(crc), static_cast<unsigned long>(cbZeros & 0xFFFFFFFFu)})
        for (int k = 0; k < 4; ++k) out += static_cast<char>((v >> (8 * k)) & 0xFF);
    return out;
}

HttpServer::HttpServer(Handler handler) : m_handler(std::move(handler)) {
    EnsureWinsock();
    InitializeCriticalSection(&m_cs);
    m_hStop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // Each server of the process gets a port no earlier server had: the platform's HTTP
    // stack pools connections per host and port, and a stale one left by an earlier
    // test's server must not answer for this one.
    static CRITICAL_SECTION* pcsPorts = [] {
        static CRITICAL_SECTION cs;
        InitializeCriticalSection(&cs);
        return &cs;
    }();
    static std::vector<int> usedPorts;
    EnterCriticalSection(pcsPorts);
    std::vector<SOCKET> held;
    sockaddr_in addr = {};
    for (int attempt = 0; attempt < 50; ++attempt) {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        addr = sockaddr_in();
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
        int len = sizeof(addr);
        getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
        int port = ntohs(addr.sin_port);
        bool bUsed = false;
        for (int p : usedPorts) bUsed = bUsed || p == port;
        if (!bUsed || attempt == 49) {
            m_listen = s;
            m_port = port;
            usedPorts.push_back(port);
            break;
        }
        held.push_back(s);
    }
    for (SOCKET s : held) closesocket(s);
    LeaveCriticalSection(pcsPorts);
    listen(m_listen, SOMAXCONN);
    m_hAccept = CreateThread(nullptr, 0, AcceptThread, this, 0, nullptr);
}

HttpServer::HttpServer(const HttpResponse& fixed) : HttpServer([fixed](const HttpRequest&) { return fixed; }) {}

HttpServer::~HttpServer() {
    Stop();
    DeleteCriticalSection(&m_cs);
    CloseHandle(m_hStop);
}

void HttpServer::Stop() {
    SetEvent(m_hStop);
    if (m_listen != INVALID_SOCKET) {
        closesocket(m_listen);
        m_listen = INVALID_SOCKET;
    }
    // Connections kept open between requests end now; each thread closes its own.
    EnterCriticalSection(&m_cs);
    for (SOCKET s : m_sockets) shutdown(s, SD_BOTH);
    LeaveCriticalSection(&m_cs);
    if (m_hAccept) {
        WaitForSingleObject(m_hAccept, 5000);
        CloseHandle(m_hAccept);
        m_hAccept = nullptr;
    }
    std::vector<HANDLE> connections;
    EnterCriticalSection(&m_cs);
    connections.swap(m_connections);
    LeaveCriticalSection(&m_cs);
    for (HANDLE h : connections) {
        WaitForSingleObject(h, 5000);
        CloseHandle(h);
    }
}

std::wstring HttpServer::Url(const char* path) const {
    wchar_t sz[600];
    _snwprintf(sz, 599, L"http://127.0.0.1:%d%hs", m_port, path);
    sz[599] = 0;
    return sz;
}

std::vector<HttpRequest> HttpServer::Requests() const {
    EnterCriticalSection(&m_cs);
    std::vector<HttpRequest> copy = m_requests;
    LeaveCriticalSection(&m_cs);
    return copy;
}

DWORD WINAPI HttpServer::AcceptThread(void* pv) {
    auto* pThis = static_cast<HttpServer*>(pv);
    for (;;) {
        SOCKET s = accept(pThis->m_listen, nullptr, nullptr);
        if (s == INVALID_SOCKET) break;
        if (WaitForSingleObject(pThis->m_hStop, 0) == WAIT_OBJECT_0) {
            closesocket(s);
            break;
        }
        auto* pStart = new ConnectionStart{pThis, s};
        EnterCriticalSection(&pThis->m_cs);
        pThis->m_sockets.push_back(s);
        LeaveCriticalSection(&pThis->m_cs);
        HANDLE h = CreateThread(nullptr, 0, ConnectionThread, pStart, 0, nullptr);
        if (!h) {
            EnterCriticalSection(&pThis->m_cs);
            pThis->m_sockets.pop_back();
            LeaveCriticalSection(&pThis->m_cs);
            closesocket(s);
            delete pStart;
            continue;
        }
        EnterCriticalSection(&pThis->m_cs);
        // Finished connections are reaped as new ones come, so a long run keeps few
        // handles.
        for (size_t i = 0; i < pThis->m_connections.size();) {
            if (WaitForSingleObject(pThis->m_connections[i], 0) == WAIT_OBJECT_0) {
                CloseHandle(pThis->m_connections[i]);
                pThis->m_connections.erase(pThis->m_connections.begin() + static_cast<long>(i));
            } else {
                ++i;
            }
        }
        pThis->m_connections.push_back(h);
        LeaveCriticalSection(&pThis->m_cs);
    }
    return 0;
}

DWORD WINAPI HttpServer::ConnectionThread(void* pv) {
    ConnectionStart start = *static_cast<ConnectionStart*>(pv);
    delete static_cast<ConnectionStart*>(pv);
    HttpServer* pServer = start.pServer;
    pServer->Serve(start.s);
    EnterCriticalSection(&pServer->m_cs);
    for (size_t i = 0; i < pServer->m_sockets.size(); ++i)
        if (pServer->m_sockets[i] == start.s) {
            pServer->m_sockets.erase(pServer->m_sockets.begin() + static_cast<long>(i));
            break;
        }
    LeaveCriticalSection(&pServer->m_cs);
    closesocket(start.s);
    return 0;
}

void HttpServer::Serve(SOCKET s) {
    DWORD dwTimeout = 10000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&dwTimeout), sizeof(dwTimeout));
    BOOL bNoDelay = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&bNoDelay), sizeof(bNoDelay));
    std::string data;
    char buf[4096];
    for (;;) {
        // One request: its header block (a GET has no body).
        size_t end;
        while ((end = data.find("\r\n\r\n")) == std::string::npos && data.size() < 65536) {
            int n = recv(s, buf, sizeof(buf), 0);
            if (n <= 0) return;
            data.append(buf, static_cast<size_t>(n));
        }
        if (end == std::string::npos) return;
        HttpRequest req;
        req.headers = data.substr(0, end);
        data.erase(0, end + 4);
        size_t sp1 = req.headers.find(' ');
        size_t sp2 = req.headers.find(' ', sp1 + 1);
        if (sp1 == std::string::npos || sp2 == std::string::npos) return;
        req.method = req.headers.substr(0, sp1);
        req.path = req.headers.substr(sp1 + 1, sp2 - sp1 - 1);
        EnterCriticalSection(&m_cs);
        m_requests.push_back(req);
        LeaveCriticalSection(&m_cs);

        HttpResponse resp = m_handler(req);
        if (resp.delayMs && WaitForSingleObject(m_hStop, resp.delayMs) == WAIT_OBJECT_0) return;
        bool bKeep = m_bKeepAlive && LowerAscii(req.Header("Connection")) != "close";
        bool bNotModified =
            resp.status == 200 && ((!resp.eTag.empty() && req.Header("If-None-Match") == resp.eTag) ||
                                   (resp.eTag.empty() && !resp.lastModified.empty() &&
                                    req.Header("If-Modified-Since") == resp.lastModified));
        int status = bNotModified ? 304 : resp.status;
        std::string body;
        if (!bNotModified) body.swap(resp.body);
        std::string head;
        char line[512];
        snprintf(line, sizeof(line), "HTTP/1.1 %d %s\r\nContent-Type: %s\r\nConnection: %s\r\n", status,
                 ReasonPhrase(status), resp.contentType.c_str(), bKeep ? "keep-alive" : "close");
        head = line;
        const char* szCoding = resp.compression == HttpResponse::GZIP ? "gzip"
                               : resp.compression == HttpResponse::PLAIN ? nullptr
                                                                         : "deflate";
        if (!bNotModified && szCoding && LowerAscii(req.Header("Accept-Encoding")).find(szCoding) != std::string::npos) {
            body = resp.compression == HttpResponse::GZIP      ? Gzip(body)
                   : resp.compression == HttpResponse::DEFLATE ? ZlibDeflate(body)
                                                               : RawDeflate(body);
            head += std::string("Content-Encoding: ") + szCoding + "\r\n";
        }
        if (!bNotModified) head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
        if (!resp.eTag.empty()) head += "ETag: " + resp.eTag + "\r\n";
        if (!resp.lastModified.empty()) head += "Last-Modified: " + resp.lastModified + "\r\n";
        head += resp.extraHeaders;
        head += "\r\n";
        const size_t cbBody = body.size();
        size_t n = cbBody < resp.dropAfter ? cbBody : resp.dropAfter;
        // Head and body in one send: a head sent alone waits on the client's delayed ACK.
        head.append(body, 0, n);
        body.clear();
        body.shrink_to_fit();
        if (!SendAll(s, head.data(), head.size())) return;
        if (n < cbBody) {
            // Cut off mid-body: a hard close.
            linger lg = {1, 0};
            setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&lg), sizeof(lg));
            return;
        }
        if (!bKeep) break;
    }
    shutdown(s, SD_SEND);
    // Drain what the client still sends so the close is orderly.
    while (recv(s, buf, sizeof(buf), 0) > 0) {}
}

int UnusedPort() {
    EnsureWinsock();
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    int len = sizeof(addr);
    getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    closesocket(s);
    return ntohs(addr.sin_port);
}

std::string NewestFirstRss(int n, const char* szChannelExtra) {
    std::string body = std::string("<rss><channel><title>Feed</title>") + szChannelExtra;
    for (int i = n - 1; i >= 0; --i)
        body += "<item><title>Item " + std::to_string(i) + "</title><link>http://e/" + std::to_string(i) +
                "</link></item>";
    return body + "</channel></rss>";
}
