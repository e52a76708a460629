// Small RAII wrappers for Win32 handles, GDI and GDI+ objects, COM pointers and strings,
// so that every path of an operation releases what it took.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <utility>

namespace qm {

// The value that means "nothing held": null, or INVALID_HANDLE_VALUE for file handles.
template <typename T>
struct NullValue { static T get() { return T(); } };
struct InvalidHandleValue { static HANDLE get() { return INVALID_HANDLE_VALUE; } };

// One owned value with a deleter; move-only.
template <typename T, typename Deleter, typename InvalidValue = NullValue<T>>
class UniqueHandle {
    static T Invalid() { return InvalidValue::get(); }

public:
    UniqueHandle() = default;
    explicit UniqueHandle(T value) : m_value(value) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_value(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    T get() const { return m_value; }
    explicit operator bool() const { return m_value != Invalid(); }
    void reset(T value = Invalid()) {
        if (m_value != Invalid()) Deleter()(m_value);
        m_value = value;
    }
    T release() {
        T value = m_value;
        m_value = Invalid();
        return value;
    }
    // Frees the old value first, then hands out the slot for an output parameter.
    T* put() {
        reset();
        return &m_value;
    }

private:
    T m_value = Invalid();
};

struct CloseHandleDeleter { void operator()(HANDLE h) const { CloseHandle(h); } };
struct DeleteObjectDeleter { void operator()(HGDIOBJ h) const { DeleteObject(h); } };
struct DestroyIconDeleter { void operator()(HICON h) const { DestroyIcon(h); } };
struct DestroyMenuDeleter { void operator()(HMENU h) const { DestroyMenu(h); } };
struct DeleteDCDeleter { void operator()(HDC h) const { DeleteDC(h); } };
struct FreeLibraryDeleter { void operator()(HMODULE h) const { FreeLibrary(h); } };
struct SysFreeStringDeleter { void operator()(BSTR s) const { SysFreeString(s); } };
struct SafeArrayDestroyDeleter { void operator()(SAFEARRAY* p) const { SafeArrayDestroy(p); } };
struct DestroyWindowDeleter { void operator()(HWND h) const { DestroyWindow(h); } };
// A file this process made and owns: its path (new wchar_t[]); releasing it deletes
// the file and frees the path.
struct DeleteFileDeleter {
    void operator()(wchar_t* psz) const {
        DeleteFileW(psz);
        delete[] psz;
    }
};

using UniqueHandleNull = UniqueHandle<HANDLE, CloseHandleDeleter>;
using UniqueFileHandle = UniqueHandle<HANDLE, CloseHandleDeleter, InvalidHandleValue>;
using UniqueBitmap = UniqueHandle<HBITMAP, DeleteObjectDeleter>;
using UniqueFont = UniqueHandle<HFONT, DeleteObjectDeleter>;
using UniqueBrush = UniqueHandle<HBRUSH, DeleteObjectDeleter>;
using UniqueIcon = UniqueHandle<HICON, DestroyIconDeleter>;
using UniqueMenu = UniqueHandle<HMENU, DestroyMenuDeleter>;
using UniqueMemDC = UniqueHandle<HDC, DeleteDCDeleter>;
using UniqueModule = UniqueHandle<HMODULE, FreeLibraryDeleter>;
using UniqueBstr = UniqueHandle<BSTR, SysFreeStringDeleter>;
using UniqueSafeArray = UniqueHandle<SAFEARRAY*, SafeArrayDestroyDeleter>;
using UniqueWindow = UniqueHandle<HWND, DestroyWindowDeleter>;
using UniqueOwnedFile = UniqueHandle<wchar_t*, DeleteFileDeleter>;

// A DC from GetDC, given back with ReleaseDC.
class WindowDC {
public:
    explicit WindowDC(HWND hwnd) : m_hwnd(hwnd), m_hdc(GetDC(hwnd)) {}
    ~WindowDC() { if (m_hdc) ReleaseDC(m_hwnd, m_hdc); }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC get() const { return m_hdc; }
private:
    HWND m_hwnd;
    HDC m_hdc;
};

// A DC from BeginPaint, ended with EndPaint.
class PaintDC {
public:
    explicit PaintDC(HWND hwnd) : m_hwnd(hwnd) { m_hdc = BeginPaint(hwnd, &m_ps); }
    ~PaintDC() { EndPaint(m_hwnd, &m_ps); }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;
    HDC get() const { return m_hdc; }
    const PAINTSTRUCT& ps() const { return m_ps; }
private:
    HWND m_hwnd;
    HDC m_hdc;
    PAINTSTRUCT m_ps;
};

// Selects an object into a DC and selects the previous one back on scope exit.
class SelectGuard {
public:
    SelectGuard(HDC hdc, HGDIOBJ obj) : m_hdc(hdc), m_old(SelectObject(hdc, obj)) {}
    ~SelectGuard() { if (m_old) SelectObject(m_hdc, m_old); }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;
private:
    HDC m_hdc;
    HGDIOBJ m_old;
};

// A reference-counted COM pointer.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr& other) : m_p(other.m_p) { if (m_p) m_p->AddRef(); }
    ComPtr(ComPtr&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    ComPtr& operator=(ComPtr other) { std::swap(m_p, other.m_p); return *this; }
    ~ComPtr() { reset(); }
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    void reset() { if (m_p) { T* p = m_p; m_p = nullptr; p->Release(); } }
    T** put() { reset(); return &m_p; }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    // Takes over a pointer that already carries a reference.
    void attach(T* p) { reset(); m_p = p; }
    T* detach() { T* p = m_p; m_p = nullptr; return p; }
private:
    T* m_p = nullptr;
};

// A reference on an object of a layer above the record that holds it: the holder knows
// the type only by name and gives the reference back through the function stored with
// it. Neither copied nor moved, like the record that holds it.
template <typename T>
class ForeignRef {
public:
    ForeignRef() = default;
    ForeignRef(const ForeignRef&) = delete;
    ForeignRef& operator=(const ForeignRef&) = delete;
    ~ForeignRef() { reset(); }
    T* get() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // Takes over p (which carries a reference) and gives back the one held before.
    void reset(T* p = nullptr, void (*pfnRelease)(T*) = nullptr) {
        T* pOld = m_p;
        void (*pfnOld)(T*) = m_pfnRelease;
        m_p = p;
        m_pfnRelease = pfnRelease;
        if (pOld && pfnOld) pfnOld(pOld);
    }
private:
    T* m_p = nullptr;
    void (*m_pfnRelease)(T*) = nullptr;
};

// A VARIANT cleared on scope exit.
struct UniqueVariant : VARIANT {
    UniqueVariant() { VariantInit(this); }
    ~UniqueVariant() { VariantClear(this); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
};

// The calling thread's membership of a COM apartment (CoInitializeEx) or of OLE
// (OleInitialize), undone by reset() or on scope exit, and only when it succeeded.
// Entering twice on one thread is counted by COM, so each guard undoes its own entry.
class ComApartment {
public:
    enum Kind { COM_STA, OLE };
    // Enters at once; the default guard holds nothing until enter().
    explicit ComApartment(Kind kind) { enter(kind); }
    ComApartment() = default;
    ~ComApartment() { reset(); }
    void enter(Kind kind) {
        reset();
        m_kind = kind;
        m_hr = kind == OLE ? OleInitialize(nullptr) : CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    HRESULT hr() const { return m_hr; }
    bool ok() const { return SUCCEEDED(m_hr); }
    // Leaves the apartment now; must run on the thread that entered it.
    void reset() {
        if (SUCCEEDED(m_hr)) {
            if (m_kind == OLE)
                OleUninitialize();
            else
                CoUninitialize();
        }
        m_hr = E_FAIL;
    }
private:
    Kind m_kind = COM_STA;
    HRESULT m_hr = E_FAIL;
};

// A critical section and its scoped lock.
class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&m_cs); }
    ~CriticalSection() { DeleteCriticalSection(&m_cs); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    void Enter() { EnterCriticalSection(&m_cs); }
    void Leave() { LeaveCriticalSection(&m_cs); }
    bool TryEnter() { return TryEnterCriticalSection(&m_cs) != FALSE; }
private:
    CRITICAL_SECTION m_cs;
};

class ScopedLock {
public:
    explicit ScopedLock(CriticalSection& cs) : m_cs(cs) { m_cs.Enter(); }
    ~ScopedLock() { m_cs.Leave(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;
private:
    CriticalSection& m_cs;
};

}  // namespace qm
