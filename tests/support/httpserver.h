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
};

struct HttpRequest {
    std::string method;
    std::string path;     // as sent, with the query
    std::string headers;  // the raw header block
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
    // Ends delays at once and stops accepting; the destructor does this too.
    void Stop();

private:
    static DWORD WINAPI AcceptThread(void* pv);
    static DWORD WINAPI ConnectionThread(void* pv);
    void Serve(SOCKET s);

    Handler m_handler;
    SOCKET m_listen = INVALID_SOCKET;
    int m_port = 0;
    HANDLE m_hStop = nullptr;
    HANDLE m_hAccept = nullptr;
    mutable CRITICAL_SECTION m_cs;
    std::vector<HttpRequest> m_requests;
    std::vector<HANDLE> m_connections;
};

// A port on 127.0.0.1 where nothing listens.
int UnusedPort();
