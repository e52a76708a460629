#include "core/host.h"
#include "core/gdiplus.h"

namespace {

FARPROC FindHostFunction(const char* szName) {
    HMODULE hHost = GetModuleHandleW(nullptr);
    return hHost ? GetProcAddress(hHost, szName) : nullptr;
}

template <typename Fn>
Fn LookUp(const char* szName) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(FindHostFunction(szName)));
}

}  // namespace

BOOL HostSetLabel(HWND hwndDocklet, const char* szLabel) {
    auto fn = LookUp<PFN_DockletSetLabel>("DockletSetLabel");
    return fn ? fn(hwndDocklet, const_cast<char*>(szLabel)) : FALSE;
}

BOOL HostSetImageOverlay(HWND hwndDocklet, void* pGdipImage, BOOL bAutomaticallyDeleteImage) {
    auto fn = LookUp<PFN_DockletSetImageOverlay>("DockletSetImageOverlay");
    if (fn) return fn(hwndDocklet, pGdipImage, bAutomaticallyDeleteImage);
    // An image meant for the host to delete has no taker: it goes here.
    if (pGdipImage && bAutomaticallyDeleteImage) qm::GdipDisposeImage(static_cast<qm::GpImage*>(pGdipImage));
    return FALSE;
}

BOOL HostSetImageFile(HWND hwndDocklet, const char* szImage) {
    auto fn = LookUp<PFN_DockletSetImageFile>("DockletSetImageFile");
    return fn ? fn(hwndDocklet, const_cast<char*>(szImage)) : FALSE;
}

BOOL HostBrowseForImage(HWND hwndParent, char* szImage, const char* szAlternativeRelativeRoot) {
    auto fn = LookUp<PFN_DockletBrowseForImage>("DockletBrowseForImage");
    return fn ? fn(hwndParent, szImage, const_cast<char*>(szAlternativeRelativeRoot)) : FALSE;
}

void* HostLoadGDIPlusImage(const char* szImage) {
    auto fn = LookUp<PFN_DockletLoadGDIPlusImage>("DockletLoadGDIPlusImage");
    return fn ? fn(const_cast<char*>(szImage)) : nullptr;
}

void HostLockMouseEffect(HWND hwndDocklet, BOOL bLock) {
    if (auto fn = LookUp<PFN_DockletLockMouseEffect>("DockletLockMouseEffect")) fn(hwndDocklet, bLock);
}

void HostDoAttentionAnimation(HWND hwndDocklet) {
    if (auto fn = LookUp<PFN_DockletDoAttentionAnimation>("DockletDoAttentionAnimation")) fn(hwndDocklet);
}

void HostGetRootFolder(HWND hwndDocklet, char* szFolder) {
    if (auto fn = LookUp<PFN_DockletGetRootFolder>("DockletGetRootFolder")) fn(hwndDocklet, szFolder);
}

void HostGetRelativeFolder(HWND hwndDocklet, char* szFolder) {
    if (auto fn = LookUp<PFN_DockletGetRelativeFolder>("DockletGetRelativeFolder")) fn(hwndDocklet, szFolder);
}

void HostRemoveSelf(HWND hwndDocklet, WPARAM wParam) {
    if (auto fn = LookUp<PFN_DockletRemoveSelf>("DockletRemoveSelf")) fn(hwndDocklet, wParam);
}
