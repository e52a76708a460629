#include "viewer/axhost.h"
#include <idispids.h>
#include <olectl.h>
#include <new>
#include "core/unique.h"

namespace {

volatile LONG g_lHostsAlive = 0;

AXHost* HostOf(HWND hwnd) {
    return reinterpret_cast<AXHost*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

AXHost* NewHost(HWND hwnd, const CLSID& clsid) {
    AXHost* pHost = new (std::nothrow) AXHost();
    if (!pHost) return nullptr;
    InterlockedIncrement(&g_lHostsAlive);
    pHost->m_site.m_pHost = pHost;
    pHost->m_site.m_hwnd = hwnd;
    pHost->m_site.m_hwndParent = GetParent(hwnd);
    pHost->m_piid = &IID_IOleObject;
    pHost->m_clsid = clsid;
    return pHost;
}

void DeleteHost(AXHost* pHost) {
    delete pHost;
    InterlockedDecrement(&g_lHostsAlive);
}

// The window lets go of its object: freed now if nobody holds the site, else by the
// site's last Release.
void DetachHost(AXHost* pHost) {
    pHost->m_bDetached = true;
    if (pHost->m_site.m_cRef == 0) DeleteHost(pHost);
}

template <typename T>
void ReleaseMember(T*& p) {
    if (p) {
        T* pOld = p;
        p = nullptr;
        pOld->Release();
    }
}

void DeactivateInPlace(IOleObject* pOleObject) {
    IOleInPlaceObject* pInPlace = nullptr;
    if (pOleObject && SUCCEEDED(pOleObject->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&pInPlace))) &&
        pInPlace) {
        pInPlace->UIDeactivate();
        pInPlace->InPlaceDeactivate();
        pInPlace->Release();
    }
}

void TearDownHost(AXHost* pHost) {
    AXClientSite& site = pHost->m_site;
    if (site.m_bInPlace) {
        site.m_bInPlace = 0;
        DeactivateInPlace(pHost->m_pOleObject);
    }
    if (pHost->m_dwAdviseConnection && pHost->m_pOleObject) {
        pHost->m_pOleObject->Unadvise(pHost->m_dwAdviseConnection);
        pHost->m_dwAdviseConnection = 0;
    }
    if (pHost->m_pDataObject) {
        for (DWORD& dwConnection : pHost->m_adwDataConnections) {
            if (dwConnection) pHost->m_pDataObject->DUnadvise(dwConnection);
            dwConnection = 0;
        }
    }
    if (pHost->m_pViewObject) pHost->m_pViewObject->SetAdvise(DVASPECT_CONTENT, 0, nullptr);
    // Closing the object and taking the site away makes the control drop the references
    // it holds on the site, so the host can be freed.
    if (pHost->m_pOleObject) {
        pHost->m_pOleObject->Close(OLECLOSE_NOSAVE);
        pHost->m_pOleObject->SetClientSite(nullptr);
    }
    ReleaseMember(pHost->m_pActiveObject);
    ReleaseMember(pHost->m_pDataObject);
    ReleaseMember(pHost->m_pViewObject);
    ReleaseMember(pHost->m_pStorage);
    ReleaseMember(pHost->m_pOleObject);
}

LRESULT OnCreate(HWND hwnd) {
    wchar_t szText[1000] = {};
    GetWindowTextW(hwnd, szText, 1000);
    CLSID clsid = {};
    CLSIDFromString(szText, &clsid);  // a text that is no class identifier makes OleCreate fail
    AXHost* pHost = NewHost(hwnd, clsid);
    if (!pHost) return -1;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pHost));
    AXClientSite& site = pHost->m_site;

    StgCreateDocfile(nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE, 0, &pHost->m_pStorage);
    OleCreate(pHost->m_clsid, *pHost->m_piid, OLERENDER_DRAW, nullptr, static_cast<IOleClientSite*>(&site),
              pHost->m_pStorage, reinterpret_cast<void**>(&pHost->m_pOleObject));
    if (!pHost->m_pOleObject) {
        TearDownHost(pHost);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        DetachHost(pHost);
        return -1;
    }
    OleSetContainedObject(pHost->m_pOleObject, TRUE);
    pHost->m_pOleObject->Advise(static_cast<IAdviseSink*>(&site), &pHost->m_dwAdviseConnection);
    pHost->m_pOleObject->QueryInterface(IID_IViewObject, reinterpret_cast<void**>(&pHost->m_pViewObject));
    pHost->m_pOleObject->QueryInterface(IID_IDataObject, reinterpret_cast<void**>(&pHost->m_pDataObject));
    if (pHost->m_pViewObject) pHost->m_pViewObject->SetAdvise(DVASPECT_CONTENT, 0, static_cast<IAdviseSink*>(&site));
    // The control may have read its ambient properties before it had the site; it reads
    // the download control again now.
    qm::ComPtr<IOleControl> pControl;
    if (SUCCEEDED(pHost->m_pOleObject->QueryInterface(IID_IOleControl, pControl.put_void())) && pControl)
        pControl->OnAmbientPropertyChange(DISPID_AMBIENT_DLCONTROL);
    return 0;
}

