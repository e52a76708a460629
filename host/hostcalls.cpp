#include "hostcalls.h"
#include <cstdio>
#include <map>
#include "core/gdiplus.h"

namespace {

qm::CriticalSection g_lock;
HostRecord g_record;
std::map<HWND, HostIcon> g_icons;
bool g_bKeepCalls = true;
std::string g_root = "C:\\dock\\";
std::string g_relative = ".\\Docklets\\Quillmere\\";
std::string g_browse;
HostBrowseHandler volatile g_pfnBrowse = nullptr;
HostCallObserver volatile g_pfnObserver = nullptr;

void DisposeOverlay(HostIcon& icon) {
    if (icon.pOverlay && icon.bOwnsOverlay) qm::GdipDisposeImage(static_cast<qm::GpImage*>(icon.pOverlay));
    if (g_record.pOverlay == icon.pOverlay) g_record.pOverlay = nullptr;
    icon.pOverlay = nullptr;
    icon.bOwnsOverlay = false;
}

std::string Quoted(const char* sz) {
    return std::string("\"") + (sz ? sz : "") + "\"";
}

HostCall MakeCall(const char* szName, HWND hwnd, std::string text, int value, std::string args) {
    return {szName, hwnd, std::move(text), value, GetCurrentThreadId(), std::move(args)};
}

// Called under the lock.
void KeepCall(const HostCall& call) {
    if (g_bKeepCalls) g_record.calls.push_back(call);
}

// Keeps the call and returns the window's record; called under the lock.
HostIcon& Keep(const HostCall& call) {
    KeepCall(call);
    return g_icons[call.hwnd];
}

// Hands the call to the observer, outside the lock; whatever it throws reaches the caller.
void Notify(const HostCall& call) {
    if (HostCallObserver pfn = g_pfnObserver) pfn(call);
}

// A call that sets a text of the icon (its label or its image file).
void SetText(const HostCall& call, std::string HostIcon::*pIconText, std::string HostRecord::*pLatest) {
    {
        qm::ScopedLock lock(g_lock);
        Keep(call).*pIconText = call.text;
        g_record.*pLatest = call.text;
    }
    Notify(call);
}

// A call that counts up or down (attention, removal, the mouse-effect lock).
void Count(const HostCall& call, int HostIcon::*pIconCount, int HostRecord::*pTotal, int iStep) {
    {
        qm::ScopedLock lock(g_lock);
        Keep(call).*pIconCount += iStep;
        g_record.*pTotal += iStep;
    }
    Notify(call);
}

}  // namespace

void ResetHostCalls() {
    qm::ScopedLock lock(g_lock);
    for (auto& entry : g_icons) DisposeOverlay(entry.second);
    g_icons.clear();
    g_record = HostRecord();
    g_browse.clear();
}

HostRecord HostSnapshot() {
    qm::ScopedLock lock(g_lock);
    return g_record;
}

std::vector<HostCall> HostCalls(const char* szName) {
    qm::ScopedLock lock(g_lock);
    std::vector<HostCall> out;
    for (const HostCall& c : g_record.calls)
        if (c.name == szName) out.push_back(c);
    return out;
}

void KeepHostCalls(bool bKeep) {
    qm::ScopedLock lock(g_lock);
    g_bKeepCalls = bKeep;
}

void WithHostIcon(HWND hwnd, const std::function<void(const HostIcon&)>& fn) {
    qm::ScopedLock lock(g_lock);
    auto it = g_icons.find(hwnd);
    fn(it != g_icons.end() ? it->second : HostIcon());
}

void ForgetHostIcon(HWND hwnd) {
    qm::ScopedLock lock(g_lock);
    auto it = g_icons.find(hwnd);
    if (it == g_icons.end()) return;
    DisposeOverlay(it->second);
    g_icons.erase(it);
}

bool SaveHostOverlay(const wchar_t* szPath) {
    qm::ScopedLock lock(g_lock);
    if (!g_record.pOverlay) return false;
    return qm::GdipSaveImageToFile(static_cast<qm::GpImage*>(g_record.pOverlay), szPath, &qm::PngEncoderClsid(),
                                   nullptr) == Gdiplus::Ok;
}

void SetHostFolders(const std::string& root, const std::string& relative) {
    qm::ScopedLock lock(g_lock);
    g_root = root;
    g_relative = relative;
}

void SetHostBrowseResult(const std::string& path) {
    qm::ScopedLock lock(g_lock);
    g_browse = path;
}

void SetHostBrowseHandler(HostBrowseHandler pfnHandler) {
    g_pfnBrowse = pfnHandler;
}

void SetHostCallObserver(HostCallObserver pfnObserver) {
    g_pfnObserver = pfnObserver;
}

