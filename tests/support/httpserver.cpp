#include "support/httpserver.h"
#include <ws2tcpip.h>
#include <cstdio>

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
    case 304: return "Not Modified";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
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

}  // namespace

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
        HANDLE h = CreateThread(nullptr, 0, ConnectionThread, pStart, 0, nullptr);
        if (!h) {
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
    start.pServer->Serve(start.s);
    closesocket(start.s);
    return 0;
}

void HttpServer::Serve(SOCKET s) {
    // One request per connection: read the header block (a GET has no body).
    DWORD dwTimeout = 10000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&dwTimeout), sizeof(dwTimeout));
    std::string data;
    char buf[4096];
    while (data.find("\r\n\r\n") == std::string::npos && data.size() < 65536) {
        int n = recv(s, buf, sizeof(buf), 0);
        if (n <= 0) return;
        data.append(buf, static_cast<size_t>(n));
    }
    HttpRequest req;
    size_t sp1 = data.find(' ');
    size_t sp2 = data.find(' ', sp1 + 1);
    if (sp1 == std::string::npos || sp2 == std::string::npos) return;
    req.method = data.substr(0, sp1);
    req.path = data.substr(sp1 + 1, sp2 - sp1 - 1);
    req.headers = data.substr(0, data.find("\r\n\r\n"));
    EnterCriticalSection(&m_cs);
    m_requests.push_back(req);
    LeaveCriticalSection(&m_cs);

    HttpResponse resp = m_handler(req);
    if (resp.delayMs && WaitForSingleObject(m_hStop, resp.delayMs) == WAIT_OBJECT_0) return;
    char head[512];
    snprintf(head, sizeof(head), "HTTP/1.1 %d %s\r\nContent-Type: %s\r\nContent-Length: %u\r\nConnection: close\r\n",
             resp.status, ReasonPhrase(resp.status), resp.contentType.c_str(),
             static_cast<unsigned>(resp.body.size()));
    std::string out = head;
    out += resp.extraHeaders;
    out += "\r\n";
    if (!SendAll(s, out.data(), out.size())) return;
    size_t n = resp.body.size() < resp.dropAfter ? resp.body.size() : resp.dropAfter;
    if (!SendAll(s, resp.body.data(), n)) return;
    if (n < resp.body.size()) {
        // Cut off mid-body: a hard close.
        linger lg = {1, 0};
        setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&lg), sizeof(lg));
        return;
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