LRESULT OnInPlace(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    AXHost* pHost = HostOf(hwnd);
    if (!pHost || !pHost->m_pOleObject) return 0;
    AXClientSite& site = pHost->m_site;
    RECT rc;
    GetClientRect(hwnd, &rc);
    if (!site.m_bInPlace && wParam == 1) {
        site.m_bInPlace = 1;
        site.m_bExternalPlace = lParam ? 1 : 0;
        pHost->m_pOleObject->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(&site), 0, hwnd,
                                    &rc);
        InvalidateRect(hwnd, nullptr, TRUE);
        return 1;
    }
    if (site.m_bInPlace && wParam == 0) {
        site.m_bInPlace = 0;
        IOleInPlaceObject* pInPlace = nullptr;
        pHost->m_pOleObject->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&pInPlace));
        if (!pInPlace) return 0;
        pInPlace->UIDeactivate();
        pInPlace->InPlaceDeactivate();
        pInPlace->Release();
        InvalidateRect(hwnd, nullptr, TRUE);
        return 1;
    }
    return 0;
}

LRESULT OnSize(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    AXHost* pHost = HostOf(hwnd);
    if (!pHost || !pHost->m_pOleObject) return 0;
    DefWindowProcW(hwnd, WM_SIZE, wParam, lParam);
    if (pHost->m_site.m_bInPlace) {
        // Reactivating offers the in-place interfaces again, so a control opened outside
        // the window comes back into it.
        SendMessageW(hwnd, AXM_INPLACE, 0, 0);
        InvalidateRect(hwnd, nullptr, TRUE);
        SendMessageW(hwnd, AXM_INPLACE, 1, 0);
    }
    IOleInPlaceObject* pInPlace = nullptr;
    pHost->m_pOleObject->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&pInPlace));
    if (pInPlace) {
        RECT rc;
        GetClientRect(hwnd, &rc);
        pInPlace->SetObjectRects(&rc, &rc);
        pInPlace->Release();
    }
    return 0;
}

LRESULT OnDataAdvise(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    AXHost* pHost = HostOf(hwnd);
    if (!pHost || !pHost->m_pDataObject) return 0;
    const int iIndex = static_cast<int>(wParam);
    if (iIndex != -1 && (iIndex < 0 || iIndex >= AX_DATA_CONNECTIONS)) return 0;
    IEnumFORMATETC* pEnum = nullptr;
    pHost->m_pDataObject->EnumFormatEtc(static_cast<DWORD>(lParam), &pEnum);
    if (!pEnum) return 0;
    FORMATETC fe = {};
    bool bFound = false;
    int iCount = 0;
    for (;;) {
        ULONG cFetched = 0;
        if (pEnum->Next(1, &fe, &cFetched) != S_OK) break;
        if (iCount == iIndex) {
            bFound = true;
            break;
        }
        if (fe.ptd) CoTaskMemFree(fe.ptd);
        fe.ptd = nullptr;
        ++iCount;
    }
    pEnum->Release();
    if (iIndex == -1) return iCount;
    if (!bFound) return 0;
    DWORD dwConnection = 0;
    pHost->m_pDataObject->DAdvise(&fe, 0, static_cast<IAdviseSink*>(&pHost->m_site), &dwConnection);
    if (fe.ptd) CoTaskMemFree(fe.ptd);
    pHost->m_adwDataConnections[iIndex] = dwConnection;
    return 1;
}

}  // namespace

LONG AXHostsAlive() {
    return g_lHostsAlive;
}

