#include "viewer/browserevents.h"
#include <exdisp.h>
#include <exdispid.h>
#include <ocidl.h>
#include <shlwapi.h>
#include <new>
#include <string>
#include "core/unique.h"
#include "viewer/action.h"
#include "viewer/axhost.h"

// The listener: a DWebBrowserEvents2 dispatch interface of its own, reference-counted;
// the control's connection point holds it from Advise to Unadvise.
class BrowserEventSink : public IDispatch {
public:
    BrowserEventSink(HWND hwndOwner, IUnknown* pControl) : m_hwndOwner(hwndOwner), m_pControlIdentity(pControl) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, DIID_DWebBrowserEvents2))
            *ppv = static_cast<IDispatch*>(this);
        if (!*ppv) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG lCount = InterlockedDecrement(&m_cRef);
        if (lCount == 0) delete this;
        return static_cast<ULONG>(lCount);
    }
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override {
        if (pctinfo) *pctinfo = 0;
        return pctinfo ? S_OK : E_POINTER;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID, LCID, WORD, DISPPARAMS* pParams, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        if (!pParams || !pParams->rgvarg) return S_OK;
        try {
            if (dispIdMember == DISPID_BEFORENAVIGATE2)
                OnBeforeNavigate2(*pParams);
            else if (dispIdMember == DISPID_NEWWINDOW3)
                OnNewWindow3(*pParams);
        } catch (...) {
            // Out of memory: the navigation has been cancelled already, nothing launches.
        }
        return S_OK;
    }

    std::wstring m_page;
    qm::ComPtr<IConnectionPoint> m_pPoint;
    DWORD m_dwCookie = 0;

private:
    virtual ~BrowserEventSink() = default;

    // The text of a string argument, passed as it is or by reference.
    static const wchar_t* StringOf(const VARIANT& v) {
        const VARIANT* p = &v;
        if (V_VT(p) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(p)) p = V_VARIANTREF(p);
        if (V_VT(p) == VT_BSTR) return V_BSTR(p) ? V_BSTR(p) : L"";
        if (V_VT(p) == (VT_BYREF | VT_BSTR) && V_BSTRREF(p)) return *V_BSTRREF(p) ? *V_BSTRREF(p) : L"";
        return nullptr;
    }
    static VARIANT_BOOL* CancelOf(const VARIANT& v) {
        return V_VT(&v) == (VT_BYREF | VT_BOOL) ? V_BOOLREF(&v) : nullptr;
    }

    // A file URL as its path; anything else as it stands.
    static std::wstring PathOf(const std::wstring& url) {
        if (_wcsnicmp(url.c_str(), L"file:", 5) != 0) return url;
        wchar_t szPath[MAX_PATH * 2];
        DWORD cch = MAX_PATH * 2;
        if (FAILED(PathCreateFromUrlW(url.c_str(), szPath, &cch, 0))) return std::wstring();
        return szPath;
    }
    bool IsOwnPage(const wchar_t* szURL) const {
        if (m_page.empty() || !szURL) return false;
        std::wstring url = szURL;
        if (_wcsicmp(PathOf(url).c_str(), m_page.c_str()) == 0) return true;
        // A jump to a mark on the page is the page too.
        size_t mark = url.find(L'#');
        return mark != std::wstring::npos && _wcsicmp(PathOf(url.substr(0, mark)).c_str(), m_page.c_str()) == 0;
    }
    // The navigation is the page's own, not that of a frame inside it.
    bool IsControl(IDispatch* pDisp) const {
        if (!pDisp) return true;
        qm::ComPtr<IUnknown> pIdentity;
        pDisp->QueryInterface(IID_IUnknown, pIdentity.put_void());
        return pIdentity.get() == m_pControlIdentity;
    }
    void HandOff(const wchar_t* szURL) {
        const DWORD dwNow = GetTickCount();
        if (m_bHandedOff && dwNow - m_dwLastHandOff < BROWSER_HANDOFF_INTERVAL_MS) return;
        if (!OpenWebAddress(m_hwndOwner, szURL)) return;
        m_bHandedOff = true;
        m_dwLastHandOff = dwNow;
    }

    // Arguments, last first: pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel.
    void OnBeforeNavigate2(DISPPARAMS& params) {
        if (params.cArgs < 7) return;
        const wchar_t* szURL = StringOf(params.rgvarg[5]);
        if (IsOwnPage(szURL)) return;
        VARIANT_BOOL* pCancel = CancelOf(params.rgvarg[0]);
        if (!pCancel) return;
        *pCancel = VARIANT_TRUE;
        IDispatch* pDisp = V_VT(&params.rgvarg[6]) == VT_DISPATCH ? V_DISPATCH(&params.rgvarg[6]) : nullptr;
        if (szURL && IsControl(pDisp)) HandOff(szURL);
    }
    // Arguments, last first: ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl.
    void OnNewWindow3(DISPPARAMS& params) {
        if (params.cArgs < 5) return;
        VARIANT_BOOL* pCancel = CancelOf(params.rgvarg[3]);
        if (!pCancel) return;
        *pCancel = VARIANT_TRUE;
        if (const wchar_t* szURL = StringOf(params.rgvarg[0])) HandOff(szURL);
    }

    volatile LONG m_cRef = 1;
    HWND m_hwndOwner;
    const IUnknown* m_pControlIdentity;  // compared with, never called
    bool m_bHandedOff = false;
    DWORD m_dwLastHandOff = 0;
};

BrowserEventSink* ConnectBrowserEvents(HWND hwndBrowser, HWND hwndOwner) {
    qm::ComPtr<IConnectionPointContainer> pContainer;
    SendMessageW(hwndBrowser, AXM_QUERYINTERFACE, reinterpret_cast<WPARAM>(&IID_IConnectionPointContainer),
                 reinterpret_cast<LPARAM>(pContainer.put_void()));
    if (!pContainer) return nullptr;
    qm::ComPtr<IConnectionPoint> pPoint;
    if (FAILED(pContainer->FindConnectionPoint(DIID_DWebBrowserEvents2, pPoint.put())) || !pPoint) return nullptr;
    qm::ComPtr<IUnknown> pIdentity;
    SendMessageW(hwndBrowser, AXM_QUERYINTERFACE, reinterpret_cast<WPARAM>(&IID_IUnknown),
                 reinterpret_cast<LPARAM>(pIdentity.put_void()));
    auto* pSink = new (std::nothrow) BrowserEventSink(hwndOwner, pIdentity.get());
    if (!pSink) return nullptr;
    if (FAILED(pPoint->Advise(static_cast<IDispatch*>(pSink), &pSink->m_dwCookie))) {
        pSink->Release();
        return nullptr;
    }
    pSink->m_pPoint = pPoint;
    return pSink;
}

void AllowBrowserPage(BrowserEventSink* pSink, const wchar_t* szPath) {
    if (!pSink) return;
    try {
        pSink->m_page = szPath ? szPath : L"";
    } catch (...) {
        pSink->m_page.clear();
    }
}

void DisconnectBrowserEvents(BrowserEventSink* pSink) {
    if (!pSink) return;
    if (pSink->m_pPoint) {
        pSink->m_pPoint->Unadvise(pSink->m_dwCookie);
        pSink->m_pPoint.reset();
    }
    pSink->Release();
}
