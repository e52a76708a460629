// AeDynArray: the growable array of record pointers used for feed items and profiles.
// It never owns the records its slots point to; their owner frees them.
#pragma once
#include <cstdlib>
#include <cstring>

template <typename T>
class AeDynArray {
public:
    // Thrown (value 0) when the array cannot obtain storage.
    enum exception { ALLOCATION_FAILED = 0 };

    AeDynArray() : m_pData(nullptr), m_nCount(0), m_nCapacity(128) {
        m_pData = static_cast<T*>(malloc(sizeof(T) * m_nCapacity));
        if (!m_pData) throw ALLOCATION_FAILED;
    }

    // Copies every slot of the source, used or not, and keeps its capacity;
    // the records pointed to are shared with the source.
    AeDynArray(const AeDynArray& src) : m_pData(nullptr), m_nCount(src.m_nCount), m_nCapacity(src.m_nCapacity) {
        m_pData = static_cast<T*>(malloc(sizeof(T) * (m_nCapacity ? m_nCapacity : 1)));
        if (!m_pData) throw ALLOCATION_FAILED;
        memcpy(static_cast<void*>(m_pData), src.m_pData, sizeof(T) * m_nCapacity);
    }

    AeDynArray& operator=(const AeDynArray& src) {
        if (this == &src) return *this;
        SetCount(src.m_nCount);
        if (m_nCount) memcpy(static_cast<void*>(m_pData), src.m_pData, sizeof(T) * m_nCount);
        return *this;
    }

    ~AeDynArray() { free(m_pData); }

    void Add(T value) {
        unsigned int nNew = m_nCount + 1;
        if (nNew > m_nCapacity) Resize(m_nCapacity * 2);
        m_nCount = nNew;
        m_pData[m_nCount - 1] = value;
    }

    // No bounds check: i must be below GetCount().
    T& GetAt(unsigned int i) { return m_pData[i]; }
    const T& GetAt(unsigned int i) const { return m_pData[i]; }
    unsigned int GetCount() const { return m_nCount; }
    unsigned int GetCapacity() const { return m_nCapacity; }

    // Empties the array and brings its storage back to 128 slots. A failed shrink keeps
    // the larger block, which is still valid storage.
    void RemoveAll() {
        m_nCount = 0;
        T* p = static_cast<T*>(realloc(m_pData, sizeof(T) * 128));
        if (p) {
            m_pData = p;
            m_nCapacity = 128;
        }
    }

    // Keeps the storage while n lies in [capacity/2, capacity]; otherwise resizes it to
    // exactly n slots. New slots are not cleared.
    void SetCount(unsigned int n) {
        if (n == 0) {
            RemoveAll();
            return;
        }
        if (n > m_nCapacity || n < (m_nCapacity >> 1)) Resize(n);
        m_nCount = n;
    }

    void RemoveAt(unsigned int i) {
        if (m_nCount == 1) {
            RemoveAll();
            return;
        }
        if (i >= m_nCount) return;
        memmove(static_cast<void*>(m_pData + i), m_pData + i + 1, sizeof(T) * (m_nCount - i - 1));
        --m_nCount;
    }

private:
    void Resize(unsigned int nCapacity) {
        T* p = static_cast<T*>(realloc(m_pData, sizeof(T) * nCapacity));
        if (!p) throw ALLOCATION_FAILED;
        m_pData = p;
        m_nCapacity = nCapacity;
    }

    T* m_pData;
    unsigned int m_nCount;
    unsigned int m_nCapacity;
};