LRESULT CALLBACK AXWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_CREATE:
        return OnCreate(hwnd);
    case WM_DESTROY: {
        AXHost* pHost = HostOf(hwnd);
        if (!pHost) return 0;
        TearDownHost(pHost);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        DetachHost(pHost);
        return 1;
    }
    case WM_SIZE:
        return OnSize(hwnd, wParam, lParam);
    case WM_LBUTTONDBLCLK:
        PostMessageW(hwnd, AXM_INPLACE, 1, 0);
        return 0;
    case AXM_QUERYINTERFACE: {
        AXHost* pHost = HostOf(hwnd);
        if (!pHost || !pHost->m_pOleObject || !wParam || !lParam) return 0;
        return pHost->m_pOleObject->QueryInterface(*reinterpret_cast<const IID*>(wParam),
                                                   reinterpret_cast<void**>(lParam));
    }
    case AXM_INPLACE:
        return OnInPlace(hwnd, wParam, lParam);
    case AXM_GETHOST:
        return reinterpret_cast<LRESULT>(HostOf(hwnd));
    case AXM_DATAADVISE:
        return OnDataAdvise(hwnd, wParam, lParam);
    }
    return DefWindowProcW(hwnd, uMsg, wParam, lParam);
}

ATOM RegisterAXClass(HINSTANCE hInstance) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_GLOBALCLASS | CS_DBLCLKS;
    wc.lpfnWndProc = AXWndProc;
    wc.hInstance = hInstance;
    wc.lpszClassName = L"AX";
    return RegisterClassExW(&wc);
}

BOOL UnregisterAXClass(HINSTANCE hInstance) {
    return UnregisterClassW(L"AX", hInstance);
}

// ---- AXClientSite ----

STDMETHODIMP AXClientSite::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IOleClientSite) || IsEqualIID(riid, IID_IUnknown))
        *ppv = static_cast<IOleClientSite*>(this);
    else if (IsEqualIID(riid, IID_IAdviseSink))
        *ppv = static_cast<IAdviseSink*>(this);
    else if (IsEqualIID(riid, IID_IDispatch))
        *ppv = static_cast<IDispatch*>(this);
    else if (!m_bExternalPlace && IsEqualIID(riid, IID_IOleInPlaceSite))
        *ppv = static_cast<IOleInPlaceSite*>(this);
    else if (!m_bExternalPlace && (IsEqualIID(riid, IID_IOleInPlaceFrame) || IsEqualIID(riid, IID_IOleInPlaceUIWindow)))
        *ppv = static_cast<IOleInPlaceFrame*>(this);
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) AXClientSite::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) AXClientSite::Release() {
    LONG lCount = InterlockedDecrement(&m_cRef);
    // Only a host whose window has let go of it is freed here; while the window lives,
    // the count reaching zero frees nothing.
    if (lCount == 0 && m_pHost && m_pHost->m_bDetached) DeleteHost(m_pHost);
    return static_cast<ULONG>(lCount);
}

STDMETHODIMP AXClientSite::SaveObject() { return S_OK; }
STDMETHODIMP AXClientSite::GetMoniker(DWORD, DWORD, IMoniker** ppmk) {
    if (ppmk) *ppmk = nullptr;
    return E_NOTIMPL;
}
STDMETHODIMP AXClientSite::GetContainer(IOleContainer** ppContainer) {
    if (ppContainer) *ppContainer = nullptr;
    return E_FAIL;
}
STDMETHODIMP AXClientSite::ShowObject() { return S_OK; }
STDMETHODIMP AXClientSite::OnShowWindow(BOOL) {
    InvalidateRect(m_hwnd, nullptr, TRUE);
    InvalidateRect(m_hwndParent, nullptr, TRUE);
    return S_OK;
}
STDMETHODIMP AXClientSite::RequestNewObjectLayout() { return S_OK; }

