#include "standin.h"
#include <exdispid.h>
#include <mshtmdid.h>
#include <ocidl.h>
#include <olectl.h>
#include <shlobj.h>

namespace {
StandInLog g_log;
StandInOptions g_opts;
IOleClientSite* g_pKeptSite = nullptr;
IDispatch* g_pEventSink = nullptr;  // the connected DWebBrowserEvents2 sink
IDispatch* g_pControl = nullptr;    // the control that the events come from

// A frame inside the page: a browser object that is not the control itself.
class Frame : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = (riid == IID_IUnknown || riid == IID_IDispatch) ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
};
Frame g_frame;

// The control's one connection point, for DWebBrowserEvents2; it takes one sink.
class EventPoint : public IConnectionPoint {
public:
    IDispatch* pControl = nullptr;  // the control that owns the point
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = (riid == IID_IUnknown || riid == IID_IConnectionPoint) ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* piid) override {
        *piid = DIID_DWebBrowserEvents2;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* pSink, DWORD* pdwCookie) override {
        if (g_pEventSink) return CONNECT_E_ADVISELIMIT;
        if (!pSink || FAILED(pSink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&g_pEventSink))))
            return CONNECT_E_CANNOTCONNECT;
        g_pControl = pControl;
        ++g_log.eventSinks;
        *pdwCookie = 31;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) override {
        if (dwCookie != 31 || !g_pEventSink) return CONNECT_E_NOCONNECTION;
        g_pEventSink->Release();
        g_pEventSink = nullptr;
        --g_log.eventSinks;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }
};
EventPoint g_eventPoint;

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
class Control : public IOleObject,
                public IOleInPlaceObject,
                public IViewObject,
                public IDataObject,
                public IPersistStorage,
                public IWebBrowser2,
                public IOleControl,
                public IConnectionPointContainer {
public:
    Control() {
        ++g_log.created;
        g_log.createThread = GetCurrentThreadId();
    }
    virtual ~Control() {
        if (m_pSite) m_pSite->Release();
        if (g_pControl == static_cast<IWebBrowser2*>(this)) g_pControl = nullptr;
        ++g_log.destroyed;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IOleObject) *ppv = static_cast<IOleObject*>(this);
        else if ((riid == IID_IOleInPlaceObject || riid == IID_IOleWindow) && g_opts.inPlaceObject)
            *ppv = static_cast<IOleInPlaceObject*>(this);
        else if (riid == IID_IViewObject) *ppv = static_cast<IViewObject*>(this);
        else if (riid == IID_IDataObject) *ppv = static_cast<IDataObject*>(this);
        else if (riid == IID_IPersistStorage || riid == IID_IPersist) *ppv = static_cast<IPersistStorage*>(this);
        else if ((riid == IID_IWebBrowser2 || riid == IID_IWebBrowser || riid == IID_IWebBrowserApp ||
                  riid == IID_IDispatch) && g_opts.webBrowser)
            *ppv = static_cast<IWebBrowser2*>(this);
        else if (riid == IID_IOleControl) *ppv = static_cast<IOleControl*>(this);
        else if (riid == IID_IConnectionPointContainer && g_opts.webBrowser)
            *ppv = static_cast<IConnectionPointContainer*>(this);
        if (!*ppv) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&m_cRef); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG n = InterlockedDecrement(&m_cRef);
        if (n == 0) delete this;
        return n;
    }
    // IOleObject
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* pSite) override {
        if (pSite) {
            ++g_log.setClientSite;
            pSite->AddRef();
            if (m_pSite) m_pSite->Release();
            m_pSite = pSite;
        } else {
            ++g_log.clearClientSite;
            if (g_opts.keepSite) {
                g_pKeptSite = m_pSite;
            } else if (m_pSite) {
                m_pSite->Release();
            }
            m_pSite = nullptr;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** pp) override {
        *pp = m_pSite;
        if (m_pSite) m_pSite->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink* pSink, DWORD* pdw) override {
        ++g_log.advise;
        *pdw = 77;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD dw) override {
        if (dw == 77) ++g_log.unadvise;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DoVerb(LONG iVerb, LPMSG, IOleClientSite* pSite, LONG, HWND hwndParent,
                                     LPCRECT prc) override {
        if (iVerb != OLEIVERB_INPLACEACTIVATE) return E_NOTIMPL;
        ++g_log.doVerbInPlace;
        g_log.doVerbParent = hwndParent;
        if (prc) g_log.lastDoVerbRect = *prc;
        IOleInPlaceSite* pInPlace = nullptr;
        pSite->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&pInPlace));
        g_log.inPlaceSiteOffered = pInPlace ? 1 : 0;
        if (pInPlace) {
            IOleInPlaceFrame* pFrame = nullptr;
            IOleInPlaceUIWindow* pDoc = nullptr;
            RECT rcPos, rcClip;
            OLEINPLACEFRAMEINFO info = {};
            info.cb = sizeof(info);
            pInPlace->GetWindowContext(&pFrame, &pDoc, &rcPos, &rcClip, &info);
            if (pFrame) {
                pFrame->SetActiveObject(nullptr, nullptr);
                pFrame->Release();
            }
            pInPlace->Release();
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Close(DWORD) override {
        ++g_log.close;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD, DWORD* p) override {
        *p = 0;
        return S_OK;
    }
    // IOleInPlaceObject
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* phwnd) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override {
        ++g_log.inPlaceDeactivate;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UIDeactivate() override {
        ++g_log.uiDeactivate;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT pos, LPCRECT) override {
        ++g_log.setObjectRects;
        g_log.lastRects = *pos;
        return S_OK;
    }
    // IViewObject
    HRESULT STDMETHODCALLTYPE SetAdvise(DWORD, DWORD, IAdviseSink* pSink) override {
        if (pSink) {
            ++g_log.viewAdvise;
            pSink->AddRef();
        }
        if (m_pViewSink) m_pViewSink->Release();
        m_pViewSink = pSink;
        return S_OK;
    }
    // IDataObject
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC** pp) override {
        FORMATETC fe[8];
        for (int i = 0; i < 8; ++i) fe[i] = {static_cast<CLIPFORMAT>(CF_TEXT + i), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        return SHCreateStdEnumFmtEtc(static_cast<UINT>(g_opts.formats), fe, pp);
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD* pdw) override {
        ++g_log.dadvise;
        *pdw = 500 + g_log.dadvise;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override {
        ++g_log.dunadvise;
        return S_OK;
    }
    // IPersistStorage
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* p) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InitNew(IStorage*) override { return S_OK; }
    // IWebBrowser2
    HRESULT STDMETHODCALLTYPE Navigate(BSTR URL, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override {
        g_log.navigated.push_back(URL ? URL : L"");
        g_log.navigateThread = GetCurrentThreadId();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GoBack() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GoForward() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GoHome() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GoSearch() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Refresh() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Refresh2(VARIANT *Level) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stop() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Application(IDispatch **ppDisp) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Parent(IDispatch **ppDisp) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Container(IDispatch **ppDisp) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Document(IDispatch **ppDisp) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_TopLevelContainer(VARIANT_BOOL *pBool) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Type(BSTR *Type) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Left(LONG *pl) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Left(LONG Left) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Top(LONG *pl) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Top(LONG Top) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Width(LONG *pl) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Width(LONG Width) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Height(LONG *pl) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Height(LONG Height) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_LocationName(BSTR *LocationName) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_LocationURL(BSTR *LocationURL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Busy(VARIANT_BOOL *pBool) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Quit() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ClientToWindow(int *pcx, int *pcy) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PutProperty(BSTR Property, VARIANT vtValue) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetProperty(BSTR Property, VARIANT *pvtValue) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Name(BSTR *Name) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_HWND(SHANDLE_PTR *pHWND) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_FullName(BSTR *FullName) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Path(BSTR *Path) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Visible(VARIANT_BOOL *pBool) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Visible(VARIANT_BOOL Value) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_StatusBar(VARIANT_BOOL *pBool) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_StatusBar(VARIANT_BOOL Value) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_StatusText(BSTR *StatusText) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_StatusText(BSTR StatusText) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ToolBar(int *Value) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_ToolBar(int Value) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_MenuBar(VARIANT_BOOL *Value) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_MenuBar(VARIANT_BOOL Value) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_FullScreen(VARIANT_BOOL *pbFullScreen) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_FullScreen(VARIANT_BOOL bFullScreen) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Navigate2(VARIANT *URL, VARIANT *Flags, VARIANT *TargetFrameName, VARIANT *PostData, VARIANT *Headers) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryStatusWB(OLECMDID cmdID, OLECMDF *pcmdf) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ExecWB(OLECMDID cmdID, OLECMDEXECOPT cmdexecopt, VARIANT *pvaIn, VARIANT *pvaOut) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ShowBrowserBar(VARIANT *pvaClsid, VARIANT *pvarShow, VARIANT *pvarSize) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_ReadyState(READYSTATE *plReadyState) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Offline(VARIANT_BOOL *pbOffline) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Offline(VARIANT_BOOL bOffline) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Silent(VARIANT_BOOL *pbSilent) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Silent(VARIANT_BOOL bSilent) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_RegisterAsBrowser(VARIANT_BOOL *pbRegister) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_RegisterAsBrowser(VARIANT_BOOL bRegister) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_RegisterAsDropTarget(VARIANT_BOOL *pbRegister) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_RegisterAsDropTarget(VARIANT_BOOL bRegister) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_TheaterMode(VARIANT_BOOL *pbRegister) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_TheaterMode(VARIANT_BOOL bRegister) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_AddressBar(VARIANT_BOOL *Value) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_AddressBar(VARIANT_BOOL Value) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Resizable(VARIANT_BOOL *Value) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Resizable(VARIANT_BOOL Value) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR szContainerApp, LPCOLESTR szContainerObj) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD dwWhichMoniker, IMoniker *pmk) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker **ppmk) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject *pDataObject, WINBOOL fCreation, DWORD dwReserved) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD dwReserved, IDataObject **ppDataObject) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB **ppEnumOleVerb) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Update() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsUpToDate() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID *pClsid) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD dwFormOfType, LPOLESTR *pszUserType) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD dwDrawAspect, SIZEL *psizel) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD dwDrawAspect, SIZEL *psizel) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA **ppenumAdvise) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE *pLogpal) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(WINBOOL fEnterMode) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Draw(DWORD dwDrawAspect, LONG lindex, void *pvAspect, DVTARGETDEVICE *ptd, HDC hdcTargetDev, HDC hdcDraw, LPCRECTL lprcBounds, LPCRECTL lprcWBounds, WINBOOL (STDMETHODCALLTYPE *pfnContinue)(ULONG_PTR dwContinue), ULONG_PTR dwContinue) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetColorSet(DWORD dwDrawAspect, LONG lindex, void *pvAspect, DVTARGETDEVICE *ptd, HDC hicTargetDev, LOGPALETTE **ppColorSet) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Freeze(DWORD dwDrawAspect, LONG lindex, void *pvAspect, DWORD *pdwFreeze) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Unfreeze(DWORD dwFreeze) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAdvise(DWORD *pAspects, DWORD *pAdvf, IAdviseSink **ppAdvSink) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC *pformatetcIn, STGMEDIUM *pmedium) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC *pformatetc, STGMEDIUM *pmedium) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC *pformatetc) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC *pformatectIn, FORMATETC *pformatetcOut) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC *pformatetc, STGMEDIUM *pmedium, WINBOOL fRelease) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA **ppenumAdvise) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Load(IStorage *pStg) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Save(IStorage *pStgSave, WINBOOL fSameAsLoad) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SaveCompleted(IStorage *pStgNew) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE HandsOffStorage() override { return E_NOTIMPL; }
    // IOleControl: a change of an ambient property makes the control read it from its site.
    HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnMnemonic(MSG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID dispID) override {
        ++g_log.ambientChanges;
        IDispatch* pAmbient = nullptr;
        if (!m_pSite || FAILED(m_pSite->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&pAmbient)))) return S_OK;
        if (dispID == DISPID_AMBIENT_DLCONTROL || dispID == DISPID_UNKNOWN) {
            DISPPARAMS none = {};
            VariantClear(&g_log.dlControl);
            g_log.dlControlResult = pAmbient->Invoke(DISPID_AMBIENT_DLCONTROL, IID_NULL, 0, DISPATCH_PROPERTYGET, &none,
                                                     &g_log.dlControl, nullptr, nullptr);
        }
        pAmbient->Release();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FreezeEvents(WINBOOL) override { return S_OK; }
    // IConnectionPointContainer: one point, for DWebBrowserEvents2.
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** pp) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *pctinfo) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo **ppTInfo) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR *rgszNames, UINT cNames, LCID lcid, DISPID *rgDispId) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS *pDispParams, VARIANT *pVarResult, EXCEPINFO *pExcepInfo, UINT *puArgErr) override { return E_NOTIMPL; }

