// A response body in memory. The address space for the largest body taken is reserved
// once and committed as the body grows, so growing never copies it and it never holds
// more memory than that limit, however much a server sends or a body would inflate.
#pragma once
#include <windows.h>
#include <string_view>

// The code of a body that would grow past its limit.
#define BODY_E_TOO_LARGE HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE)

class BodyBuffer {
public:
    BodyBuffer() = default;
    ~BodyBuffer();
    BodyBuffer(BodyBuffer&& other) noexcept;
    BodyBuffer& operator=(BodyBuffer&& other) noexcept;
    BodyBuffer(const BodyBuffer&) = delete;
    BodyBuffer& operator=(const BodyBuffer&) = delete;

    // Appends cb bytes. BODY_E_TOO_LARGE, with nothing appended, when the body would grow
    // past cbMax bytes (the limit of the first call counts); E_OUTOFMEMORY when the
    // memory cannot be had.
    HRESULT Append(const void* p, size_t cb, size_t cbMax);
    std::string_view View() const { return std::string_view(m_p, m_cb); }
    size_t size() const { return m_cb; }
    // Drops the body and gives its memory back.
    void Clear();

private:
    char* m_p = nullptr;
    size_t m_cb = 0;
    size_t m_cbCommitted = 0;
    size_t m_cbReserved = 0;
};