// ---- The host functions, exported by name (hostcalls.def) ----
extern "C" {

BOOL __stdcall DockletSetLabel(HWND hwnd, char* szLabel) {
    SetText(MakeCall("DockletSetLabel", hwnd, szLabel ? szLabel : "", 0, Quoted(szLabel)), &HostIcon::label,
            &HostRecord::label);
    return TRUE;
}

BOOL __stdcall DockletSetImageOverlay(HWND hwnd, void* pImage, BOOL bAutomaticallyDeleteImage) {
    UINT w = 0, h = 0;
    if (pImage) {
        qm::GdipGetImageWidth(static_cast<qm::GpImage*>(pImage), &w);
        qm::GdipGetImageHeight(static_cast<qm::GpImage*>(pImage), &h);
    }
    char szArgs[64];
    snprintf(szArgs, sizeof(szArgs), "%ux%u, %d", w, h, bAutomaticallyDeleteImage);
    HostCall call = MakeCall("DockletSetImageOverlay", hwnd, "", static_cast<int>(w), szArgs);
    {
        qm::ScopedLock lock(g_lock);
        HostIcon& icon = Keep(call);
        if (icon.pOverlay != pImage) DisposeOverlay(icon);
        icon.pOverlay = pImage;
        // An image the docklet keeps stays the docklet's to free.
        icon.bOwnsOverlay = pImage && bAutomaticallyDeleteImage;
        ++icon.overlays;
        g_record.pOverlay = pImage;
        ++g_record.overlays;
    }
    Notify(call);
    return TRUE;
}

BOOL __stdcall DockletSetImageFile(HWND hwnd, char* szImage) {
    SetText(MakeCall("DockletSetImageFile", hwnd, szImage ? szImage : "", 0, Quoted(szImage)), &HostIcon::imageFile,
            &HostRecord::imageFile);
    return TRUE;
}

BOOL __stdcall DockletBrowseForImage(HWND hwndParent, char* szImage, char* szAlternativeRelativeRoot) {
    std::string root = szAlternativeRelativeRoot ? szAlternativeRelativeRoot : "";
    HostCall call =
        MakeCall("DockletBrowseForImage", hwndParent, root, 0, Quoted(szImage) + ", " + Quoted(root.c_str()));
    std::string answer;
    {
        qm::ScopedLock lock(g_lock);
        KeepCall(call);
        answer = g_browse;
    }
    Notify(call);
    if (!szImage) return FALSE;
    if (!answer.empty()) {
        lstrcpynA(szImage, answer.c_str(), 270);
        return TRUE;
    }
    // The handler may run a modal dialog: it is called without the lock.
    HostBrowseHandler pfn = g_pfnBrowse;
    return pfn ? pfn(hwndParent, szImage, root.c_str()) : FALSE;
}

void* __stdcall DockletLoadGDIPlusImage(char* szImage) {
    HostCall call = MakeCall("DockletLoadGDIPlusImage", nullptr, szImage ? szImage : "", 0, Quoted(szImage));
    {
        qm::ScopedLock lock(g_lock);
        KeepCall(call);
    }
    Notify(call);
    if (!szImage) return nullptr;
    wchar_t szPath[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, szImage, -1, szPath, MAX_PATH)) return nullptr;
    qm::GpImage* pImage = nullptr;
    return qm::GdipLoadImageFromFile(szPath, &pImage) == Gdiplus::Ok ? pImage : nullptr;
}

void __stdcall DockletLockMouseEffect(HWND hwnd, BOOL bLock) {
    Count(MakeCall("DockletLockMouseEffect", hwnd, "", bLock, std::to_string(bLock)), &HostIcon::lockDepth,
          &HostRecord::lockDepth, bLock ? 1 : -1);
}

void __stdcall DockletDoAttentionAnimation(HWND hwnd) {
    Count(MakeCall("DockletDoAttentionAnimation", hwnd, "", 0, ""), &HostIcon::attention, &HostRecord::attention, 1);
}

void __stdcall DockletGetRootFolder(HWND, char* szFolder) {
    qm::ScopedLock lock(g_lock);
    if (szFolder) lstrcpynA(szFolder, g_root.c_str(), MAX_PATH);
}

void __stdcall DockletGetRelativeFolder(HWND, char* szFolder) {
    qm::ScopedLock lock(g_lock);
    if (szFolder) lstrcpynA(szFolder, g_relative.c_str(), MAX_PATH);
}

void __stdcall DockletRemoveSelf(HWND hwnd, WPARAM) {
    Count(MakeCall("DockletRemoveSelf", hwnd, "", 0, ""), &HostIcon::removeSelf, &HostRecord::removeSelf, 1);
}

}  // extern "C"
