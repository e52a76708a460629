#include "standin.h"
#include <shlobj.h>

namespace {
StandInLog g_log;
StandInOptions g_opts;
IOleClientSite* g_pKeptSite = nullptr;

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
class Control : public IOleObject,
                public IOleInPlaceObject,
                public IViewObject,
                public IDataObject,
                public IPersistStorage,
                public IWebBrowser2 {
public:
    Control() {
        ++g_log.created;
        g_log.createThread = GetCurrentThreadId();
    }
    virtual ~Control() {
        if (m_pSite) m_pSite->Release();
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
