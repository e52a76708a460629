#include "loader.h"
#include <cstdio>
#include <cstring>
#include "console.h"

DockletEntries g_docklet;

namespace {

template <typename T>
bool Resolve(T& fn, const char* szName) {
    fn = reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(g_docklet.hModule, szName)));
    if (!fn) fprintf(stderr, "dockhost: quillmere.dll lacks %s\n", szName);
    return fn != nullptr;
}

// The loader's notification of a DLL unloaded (ntdll's LdrRegisterDllNotification, looked
// up by name: the SDK headers do not declare it).
struct DllUnloadedData {
    ULONG flags;
    const void* pFullName;
    const void* pBaseName;
    void* pBase;
    ULONG cbImage;
};
typedef VOID(CALLBACK* DllNotification)(ULONG uReason, const DllUnloadedData* pData, void* pContext);
typedef LONG(NTAPI* PFN_LdrRegisterDllNotification)(ULONG, DllNotification, void*, void**);
typedef LONG(NTAPI* PFN_LdrUnregisterDllNotification)(void*);
const ULONG c_uDllUnloaded = 2;

struct UnloadWatch {
    void* pBase;
    HANDLE hUnloaded;
};

VOID CALLBACK OnDllNotification(ULONG uReason, const DllUnloadedData* pData, void* pContext) {
    auto* pWatch = static_cast<UnloadWatch*>(pContext);
    if (uReason == c_uDllUnloaded && pData->pBase == pWatch->pBase) SetEvent(pWatch->hUnloaded);
}

template <typename T>
T NtdllFunction(const char* szName) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), szName)));
}

}  // namespace

bool LoadDocklet(const std::string& folder) {
    std::string path = folder + "quillmere.dll";
    g_docklet.hModule = LoadLibraryA(path.c_str());
    if (!g_docklet.hModule) {
        fprintf(stderr, "dockhost: cannot load %s (%lu)\n", path.c_str(), GetLastError());
        return false;
    }
    DockletEntries& e = g_docklet;
    return Resolve(e.OnCreate, "OnCreate") && Resolve(e.OnDestroy, "OnDestroy") && Resolve(e.OnSave, "OnSave") &&
           Resolve(e.OnProcessMessage, "OnProcessMessage") && Resolve(e.OnLeftButtonClick, "OnLeftButtonClick") &&
           Resolve(e.OnRightButtonClick, "OnRightButtonClick") && Resolve(e.OnConfigure, "OnConfigure") &&
           Resolve(e.OnAbout, "OnAbout");
}

void UnloadDocklet(DWORD dwWaitMs) {
    HMODULE hModule = g_docklet.hModule;
    g_docklet = DockletEntries();
    if (!hModule) return;
    auto pfnRegister = NtdllFunction<PFN_LdrRegisterDllNotification>("LdrRegisterDllNotification");
    auto pfnUnregister = NtdllFunction<PFN_LdrUnregisterDllNotification>("LdrUnregisterDllNotification");
    UnloadWatch watch = {hModule, nullptr};
    void* pCookie = nullptr;
    if (dwWaitMs > 0 && pfnRegister && pfnUnregister) {
        watch.hUnloaded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (watch.hUnloaded && pfnRegister(0, OnDllNotification, &watch, &pCookie) != 0) pCookie = nullptr;
    }
    FreeLibrary(hModule);
    if (pCookie) {
        bool bHeld = WaitForSingleObject(watch.hUnloaded, 0) != WAIT_OBJECT_0;
        Print(bHeld ? "unload: held after FreeLibrary\n" : "unload: at FreeLibrary\n");
        bool bUnloaded = WaitForSingleObject(watch.hUnloaded, dwWaitMs) == WAIT_OBJECT_0;
        pfnUnregister(pCookie);
        Print(bUnloaded ? "unload: docklet unloaded\n" : "unload: docklet still loaded\n");
        Print(GetModuleHandleW(L"winhttp.dll") ? "unload: winhttp.dll loaded\n" : "unload: winhttp.dll gone\n");
    }
    if (watch.hUnloaded) CloseHandle(watch.hUnloaded);
}

// The name is shortened by one character in the export table, which stays sorted.
void HideHostExport(const std::string& name) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (!dir.VirtualAddress) return;
    auto* exp = reinterpret_cast<IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    auto* names = reinterpret_cast<DWORD*>(base + exp->AddressOfNames);
    for (DWORD i = 0; i < exp->NumberOfNames; ++i) {
        char* sz = reinterpret_cast<char*>(base + names[i]);
        if (name != sz) continue;
        DWORD dwOld;
        size_t len = strlen(sz);
        VirtualProtect(sz, len, PAGE_READWRITE, &dwOld);
        sz[len - 1] = 0;
        VirtualProtect(sz, len, dwOld, &dwOld);
    }
}
