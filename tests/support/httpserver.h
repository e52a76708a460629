// A loopback HTTP server for tests: listens on 127.0.0.1 at a free port inside the test
// process and answers each request with whatever the test's handler returns.
#pragma once
#include <winsock2.h>
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

struct HttpResponse {
    int status = 200;
    std::string contentType = "application/xml";
    std::string body;
    DWORD delayMs = 0;          // wait this long before sending anything
    size_t dropAfter = SIZE_MAX;  // close the connection after this many body bytes
    std::string extraHeaders;   // raw "Name: value\r\n" lines
    // Validators sent with a 200. A request whose If-None-Match names eTag (or, when
    // eTag is empty, whose If-Modified-Since is lastModified) is answered 304 instead.
    std::string eTag;
    std::string lastModified;
    // How the body goes out: as it is, or in a content coding (gzip, zlib-wrapped deflate
    // or raw deflate, both sent as "deflate") when the request accepts it. A body coded
    // already goes out PLAIN with its Content-Encoding in extraHeaders.
    enum Compression { PLAIN, GZIP, DEFLATE, RAW_DEFLATE } compression = PLAIN;
};

struct HttpRequest {
    std::string method;
    std::string path;     // as sent, with the query
    std::string headers;  // the raw header block
    // The value of a request header (the first one of that name), empty when absent.
    std::string Header(const char* szName) const;
};

class HttpServer {
public:
    typedef std::function<HttpResponse(const HttpRequest&)> Handler;

    explicit HttpServer(Handler handler);
    // A server that answers every request with the same response.
    explicit HttpServer(const HttpResponse& fixed);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    int Port() const { return m_port; }
    // "http://127.0.0.1:port" + path.
    std::wstring Url(const char* path = "/feed") const;
    // Requests seen so far.
    std::vector<HttpRequest> Requests() const;
    // Keeps connections open between requests (HTTP/1.1 persistent connections), as
    // most servers do; by default each response closes its connection.
    void KeepConnections() { InterlockedExchange(&m_bKeepAlive, 1); }
    // Ends delays at once and stops accepting; the destructor does this too.
    void Stop();

private:
    static DWORD WINAPI AcceptThread(void* pv);
    static DWORD WINAPI ConnectionThread(void* pv);
    void Serve(SOCKET s);

    Handler m_handler;
    SOCKET m_listen = INVALID_SOCKET;
    int m_port = 0;
    volatile LONG m_bKeepAlive = 0;
    HANDLE m_hStop = nullptr;
    HANDLE m_hAccept = nullptr;
    mutable CRITICAL_SECTION m_cs;
    std::vector<HttpRequest> m_requests;
    std::vector<HANDLE> m_connections;
    std::vector<SOCKET> m_sockets;  // open connections, closed by Stop
};

// A port on 127.0.0.1 where nothing listens.
int UnusedPort();

// An RSS document titled "Feed" with n items "Item i", each linking to "http://e/i",
// the newest ("Item n-1") first as feeds list them; szChannelExtra goes into the
// channel before the items.
std::string NewestFirstRss(int n, const char* szChannelExtra = "");

// data in gzip, in zlib's deflate format, or as raw deflate.
std::string Gzip(const std::string& data);
std::string ZlibDeflate(const std::string& data);
std::string RawDeflate(const std::string& data);
// A gzip body of cbZeros zero bytes (any size, in about a thousandth of it), made without
// ever holding the zeros: a decompression bomb.
std::string GzipOfZeros(unsigned long long cbZeros);
