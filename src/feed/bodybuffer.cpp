#include "feed/bodybuffer.h"
#include <cstring>
#include <utility>

namespace {
// Memory is committed in steps of this size, so a growing body costs few calls.
const size_t c_cbCommitStep = 1024 * 1024;
}  // namespace

BodyBuffer::~BodyBuffer() {
    Clear();
}

BodyBuffer::BodyBuffer(BodyBuffer&& other) noexcept {
    *this = std::move(other);
}

BodyBuffer& BodyBuffer::operator=(BodyBuffer&& other) noexcept {
    if (this != &other) {
        Clear();
        std::swap(m_p, other.m_p);
        std::swap(m_cb, other.m_cb);
        std::swap(m_cbCommitted, other.m_cbCommitted);
        std::swap(m_cbReserved, other.m_cbReserved);
    }
    return *this;
}

HRESULT BodyBuffer::Append(const void* p, size_t cb, size_t cbMax) {
    if (cb == 0) return S_OK;
    if (!m_p) {
        m_p = static_cast<char*>(VirtualAlloc(nullptr, cbMax, MEM_RESERVE, PAGE_NOACCESS));
        if (!m_p) return E_OUTOFMEMORY;
        m_cbReserved = cbMax;
    }
    if (cb > m_cbReserved || m_cb > m_cbReserved - cb) return BODY_E_TOO_LARGE;
    if (m_cb + cb > m_cbCommitted) {
        size_t cbWant = m_cb + cb + c_cbCommitStep - 1;
        cbWant -= cbWant % c_cbCommitStep;
        if (cbWant > m_cbReserved) cbWant = m_cbReserved;
        if (!VirtualAlloc(m_p + m_cbCommitted, cbWant - m_cbCommitted, MEM_COMMIT, PAGE_READWRITE))
            return E_OUTOFMEMORY;
        m_cbCommitted = cbWant;
    }
    memcpy(m_p + m_cb, p, cb);
    m_cb += cb;
    return S_OK;
}

void BodyBuffer::Clear() {
    if (m_p) VirtualFree(m_p, 0, MEM_RELEASE);
    m_p = nullptr;
    m_cb = m_cbCommitted = m_cbReserved = 0;
}