STDMETHODIMP AXClientSite::GetTypeInfoCount(UINT*) { return E_NOTIMPL; }
STDMETHODIMP AXClientSite::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }
STDMETHODIMP AXClientSite::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }
// The ambient properties the control reads from its site: the download control (see
// AX_DLCONTROL_FLAGS), user mode (the control runs, it is not being designed) and
// silence (no dialogs). Any other is one the site does not have, so the control uses
// its own default.
STDMETHODIMP AXClientSite::Invoke(DISPID dispIdMember, REFIID, LCID, WORD wFlags, DISPPARAMS*, VARIANT* pVarResult,
                                  EXCEPINFO*, UINT*) {
    if (!(wFlags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    VARIANT value;
    VariantInit(&value);
    switch (dispIdMember) {
    case DISPID_AMBIENT_DLCONTROL:
        V_VT(&value) = VT_I4;
        V_I4(&value) = static_cast<LONG>(AX_DLCONTROL_FLAGS);
        break;
    case DISPID_AMBIENT_USERMODE:
    case DISPID_AMBIENT_SILENT:
        V_VT(&value) = VT_BOOL;
        V_BOOL(&value) = VARIANT_TRUE;
        break;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
    if (!pVarResult) return E_POINTER;
    *pVarResult = value;
    return S_OK;
}

STDMETHODIMP_(void) AXClientSite::OnDataChange(FORMATETC*, STGMEDIUM*) {}
STDMETHODIMP_(void) AXClientSite::OnViewChange(DWORD, LONG) {}
STDMETHODIMP_(void) AXClientSite::OnRename(IMoniker*) {}
STDMETHODIMP_(void) AXClientSite::OnSave() {}
STDMETHODIMP_(void) AXClientSite::OnClose() {}

STDMETHODIMP AXClientSite::GetWindow(HWND* phwnd) {
    if (!phwnd) return E_POINTER;
    *phwnd = m_hwnd;
    return S_OK;
}
STDMETHODIMP AXClientSite::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

STDMETHODIMP AXClientSite::CanInPlaceActivate() { return m_bInPlace ? S_OK : S_FALSE; }
STDMETHODIMP AXClientSite::OnInPlaceActivate() { return S_OK; }
STDMETHODIMP AXClientSite::OnUIActivate() { return S_OK; }
STDMETHODIMP AXClientSite::GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc,
                                            LPRECT lprcPosRect, LPRECT lprcClipRect,
                                            LPOLEINPLACEFRAMEINFO lpFrameInfo) {
    if (ppFrame) {
        *ppFrame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
    }
    if (ppDoc) *ppDoc = nullptr;
    if (lprcPosRect) GetClientRect(m_hwnd, lprcPosRect);
    if (lprcClipRect) GetClientRect(m_hwnd, lprcClipRect);
    if (lpFrameInfo) {
        lpFrameInfo->cb = sizeof(OLEINPLACEFRAMEINFO);
        lpFrameInfo->fMDIApp = FALSE;
        lpFrameInfo->hwndFrame = m_hwndParent;
        lpFrameInfo->haccel = nullptr;
        lpFrameInfo->cAccelEntries = 0;
    }
    return S_OK;
}
STDMETHODIMP AXClientSite::Scroll(SIZE) { return E_NOTIMPL; }
STDMETHODIMP AXClientSite::OnUIDeactivate(BOOL) { return S_OK; }
STDMETHODIMP AXClientSite::OnInPlaceDeactivate() { return S_OK; }
STDMETHODIMP AXClientSite::DiscardUndoState() { return S_OK; }
STDMETHODIMP AXClientSite::DeactivateAndUndo() { return S_OK; }
STDMETHODIMP AXClientSite::OnPosRectChange(LPCRECT) { return S_OK; }

STDMETHODIMP AXClientSite::GetBorder(LPRECT lprectBorder) {
    if (lprectBorder) GetClientRect(m_hwnd, lprectBorder);
    return S_OK;
}
STDMETHODIMP AXClientSite::RequestBorderSpace(LPCBORDERWIDTHS) { return E_NOTIMPL; }
STDMETHODIMP AXClientSite::SetBorderSpace(LPCBORDERWIDTHS) { return S_OK; }
STDMETHODIMP AXClientSite::SetActiveObject(IOleInPlaceActiveObject* pActiveObject, LPCOLESTR) {
    if (pActiveObject) pActiveObject->AddRef();
    IOleInPlaceActiveObject* pOld = m_pHost ? m_pHost->m_pActiveObject : nullptr;
    if (m_pHost) m_pHost->m_pActiveObject = pActiveObject;
    else if (pActiveObject) pActiveObject->Release();
    if (pOld) pOld->Release();
    return S_OK;
}
STDMETHODIMP AXClientSite::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) { return E_NOTIMPL; }
STDMETHODIMP AXClientSite::SetMenu(HMENU, HOLEMENU, HWND) { return E_NOTIMPL; }
STDMETHODIMP AXClientSite::RemoveMenus(HMENU) { return E_NOTIMPL; }
STDMETHODIMP AXClientSite::SetStatusText(LPCOLESTR) { return E_NOTIMPL; }
STDMETHODIMP AXClientSite::EnableModeless(BOOL) { return E_NOTIMPL; }
STDMETHODIMP AXClientSite::TranslateAccelerator(LPMSG, WORD) { return E_NOTIMPL; }
