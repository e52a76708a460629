#include <gtest/gtest.h>
#include <idispids.h>
#include <olectl.h>
#include "fixture.h"
#include "standin.h"
#include "support/testhost.h"
#include "viewer/axhost.h"

namespace {

// {5E0A1D2C-7B3F-4C11-9A55-0D1E2F3A4B5C}
const CLSID c_clsidStandIn = {0x5e0a1d2c, 0x7b3f, 0x4c11, {0x9a, 0x55, 0x0d, 0x1e, 0x2f, 0x3a, 0x4b, 0x5c}};
const wchar_t c_szStandIn[] = L"{5E0A1D2C-7B3F-4C11-9A55-0D1E2F3A4B5C}";

class AXHostTest : public ::testing::Test {
protected:
    HWND parent = nullptr;
    HWND ax = nullptr;
    DWORD cookie = 0;
    LONG hostsBefore = 0;

    void SetUp() override {
        ASSERT_TRUE(EnsureAXClass());
        ResetStandIn();
        cookie = RegisterStandIn(c_clsidStandIn);
        ASSERT_NE(cookie, 0u);
        parent = CreateWindowExW(0, L"STATIC", L"parent", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                 nullptr, nullptr);
        hostsBefore = AXHostsAlive();
    }
    void TearDown() override {
        if (ax && IsWindow(ax)) DestroyWindow(ax);
        DestroyWindow(parent);
        RevokeStandIn(cookie);
    }
    HWND Create(const wchar_t* text = c_szStandIn) {
        ax = CreateWindowExW(0, L"AX", text, WS_CHILD | WS_VISIBLE, 0, 0, 200, 100, parent, nullptr, nullptr, nullptr);
        return ax;
    }
    AXHost* Host() { return reinterpret_cast<AXHost*>(SendMessageW(ax, AXM_GETHOST, 0, 0)); }
};

}  // namespace

TEST_F(AXHostTest, CreationAdvisesAndLeavesTheControlInactive) {
    ASSERT_NE(Create(), nullptr);
    EXPECT_EQ(StandIn().created, 1);
    EXPECT_EQ(StandIn().setClientSite, 1);
    EXPECT_EQ(StandIn().advise, 1);
    EXPECT_EQ(StandIn().viewAdvise, 1);
    EXPECT_EQ(StandIn().doVerbInPlace, 0);
    AXHost* pHost = Host();
    ASSERT_NE(pHost, nullptr);
    EXPECT_EQ(pHost->m_dwAdviseConnection, 77u);
    EXPECT_TRUE(IsEqualCLSID(pHost->m_clsid, c_clsidStandIn));
    EXPECT_EQ(pHost->m_site.m_hwnd, ax);
    EXPECT_EQ(pHost->m_site.m_hwndParent, parent);
    EXPECT_EQ(pHost->m_site.m_pHost, pHost);
    EXPECT_NE(pHost->m_pStorage, nullptr);
    EXPECT_NE(pHost->m_pViewObject, nullptr);
    EXPECT_NE(pHost->m_pDataObject, nullptr);
    EXPECT_EQ(AXHostsAlive(), hostsBefore + 1);

    DestroyWindow(ax);
    EXPECT_EQ(StandIn().unadvise, 1);
    EXPECT_EQ(StandIn().close, 1);
    EXPECT_EQ(StandIn().destroyed, 1);
    EXPECT_EQ(AXHostsAlive(), hostsBefore);
}

TEST_F(AXHostTest, TextThatIsNoClassIdentifierFailsCreation) {
    EXPECT_EQ(Create(L"not a class"), nullptr);
    EXPECT_EQ(Create(L"{00000000-0000-0000-0000-00000000ABCD}"), nullptr);
    EXPECT_EQ(AXHostsAlive(), hostsBefore);
    EXPECT_EQ(StandIn().created, 0);
}

