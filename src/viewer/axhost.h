// The "AX" window class: a window that embeds one ActiveX control, named by the class
// identifier in its window text, as an in-place OLE object (the viewer's browser).
#pragma once
#include <windows.h>
#include <ole2.h>
#include <mshtmdid.h>

// Private messages of an "AX" window.
// wParam: const IID*, lParam: void** that receives the interface. Result: the control's
// QueryInterface result (S_OK is 0); 0 without a control.
#define AXM_QUERYINTERFACE (WM_USER + 1)
// wParam: 1 activate in place, 0 deactivate; lParam on activation: non-zero withholds the
// in-place interfaces. Result: 1 when the state changed, else 0.
#define AXM_INPLACE (WM_USER + 2)
// Result: the window's AXHost, or 0.
#define AXM_GETHOST (WM_USER + 3)
// wParam: a data-format index or -1; lParam: DATADIR_GET or DATADIR_SET. Result: with -1
// the number of formats; else 1 when an advise was set up; 0 without data interface,
// enumerator or such a format.
#define AXM_DATAADVISE (WM_USER + 6)

#define AX_DATA_CONNECTIONS 100

// What the site answers for the ambient download-control property: pages show their
// images, but no script, Java, ActiveX control, behaviour, background sound or client
// pull (meta refresh) runs, and the control shows no dialogs of its own. The browser
// control shows pages written from feeds, which are not ours to trust.
#define AX_DLCONTROL_FLAGS                                                                                       \
    (DLCTL_DLIMAGES | DLCTL_NO_SCRIPTS | DLCTL_NO_JAVA | DLCTL_NO_RUNACTIVEXCTLS | DLCTL_NO_DLACTIVEXCTLS |   \
     DLCTL_NO_BEHAVIORS | DLCTL_NO_CLIENTPULL | DLCTL_SILENT)

struct AXHost;

// The client site the control calls back: one identity for five interfaces. Its
// reference count only counts; the AXHost that embeds it is freed once its window has
// gone and the count is back at zero, so a control that still holds the site after the
// teardown never reaches freed memory.
class AXClientSite : public IOleClientSite,
                     public IDispatch,
                     public IAdviseSink,
                     public IOleInPlaceSite,
                     public IOleInPlaceFrame {
public:
    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IOleClientSite
    STDMETHODIMP SaveObject() override;
    STDMETHODIMP GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker** ppmk) override;
    STDMETHODIMP GetContainer(IOleContainer** ppContainer) override;
    STDMETHODIMP ShowObject() override;
    STDMETHODIMP OnShowWindow(BOOL fShow) override;
    STDMETHODIMP RequestNewObjectLayout() override;
    virtual ~AXClientSite() = default;
    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;
    // IAdviseSink
    STDMETHODIMP_(void) OnDataChange(FORMATETC* pFormatetc, STGMEDIUM* pStgmed) override;
    STDMETHODIMP_(void) OnViewChange(DWORD dwAspect, LONG lindex) override;
    STDMETHODIMP_(void) OnRename(IMoniker* pmk) override;
    STDMETHODIMP_(void) OnSave() override;
    STDMETHODIMP_(void) OnClose() override;
    // IOleWindow (shared by the in-place site and the frame)
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL fEnterMode) override;
    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override;
    STDMETHODIMP OnInPlaceActivate() override;
    STDMETHODIMP OnUIActivate() override;
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc, LPRECT lprcPosRect,
                                  LPRECT lprcClipRect, LPOLEINPLACEFRAMEINFO lpFrameInfo) override;
    STDMETHODIMP Scroll(SIZE scrollExtant) override;
    STDMETHODIMP OnUIDeactivate(BOOL fUndoable) override;
    STDMETHODIMP OnInPlaceDeactivate() override;
    STDMETHODIMP DiscardUndoState() override;
    STDMETHODIMP DeactivateAndUndo() override;
    STDMETHODIMP OnPosRectChange(LPCRECT lprcPosRect) override;
    // IOleInPlaceUIWindow
    STDMETHODIMP GetBorder(LPRECT lprectBorder) override;
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS pborderwidths) override;
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS pborderwidths) override;
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* pActiveObject, LPCOLESTR pszObjName) override;
    // IOleInPlaceFrame
    STDMETHODIMP InsertMenus(HMENU hmenuShared, LPOLEMENUGROUPWIDTHS lpMenuWidths) override;
    STDMETHODIMP SetMenu(HMENU hmenuShared, HOLEMENU holemenu, HWND hwndActiveObject) override;
    STDMETHODIMP RemoveMenus(HMENU hmenuShared) override;
    STDMETHODIMP SetStatusText(LPCOLESTR pszStatusText) override;
    STDMETHODIMP EnableModeless(BOOL fEnable) override;
    STDMETHODIMP TranslateAccelerator(LPMSG lpmsg, WORD wID) override;

    volatile LONG m_cRef = 0;
    HWND m_hwnd = nullptr;
    HWND m_hwndParent = nullptr;
    BYTE m_bInPlace = 0;
    BYTE m_bExternalPlace = 0;
    AXHost* m_pHost = nullptr;
};

// The per-window state, in the window's user-data slot while the window lives.
struct AXHost {
    AXClientSite m_site;
    const IID* m_piid = nullptr;
    IOleObject* m_pOleObject = nullptr;
    IStorage* m_pStorage = nullptr;
    IViewObject* m_pViewObject = nullptr;
    IDataObject* m_pDataObject = nullptr;
    IOleInPlaceActiveObject* m_pActiveObject = nullptr;
    DWORD m_dwAdviseConnection = 0;
    DWORD m_adwDataConnections[AX_DATA_CONNECTIONS] = {};
    CLSID m_clsid = {};
    // Set when the window has let go of the object: from then on the site's last Release
    // frees it.
    bool m_bDetached = false;
};

// Registers "AX" for hInstance (CS_GLOBALCLASS | CS_DBLCLKS). The class atom, 0 on
// failure.
ATOM RegisterAXClass(HINSTANCE hInstance);
BOOL UnregisterAXClass(HINSTANCE hInstance);
LRESULT CALLBACK AXWndProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

// Number of AXHost objects alive in the process (for leak checks).
LONG AXHostsAlive();