private:
    LONG m_cRef = 0;
    IOleClientSite* m_pSite = nullptr;
    IAdviseSink* m_pViewSink = nullptr;
};
#pragma GCC diagnostic pop

HRESULT STDMETHODCALLTYPE Control::FindConnectionPoint(REFIID riid, IConnectionPoint** pp) {
    *pp = nullptr;
    if (riid != DIID_DWebBrowserEvents2) return CONNECT_E_NOCONNECTION;
    g_eventPoint.pControl = static_cast<IWebBrowser2*>(this);
    *pp = &g_eventPoint;
    return S_OK;
}

class Factory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
        *ppv = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (pOuter) return CLASS_E_NOAGGREGATION;
        if (g_opts.failCreate) return E_FAIL;
        Control* p = new Control();
        p->AddRef();
        HRESULT hr = p->QueryInterface(riid, ppv);
        p->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};
Factory g_factory;
}  // namespace

StandInLog& StandIn() { return g_log; }
StandInOptions& StandInOpts() { return g_opts; }
void ResetStandIn() {
    if (g_pEventSink) g_pEventSink->Release();
    g_pEventSink = nullptr;
    g_pControl = nullptr;
    g_log = StandInLog();
    g_opts = StandInOptions();
    g_pKeptSite = nullptr;
}
DWORD RegisterStandIn(const CLSID& clsid) {
    DWORD dw = 0;
    CoRegisterClassObject(clsid, &g_factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &dw);
    return dw;
}
void RevokeStandIn(DWORD dwCookie) {
    if (dwCookie) CoRevokeClassObject(dwCookie);
}
IOleClientSite* StandInKeptSite() { return g_pKeptSite; }