TEST_F(AXHostTest, InPlaceActivationAndDeactivation) {
    ASSERT_NE(Create(), nullptr);
    EXPECT_EQ(SendMessageW(ax, AXM_INPLACE, 0, 0), 0);  // inactive: nothing to deactivate
    EXPECT_EQ(SendMessageW(ax, AXM_INPLACE, 1, 0), 1);
    EXPECT_EQ(StandIn().doVerbInPlace, 1);
    EXPECT_EQ(StandIn().inPlaceSiteOffered, 1);
    EXPECT_EQ(StandIn().doVerbParent, ax);
    EXPECT_EQ(StandIn().lastDoVerbRect.right, 200);
    EXPECT_EQ(StandIn().lastDoVerbRect.bottom, 100);
    EXPECT_EQ(SendMessageW(ax, AXM_INPLACE, 1, 0), 0);  // already active
    EXPECT_EQ(SendMessageW(ax, AXM_INPLACE, 1, 1), 0);
    EXPECT_EQ(StandIn().doVerbInPlace, 1);
    EXPECT_EQ(SendMessageW(ax, AXM_INPLACE, 0, 0), 1);
    EXPECT_EQ(StandIn().uiDeactivate, 1);
    EXPECT_EQ(StandIn().inPlaceDeactivate, 1);

    // A double click activates it again (posted).
    SendMessageW(ax, WM_LBUTTONDBLCLK, 0, 0);
    PumpPosted();
    EXPECT_EQ(StandIn().doVerbInPlace, 2);
    DestroyWindow(ax);  // teardown deactivates an active control first
    EXPECT_EQ(StandIn().inPlaceDeactivate, 2);
}

TEST_F(AXHostTest, ExternalPlaceWithholdsInPlaceInterfacesUntilResize) {
    ASSERT_NE(Create(), nullptr);
    EXPECT_EQ(SendMessageW(ax, AXM_INPLACE, 1, 1), 1);
    EXPECT_EQ(StandIn().inPlaceSiteOffered, 0);
    AXHost* pHost = Host();
    IOleClientSite* pSite = &pHost->m_site;
    void* pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(pSite->QueryInterface(IID_IOleInPlaceSite, &pv), E_NOINTERFACE);
    EXPECT_EQ(pv, nullptr);

    SetWindowPos(ax, nullptr, 0, 0, 300, 150, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(StandIn().doVerbInPlace, 2);
    EXPECT_EQ(StandIn().inPlaceSiteOffered, 1);
    EXPECT_EQ(StandIn().lastRects.right, 300);
    EXPECT_EQ(StandIn().lastRects.bottom, 150);
    EXPECT_GE(StandIn().setObjectRects, 1);
    ASSERT_EQ(pSite->QueryInterface(IID_IOleInPlaceSite, &pv), S_OK);
    static_cast<IUnknown*>(pv)->Release();
}

TEST_F(AXHostTest, SiteInterfacesShareOneIdentity) {
    ASSERT_NE(Create(), nullptr);
    AXClientSite& site = Host()->m_site;
    IUnknown* pUnk = nullptr;
    ASSERT_EQ(site.QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pUnk)), S_OK);
    for (const IID* piid : {&IID_IOleClientSite, &IID_IAdviseSink, &IID_IDispatch, &IID_IOleInPlaceSite,
                            &IID_IOleInPlaceFrame, &IID_IOleInPlaceUIWindow}) {
        IUnknown* p = nullptr;
        ASSERT_EQ(site.QueryInterface(*piid, reinterpret_cast<void**>(&p)), S_OK);
        IUnknown* pBack = nullptr;
        p->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pBack));
        EXPECT_EQ(pBack, pUnk);
        pBack->Release();
        p->Release();
    }
    void* pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(site.QueryInterface(IID_IOleWindow, &pv), E_NOINTERFACE);
    EXPECT_EQ(pv, nullptr);
    pUnk->Release();

    // GetWindowContext hands out the frame with a reference and the window's rectangle.
    IOleInPlaceFrame* pFrame = nullptr;
    IOleInPlaceUIWindow* pDoc = reinterpret_cast<IOleInPlaceUIWindow*>(1);
    RECT rcPos = {}, rcClip = {};
    OLEINPLACEFRAMEINFO info = {};
    LONG before = site.m_cRef;
    EXPECT_EQ(site.GetWindowContext(&pFrame, &pDoc, &rcPos, &rcClip, &info), S_OK);
    EXPECT_EQ(site.m_cRef, before + 1);
    EXPECT_EQ(pDoc, nullptr);
    EXPECT_EQ(rcPos.right, 200);
    EXPECT_EQ(rcClip.bottom, 100);
    EXPECT_EQ(info.hwndFrame, parent);
    EXPECT_EQ(info.cb, sizeof(OLEINPLACEFRAMEINFO));
    pFrame->Release();
    EXPECT_EQ(site.CanInPlaceActivate(), S_FALSE);
}