bool StandInBeforeNavigate(const wchar_t* szURL, bool bTopLevel) {
    if (!g_pEventSink || !g_pControl) return false;
    // Arguments in reverse order: pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel.
    VARIANT url, flags, frame, post, headers;
    for (VARIANT* v : {&url, &flags, &frame, &post, &headers}) VariantInit(v);
    V_VT(&url) = VT_BSTR;
    V_BSTR(&url) = SysAllocString(szURL);
    VARIANT_BOOL bCancel = VARIANT_FALSE;
    VARIANT args[7];
    V_VT(&args[6]) = VT_DISPATCH;
    V_DISPATCH(&args[6]) = bTopLevel ? g_pControl : &g_frame;
    V_VT(&args[5]) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&args[5]) = &url;
    V_VT(&args[4]) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&args[4]) = &flags;
    V_VT(&args[3]) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&args[3]) = &frame;
    V_VT(&args[2]) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&args[2]) = &post;
    V_VT(&args[1]) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&args[1]) = &headers;
    V_VT(&args[0]) = VT_BYREF | VT_BOOL;
    V_BOOLREF(&args[0]) = &bCancel;
    DISPPARAMS params = {args, nullptr, 7, 0};
    g_pEventSink->Invoke(DISPID_BEFORENAVIGATE2, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    VariantClear(&url);
    return bCancel == VARIANT_TRUE;
}

bool StandInNewWindow(const wchar_t* szURL) {
    if (!g_pEventSink) return false;
    // Arguments in reverse order: ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl.
    IDispatch* pNewWindow = nullptr;
    VARIANT_BOOL bCancel = VARIANT_FALSE;
    VARIANT args[5];
    V_VT(&args[4]) = VT_BYREF | VT_DISPATCH;
    V_DISPATCHREF(&args[4]) = &pNewWindow;
    V_VT(&args[3]) = VT_BYREF | VT_BOOL;
    V_BOOLREF(&args[3]) = &bCancel;
    V_VT(&args[2]) = VT_I4;
    V_I4(&args[2]) = 0;
    V_VT(&args[1]) = VT_BSTR;
    V_BSTR(&args[1]) = SysAllocString(L"about:blank");
    V_VT(&args[0]) = VT_BSTR;
    V_BSTR(&args[0]) = SysAllocString(szURL);
    DISPPARAMS params = {args, nullptr, 5, 0};
    g_pEventSink->Invoke(DISPID_NEWWINDOW3, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    VariantClear(&args[1]);
    VariantClear(&args[0]);
    return bCancel == VARIANT_TRUE;
}