TEST_F(AXHostTest, QueryInterfaceMessageForwardsTheControlsAnswer) {
    StandInOpts().webBrowser = false;
    ASSERT_NE(Create(), nullptr);
    IWebBrowser2* pBrowser = reinterpret_cast<IWebBrowser2*>(1);
    EXPECT_EQ(static_cast<HRESULT>(SendMessageW(ax, AXM_QUERYINTERFACE, reinterpret_cast<WPARAM>(&IID_IWebBrowser2),
                                                reinterpret_cast<LPARAM>(&pBrowser))),
              E_NOINTERFACE);
    EXPECT_EQ(pBrowser, nullptr);
    IOleObject* pObject = nullptr;
    EXPECT_EQ(SendMessageW(ax, AXM_QUERYINTERFACE, reinterpret_cast<WPARAM>(&IID_IOleObject),
                           reinterpret_cast<LPARAM>(&pObject)),
              0);
    ASSERT_NE(pObject, nullptr);
    pObject->Release();
}

TEST_F(AXHostTest, DataAdviseCountsFormatsAndAdvisesByIndex) {
    ASSERT_NE(Create(), nullptr);
    EXPECT_EQ(SendMessageW(ax, AXM_DATAADVISE, static_cast<WPARAM>(-1), DATADIR_GET), 3);
    EXPECT_EQ(SendMessageW(ax, AXM_DATAADVISE, 1, DATADIR_GET), 1);
    EXPECT_EQ(SendMessageW(ax, AXM_DATAADVISE, 2, DATADIR_GET), 1);
    EXPECT_EQ(SendMessageW(ax, AXM_DATAADVISE, 3, DATADIR_GET), 0);
    EXPECT_EQ(SendMessageW(ax, AXM_DATAADVISE, 100, DATADIR_GET), 0);
    EXPECT_EQ(StandIn().dadvise, 2);
    EXPECT_NE(Host()->m_adwDataConnections[1], 0u);
    EXPECT_EQ(Host()->m_adwDataConnections[0], 0u);
    DestroyWindow(ax);
    EXPECT_EQ(StandIn().dunadvise, 2);
}

TEST_F(AXHostTest, HostOutlivesTheWindowWhileTheControlHoldsTheSite) {
    StandInOpts().keepSite = true;
    ASSERT_NE(Create(), nullptr);
    AXClientSite& site = Host()->m_site;
    // Release down to zero frees nothing while the window has the host.
    LONG refs = site.m_cRef;
    site.AddRef();
    EXPECT_EQ(site.Release(), static_cast<ULONG>(refs));
    EXPECT_EQ(AXHostsAlive(), hostsBefore + 1);

    DestroyWindow(ax);
    EXPECT_EQ(StandIn().destroyed, 1);
    IOleClientSite* pKept = StandInKeptSite();
    ASSERT_NE(pKept, nullptr);
    EXPECT_EQ(AXHostsAlive(), hostsBefore + 1);  // the control's reference can still be used
    HWND hwnd = nullptr;
    IOleWindow* pWindow = nullptr;
    pKept->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&pWindow));
    if (pWindow) {
        pWindow->GetWindow(&hwnd);
        pWindow->Release();
    }
    pKept->Release();
    EXPECT_EQ(AXHostsAlive(), hostsBefore);
}

TEST_F(AXHostTest, SiteSwitchesActiveContentOffThroughItsAmbientProperties) {
    ASSERT_NE(Create(), nullptr);
    // Told once the control is created, the control reads the download control.
    EXPECT_EQ(StandIn().ambientChanges, 1);
    EXPECT_EQ(StandIn().dlControlResult, S_OK);
    ASSERT_EQ(V_VT(&StandIn().dlControl), VT_I4);
    const LONG flags = V_I4(&StandIn().dlControl);
    for (LONG flag : {DLCTL_NO_SCRIPTS, DLCTL_NO_JAVA, DLCTL_NO_RUNACTIVEXCTLS, DLCTL_NO_DLACTIVEXCTLS,
                      DLCTL_NO_BEHAVIORS, DLCTL_NO_CLIENTPULL, DLCTL_SILENT, DLCTL_DLIMAGES})
        EXPECT_EQ(flags & flag, flag) << std::hex << flag;
    EXPECT_EQ(flags & (DLCTL_BGSOUNDS | DLCTL_DOWNLOADONLY | DLCTL_NOFRAMES), 0);

    IDispatch* pAmbient = static_cast<IDispatch*>(&Host()->m_site);
    DISPPARAMS none = {};
    qm::UniqueVariant value;
    EXPECT_EQ(pAmbient->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr,
                               nullptr),
              S_OK);
    EXPECT_EQ(V_VT(&value), VT_BOOL);
    EXPECT_EQ(V_BOOL(&value), VARIANT_TRUE);
    // A property the site does not have leaves the control to its own default.
    EXPECT_EQ(pAmbient->Invoke(DISPID_AMBIENT_USERAGENT, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr,
                               nullptr),
              DISP_E_MEMBERNOTFOUND);
}
